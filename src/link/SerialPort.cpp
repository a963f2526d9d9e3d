#include "SerialPort.h"

#include <algorithm>
#include <cerrno>
#include <optional>
#include <system_error>
#include <thread>

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace {

constexpr int kPollSliceMs = 20;          // longest a wait goes without looking at the abort flag
constexpr int kRxEventWaitMs = 500;       // first character of a reply
constexpr int kWriteWaitMs = 5000;        // room in a full transmit queue
constexpr int kReplyBytesWaitMs = 5000;   // the rest of a reply once it has begun
constexpr int kReplyReadTimeoutMs = 5000;

std::string ErrorText(int error) {
    return std::error_code(error, std::generic_category()).message();
}

PortFailure FailureFromError(int error) {
    switch (error) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
        return PortFailure::Absent;
    case EBUSY:
    case EWOULDBLOCK:
        return PortFailure::Busy;
    case EACCES:
    case EPERM:
        return PortFailure::PermissionDenied;
    case ENOTTY:
        return PortFailure::NotATty;
    default:
        return PortFailure::Other;
    }
}

bool IsHangUpError(int error) { return error == EIO || error == ENXIO; }

std::optional<speed_t> SpeedFor(std::uint32_t baudRate) {
    switch (baudRate) {
    case 1200: return B1200;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    default: return std::nullopt;
    }
}

}  // namespace

CSerialPort::CSerialPort(IMessageSink* messages) : m_messages(messages) {}

CSerialPort::~CSerialPort() { Close(); }

std::string CSerialPort::DevicePath(const std::string& portName) {
    if (portName.find('/') != std::string::npos)
        return portName;
    return "/dev/" + portName;
}

int CSerialPort::ProbePort(const std::string& portName) {
    const int fd = OpenDevice(DevicePath(portName));
    if (fd < 0)
        return 1;
    ReleaseDevice(fd);
    return 0;
}

int CSerialPort::Open(const std::string& portName) {
    // The object is reused for every port tried; never leave the previous one open.
    Close();
    m_gone = false;
    m_rearmWait = 1;
    m_rxPending.clear();

    m_fd = OpenDevice(DevicePath(portName));
    if (m_fd < 0) {
        // A device that is no terminal opens but cannot take line settings.
        ShowMessage(m_lastFailure == PortFailure::NotATty ? "Set CommState fail！" : "Open serial port fail！");
        return -1;
    }
    // The kernel sizes the driver's queues itself: there is no queue-size step
    // here, and so no "Set serial port's buffer fail！".
    if (!Configure()) {
        ReleaseDevice(m_fd);
        m_fd = -1;
        ShowMessage("Set CommState fail！");
        return -1;
    }
    const long lineErrors = LineErrorCount();
    m_lineCountsKept = lineErrors >= 0;
    m_lineErrorsSeen = std::max(lineErrors, 0L);
    ::tcflush(m_fd, TCIOFLUSH);
    return m_fd;
}

std::size_t CSerialPort::Write(const std::uint8_t* bytes, std::size_t count) {
    if (!IsOpen() || CheckGone())
        return 0;
    TakeLineError();
    // Whatever is still queued belongs to an earlier exchange.
    Purge();

    const auto deadline = Clock::now() + std::chrono::milliseconds(kWriteWaitMs);
    std::size_t sent = 0;
    while (sent < count) {
        const ssize_t written = ::write(m_fd, bytes + sent, count - sent);
        if (written > 0) {
            sent += static_cast<std::size_t>(written);
            continue;
        }
        if (written < 0 && errno == EINTR)
            continue;
        if (written < 0 && errno == EAGAIN) {
            if (WaitFor(POLLOUT, deadline) != WaitResult::Ready)
                break;
            continue;
        }
        if (written < 0 && IsHangUpError(errno))
            MarkGone(errno);
        break;
    }
    if (sent > 0 && m_trace)
        m_trace(true, bytes, sent);
    return sent;
}

std::size_t CSerialPort::Read(std::uint8_t* bytes, std::size_t count, int timeoutMs) {
    // Only queued bytes are taken, so a read never has to wait for its time-out.
    (void)timeoutMs;
    if (!IsOpen() || CheckGone())
        return 0;
    if (TakeLineError())
        return 0;

    std::size_t got = std::min(count, m_rxPending.size());
    std::copy_n(m_rxPending.begin(), got, bytes);
    m_rxPending.erase(m_rxPending.begin(), m_rxPending.begin() + static_cast<std::ptrdiff_t>(got));
    while (got < count) {
        const ssize_t n = ::read(m_fd, bytes + got, count - got);
        if (n > 0) {
            got += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && IsHangUpError(errno))
            MarkGone(errno);
        break;   // EAGAIN: nothing more queued
    }
    if (got == 0)
        return 0;
    m_rxComplete = 1;
    if (m_trace)
        m_trace(false, bytes, got);
    return got;
}

int CSerialPort::WaitForBytes(std::size_t count, int pollLimitMs) {
    if (!IsOpen() || CheckGone())
        return 0;
    const auto deadline = Clock::now() + std::chrono::milliseconds(pollLimitMs);
    for (bool woken = false;; woken = true) {
        if (TakeLineError())
            return 0;
        const std::size_t before = m_rxPending.size();
        DrainKernelQueue();
        if (m_gone)
            return 0;
        if (m_rxPending.size() >= count)
            return 1;
        if (woken && m_rxPending.size() == before && !PauseAfterEmptyWakeUp(deadline))
            return 0;
        // The driver's queue is empty now, so poll sleeps until more arrives.
        if (WaitFor(POLLIN, deadline) != WaitResult::Ready)
            return 0;
    }
}

int CSerialPort::WaitRxEvent() {
    if (!IsOpen()) {
        ShowMessage("Serial port not open！");
        m_rxEvent = 0;
        return 0;
    }
    m_rxEvent = 0;
    const auto deadline = Clock::now() + std::chrono::milliseconds(kRxEventWaitMs);
    for (bool woken = false; m_rxEvent == 0; woken = true) {
        if (CheckGone()) {
            m_rxEvent = 2;
        } else if (TakeLineError()) {
            m_rxEvent = -1;
        } else if (QueuedBytes() > 0) {
            m_rxEvent = 1;
        } else if ((woken && !PauseAfterEmptyWakeUp(deadline)) ||
                   WaitFor(POLLIN, deadline) != WaitResult::Ready) {
            m_rxEvent = 2;   // time-out, hang-up or abort all end the wait alike
        }
    }
    m_rearmWait = 1;
    return 0;
}

void CSerialPort::ReceiveReply() {
    m_rxComplete = 0;
    m_rxEvent = 0;
    if (m_rearmWait == 1) {
        m_rearmWait = 0;
        WaitRxEvent();
    }
    m_rxBuffer.fill(0);
    // Only a complete reply is read; a partial one stays unread and the buffer zeroed.
    if (m_rxEvent == 1 && WaitForBytes(kFrameSize, kReplyBytesWaitMs) == 1)
        Read(m_rxBuffer.data(), kFrameSize, kReplyReadTimeoutMs);
}

void CSerialPort::Purge() {
    if (!IsOpen())
        return;
    ::tcflush(m_fd, TCIOFLUSH);
    m_rxPending.clear();
}

void CSerialPort::Close() {
    if (!IsOpen())
        return;
    // An empty transmit queue keeps close() from waiting for the line to drain.
    Purge();
    ReleaseDevice(m_fd);
    m_fd = -1;
}

int CSerialPort::OpenDevice(const std::string& path) {
    m_lastFailure = PortFailure::None;
    m_lastFailureDetail.clear();

    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        NoteFailure(FailureFromError(error), error);
        return -1;
    }
    if (!::isatty(fd)) {
        ::close(fd);
        NoteFailure(PortFailure::NotATty, ENOTTY);
        return -1;
    }
    // Root passes TIOCEXCL, so the lock is what keeps two programs of a root
    // user apart. Locking first leaves the exclusive flag of a holder alone.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
        ::close(fd);
        m_lastFailure = PortFailure::Busy;
        m_lastFailureDetail = "locked by another program";
        return -1;
    }
    // Root also passes another program's exclusive flag: take a set flag for
    // a holder, and leave it set.
    int exclusive = 0;
    if (::ioctl(fd, TIOCGEXCL, &exclusive) == 0 && exclusive != 0) {
        ::close(fd);
        m_lastFailure = PortFailure::Busy;
        m_lastFailureDetail = "held exclusively by another program";
        return -1;
    }
    if (::ioctl(fd, TIOCEXCL) != 0) {
        const int error = errno;
        ::close(fd);
        NoteFailure(FailureFromError(error), error);
        return -1;
    }
    return fd;
}

void CSerialPort::ReleaseDevice(int fd) {
    // The exclusive flag belongs to the tty, not to this descriptor: it would
    // stay set for as long as anyone else keeps the device open.
    ::ioctl(fd, TIOCNXCL);
    ::close(fd);
}

bool CSerialPort::Configure() {
    termios settings{};
    if (::tcgetattr(m_fd, &settings) != 0) {
        const int error = errno;
        NoteFailure(error == ENOTTY ? PortFailure::NotATty : FailureFromError(error), error);
        return false;
    }
    const std::optional<speed_t> speed = SpeedFor(m_baudRate);
    if (!speed) {
        m_lastFailure = PortFailure::Other;
        m_lastFailureDetail = "unsupported baud rate " + std::to_string(m_baudRate);
        return false;
    }
    // Frames carry raw float bytes: no character may be translated, swallowed
    // or taken for flow control.
    ::cfmakeraw(&settings);
    settings.c_cflag &= ~(CSIZE | PARENB | CSTOPB | CRTSCTS);
    settings.c_cflag |= CS8 | CLOCAL | CREAD;
    settings.c_iflag &= ~(IXON | IXOFF | IXANY | INPCK);
    settings.c_cc[VMIN] = 0;
    settings.c_cc[VTIME] = 0;
    ::cfsetispeed(&settings, *speed);
    ::cfsetospeed(&settings, *speed);
    if (::tcsetattr(m_fd, TCSANOW, &settings) != 0) {
        const int error = errno;
        NoteFailure(error == ENOTTY ? PortFailure::NotATty : FailureFromError(error), error);
        return false;
    }
    return true;
}

void CSerialPort::NoteFailure(PortFailure failure, int error) {
    m_lastFailure = failure;
    m_lastFailureDetail = ErrorText(error);
}

void CSerialPort::ShowMessage(const char* text) {
    if (m_messages)
        m_messages->ShowMessage(text);
}

void CSerialPort::MarkGone(int error) {
    if (m_gone.exchange(true))
        return;
    m_lastFailure = PortFailure::Gone;
    m_lastFailureDetail = error != 0 ? ErrorText(error) : "device hung up";
    m_rxPending.clear();
}

bool CSerialPort::CheckGone() {
    if (m_gone)
        return true;
    pollfd device{m_fd, POLLIN, 0};
    if (::poll(&device, 1, 0) > 0 && (device.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0)
        MarkGone(0);
    return m_gone;
}

CSerialPort::WaitResult CSerialPort::WaitFor(short events, Clock::time_point deadline) {
    for (;;) {
        if (Aborted())
            return WaitResult::Aborted;
        const auto remaining =
            std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
        const int sliceMs = static_cast<int>(std::clamp<long long>(remaining, 0, kPollSliceMs));
        pollfd device{m_fd, events, 0};
        const int ready = ::poll(&device, 1, sliceMs);
        if (ready < 0 && errno != EINTR) {
            MarkGone(errno);
            return WaitResult::Gone;
        }
        if (ready > 0) {
            // A pty slave whose master closed reports POLLHUP: the device is gone.
            if ((device.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
                MarkGone(0);
                return WaitResult::Gone;
            }
            if ((device.revents & events) != 0)
                return WaitResult::Ready;
        }
        if (Clock::now() >= deadline)
            return WaitResult::TimedOut;
    }
}

bool CSerialPort::PauseAfterEmptyWakeUp(Clock::time_point deadline) {
    // A wake-up that brought no byte (not seen on a raw tty) must neither
    // outlast the deadline nor turn the wait into a busy loop.
    if (Clock::now() >= deadline || Aborted())
        return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return true;
}

bool CSerialPort::TakeLineError() {
    if (!m_lineCountsKept)
        return false;
    const long errors = LineErrorCount();
    if (errors <= m_lineErrorsSeen)
        return false;
    m_lineErrorsSeen = errors;
    // The queue holds the damaged bytes; the exchange cannot be trusted.
    ::tcflush(m_fd, TCIFLUSH);
    m_rxPending.clear();
    return true;
}

long CSerialPort::LineErrorCount() {
    // Pseudo-terminals and some adapters keep no counts (ENOTTY): no line errors there.
    serial_icounter_struct counts{};
    if (::ioctl(m_fd, TIOCGICOUNT, &counts) != 0) {
        if (IsHangUpError(errno))
            MarkGone(errno);
        return -1;
    }
    return static_cast<long>(counts.frame) + counts.overrun + counts.parity + counts.brk +
           counts.buf_overrun;
}

std::size_t CSerialPort::QueuedBytes() {
    int queued = 0;
    if (::ioctl(m_fd, FIONREAD, &queued) != 0) {
        if (IsHangUpError(errno))
            MarkGone(errno);
        queued = 0;
    }
    return m_rxPending.size() + static_cast<std::size_t>(std::max(queued, 0));
}

void CSerialPort::DrainKernelQueue() {
    std::array<std::uint8_t, 256> chunk{};
    for (;;) {
        const ssize_t n = ::read(m_fd, chunk.data(), chunk.size());
        if (n > 0) {
            m_rxPending.insert(m_rxPending.end(), chunk.begin(), chunk.begin() + n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && IsHangUpError(errno))
            MarkGone(errno);
        return;
    }
}
