#pragma once

#include "MessageSink.h"
#include "PortFailure.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

constexpr std::size_t kFrameSize = 13;
using Frame = std::array<std::uint8_t, kFrameSize>;

// One serial port at 9600 baud 8N1, raw, no flow control, held exclusively.
// A name without a slash is a device under /dev ("ttyUSB0"); a name with a
// slash is a path. Every wait is bounded, and a device that goes away is
// reported by every operation from then on (IsGone).
class CSerialPort {
public:
    // Called for every byte block written to or read from the device
    // (outgoing = true for writes); used by the command line's --trace.
    using TraceHook = std::function<void(bool outgoing, const std::uint8_t* bytes, std::size_t count)>;

    explicit CSerialPort(IMessageSink* messages = nullptr);
    ~CSerialPort();
    CSerialPort(const CSerialPort&) = delete;
    CSerialPort& operator=(const CSerialPort&) = delete;

    static std::string DevicePath(const std::string& portName);

    int ProbePort(const std::string& portName);          // 1 cannot be opened, 0 can; port left closed
    int Open(const std::string& portName);               // descriptor, or -1 after its message
    std::size_t Write(const std::uint8_t* bytes, std::size_t count);   // discards unread input first
    std::size_t Read(std::uint8_t* bytes, std::size_t count, int timeoutMs);  // only what is queued
    int WaitForBytes(std::size_t count, int pollLimitMs);  // 1 when count bytes are queued in time
    int WaitRxEvent();                                   // always 0; outcome in RxEvent()
    void ReceiveReply();                                 // reply in RxBuffer(), presence in RxComplete()
    void Purge();
    void Close();

    bool IsOpen() const { return m_fd >= 0; }
    bool IsGone() const { return m_gone; }
    PortFailure LastFailure() const { return m_lastFailure; }
    const std::string& LastFailureDetail() const { return m_lastFailureDetail; }

    Frame& RxBuffer() { return m_rxBuffer; }
    const Frame& RxBuffer() const { return m_rxBuffer; }
    int RxComplete() const { return m_rxComplete; }
    int RxEvent() const { return m_rxEvent; }

    void SetTraceHook(TraceHook hook) { m_trace = std::move(hook); }
    void SetMessageSink(IMessageSink* messages) { m_messages = messages; }

    std::uint32_t m_baudRate = 9600;

private:
    // ... implementation members (fd, flags, helpers)
    int m_fd = -1;
    bool m_gone = false;
    Frame m_rxBuffer{};
    int m_rxComplete = 0;
    int m_rxEvent = 0;
    int m_rearmWait = 1;
    PortFailure m_lastFailure = PortFailure::None;
    std::string m_lastFailureDetail;
    IMessageSink* m_messages = nullptr;
    TraceHook m_trace;
};
