#pragma once

#include "EventRelay.h"
#include "MeterLink.h"

#include <QObject>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

// Hands the meter link's events to a target on the GUI thread, one at a time
// and in the order they were produced. Messages hold their caller until the
// target has shown and the operator closed them; on the GUI thread itself
// they are shown directly. Once shutting down, held callers return at once
// and later messages are not shown, so the owner can join its threads.
//
// The events wait in a queue of our own, guarded by m_mutex: the hand-over
// from the worker to the GUI thread is then ordered by a lock that every
// thread checker sees, not only by the toolkit's event queue. The GUI thread
// takes them in slices of a few milliseconds, so painting and input get
// their turn however fast the meter delivers.
class CGuiThreadEvents : public QObject, public CEventRelay {
    Q_OBJECT

public:
    explicit CGuiThreadEvents(ITransferEvents& target, QObject* parent = nullptr);
    ~CGuiThreadEvents() override;   // callers must have been joined

    void BeginShutdown();

protected:
    void Relay(Event event) override;
    void RelayAndWait(Event event) override;

private:
    bool OnGuiThread() const;
    void Post(std::function<void()> update);
    void RunAndWait(std::function<void()> dialog);
    void Deliver();   // on the GUI thread: one slice of the queue

    std::atomic<bool> m_shuttingDown{false};
    std::mutex m_mutex;
    std::condition_variable m_closed;
    std::deque<std::function<void()>> m_pending;   // guarded by m_mutex
};
