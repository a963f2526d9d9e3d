#include "GuiThreadEvents.h"

#include <QThread>

#include <chrono>
#include <memory>

namespace {

// How long one delivery may hold the GUI thread: well inside a 60 Hz frame.
constexpr std::chrono::milliseconds kDeliverySlice{4};

} // namespace

CGuiThreadEvents::CGuiThreadEvents(ITransferEvents& target, QObject* parent) : QObject(parent), CEventRelay(target)
{
}

CGuiThreadEvents::~CGuiThreadEvents()
{
    BeginShutdown();
}

void CGuiThreadEvents::BeginShutdown()
{
    {
        std::lock_guard lock(m_mutex);
        m_shuttingDown = true;
    }
    m_closed.notify_all();
}

bool CGuiThreadEvents::OnGuiThread() const
{
    return QThread::currentThread() == thread();
}

void CGuiThreadEvents::Post(std::function<void()> update)
{
    // Always queued, even from the GUI thread, so everything keeps its order.
    // Whoever finds the queue empty asks for a delivery; a delivery under way
    // takes the rest.
    bool wake = false;
    {
        std::lock_guard lock(m_mutex);
        wake = m_pending.empty();
        m_pending.push_back(std::move(update));
    }
    if (wake)
        QMetaObject::invokeMethod(this, &CGuiThreadEvents::Deliver, Qt::QueuedConnection);
}

void CGuiThreadEvents::Deliver()
{
    const auto sliceEnd = std::chrono::steady_clock::now() + kDeliverySlice;
    for (;;) {
        std::function<void()> update;
        {
            std::lock_guard lock(m_mutex);
            if (m_pending.empty())
                return;
            if (std::chrono::steady_clock::now() >= sliceEnd) {
                // The rest after whatever else waits: painting, input, timers.
                QMetaObject::invokeMethod(this, &CGuiThreadEvents::Deliver, Qt::QueuedConnection);
                return;
            }
            update = std::move(m_pending.front());
            m_pending.pop_front();
        }
        update();
    }
}

void CGuiThreadEvents::RunAndWait(std::function<void()> dialog)
{
    if (OnGuiThread()) {
        if (!m_shuttingDown)
            dialog();
        return;
    }
    auto closed = std::make_shared<bool>(false);   // guarded by m_mutex
    Post([this, dialog = std::move(dialog), closed] {
        if (!m_shuttingDown)
            dialog();
        {
            std::lock_guard lock(m_mutex);
            *closed = true;
        }
        m_closed.notify_all();
    });
    std::unique_lock lock(m_mutex);
    m_closed.wait(lock, [&] { return *closed || m_shuttingDown.load(); });
}

void CGuiThreadEvents::Relay(Event event)
{
    Post([this, event = std::move(event)] { CEventRelay::Relay(event); });
}

void CGuiThreadEvents::RelayAndWait(Event event)
{
    RunAndWait([this, event = std::move(event)] { CEventRelay::Relay(event); });
}
