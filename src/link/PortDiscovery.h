#pragma once

#include <string>
#include <vector>

// Appends the serial devices that exist, in scan order: USB and ACM adapters
// first, then the rest, each group in natural order (ttyUSB2 before ttyUSB10).
// Legacy 8250 ports with an unknown UART type are left out. Names are /dev paths.
void EnumSerialPorts(std::vector<std::string>& portNames, const std::string& sysfsRoot = "/sys/class/tty");
