#include "GuiThreadEvents.h"

#include <QThread>

#include <memory>

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
    // Always queued, even from the GUI thread: queued calls to one receiver
    // run in the order they were posted.
    QMetaObject::invokeMethod(this, std::move(update), Qt::QueuedConnection);
}

void CGuiThreadEvents::RunAndWait(std::function<void()> dialog)
{
    if (OnGuiThread()) {
        if (!m_shuttingDown)
            dialog();
        return;
    }
    auto closed = std::make_shared<bool>(false);   // guarded by m_mutex
    QMetaObject::invokeMethod(
        this,
        [this, dialog = std::move(dialog), closed] {
            if (!m_shuttingDown)
                dialog();
            {
                std::lock_guard lock(m_mutex);
                *closed = true;
            }
            m_closed.notify_all();
        },
        Qt::QueuedConnection);
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

void CGuiThreadEvents::OnRowTexts(int row, const RowTexts& texts)
{
    Post([this, row, texts] { m_target.OnRowTexts(row, texts); });
}

void CGuiThreadEvents::OnProgress(unsigned received)
{
    Post([this, received] { m_target.OnProgress(received); });
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
