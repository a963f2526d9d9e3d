#pragma once
// The link's sense of time: the pauses between steps and the stop request
// that cuts them short. Tests give the exchange a clock of their own so that
// whole exchanges run in virtual time.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

class ILinkClock {
public:
    using Clock = std::chrono::steady_clock;
    virtual ~ILinkClock() = default;
    virtual Clock::time_point Now() = 0;
    virtual bool Pause(int ms) = 0;          // false when a stop request cut it short
    virtual void Hold(int ms) = 0;           // runs to its end whatever is requested meanwhile
    virtual bool StopRequested() = 0;
};

// Real time; RequestStop wakes a running pause at once.
class CLinkClock : public ILinkClock {
public:
    Clock::time_point Now() override { return Clock::now(); }
    bool Pause(int ms) override;
    void Hold(int ms) override;
    bool StopRequested() override { return m_stop.load(); }

    void RequestStop();
    void ClearStop() { m_stop = false; }
    // For the serial port's own waits, which look at it between slices.
    const std::atomic<bool>* StopFlag() const { return &m_stop; }

private:
    std::atomic<bool> m_stop{false};
    std::mutex m_mutex;
    std::condition_variable m_wake;
};

// Milliseconds from `from` to `to`, rounded up, never negative.
inline int MsBetween(ILinkClock::Clock::time_point from, ILinkClock::Clock::time_point to) {
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(to - from).count();
    return ms > 0 ? static_cast<int>(ms) : 0;
}
