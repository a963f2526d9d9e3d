#include "LinkClock.h"

#include <thread>

bool CLinkClock::Pause(int ms) {
    std::unique_lock lock(m_mutex);
    return !m_wake.wait_for(lock, std::chrono::milliseconds(ms), [this] { return m_stop.load(); });
}

void CLinkClock::Hold(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void CLinkClock::RequestStop() {
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
}
