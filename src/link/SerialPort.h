#pragma once

#include "ByteStream.h"
#include "MessageSink.h"
#include "PortFailure.h"

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

// One serial port at 9600 baud 8N1, raw, no flow control, held exclusively.
// On Linux a name without a slash is a device under /dev ("ttyUSB0") and a
// name with a slash is a path; on Windows a name is a COM port ("COM3") or a
// device path ("\\.\COM3"). Every wait is bounded, and a device that goes
// away is reported by every operation from then on (IsGone).
//
// The platform's side (the device, its settings, waits and queues) lives in
// SerialPortPosix.cpp or SerialPortWin32.cpp, one of which the build picks;
// what both share is in SerialPortCommon.cpp.
class CSerialPort : public IByteStream {
public:
    explicit CSerialPort(IMessageSink* messages = nullptr);
    ~CSerialPort() override;                             // closes an open port
    CSerialPort(const CSerialPort&) = delete;
    CSerialPort& operator=(const CSerialPort&) = delete;

    static std::string DevicePath(const std::string& portName);
    // What the user can do about being denied portName ("; ..."), or empty.
    static std::string AccessHint(const std::string& portName);
    // Whether the device's rights keep this user from opening portName; asks
    // the system without opening the port.
    static bool AccessDenied(const std::string& portName);

    int ProbePort(const std::string& portName);          // 1 cannot be opened, 0 can; port left closed
    int Open(const std::string& portName);               // descriptor or handle (>= 0), or -1 after its message
    void Close();

    // The line, on an open port; on a closed one nothing moves and waits end at once.
    std::size_t Send(const std::uint8_t* bytes, std::size_t count) override;
    // A line error discards what is queued (the bytes are damaged) and gives 0.
    std::size_t Receive(std::uint8_t* bytes, std::size_t count) override;
    WaitResult WaitForInput(int timeoutMs) override;
    void Purge() override;
    bool HasHungUp() override { return !IsOpen() || CheckGone(); }

    // While *abort is true every wait of the port ends within about 20 ms as
    // if it had timed out. The flag must outlive the port's use of it.
    void SetAbortFlag(const std::atomic<bool>* abort) { m_abort = abort; }

    bool IsOpen() const { return m_device != nullptr; }
    bool IsGone() const { return m_gone.load(); }
    PortFailure LastFailure() const { return m_lastFailure; }
    const std::string& LastFailureDetail() const { return m_lastFailureDetail; }

    std::uint32_t m_baudRate = 9600;

private:
    using Clock = std::chrono::steady_clock;
    enum class DeviceWait { Ready, TimedOut, Gone, Aborted };
    static constexpr int kPollSliceMs = 20;          // longest a wait goes without looking at the abort flag
    static constexpr int kWriteWaitMs = 5000;        // room in a full transmit queue
    // The open device and what the platform keeps about it; null while closed.
    struct Device;
    struct DeviceDeleter {
        void operator()(Device* device) const;   // the platform's: closes the device
    };

    // The platform's primitives, on an open port.
    int OpenDevice(const std::string& portName, const char*& message);   // >= 0, or -1 with the message to show
    bool CheckGone();                                     // true once the device has gone away
    bool TakeLineError();                                 // true (and receive side purged) after a line error
    std::size_t QueuedBytes();                            // received and not yet read
    std::size_t ReceiveQueued(std::uint8_t* bytes, std::size_t count);
    DeviceWait WaitForDevice(Clock::time_point deadline);   // Ready: bytes may have arrived
    std::size_t SendBytes(const std::uint8_t* bytes, std::size_t count);   // all it can

    void ShowMessage(const char* text);
    void MarkGone(std::string detail);
    bool Aborted() const { return m_abort != nullptr && m_abort->load(); }

    std::unique_ptr<Device, DeviceDeleter> m_device;
    std::atomic<bool> m_gone{false};
    PortFailure m_lastFailure = PortFailure::None;
    std::string m_lastFailureDetail;
    IMessageSink* m_messages = nullptr;
    const std::atomic<bool>* m_abort = nullptr;
};

// Opens the system's serial ports for the link: probe, then open, as the
// port search has always done. Open's messages go to `messages`; the port's
// waits end early while *abort is set.
ByteStreamFactory SerialPortFactory(IMessageSink* messages, const std::atomic<bool>* abort);
