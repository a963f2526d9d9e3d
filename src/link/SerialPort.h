#pragma once

#include "MessageSink.h"
#include "PortFailure.h"

#include <array>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

constexpr std::size_t kFrameSize = 13;
using Frame = std::array<std::uint8_t, kFrameSize>;

// One serial port at 9600 baud 8N1, raw, no flow control, held exclusively.
// On Linux a name without a slash is a device under /dev ("ttyUSB0") and a
// name with a slash is a path; on Windows a name is a COM port ("COM3") or a
// device path ("\\.\COM3"). Every wait is bounded, and a device that goes
// away is reported by every operation from then on (IsGone).
//
// The platform's side (the device, its settings, waits and queues) lives in
// SerialPortPosix.cpp or SerialPortWin32.cpp, one of which the build picks.
class CSerialPort {
public:
    // Called for every byte block written to or read from the device
    // (outgoing = true for writes); used by the command line's --trace.
    using TraceHook = std::function<void(bool outgoing, const std::uint8_t* bytes, std::size_t count)>;

    explicit CSerialPort(IMessageSink* messages = nullptr);
    ~CSerialPort();                                      // closes an open port
    CSerialPort(const CSerialPort&) = delete;
    CSerialPort& operator=(const CSerialPort&) = delete;

    static std::string DevicePath(const std::string& portName);
    // What the user can do about being denied portName ("; ..."), or empty.
    static std::string AccessHint(const std::string& portName);
    // Whether the device's rights keep this user from opening portName; asks
    // the system without opening the port.
    static bool AccessDenied(const std::string& portName);

    static constexpr int kReplyWaitMs = 500;             // for the first byte of a reply

    int ProbePort(const std::string& portName);          // 1 cannot be opened, 0 can; port left closed
    int Open(const std::string& portName);               // descriptor or handle (>= 0), or -1 after its message
    std::size_t Write(const std::uint8_t* bytes, std::size_t count);   // discards both queues first
    // Continues a partly written frame: what is still queued for sending is its
    // beginning and must not be discarded.
    std::size_t WriteRest(const std::uint8_t* bytes, std::size_t count);
    std::size_t Read(std::uint8_t* bytes, std::size_t count);  // only what is queued, never waits
    int WaitForBytes(std::size_t count, int pollLimitMs);  // 1 when count bytes are queued in time
    int WaitRxEvent(int firstByteWaitMs = kReplyWaitMs);  // always 0; outcome in RxEvent()
    // Reply in RxBuffer(), presence in RxComplete().
    void ReceiveReply(int firstByteWaitMs = kReplyWaitMs);
    // Discards whatever arrives until no byte has come for quietMs, or limitMs
    // have passed; then purges. True when the line went quiet.
    bool SettleLine(int quietMs, int limitMs);
    bool HasHungUp() { return !IsOpen() || CheckGone(); }   // looks at the line now
    void Purge();
    void Close();

    // While *abort is true every wait of the port ends within about 20 ms as
    // if it had timed out. The flag must outlive the port's use of it.
    void SetAbortFlag(const std::atomic<bool>* abort) { m_abort = abort; }

    bool IsOpen() const { return m_device != nullptr; }
    bool IsGone() const { return m_gone.load(); }
    PortFailure LastFailure() const { return m_lastFailure; }
    const std::string& LastFailureDetail() const { return m_lastFailureDetail; }

    Frame& RxBuffer() { return m_rxBuffer; }
    const Frame& RxBuffer() const { return m_rxBuffer; }
    int RxComplete() const { return m_rxComplete; }
    int RxEvent() const { return m_rxEvent; }

    void SetTraceHook(TraceHook hook) { m_trace = std::move(hook); }

    std::uint32_t m_baudRate = 9600;

private:
    using Clock = std::chrono::steady_clock;
    enum class WaitResult { Ready, TimedOut, Gone, Aborted };
    static constexpr int kPollSliceMs = 20;          // longest a wait goes without looking at the abort flag
    static constexpr int kWriteWaitMs = 5000;        // room in a full transmit queue
    static constexpr int kReplyBytesWaitMs = 5000;   // the rest of a reply once it has begun
    static constexpr int kReplyReadTimeoutMs = 5000;   // bounds a read of queued bytes where the platform can wait
    // The open device and what the platform keeps about it; null while closed.
    struct Device;

    // The platform's primitives, on an open port.
    bool CheckGone();                                     // true once the device has gone away
    bool TakeLineError();                                 // true (and receive side purged) after a line error
    std::size_t QueuedBytes();                            // received and not yet read
    std::size_t CollectReceived();                        // the same, once taken in where waits need it
    WaitResult WaitForInput(Clock::time_point deadline);  // Ready: bytes may have arrived
    std::size_t SendBytes(const std::uint8_t* bytes, std::size_t count);   // all it can, traced

    void ShowMessage(const char* text);
    std::size_t Traced(bool outgoing, const std::uint8_t* bytes, std::size_t count);   // returns count
    void MarkGone(std::string detail);
    bool Aborted() const { return m_abort != nullptr && m_abort->load(); }
    bool PauseAfterEmptyWakeUp(Clock::time_point deadline);   // false once the wait is over

    std::unique_ptr<Device> m_device;
    std::atomic<bool> m_gone{false};
    Frame m_rxBuffer{};
    int m_rxComplete = 0;
    int m_rxEvent = 0;
    int m_rearmWait = 1;
    PortFailure m_lastFailure = PortFailure::None;
    std::string m_lastFailureDetail;
    IMessageSink* m_messages = nullptr;
    TraceHook m_trace;
    const std::atomic<bool>* m_abort = nullptr;
};
