// The simulated meter on a line inside the program, for systems without
// pseudo-terminals: two bounded byte queues, one each way, under one lock.
// The line itself moves bytes at once; the meter paces its replies as it
// does on a pseudo-terminal. The link opens the host's end as it would a
// serial port, one host at a time.

#include "SimWire.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>

namespace {

// Each way holds as much as a serial driver's queue: far more than a frame.
constexpr std::size_t kLineCapacity = 4096;
// How long the host's Send waits for room before it gives up.
constexpr auto kSendWait = std::chrono::seconds(5);

// What both ends share; it lives as long as either end.
struct SMemoryLine {
    std::mutex mutex;
    std::condition_variable changed;   // any of the below; both ends wait on it
    std::deque<std::uint8_t> toMeter;
    std::deque<std::uint8_t> toHost;
    bool serving = true;        // false once the meter is unplugged or stopped
    bool hostConnected = false;
    bool stopRequested = false;

    // Moves up to count bytes from the front of `from`.
    static std::size_t Take(std::deque<std::uint8_t>& from, std::uint8_t* bytes, std::size_t count) {
        const std::size_t taken = std::min(count, from.size());
        std::copy_n(from.begin(), taken, bytes);
        from.erase(from.begin(), from.begin() + static_cast<std::ptrdiff_t>(taken));
        return taken;
    }
    static std::size_t Put(std::deque<std::uint8_t>& to, const std::uint8_t* bytes, std::size_t count) {
        const std::size_t put = std::min(count, kLineCapacity - std::min(kLineCapacity, to.size()));
        to.insert(to.end(), bytes, bytes + put);
        return put;
    }
    void Unplug() {
        {
            std::lock_guard lock(mutex);
            serving = false;
            toMeter.clear();
            toHost.clear();
        }
        changed.notify_all();
    }
};

// The host's end, as the link sees it.
class CMemoryPort : public IByteStream {
public:
    explicit CMemoryPort(std::shared_ptr<SMemoryLine> line) : m_line(std::move(line)) {}
    ~CMemoryPort() override {
        // As a closed serial port does, what was under way either way is dropped.
        {
            std::lock_guard lock(m_line->mutex);
            m_line->hostConnected = false;
            m_line->toMeter.clear();
            m_line->toHost.clear();
        }
        m_line->changed.notify_all();
    }
    CMemoryPort(const CMemoryPort&) = delete;
    CMemoryPort& operator=(const CMemoryPort&) = delete;

    std::size_t Send(const std::uint8_t* bytes, std::size_t count) override {
        std::unique_lock lock(m_line->mutex);
        m_line->changed.wait_for(lock, kSendWait, [&] {
            return !m_line->serving || m_line->toMeter.size() < kLineCapacity;
        });
        if (!m_line->serving)
            return 0;
        const std::size_t sent = SMemoryLine::Put(m_line->toMeter, bytes, count);
        lock.unlock();
        m_line->changed.notify_all();
        return sent;
    }

    std::size_t Receive(std::uint8_t* bytes, std::size_t count) override {
        std::unique_lock lock(m_line->mutex);
        if (!m_line->serving)
            return 0;
        const std::size_t got = SMemoryLine::Take(m_line->toHost, bytes, count);
        lock.unlock();
        m_line->changed.notify_all();   // room for the meter's replies
        return got;
    }

    WaitResult WaitForInput(int timeoutMs) override {
        std::unique_lock lock(m_line->mutex);
        m_line->changed.wait_for(lock, std::chrono::milliseconds(std::max(timeoutMs, 0)),
                                 [&] { return !m_line->serving || !m_line->toHost.empty(); });
        if (!m_line->serving)
            return WaitResult::Gone;
        return m_line->toHost.empty() ? WaitResult::TimedOut : WaitResult::Ready;
    }

    void Purge() override {
        {
            std::lock_guard lock(m_line->mutex);
            m_line->toMeter.clear();
            m_line->toHost.clear();
        }
        m_line->changed.notify_all();
    }

    bool HasHungUp() override {
        std::lock_guard lock(m_line->mutex);
        return !m_line->serving;
    }

private:
    std::shared_ptr<SMemoryLine> m_line;
};

// The meter's end.
class CMemoryWire : public ISimWire {
public:
    explicit CMemoryWire(std::string name) : m_name(std::move(name)), m_line(std::make_shared<SMemoryLine>()) {}
    ~CMemoryWire() override { Close(); }

    const std::string& PortName() const override { return m_name; }

    bool Wait(TimePoint wakeAt, bool writeBlocked, std::string&) override {
        std::unique_lock lock(m_line->mutex);
        const auto woken = [&] {
            return m_line->stopRequested || !m_line->toMeter.empty() ||
                   (writeBlocked && m_line->toHost.size() < kLineCapacity);
        };
        if (wakeAt == TimePoint::max())
            m_line->changed.wait(lock, woken);
        else
            m_line->changed.wait_until(lock, wakeAt, woken);
        return !m_line->stopRequested;
    }

    std::size_t Read(std::uint8_t* bytes, std::size_t count) override {
        std::unique_lock lock(m_line->mutex);
        const std::size_t got = SMemoryLine::Take(m_line->toMeter, bytes, count);
        lock.unlock();
        m_line->changed.notify_all();   // room for the host's frames
        return got;
    }

    bool Write(const std::uint8_t* bytes, std::size_t count, std::size_t& written, std::string&) override {
        {
            std::lock_guard lock(m_line->mutex);
            // With nobody at the other end the bytes are lost, as on a wire.
            const bool heard = m_line->serving && m_line->hostConnected;
            written = heard ? SMemoryLine::Put(m_line->toHost, bytes, count) : count;
        }
        m_line->changed.notify_all();
        return true;
    }

    void Unplug() override { m_line->Unplug(); }
    void Close() override { m_line->Unplug(); }

    void RequestStop() override {
        {
            std::lock_guard lock(m_line->mutex);
            m_line->stopRequested = true;
        }
        m_line->changed.notify_all();
    }

    std::unique_ptr<IByteStream> Connect(PortAttempt& why) override {
        std::lock_guard lock(m_line->mutex);
        if (!m_line->serving) {
            why.failure = PortFailure::Absent;
            why.detail = "the simulated meter has stopped";
            return nullptr;
        }
        if (m_line->hostConnected) {
            why.failure = PortFailure::Busy;
            why.detail = "the simulated meter is already in use";
            return nullptr;
        }
        m_line->hostConnected = true;
        return std::make_unique<CMemoryPort>(m_line);
    }

private:
    const std::string m_name;
    const std::shared_ptr<SMemoryLine> m_line;
};

}  // namespace

std::unique_ptr<ISimWire> OpenMemoryLine(const std::string& name) {
    return std::make_unique<CMemoryWire>(name);
}
