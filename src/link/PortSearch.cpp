#include "PortSearch.h"

CPortSearch::CPortSearch(const ByteStreamFactory& openPort, ILinkClock& clock, const Pauses& pauses,
                         const TraceHook& trace)
    : m_openPort(openPort), m_clock(clock), m_pauses(pauses), m_trace(trace) {}

std::optional<MeterLine> CPortSearch::Search(const std::vector<std::string>& portNames, const Question& question) {
    m_attempts.clear();
    for (const std::string& portName : portNames) {
        if (m_clock.StopRequested())
            break;
        PortAttempt attempt{portName, PortFailure::None, {}};
        MeterLine line{portName, m_openPort(portName, attempt), nullptr};
        if (!line.stream) {
            m_attempts.push_back(attempt);
            continue;
        }
        line.exchange = std::make_unique<CMeterExchange>(*line.stream, m_clock, m_pauses, m_trace);
        attempt.failure = question(*line.exchange, attempt.detail);
        if (attempt.failure == PortFailure::None)
            return line;
        if (line.stream->HasHungUp())
            attempt = {portName, PortFailure::Gone, {}};
        m_attempts.push_back(attempt);
        line.stream->Purge();
    }
    return std::nullopt;
}

PortFailure CountFailure(ReplyStatus status, const Frame& reply, bool gone, std::string& detail) {
    const unsigned count = ParseCountReply(reply);
    if (gone)
        return PortFailure::Gone;
    if (status == ReplyStatus::Missing) {
        detail = "no reply to the record count request";
        return PortFailure::NoAnswer;
    }
    if (IsCountReply(reply) && count == 0)
        return PortFailure::NoRecords;
    detail = count > kMeterCapacity
                 ? "reported " + std::to_string(count) + " records, more than the meter can hold"
                 : "the reply was not a meter's";
    return PortFailure::NotAMeter;
}
