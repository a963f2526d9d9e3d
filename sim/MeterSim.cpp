// The simulated meter itself: frames taken, faults applied, replies paced
// and put out, on whichever line it serves (SimWire.h).

#include "MeterSim.h"

#include "SimWire.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;
using TimePoint = Clock::time_point;

// One character on a 9600-baud 8N1 line is ten bits.
constexpr auto kByteTime = std::chrono::nanoseconds(1'041'667);

constexpr std::size_t kSimFrameSize = 13;
using SimFrame = std::array<std::uint8_t, kSimFrameSize>;

constexpr std::uint8_t kStartByte = 0xAA;
constexpr std::uint8_t kReadCount = 0x22;
constexpr std::uint8_t kReadData = 0x20;
constexpr std::uint8_t kClearCheck = 0x30;
constexpr std::uint8_t kClearData = 0x10;
constexpr std::uint8_t kReadLength = 8;
constexpr std::uint8_t kWrongHeaderByte = 0x55;
constexpr std::uint8_t kUnstoredByte = 0xFF;   // what erased memory reads as
// Line noise; never 0xAA, so it cannot pass for a frame start.
constexpr std::array<std::uint8_t, 4> kStrayBytes{0x00, 0xFF, 0x13, 0x5C};

std::string Hex(const std::uint8_t* bytes, std::size_t count) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text;
    for (std::size_t i = 0; i < count; ++i) {
        if (i > 0)
            text += ' ';
        text += kDigits[bytes[i] >> 4];
        text += kDigits[bytes[i] & 0x0F];
    }
    return text;
}

}  // namespace

struct CMeterSim::Impl {
    explicit Impl(SimOptions options)
        : m_options(std::move(options)), m_records(std::move(m_options.records)) {
        m_options.records.clear();
    }

    bool Open(std::string& error);
    void Shutdown();

    // Serving thread only from here on.
    void Serve();
    bool TakeReadyFrame(TimePoint now, TimePoint& frameDue, bool& frameWaiting);
    void Take(const SimFrame& frame, TimePoint takenAt);
    bool Act(const SimFrame& frame, bool zeroCount, SimFrame& reply);
    void Schedule(const std::vector<std::uint8_t>& bytes, TimePoint start);
    bool WriteDueOutput(TimePoint now);
    void ReadInput(TimePoint now);
    void Vanish();
    void Log(const std::string& line) const {
        if (m_options.log)
            m_options.log(line);
    }

    SimOptions m_options;   // read-only once serving; its records moved to m_records

    mutable std::mutex m_stateMutex;   // guards the three below against the test thread
    std::vector<MeterRecord> m_records;
    int m_exchangesServed = 0;
    int m_eraseCount = 0;

    mutable std::mutex m_lifecycleMutex;   // serialises Start, Stop and Connect
    bool m_started = false;
    std::unique_ptr<ISimWire> m_wire;   // from Start on; kept until the meter goes
    std::thread m_server;

    struct InByte {
        std::uint8_t value;
        TimePoint arrived;
    };
    struct OutByte {
        std::uint8_t value;
        TimePoint due;
        bool startsReply;
    };
    std::deque<InByte> m_input;
    std::deque<OutByte> m_output;
    bool m_vanished = false;
};

bool CMeterSim::Impl::Open(std::string& error) {
    if (m_options.line == SimLine::InMemory) {
        if (!m_options.linkPath.empty()) {
            error = "only a pseudo-terminal can be reached through a link";
            return false;
        }
        m_wire = OpenMemoryLine(m_options.lineName);
    } else {
        m_wire = OpenPseudoTerminal(m_options.linkPath, error);
    }
    return m_wire != nullptr;
}

void CMeterSim::Impl::Shutdown() {
    if (m_server.joinable()) {
        m_wire->RequestStop();
        m_server.join();
    }
    if (m_wire)
        m_wire->Close();
}

void CMeterSim::Impl::Serve() {
    for (;;) {
        TimePoint frameDue{};
        bool frameWaiting = false;
        const bool took = TakeReadyFrame(Clock::now(), frameDue, frameWaiting);
        if (m_vanished)
            return;
        const bool writeBlocked = WriteDueOutput(Clock::now());

        // Without a deadline the wait is bounded by the stop request alone.
        TimePoint wakeAt = TimePoint::max();
        if (took)
            wakeAt = Clock::now();   // more frames may already be queued
        if (frameWaiting)
            wakeAt = std::min(wakeAt, frameDue);
        if (!m_output.empty() && !writeBlocked)
            wakeAt = std::min(wakeAt, m_output.front().due);

        std::string problem;
        const bool serving = m_wire->Wait(wakeAt, writeBlocked, problem);
        if (!problem.empty())
            Log(problem);
        if (!serving)
            return;
        ReadInput(Clock::now());
    }
}

void CMeterSim::Impl::ReadInput(TimePoint now) {
    std::array<std::uint8_t, 256> chunk{};
    while (const std::size_t count = m_wire->Read(chunk.data(), chunk.size())) {
        for (std::size_t i = 0; i < count; ++i)
            m_input.push_back({chunk[i], now});
    }
}

namespace {

// Filler must be zero: it is what lets a misaligned 13-byte window be told
// from a frame, since a following frame's 0xAA lands in it.
bool IsWellFormed(const SimFrame& frame) {
    const auto zeroFrom = [&frame](std::size_t first) {
        return std::all_of(frame.begin() + static_cast<std::ptrdiff_t>(first), frame.end(),
                           [](std::uint8_t b) { return b == 0; });
    };
    switch (frame[1]) {
    case kReadData:
        return frame[4] == kReadLength && zeroFrom(5);
    case kReadCount:
    case kClearCheck:
    case kClearData:
        return zeroFrom(2);
    default:
        return false;
    }
}

}  // namespace

bool CMeterSim::Impl::TakeReadyFrame(TimePoint now, TimePoint& frameDue, bool& frameWaiting) {
    for (;;) {
        while (!m_input.empty() && m_input.front().value != kStartByte)
            m_input.pop_front();
        if (m_input.size() < kSimFrameSize)
            return false;
        SimFrame frame{};
        for (std::size_t i = 0; i < kSimFrameSize; ++i)
            frame[i] = m_input[i].value;
        if (!IsWellFormed(frame)) {
            Log("skipping malformed frame " + Hex(frame.data(), frame.size()));
            m_input.pop_front();   // hunt for the next start byte
            continue;
        }
        TimePoint takenAt = now;
        if (m_options.paced) {
            // On the wire the last byte lands 13 byte times after the first.
            takenAt = m_input.front().arrived + kSimFrameSize * kByteTime;
            if (takenAt > now) {
                frameDue = takenAt;
                frameWaiting = true;
                return false;
            }
        }
        m_input.erase(m_input.begin(), m_input.begin() + static_cast<std::ptrdiff_t>(kSimFrameSize));
        Take(frame, takenAt);
        return true;
    }
}

void CMeterSim::Impl::Take(const SimFrame& frame, TimePoint takenAt) {
    if (m_options.recallLateReplies) {
        while (!m_output.empty() && m_output.back().due > takenAt)
            m_output.pop_back();
    }

    int exchange = 0;
    {
        std::lock_guard lock(m_stateMutex);
        exchange = ++m_exchangesServed;
    }
    Log("exchange " + std::to_string(exchange) + ": took " + Hex(frame.data(), frame.size()));

    bool noReply = false, wrongHeader = false, zeroCount = false, vanish = false;
    int shortCount = 0, strayCount = 0, delayMs = m_options.latencyMs;
    std::optional<int> againAfterMs;
    for (const SimFault& fault : m_options.faults) {
        if (fault.exchange != 0 && fault.exchange != exchange)
            continue;
        switch (fault.kind) {
        case SimFault::Kind::NoReply: noReply = true; break;
        case SimFault::Kind::LateReply: delayMs += fault.delayMs; break;
        case SimFault::Kind::WrongHeader: wrongHeader = true; break;
        case SimFault::Kind::ShortReply: shortCount = fault.byteCount; break;
        case SimFault::Kind::Garbage: strayCount = fault.byteCount; break;
        case SimFault::Kind::ZeroCount: zeroCount = true; break;
        case SimFault::Kind::LateClear:
            if (frame[1] == kClearCheck)
                delayMs += fault.delayMs;
            break;
        case SimFault::Kind::Vanish: vanish = true; break;
        case SimFault::Kind::Twice: againAfterMs = fault.delayMs; break;
        }
    }
    if (vanish) {
        Vanish();
        return;
    }
    if (noReply) {
        Log("fault: frame lost, no action and no reply");
        return;
    }
    SimFrame reply{};
    if (!Act(frame, zeroCount, reply))
        return;

    std::vector<std::uint8_t> bytes(reply.begin(), reply.end());
    if (wrongHeader)
        bytes[0] = bytes[1] = kWrongHeaderByte;
    if (shortCount > 0)
        bytes.resize(std::min<std::size_t>(bytes.size(), static_cast<std::size_t>(shortCount)));
    std::vector<std::uint8_t> stray;
    for (int i = 0; i < strayCount; ++i)
        stray.push_back(kStrayBytes[static_cast<std::size_t>(i) % kStrayBytes.size()]);
    bytes.insert(bytes.begin(), stray.begin(), stray.end());
    Schedule(bytes, takenAt + std::chrono::milliseconds(delayMs));
    Log("reply " + Hex(bytes.data(), bytes.size()) +
        (delayMs > 0 ? " after " + std::to_string(delayMs) + " ms" : std::string()));
    if (againAfterMs) {
        Schedule(bytes, takenAt + std::chrono::milliseconds(delayMs + *againAfterMs));
        Log("fault: the same reply again " + std::to_string(*againAfterMs) + " ms later");
    }
}

bool CMeterSim::Impl::Act(const SimFrame& frame, bool zeroCount, SimFrame& reply) {
    reply[0] = kStartByte;
    reply[1] = frame[1];
    std::lock_guard lock(m_stateMutex);
    switch (frame[1]) {
    case kReadCount: {
        const std::size_t count = zeroCount ? 0 : m_options.reportedCount.value_or(m_records.size());
        reply[5] = static_cast<std::uint8_t>(count & 0xFF);
        reply[6] = static_cast<std::uint8_t>((count >> 8) & 0xFF);
        return true;
    }
    case kReadData: {
        if (m_options.echoAddress) {
            reply[2] = frame[2];
            reply[3] = frame[3];
            reply[4] = frame[4];
        }
        const long address = frame[2] | (frame[3] << 8);
        const long areaEnd = kRecordAreaStart + static_cast<long>(m_records.size() * kRecordSize);
        for (std::size_t i = 0; i < kReadLength; ++i) {
            const long byteAddress = address + static_cast<long>(i);
            if (byteAddress < kRecordAreaStart || byteAddress >= areaEnd) {
                reply[5 + i] = kUnstoredByte;
                continue;
            }
            const auto offset = static_cast<std::size_t>(byteAddress - kRecordAreaStart);
            reply[5 + i] = m_records[offset / kRecordSize].bytes[offset % kRecordSize];
        }
        return true;
    }
    case kClearCheck:
        return true;
    case kClearData:
        m_records.clear();
        ++m_eraseCount;
        return false;   // the erase is not answered
    default:
        return false;
    }
}

void CMeterSim::Impl::Schedule(const std::vector<std::uint8_t>& bytes, TimePoint start) {
    // Replies go out in the order they fall due, each in one piece: a late
    // reply that was not recalled may follow a newer one.
    auto at = std::find_if(m_output.begin(), m_output.end(),
                           [start](const OutByte& queued) { return queued.startsReply && queued.due > start; });
    // Paced: byte i has fully arrived i + 1 byte times after the reply began.
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const TimePoint due = m_options.paced ? start + static_cast<long>(i + 1) * kByteTime : start;
        at = m_output.insert(at, {bytes[i], due, i == 0}) + 1;
    }
}

// Returns true when the line would not take more bytes.
bool CMeterSim::Impl::WriteDueOutput(TimePoint now) {
    std::array<std::uint8_t, 256> chunk{};
    std::size_t count = 0;
    while (count < m_output.size() && count < chunk.size() && m_output[count].due <= now) {
        chunk[count] = m_output[count].value;
        ++count;
    }
    if (count == 0)
        return false;
    std::size_t written = 0;
    std::string problem;
    if (!m_wire->Write(chunk.data(), count, written, problem)) {
        Log(problem);
        m_output.clear();
        return false;
    }
    m_output.erase(m_output.begin(), m_output.begin() + static_cast<std::ptrdiff_t>(written));
    return written < count;
}

void CMeterSim::Impl::Vanish() {
    Log("fault: the meter is unplugged");
    m_wire->Unplug();
    m_input.clear();
    m_output.clear();
    m_vanished = true;
}

CMeterSim::CMeterSim(SimOptions options) : m_impl(std::make_unique<Impl>(std::move(options))) {}

CMeterSim::~CMeterSim() {
    Stop();
}

bool CMeterSim::Start(std::string& error) {
    std::lock_guard lock(m_impl->m_lifecycleMutex);
    if (m_impl->m_started) {
        error = "this simulated meter has already been started";
        return false;
    }
    if (m_impl->m_records.size() > static_cast<std::size_t>(kMaxSimRecords)) {
        error = "the meter's memory holds at most " + std::to_string(kMaxSimRecords) + " records";
        return false;
    }
    if (!m_impl->Open(error))
        return false;
    m_impl->m_started = true;
    m_impl->m_server = std::thread([impl = m_impl.get()] { impl->Serve(); });
    return true;
}

void CMeterSim::Stop() {
    std::lock_guard lock(m_impl->m_lifecycleMutex);
    m_impl->Shutdown();
}

const std::string& CMeterSim::SlavePath() const {
    static const std::string kNoPort;
    std::lock_guard lock(m_impl->m_lifecycleMutex);
    return m_impl->m_wire ? m_impl->m_wire->PortName() : kNoPort;
}

bool CMeterSim::InMemory() const {
    return m_impl->m_options.line == SimLine::InMemory;
}

std::unique_ptr<IByteStream> CMeterSim::Connect(PortAttempt& why) {
    std::lock_guard lock(m_impl->m_lifecycleMutex);
    if (!m_impl->m_wire) {
        why.failure = PortFailure::Absent;
        why.detail = "the simulated meter has not been started";
        return nullptr;
    }
    return m_impl->m_wire->Connect(why);
}

std::vector<MeterRecord> CMeterSim::Records() const {
    std::lock_guard lock(m_impl->m_stateMutex);
    return m_impl->m_records;
}

int CMeterSim::ExchangesServed() const {
    std::lock_guard lock(m_impl->m_stateMutex);
    return m_impl->m_exchangesServed;
}

int CMeterSim::EraseCount() const {
    std::lock_guard lock(m_impl->m_stateMutex);
    return m_impl->m_eraseCount;
}
