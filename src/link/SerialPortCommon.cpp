// What every platform's serial port shares: the receive-event wait, the
// reply sequence and the bookkeeping around messages, hang-ups and empty
// wake-ups, all on the platform's primitives.

#include "SerialPort.h"

#include <algorithm>
#include <thread>

std::size_t CSerialPort::Write(const std::uint8_t* bytes, std::size_t count) {
    if (!IsOpen() || CheckGone())
        return 0;
    TakeLineError();
    // Whatever is still queued belongs to an earlier exchange.
    Purge();
    return SendBytes(bytes, count);
}

std::size_t CSerialPort::WriteRest(const std::uint8_t* bytes, std::size_t count) {
    if (!IsOpen() || CheckGone())
        return 0;
    return SendBytes(bytes, count);
}

int CSerialPort::WaitRxEvent(int firstByteWaitMs) {
    if (!IsOpen()) {
        ShowMessage("Serial port not open！");
        m_rxEvent = 0;
        return 0;
    }
    m_rxEvent = 0;
    const auto deadline = Clock::now() + std::chrono::milliseconds(firstByteWaitMs);
    for (bool woken = false; m_rxEvent == 0; woken = true) {
        if (CheckGone()) {
            m_rxEvent = 2;
        } else if (TakeLineError()) {
            m_rxEvent = -1;
        } else if (QueuedBytes() > 0) {
            m_rxEvent = 1;
        } else if ((woken && !PauseAfterEmptyWakeUp(deadline)) ||
                   WaitForInput(deadline) != WaitResult::Ready) {
            m_rxEvent = 2;   // time-out, hang-up or abort all end the wait alike
        }
    }
    m_rearmWait = 1;
    return 0;
}

int CSerialPort::WaitForBytes(std::size_t count, int pollLimitMs) {
    if (!IsOpen() || CheckGone())
        return 0;
    const auto deadline = Clock::now() + std::chrono::milliseconds(pollLimitMs);
    std::size_t before = 0;
    for (bool woken = false;; woken = true) {
        if (TakeLineError())
            return 0;
        const std::size_t received = CollectReceived();
        if (m_gone)
            return 0;
        if (received >= count)
            return 1;
        if (woken && received == before && !PauseAfterEmptyWakeUp(deadline))
            return 0;
        before = received;
        if (WaitForInput(deadline) != WaitResult::Ready)
            return 0;
    }
}

void CSerialPort::ReceiveReply(int firstByteWaitMs) {
    m_rxComplete = 0;
    m_rxEvent = 0;
    if (m_rearmWait == 1) {
        m_rearmWait = 0;
        WaitRxEvent(firstByteWaitMs);
    }
    m_rxBuffer.fill(0);
    // Only a complete reply is read; a partial one stays unread and the buffer zeroed.
    if (m_rxEvent == 1 && WaitForBytes(kFrameSize, kReplyBytesWaitMs) == 1)
        Read(m_rxBuffer.data(), kFrameSize);
}

bool CSerialPort::SettleLine(int quietMs, int limitMs) {
    if (!IsOpen() || CheckGone())
        return false;
    const auto limit = Clock::now() + std::chrono::milliseconds(limitMs);
    for (;;) {
        Purge();
        const auto quietEnd = std::min(Clock::now() + std::chrono::milliseconds(quietMs), limit);
        switch (WaitForInput(quietEnd)) {
        case WaitResult::Ready:
            if (Clock::now() < limit)
                continue;   // bytes still coming: start the quiet time again
            [[fallthrough]];
        case WaitResult::Gone:
        case WaitResult::Aborted:
            Purge();
            return false;
        case WaitResult::TimedOut:
            return quietEnd < limit;
        }
    }
}

void CSerialPort::ShowMessage(const char* text) {
    if (m_messages)
        m_messages->ShowMessage(text);
}

std::size_t CSerialPort::Traced(bool outgoing, const std::uint8_t* bytes, std::size_t count) {
    if (count > 0 && m_trace)
        m_trace(outgoing, bytes, count);
    return count;
}

void CSerialPort::MarkGone(std::string detail) {
    if (m_gone.exchange(true))
        return;
    m_lastFailure = PortFailure::Gone;
    m_lastFailureDetail = std::move(detail);
}

bool CSerialPort::PauseAfterEmptyWakeUp(Clock::time_point deadline) {
    // A wake-up that brought no byte must neither outlast the deadline nor
    // turn the wait into a busy loop.
    if (Clock::now() >= deadline || Aborted())
        return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return true;
}
