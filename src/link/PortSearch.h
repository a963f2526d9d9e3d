#pragma once

#include "ByteStream.h"
#include "LinkClock.h"
#include "MeterExchange.h"
#include "PortFailure.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// The meter's line, once a port answered: the stream and the exchange over it.
struct MeterLine {
    std::string portName;
    std::unique_ptr<IByteStream> stream;
    std::unique_ptr<CMeterExchange> exchange;
};

// Tries ports in order until a meter answers on one: opens each through the
// factory, asks the question, and closes the port again when no meter
// answered. Keeps why each port tried failed.
class CPortSearch {
public:
    // Asks the meter on an open line; returns PortFailure::None when it
    // answered, else why not (with a detail, which may be empty).
    using Question = std::function<PortFailure(CMeterExchange& exchange, std::string& detail)>;

    CPortSearch(const ByteStreamFactory& openPort, ILinkClock& clock, const Pauses& pauses, const TraceHook& trace);

    // Stops early, with nothing found, when a stop is requested.
    std::optional<MeterLine> Search(const std::vector<std::string>& portNames, const Question& question);
    const std::vector<PortAttempt>& Attempts() const { return m_attempts; }

private:
    const ByteStreamFactory& m_openPort;
    ILinkClock& m_clock;
    const Pauses m_pauses;
    const TraceHook& m_trace;
    std::vector<PortAttempt> m_attempts;
};

// Why a port's answer to the record count exchange was no meter's.
PortFailure CountFailure(ReplyStatus status, const Frame& reply, bool gone, std::string& detail);
