#pragma once

#include <string>
#include <vector>

// Why a port that was tried did not lead to a meter.
enum class PortFailure {
    None,
    Absent,            // no such device
    Busy,              // held by another program
    PermissionDenied,  // no access rights to the device node
    NotATty,           // exists but is not a serial device
    NoAnswer,          // opened, but no meter answered
    NoRecords,         // a meter answered that it holds no records
    NotAMeter,         // an answer came, but not one a meter gives
    Gone,              // the device went away while in use
    Other,
};

struct PortAttempt {
    std::string portName;
    PortFailure failure = PortFailure::None;
    std::string detail;  // system error text or extra information, may be empty
};

const char* PortFailureText(PortFailure failure);   // "absent", "busy", "permission denied", ...

// One line per port tried, each ending in a line feed
// ("/dev/ttyUSB0: permission denied (detail)"), with a hint
// on how to get access where permission was the reason.
std::string DescribePortAttempts(const std::vector<PortAttempt>& attempts);
