// The serial port on Win32 communications: an overlapped COM port with
// driver queues, line settings, time-outs and receive events.

#include "SerialPort.h"

#include "Win32Text.h"

#include <algorithm>
#include <cstdint>

#include <windows.h>

namespace {

constexpr DWORD kQueueBytes = 5120;   // driver queue, each way
constexpr DWORD kReceiveEvents = EV_RXCHAR | EV_ERR;
constexpr DWORD kPurgeAll = PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR;
constexpr DWORD kPurgeReceive = PURGE_RXABORT | PURGE_RXCLEAR;
constexpr DWORD kLineErrors = CE_FRAME | CE_OVERRUN | CE_RXOVER | CE_RXPARITY | CE_BREAK;
constexpr char kEndOfFileChar = static_cast<char>(0xA0);
// Bounds a read of queued bytes, which completes at once on a sound driver.
constexpr int kQueuedReadWaitMs = 5000;

PortFailure FailureFromError(DWORD error) {
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_NETPATH:
    case ERROR_DEV_NOT_EXIST:
    case ERROR_DEVICE_NOT_CONNECTED:
        return PortFailure::Absent;
    // Windows refuses a COM port that another program has open with "access
    // denied"; wine reports a tty held exclusively as a lock violation.
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_BUSY:
        return PortFailure::Busy;
    case ERROR_PRIVILEGE_NOT_HELD:
        return PortFailure::PermissionDenied;
    default:
        return PortFailure::Other;
    }
}

std::string FailureDetail(DWORD error) {
    if (error == ERROR_ACCESS_DENIED)
        return "another program has it open, or access is denied";
    if (FailureFromError(error) == PortFailure::Busy)
        return "another program has it open";
    return SystemErrorText(error);
}

// An open handle on a serial device, or INVALID_HANDLE_VALUE with the reason
// in failure and detail.
HANDLE OpenHandle(const std::string& path, PortFailure& failure, std::string& detail) {
    failure = PortFailure::None;
    detail.clear();
    const HANDLE handle = ::CreateFileW(WideFromUtf8(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                       OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        failure = FailureFromError(error);
        detail = FailureDetail(error);
        return INVALID_HANDLE_VALUE;
    }
    // A file or another kind of device opens too, but takes no line settings.
    DCB settings{};
    settings.DCBlength = sizeof settings;
    if (::GetFileType(handle) != FILE_TYPE_CHAR || !::GetCommState(handle, &settings)) {
        ::CloseHandle(handle);
        failure = PortFailure::NotATty;
        detail = "not a communications device";
        return INVALID_HANDLE_VALUE;
    }
    return handle;
}

}  // namespace

// An overlapped COM port handle, its receive-event wait and the line errors
// that a status query has cleared but nobody has taken yet.
struct CSerialPort::Device {
    Device(CSerialPort& owner, HANDLE device);
    ~Device();
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;

    bool QueryStatus(std::size_t& queued);   // false once the device has gone
    void MarkGone(DWORD error);
    template <typename Start>
    std::size_t Transfer(Start start, int timeoutMs);
    bool WaitSignalled(HANDLE event, Clock::time_point deadline);   // false on time-out or abort
    DWORD Finish(OVERLAPPED& request, bool cancel);
    void EndReceiveWait();

    CSerialPort& port;
    const HANDLE handle;
    const HANDLE ioEvent;            // one ReadFile or WriteFile at a time
    const HANDLE receiveEvent;       // the WaitCommEvent request
    OVERLAPPED receiveWait{};
    DWORD receiveMask = 0;
    bool receiveWaitPending = false;
    DWORD lineErrors = 0;
};

CSerialPort::Device::Device(CSerialPort& owner, HANDLE device)
    : port(owner),
      handle(device),
      ioEvent(::CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      receiveEvent(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

CSerialPort::Device::~Device() {
    EndReceiveWait();
    ::CloseHandle(handle);
    if (ioEvent != nullptr)
        ::CloseHandle(ioEvent);
    if (receiveEvent != nullptr)
        ::CloseHandle(receiveEvent);
}

void CSerialPort::DeviceDeleter::operator()(Device* device) const { delete device; }

std::string CSerialPort::DevicePath(const std::string& portName) {
    // A name with a path separator or a drive is a path already.
    if (portName.find_first_of("\\/:") != std::string::npos)
        return portName;
    return "\\\\.\\" + portName;
}

std::string CSerialPort::AccessHint(const std::string& portName) {
    (void)portName;
    return "; the computer's administrator can give the user access to the port";
}

// A COM port carries no per-user rights that a user could be told to change:
// a refused open means another program holds it.
bool CSerialPort::AccessDenied(const std::string& portName) {
    (void)portName;
    return false;
}

int CSerialPort::ProbePort(const std::string& portName) {
    const HANDLE handle = OpenHandle(DevicePath(portName), m_lastFailure, m_lastFailureDetail);
    if (handle == INVALID_HANDLE_VALUE)
        return 1;
    ::CloseHandle(handle);
    return 0;
}

int CSerialPort::OpenDevice(const std::string& portName, const char*& message) {
    const HANDLE handle = OpenHandle(DevicePath(portName), m_lastFailure, m_lastFailureDetail);
    if (handle == INVALID_HANDLE_VALUE) {
        message = m_lastFailure == PortFailure::NotATty ? "Set CommState fail！" : "Open serial port fail！";
        return -1;
    }
    m_device.reset(new Device(*this, handle));
    const auto fail = [this, &message](const char* text) {
        m_lastFailure = PortFailure::Other;
        m_lastFailureDetail = SystemErrorText(::GetLastError());
        m_device.reset();
        message = text;
        return -1;
    };
    if (m_device->ioEvent == nullptr || m_device->receiveEvent == nullptr)
        return fail("create event fail");
    if (!::SetupComm(handle, kQueueBytes, kQueueBytes))
        return fail("Set serial port's buffer fail！");

    COMMTIMEOUTS timeouts{};
    ::GetCommTimeouts(handle, &timeouts);
    timeouts.ReadIntervalTimeout = 1000;
    timeouts.ReadTotalTimeoutMultiplier = 1000;
    timeouts.ReadTotalTimeoutConstant = 2000;
    timeouts.WriteTotalTimeoutMultiplier = 1000;
    timeouts.WriteTotalTimeoutConstant = 2000;
    ::SetCommTimeouts(handle, &timeouts);

    DCB settings{};
    settings.DCBlength = sizeof settings;
    if (!::GetCommState(handle, &settings))
        return fail("Set CommState fail！");
    settings.EofChar = kEndOfFileChar;
    settings.BaudRate = m_baudRate;
    settings.ByteSize = 8;
    settings.Parity = NOPARITY;
    settings.StopBits = ONESTOPBIT;
    // Frames carry raw float bytes: nothing may be dropped, replaced or taken
    // for flow control, whatever an earlier program left set. DTR and RTS
    // are raised, as a freshly opened port has them.
    settings.fBinary = TRUE;
    settings.fParity = FALSE;
    settings.fOutxCtsFlow = FALSE;
    settings.fOutxDsrFlow = FALSE;
    settings.fDtrControl = DTR_CONTROL_ENABLE;
    settings.fDsrSensitivity = FALSE;
    settings.fOutX = FALSE;
    settings.fInX = FALSE;
    settings.fErrorChar = FALSE;
    settings.fNull = FALSE;
    settings.fRtsControl = RTS_CONTROL_ENABLE;
    settings.fAbortOnError = FALSE;
    if (!::SetCommState(handle, &settings))
        return fail("Set CommState fail！");
    if (!::SetCommMask(handle, kReceiveEvents))
        return fail("Set CommState fail！");
    ::PurgeComm(handle, kPurgeAll);
    // Only the low 32 bits of a handle are significant.
    return static_cast<int>(reinterpret_cast<std::intptr_t>(handle) & 0x7FFFFFFF);
}

std::size_t CSerialPort::SendBytes(const std::uint8_t* bytes, std::size_t count) {
    const HANDLE handle = m_device->handle;
    return m_device->Transfer(
        [&](OVERLAPPED& request) {
            return ::WriteFile(handle, bytes, static_cast<DWORD>(count), nullptr, &request);
        },
        kWriteWaitMs);
}

std::size_t CSerialPort::ReceiveQueued(std::uint8_t* bytes, std::size_t count) {
    // Only queued bytes are asked for, so the read completes at once.
    const std::size_t queued = QueuedBytes();
    if (queued == 0)
        return 0;
    const HANDLE handle = m_device->handle;
    return m_device->Transfer(
        [&](OVERLAPPED& request) {
            return ::ReadFile(handle, bytes, static_cast<DWORD>(std::min(count, queued)), nullptr, &request);
        },
        kQueuedReadWaitMs);
}

void CSerialPort::Purge() {
    if (IsOpen())
        ::PurgeComm(m_device->handle, kPurgeAll);
}

bool CSerialPort::CheckGone() {
    std::size_t queued = 0;
    return m_gone || !m_device->QueryStatus(queued);
}

bool CSerialPort::TakeLineError() {
    std::size_t queued = 0;
    m_device->QueryStatus(queued);
    if (m_device->lineErrors == 0)
        return false;
    m_device->lineErrors = 0;
    // The queue holds the damaged bytes; the exchange cannot be trusted.
    ::PurgeComm(m_device->handle, kPurgeReceive);
    return true;
}

std::size_t CSerialPort::QueuedBytes() {
    std::size_t queued = 0;
    return m_device->QueryStatus(queued) ? queued : 0;
}

// Waits for a receive event (EV_RXCHAR or EV_ERR) until the deadline. The
// queue is looked at between slices as well: some drivers end the wait with
// an empty event mask, or not at all, while bytes are queued. A wake-up is
// only a hint: WaitForInput looks at the queued count, which is the truth,
// before it calls anything an arrival. (Taking every completed wait for an
// arrival kept a purged line from ever looking quiet: a purge, or a new event
// mask, completes the pending wait with an empty mask.)
CSerialPort::DeviceWait CSerialPort::WaitForDevice(Clock::time_point deadline) {
    Device& device = *m_device;
    for (;;) {
        if (Aborted())
            return DeviceWait::Aborted;
        if (!device.receiveWaitPending) {
            ::ResetEvent(device.receiveEvent);
            device.receiveWait = OVERLAPPED{};
            device.receiveWait.hEvent = device.receiveEvent;
            device.receiveMask = 0;
            if (::WaitCommEvent(device.handle, &device.receiveMask, &device.receiveWait))
                return DeviceWait::Ready;
            const DWORD error = ::GetLastError();
            if (error == ERROR_IO_PENDING) {
                device.receiveWaitPending = true;
            } else if (CheckGone()) {
                return DeviceWait::Gone;
            }
        }
        const auto remaining = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
        const auto sliceMs = static_cast<DWORD>(std::clamp<long long>(remaining, 0, kPollSliceMs));
        // Without a wait in flight (the driver refused one) the slice is a
        // short pause, so that the queue is still looked at often.
        const DWORD waited = device.receiveWaitPending ? ::WaitForSingleObject(device.receiveEvent, sliceMs)
                                                       : (::Sleep(std::min<DWORD>(sliceMs, 1)), WAIT_TIMEOUT);
        if (waited == WAIT_OBJECT_0) {
            DWORD ignored = 0;
            device.receiveWaitPending = false;
            if (!::GetOverlappedResult(device.handle, &device.receiveWait, &ignored, FALSE) && CheckGone())
                return DeviceWait::Gone;
            return DeviceWait::Ready;
        }
        if (CheckGone())
            return DeviceWait::Gone;
        if (QueuedBytes() > 0 || device.lineErrors != 0)
            return DeviceWait::Ready;
        if (Clock::now() >= deadline)
            return DeviceWait::TimedOut;
    }
}

bool CSerialPort::Device::QueryStatus(std::size_t& queued) {
    queued = 0;
    if (port.m_gone)
        return false;
    DWORD errors = 0;
    COMSTAT status{};
    // The query also clears the line errors: keep them until they are taken.
    if (!::ClearCommError(handle, &errors, &status)) {
        MarkGone(::GetLastError());
        return false;
    }
    lineErrors |= errors & kLineErrors;
    queued = status.cbInQue;
    return true;
}

void CSerialPort::Device::MarkGone(DWORD error) {
    port.MarkGone(error != ERROR_SUCCESS ? SystemErrorText(error) : "device removed");
}

// One overlapped ReadFile or WriteFile, given at most timeoutMs to complete;
// returns the bytes moved, also those of a request ended early.
template <typename Start>
std::size_t CSerialPort::Device::Transfer(Start start, int timeoutMs) {
    OVERLAPPED request{};
    request.hEvent = ioEvent;
    ::ResetEvent(ioEvent);
    if (!start(request)) {
        const DWORD error = ::GetLastError();
        if (error != ERROR_IO_PENDING) {
            std::size_t queued = 0;
            if (QueryStatus(queued) &&
                (error == ERROR_DEVICE_REMOVED || error == ERROR_DEVICE_NOT_CONNECTED || error == ERROR_BAD_COMMAND))
                MarkGone(error);
            return 0;
        }
        const bool inTime = WaitSignalled(ioEvent, Clock::now() + std::chrono::milliseconds(timeoutMs));
        return Finish(request, !inTime);
    }
    return Finish(request, false);
}

bool CSerialPort::Device::WaitSignalled(HANDLE event, Clock::time_point deadline) {
    for (;;) {
        if (port.Aborted())
            return false;
        const auto remaining = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
        const auto sliceMs = static_cast<DWORD>(std::clamp<long long>(remaining, 0, kPollSliceMs));
        if (::WaitForSingleObject(event, sliceMs) == WAIT_OBJECT_0)
            return true;
        if (Clock::now() >= deadline)
            return false;
    }
}

// The bytes a request moved, cancelling it first when asked. Its OVERLAPPED
// stays in use until the driver gives the request back, which a driver must
// do once it is cancelled: so this waits for that.
DWORD CSerialPort::Device::Finish(OVERLAPPED& request, bool cancel) {
    if (cancel)
        ::CancelIoEx(handle, &request);
    DWORD done = 0;
    ::GetOverlappedResult(handle, &request, &done, TRUE);
    return done;
}

void CSerialPort::Device::EndReceiveWait() {
    if (!receiveWaitPending)
        return;
    receiveWaitPending = false;
    // A new event mask ends a pending wait; cancelling covers drivers that do not.
    ::SetCommMask(handle, kReceiveEvents);
    Finish(receiveWait, true);
}
