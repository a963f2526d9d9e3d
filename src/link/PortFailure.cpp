#include "PortFailure.h"

#include "SerialPort.h"

const char* PortFailureText(PortFailure failure) {
    switch (failure) {
    case PortFailure::None: return "no failure";
    case PortFailure::Absent: return "absent";
    case PortFailure::Busy: return "busy";
    case PortFailure::PermissionDenied: return "permission denied";
    case PortFailure::NotATty: return "not a serial device";
    case PortFailure::NoAnswer: return "no answer";
    case PortFailure::NoRecords: return "the meter holds no records";
    case PortFailure::NotAMeter: return "not a meter's answer";
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
            text += CSerialPort::AccessHint(attempt.portName);
        text += '\n';
    }
    return text;
}
