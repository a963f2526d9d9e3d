#include "GuiThreadEvents.h"

#include <QThread>

#include <chrono>
#include <memory>

namespace {

// How long one delivery may hold the GUI thread: well inside a 60 Hz frame.
constexpr std::chrono::milliseconds kDeliverySlice{4};

} // namespace

CGuiThreadEvents::CGuiThreadEvents(ITransferEvents& target, QObject* parent) : QObject(parent), m_target(target)
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

void CGuiThreadEvents::ShowMessage(const std::string& text)
{
    RunAndWait([this, text] { m_target.ShowMessage(text); });
}

void CGuiThreadEvents::OnCountKnown(unsigned recordCount)
{
    Post([this, recordCount] { m_target.OnCountKnown(recordCount); });
}

void CGuiThreadEvents::OnRowsInserted(unsigned rowCount)
{
    Post([this, rowCount] { m_target.OnRowsInserted(rowCount); });
}

void CGuiThreadEvents::OnRecordRead(int row, const MeterRecord& record)
{
    Post([this, row, record] { m_target.OnRecordRead(row, record); });
}

void CGuiThreadEvents::OnRowTexts(int row, const RowTexts& texts)
{
    Post([this, row, texts] { m_target.OnRowTexts(row, texts); });
}

void CGuiThreadEvents::OnProgress(unsigned position, unsigned received)
{
    Post([this, position, received] { m_target.OnProgress(position, received); });
}

void CGuiThreadEvents::OnStatusPane0(const std::string& text)
{
    Post([this, text] { m_target.OnStatusPane0(text); });
}

void CGuiThreadEvents::OnTimerStart()
{
    Post([this] { m_target.OnTimerStart(); });
}

void CGuiThreadEvents::OnTimerStop()
{
    Post([this] { m_target.OnTimerStop(); });
}

void CGuiThreadEvents::OnFinished(const TransferSummary& summary)
{
    Post([this, summary] { m_target.OnFinished(summary); });
}

void CGuiThreadEvents::ShowClearDone()
{
    RunAndWait([this] { m_target.ShowClearDone(); });
}

void CGuiThreadEvents::ShowScanFailure(const std::string& text, const std::vector<PortAttempt>& attempts)
{
    RunAndWait([this, text, attempts] { m_target.ShowScanFailure(text, attempts); });
}
