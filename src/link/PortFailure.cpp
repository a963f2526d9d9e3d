#include "PortFailure.h"

#include "SerialPort.h"

#include <array>
#include <grp.h>
#include <sys/stat.h>

namespace {

// Name of the group that owns the device node, empty when it cannot be told.
std::string OwningGroup(const std::string& portName) {
    struct stat node {};
    if (::stat(CSerialPort::DevicePath(portName).c_str(), &node) != 0)
        return {};
    group entry{};
    group* found = nullptr;
    std::array<char, 4096> names{};
    if (::getgrgid_r(node.st_gid, &entry, names.data(), names.size(), &found) != 0 || found == nullptr)
        return std::to_string(node.st_gid);
    return entry.gr_name;
}

std::string AccessHint(const std::string& portName) {
    const std::string owner = OwningGroup(portName);
    if (owner.empty())
        return "; the user must be a member of the group that owns the device";
    return "; the user must be a member of group " + owner + ", which owns the device: sudo usermod -aG " +
           owner + " $USER, then log in again";
}

}  // namespace

const char* PortFailureText(PortFailure failure) {
    switch (failure) {
    case PortFailure::None: return "no failure";
    case PortFailure::Absent: return "absent";
    case PortFailure::Busy: return "busy";
    case PortFailure::PermissionDenied: return "permission denied";
    case PortFailure::NotATty: return "not a serial device";
    case PortFailure::NoAnswer: return "no answer";
    case PortFailure::Gone: return "device gone";
    case PortFailure::Other: return "cannot be used";
    }
    return "cannot be used";
}

std::string DescribePortAttempts(const std::vector<PortAttempt>& attempts) {
    std::string text;
    for (const PortAttempt& attempt : attempts) {
        text += attempt.portName + ": " + PortFailureText(attempt.failure);
        if (!attempt.detail.empty())
            text += " (" + attempt.detail + ")";
        if (attempt.failure == PortFailure::PermissionDenied)
            text += AccessHint(attempt.portName);
        text += '\n';
    }
    return text;
}
