// The simulator's fault descriptions: "kind[@n][:value]".

#include "MeterSim.h"

#include <algorithm>
#include <string>

namespace {

constexpr int kMaxDelayMs = 600'000;
constexpr int kMaxStrayBytes = 64;

// Strict whole number with at most nine digits, so it always fits an int.
bool ParseCount(const std::string& text, int& value) {
    if (text.empty() || text.size() > 9)
        return false;
    if (!std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return false;
    value = std::stoi(text);
    return true;
}

enum class FaultValue { None, DelayMs, ByteCount };

struct FaultKindInfo {
    const char* name;
    SimFault::Kind kind;
    FaultValue value;
    int minValue;
    int maxValue;
    const char* example;
};

constexpr FaultKindInfo kFaultKinds[] = {
    {"noreply", SimFault::Kind::NoReply, FaultValue::None, 0, 0, "noreply@3"},
    {"late", SimFault::Kind::LateReply, FaultValue::DelayMs, 1, kMaxDelayMs, "late@2:800"},
    {"header", SimFault::Kind::WrongHeader, FaultValue::None, 0, 0, "header@5"},
    {"short", SimFault::Kind::ShortReply, FaultValue::ByteCount, 1, 12, "short@2:5"},
    {"garbage", SimFault::Kind::Garbage, FaultValue::ByteCount, 1, kMaxStrayBytes, "garbage:3"},
    {"zerocount", SimFault::Kind::ZeroCount, FaultValue::None, 0, 0, "zerocount"},
    {"lateclear", SimFault::Kind::LateClear, FaultValue::DelayMs, 1, kMaxDelayMs, "lateclear:700"},
    {"vanish", SimFault::Kind::Vanish, FaultValue::None, 0, 0, "vanish@10"},
    {"twice", SimFault::Kind::Twice, FaultValue::DelayMs, 0, kMaxDelayMs, "twice@4:30"},
};

}  // namespace

bool ParseSimFault(const std::string& description, SimFault& fault, std::string& error) {
    if (description.empty()) {
        error = "empty fault; expected kind[@n][:value], e.g. late@2:800";
        return false;
    }
    const std::size_t colon = description.find(':');
    const std::string head = description.substr(0, colon);
    const bool hasValue = colon != std::string::npos;
    const std::string valueText = hasValue ? description.substr(colon + 1) : std::string();
    const std::size_t at = head.find('@');
    const std::string name = head.substr(0, at);

    const FaultKindInfo* info = nullptr;
    for (const FaultKindInfo& candidate : kFaultKinds)
        if (name == candidate.name)
            info = &candidate;
    if (info == nullptr) {
        error = "unknown fault kind '" + name +
                "'; expected noreply, late, header, short, garbage, zerocount, lateclear, vanish or twice";
        return false;
    }

    SimFault parsed;
    parsed.kind = info->kind;
    if (at != std::string::npos) {
        const std::string exchangeText = head.substr(at + 1);
        if (!ParseCount(exchangeText, parsed.exchange) || parsed.exchange < 1) {
            error = "'" + description + "': the exchange after '@' must be a whole number from 1 up, got '" +
                    exchangeText + "'";
            return false;
        }
    }

    const std::string kindName = info->name;
    if (info->value == FaultValue::None) {
        if (hasValue) {
            error = "'" + description + "': " + kindName + " takes no value, e.g. " + info->example;
            return false;
        }
    } else {
        const std::string unit = info->value == FaultValue::DelayMs ? "a delay in milliseconds"
                                                                    : "a number of bytes";
        const std::string range = " from " + std::to_string(info->minValue) + " to " +
                                  std::to_string(info->maxValue);
        if (!hasValue) {
            error = "'" + description + "': " + kindName + " needs " + unit + ", e.g. " + info->example;
            return false;
        }
        int value = 0;
        if (!ParseCount(valueText, value) || value < info->minValue || value > info->maxValue) {
            error = "'" + description + "': " + kindName + " needs " + unit + range + ", got '" +
                    valueText + "'";
            return false;
        }
        if (info->value == FaultValue::DelayMs)
            parsed.delayMs = value;
        else
            parsed.byteCount = value;
    }
    fault = parsed;
    return true;
}
