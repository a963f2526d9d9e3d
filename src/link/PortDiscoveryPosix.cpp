#include "PortDiscovery.h"

#include <algorithm>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

// USB and ACM adapters are where a meter is normally plugged in: try them first.
int ScanGroup(const std::string& name) {
    return name.rfind("ttyUSB", 0) == 0 || name.rfind("ttyACM", 0) == 0 ? 0 : 1;
}

// serial_core publishes the UART type; 0 (PORT_UNKNOWN) is a legacy 8250
// port with no UART behind it, which only fails when opened.
bool HasNoUart(const fs::path& entry) {
    std::ifstream typeFile(entry / "type");
    std::string type;
    return typeFile >> type && type == "0";
}

}  // namespace

void EnumSerialPorts(std::vector<std::string>& portNames) {
    EnumSerialPorts(portNames, "/sys/class/tty");
}

void EnumSerialPorts(std::vector<std::string>& portNames, const std::string& sysfsRoot) {
    std::vector<std::string> found;
    std::error_code error;
    for (fs::directory_iterator it(sysfsRoot, error), end; !error && it != end; it.increment(error)) {
        const fs::path entry = it->path();
        // Virtual consoles, ptmx and the like have no device behind them.
        std::error_code linkError;
        if (!fs::exists(fs::symlink_status(entry / "device", linkError)))
            continue;
        if (HasNoUart(entry))
            continue;
        found.push_back(entry.filename().string());
    }
    std::sort(found.begin(), found.end(), [](const std::string& a, const std::string& b) {
        if (ScanGroup(a) != ScanGroup(b))
            return ScanGroup(a) < ScanGroup(b);
        return NaturalLess(a, b);
    });
    for (const std::string& name : found)
        portNames.push_back("/dev/" + name);
}
