#pragma once

#include <string>
#include <vector>

// Appends the serial ports the system knows of, in scan order, as names that
// CSerialPort::Open takes. Each platform reads its own list (source names it;
// the one-argument form reads the system's):
// - Linux: the serial devices that exist in the sysfs tty class folder
//   ("/sys/class/tty"), USB and ACM adapters first, then the rest, each group
//   in natural order (ttyUSB2 before ttyUSB10). Legacy 8250 ports with an
//   unknown UART type are left out. Names are /dev paths.
// - Windows: the values of the serial-port device map, a key under
//   HKEY_LOCAL_MACHINE ("HARDWARE\DEVICEMAP\SERIALCOMM"), in natural order
//   (COM2 before COM10). Names are COM port names.
void EnumSerialPorts(std::vector<std::string>& portNames);
void EnumSerialPorts(std::vector<std::string>& portNames, const std::string& source);

// Names compared with their digit runs taken as numbers: ttyUSB2 < ttyUSB10.
bool NaturalLess(const std::string& a, const std::string& b);
