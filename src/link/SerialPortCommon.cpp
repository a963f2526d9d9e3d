// What every platform's serial port shares: opening and closing around the
// platform's device, the checks every operation starts with, and the wait
// for input that only a queued byte ends.

#include "SerialPort.h"

#include <thread>

CSerialPort::CSerialPort(IMessageSink* messages) : m_messages(messages) {}

CSerialPort::~CSerialPort() { Close(); }

int CSerialPort::Open(const std::string& portName) {
    // The object is reused for every port tried; never leave the previous one open.
    Close();
    m_gone = false;
    const char* message = nullptr;
    const int handle = OpenDevice(portName, message);
    if (handle < 0)
        ShowMessage(message);
    return handle;
}

void CSerialPort::Close() {
    if (!IsOpen())
        return;
    // An empty transmit queue keeps the close from waiting for the line to drain.
    Purge();
    m_device.reset();
}

std::size_t CSerialPort::Send(const std::uint8_t* bytes, std::size_t count) {
    if (!IsOpen() || CheckGone())
        return 0;
    return SendBytes(bytes, count);
}

std::size_t CSerialPort::Receive(std::uint8_t* bytes, std::size_t count) {
    if (!IsOpen() || CheckGone() || TakeLineError())
        return 0;
    return ReceiveQueued(bytes, count);
}

IByteStream::WaitResult CSerialPort::WaitForInput(int timeoutMs) {
    if (!IsOpen() || CheckGone())
        return WaitResult::Gone;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (bool woken = false;; woken = true) {
        TakeLineError();
        // The queued count is the truth: some drivers end a wait with an empty
        // event mask, or after a purge, while nothing has arrived.
        if (QueuedBytes() > 0)
            return WaitResult::Ready;
        if (woken) {
            // A wake-up that brought no byte must neither outlast the deadline
            // nor turn the wait into a busy loop.
            if (Clock::now() >= deadline || Aborted())
                return WaitResult::TimedOut;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        switch (WaitForDevice(deadline)) {
        case DeviceWait::Ready:
            break;
        case DeviceWait::Gone:
            return WaitResult::Gone;
        case DeviceWait::TimedOut:
        case DeviceWait::Aborted:
            return QueuedBytes() > 0 ? WaitResult::Ready : WaitResult::TimedOut;
        }
    }
}

void CSerialPort::ShowMessage(const char* text) {
    if (m_messages)
        m_messages->ShowMessage(text);
}

void CSerialPort::MarkGone(std::string detail) {
    if (m_gone.exchange(true))
        return;
    m_lastFailure = PortFailure::Gone;
    m_lastFailureDetail = std::move(detail);
}

ByteStreamFactory SerialPortFactory(IMessageSink* messages, const std::atomic<bool>* abort) {
    return [messages, abort](const std::string& portName, PortAttempt& why) -> std::unique_ptr<IByteStream> {
        auto port = std::make_unique<CSerialPort>(messages);
        port->SetAbortFlag(abort);
        if (port->ProbePort(portName) == 0 && port->Open(portName) >= 0)
            return port;
        why.failure = port->LastFailure();
        why.detail = port->LastFailureDetail();
        return nullptr;
    };
}
