#pragma once
// A meter's line in virtual time, for the link's pure logic: every frame the
// link writes is answered as the test's script says, and every wait moves a
// virtual clock instead of taking time. Exchanges of seconds run in
// microseconds and their timing is exact.

#include "ByteStream.h"
#include "LinkClock.h"
#include "MeterExchange.h"
#include "MeterProtocol.h"
#include "MeterRecord.h"

#include <algorithm>
#include <functional>
#include <map>
#include <vector>

using Bytes = std::vector<std::uint8_t>;

class CVirtualClock : public ILinkClock {
public:
    Clock::time_point Now() override { return m_now; }
    bool Pause(int ms) override {
        Advance(ms);
        return !m_stop;
    }
    void Hold(int ms) override { Advance(ms); }
    bool StopRequested() override { return m_stop; }

    int Elapsed() const { return static_cast<int>((m_now - kStart).count() / 1'000'000); }   // ms since the start
    void Advance(int ms) {
        m_now += std::chrono::milliseconds(ms);
        if (m_stopAtMs >= 0 && Elapsed() >= m_stopAtMs)
            m_stop = true;
    }
    void StopAt(int ms) { m_stopAtMs = ms; }   // a stop request at this time

private:
    static constexpr Clock::time_point kStart{std::chrono::hours(1)};
    Clock::time_point m_now = kStart;
    bool m_stop = false;
    int m_stopAtMs = -1;
};

// Bytes that reach the host `afterMs` after the frame that caused them was written.
struct Arrival {
    int afterMs;
    Bytes bytes;
};

class CScriptedLine : public IByteStream {
public:
    // frameNumber counts from 1 over every frame written whole.
    using Script = std::function<std::vector<Arrival>(const Frame& frame, int frameNumber)>;

    CScriptedLine(CVirtualClock& clock, Script script) : m_clock(clock), m_script(std::move(script)) {}

    // Each Send takes at most this many bytes, in turn (then no limit): short writes.
    std::vector<std::size_t> sendLimits;
    int goneAtMs = -1;                          // the device goes away at this time
    std::vector<std::pair<int, Frame>> frames;  // written whole, with the time of writing

    void DeliverAt(int atMs, const Bytes& bytes) { m_due.emplace(atMs, bytes); }

    std::size_t Send(const std::uint8_t* bytes, std::size_t count) override {
        if (HasHungUp())
            return 0;
        if (m_sends < sendLimits.size())
            count = std::min(count, sendLimits[m_sends]);
        ++m_sends;
        m_partial.insert(m_partial.end(), bytes, bytes + count);
        if (m_partial.size() >= kFrameSize) {
            Frame frame{};
            std::copy_n(m_partial.begin(), kFrameSize, frame.begin());
            m_partial.erase(m_partial.begin(), m_partial.begin() + kFrameSize);
            frames.emplace_back(m_clock.Elapsed(), frame);
            for (const Arrival& arrival : m_script ? m_script(frame, static_cast<int>(frames.size()))
                                                   : std::vector<Arrival>{})
                DeliverAt(m_clock.Elapsed() + arrival.afterMs, arrival.bytes);
        }
        return count;
    }
    std::size_t Receive(std::uint8_t* bytes, std::size_t count) override {
        TakeArrived();
        const std::size_t got = std::min(count, m_queued.size());
        std::copy_n(m_queued.begin(), got, bytes);
        m_queued.erase(m_queued.begin(), m_queued.begin() + static_cast<std::ptrdiff_t>(got));
        return got;
    }
    WaitResult WaitForInput(int timeoutMs) override {
        TakeArrived();
        if (!m_queued.empty())
            return WaitResult::Ready;
        if (HasHungUp())
            return WaitResult::Gone;
        int until = m_clock.Elapsed() + timeoutMs;
        if (!m_due.empty())
            until = std::min(until, m_due.begin()->first);
        if (goneAtMs >= 0)
            until = std::min(until, goneAtMs);
        m_clock.Advance(until - m_clock.Elapsed());
        TakeArrived();
        return !m_queued.empty() ? WaitResult::Ready : HasHungUp() ? WaitResult::Gone : WaitResult::TimedOut;
    }
    void Purge() override {
        TakeArrived();
        m_queued.clear();
    }
    bool HasHungUp() override { return goneAtMs >= 0 && m_clock.Elapsed() >= goneAtMs; }

private:
    void TakeArrived() {
        while (!m_due.empty() && m_due.begin()->first <= m_clock.Elapsed()) {
            m_queued.insert(m_queued.end(), m_due.begin()->second.begin(), m_due.begin()->second.end());
            m_due.erase(m_due.begin());
        }
    }

    CVirtualClock& m_clock;
    Script m_script;
    std::multimap<int, Bytes> m_due;   // arrival time -> bytes, in order of scheduling for equal times
    Bytes m_queued;
    Bytes m_partial;
    std::size_t m_sends = 0;
};

// A scripted line and an exchange over it at the meter's own pauses, on one
// virtual clock. Set the line's and the clock's faults before the first frame.
struct CScriptedRig {
    // Without a script, a meter that never answers.
    explicit CScriptedRig(CScriptedLine::Script script = {}) : line(clock, std::move(script)) {}
    CVirtualClock clock;
    CScriptedLine line;
    CMeterExchange exchange{line, clock, Pauses{}};
};

// Reply bytes as the meter sends them: bytes 0-4 (the address repeated or
// zeros), then up to 8 data bytes.
inline Bytes ReplyTo(const Frame& frame, bool repeatAddress, const Bytes& data = {}) {
    Bytes reply(kFrameSize, 0);
    for (std::size_t i = 0; i < 5; ++i)
        reply[i] = i < 2 || repeatAddress ? frame[i] : 0;
    for (std::size_t i = 0; i < data.size() && 5 + i < kFrameSize; ++i)
        reply[5 + i] = data[i];
    return reply;
}

// The 8 bytes a meter holds for a block: the block's number in every byte.
inline Bytes BlockBytes(unsigned block) { return Bytes(8, static_cast<std::uint8_t>(block & 0xFF)); }
inline unsigned BlockOf(const Frame& frame) { return ((frame[3] - 0x10u) * 256u + frame[2]) / 8u; }
