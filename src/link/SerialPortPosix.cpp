#include "SerialPort.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <optional>
#include <system_error>
#include <vector>

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace {

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

// Name of the group that owns the device node, empty when it cannot be told.
std::string GroupName(gid_t id) {
    group entry{};
    group* found = nullptr;
    std::array<char, 4096> names{};
    if (::getgrgid_r(id, &entry, names.data(), names.size(), &found) != 0 || found == nullptr)
        return std::to_string(id);
    return entry.gr_name;
}

std::string UserName(uid_t id) {
    passwd entry{};
    passwd* found = nullptr;
    std::array<char, 4096> names{};
    if (::getpwuid_r(id, &entry, names.data(), names.size(), &found) != 0 || found == nullptr)
        return std::to_string(id);
    return entry.pw_name;
}

void ReleaseDevice(int fd) {
    // The exclusive flag belongs to the tty, not to this descriptor: it would
    // stay set for as long as anyone else keeps the device open.
    ::ioctl(fd, TIOCNXCL);
    ::close(fd);
}

// The opened and locked descriptor, or -1 with the reason in failure and detail.
int OpenLocked(const std::string& path, PortFailure& failure, std::string& detail) {
    failure = PortFailure::None;
    detail.clear();
    const auto fail = [&](PortFailure why, std::string text) {
        failure = why;
        detail = std::move(text);
        return -1;
    };

    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        return fail(FailureFromError(error), ErrorText(error));
    }
    if (!::isatty(fd)) {
        ::close(fd);
        return fail(PortFailure::NotATty, ErrorText(ENOTTY));
    }
    // Root passes TIOCEXCL, so the lock is what keeps two programs of a root
    // user apart. Locking first leaves the exclusive flag of a holder alone.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
        ::close(fd);
        return fail(PortFailure::Busy, "locked by another program");
    }
    // Root also passes another program's exclusive flag: take a set flag for
    // a holder, and leave it set.
    int exclusive = 0;
    if (::ioctl(fd, TIOCGEXCL, &exclusive) == 0 && exclusive != 0) {
        ::close(fd);
        return fail(PortFailure::Busy, "held exclusively by another program");
    }
    if (::ioctl(fd, TIOCEXCL) != 0) {
        const int error = errno;
        ::close(fd);
        return fail(FailureFromError(error), ErrorText(error));
    }
    return fd;
}

}  // namespace

// A tty descriptor held exclusively.
struct CSerialPort::Device {
    Device(CSerialPort& owner, int descriptor) : port(owner), fd(descriptor) {}
    ~Device() { ReleaseDevice(fd); }
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;

    bool Configure(std::uint32_t baudRate, PortFailure& failure, std::string& detail);
    void MarkGone(int error);
    bool CheckGone();
    DeviceWait WaitFor(short events, Clock::time_point deadline);
    bool TakeLineError();                                // true (and receive side purged) after a line error
    long LineErrorCount();                               // -1 when the driver keeps no counts
    std::size_t QueuedBytes();

    CSerialPort& port;
    const int fd;
    bool lineCountsKept = false;
    long lineErrorsSeen = 0;
};

void CSerialPort::DeviceDeleter::operator()(Device* device) const { delete device; }

std::string CSerialPort::DevicePath(const std::string& portName) {
    if (portName.find('/') != std::string::npos)
        return portName;
    return "/dev/" + portName;
}

// Joining the device's group helps only when that group may read and write
// it, and never when the group is root's own.
std::string CSerialPort::AccessHint(const std::string& portName) {
    struct stat node {};
    if (::stat(DevicePath(portName).c_str(), &node) != 0)
        return "; the user must be a member of the group that owns the device";
    const bool groupMayUse = (node.st_mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP);
    if (!groupMayUse || node.st_gid == 0)
        return "; the device is open only to " + (groupMayUse ? std::string("root") : "its owner " + UserName(node.st_uid)) +
               ": it needs a group that may read and write it, for example a udev rule giving it group dialout "
               "and mode 0660";
    const std::string owner = GroupName(node.st_gid);
    return "; the user must be a member of group " + owner + ", which owns the device: sudo usermod -aG " +
           owner + " $USER, then log in again";
}

bool CSerialPort::AccessDenied(const std::string& portName) {
    return ::access(DevicePath(portName).c_str(), R_OK | W_OK) != 0 && errno == EACCES;
}

int CSerialPort::ProbePort(const std::string& portName) {
    const int fd = OpenLocked(DevicePath(portName), m_lastFailure, m_lastFailureDetail);
    if (fd < 0)
        return 1;
    ReleaseDevice(fd);
    return 0;
}

int CSerialPort::OpenDevice(const std::string& portName, const char*& message) {
    const int fd = OpenLocked(DevicePath(portName), m_lastFailure, m_lastFailureDetail);
    if (fd < 0) {
        // A device that is no terminal opens but cannot take line settings.
        message = m_lastFailure == PortFailure::NotATty ? "Set CommState fail！" : "Open serial port fail！";
        return -1;
    }
    m_device.reset(new Device(*this, fd));
    // The kernel sizes the driver's queues itself: there is no queue-size step
    // here, and so no "Set serial port's buffer fail！".
    if (!m_device->Configure(m_baudRate, m_lastFailure, m_lastFailureDetail)) {
        m_device.reset();
        message = "Set CommState fail！";
        return -1;
    }
    const long lineErrors = m_device->LineErrorCount();
    m_device->lineCountsKept = lineErrors >= 0;
    m_device->lineErrorsSeen = std::max(lineErrors, 0L);
    ::tcflush(fd, TCIOFLUSH);
    return fd;
}

std::size_t CSerialPort::SendBytes(const std::uint8_t* bytes, std::size_t count) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(kWriteWaitMs);
    std::size_t sent = 0;
    while (sent < count) {
        const ssize_t written = ::write(m_device->fd, bytes + sent, count - sent);
        if (written > 0) {
            sent += static_cast<std::size_t>(written);
            continue;
        }
        if (written < 0 && errno == EINTR)
            continue;
        if (written < 0 && errno == EAGAIN) {
            if (m_device->WaitFor(POLLOUT, deadline) != DeviceWait::Ready)
                break;
            continue;
        }
        if (written < 0 && IsHangUpError(errno))
            m_device->MarkGone(errno);
        break;
    }
    return sent;
}

std::size_t CSerialPort::ReceiveQueued(std::uint8_t* bytes, std::size_t count) {
    std::size_t got = 0;
    while (got < count) {
        const ssize_t n = ::read(m_device->fd, bytes + got, count - got);
        if (n > 0) {
            got += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && IsHangUpError(errno))
            m_device->MarkGone(errno);
        break;   // EAGAIN: nothing more queued
    }
    return got;
}

void CSerialPort::Purge() {
    if (IsOpen())
        ::tcflush(m_device->fd, TCIOFLUSH);
}

bool CSerialPort::CheckGone() { return m_device->CheckGone(); }

bool CSerialPort::TakeLineError() { return m_device->TakeLineError(); }

std::size_t CSerialPort::QueuedBytes() { return m_device->QueuedBytes(); }

CSerialPort::DeviceWait CSerialPort::WaitForDevice(Clock::time_point deadline) {
    return m_device->WaitFor(POLLIN, deadline);
}

bool CSerialPort::Device::Configure(std::uint32_t baudRate, PortFailure& failure, std::string& detail) {
    const auto fail = [&](int error) {
        failure = error == ENOTTY ? PortFailure::NotATty : FailureFromError(error);
        detail = ErrorText(error);
        return false;
    };
    termios settings{};
    if (::tcgetattr(fd, &settings) != 0)
        return fail(errno);
    const std::optional<speed_t> speed = SpeedFor(baudRate);
    if (!speed) {
        failure = PortFailure::Other;
        detail = "unsupported baud rate " + std::to_string(baudRate);
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
    if (::tcsetattr(fd, TCSANOW, &settings) != 0)
        return fail(errno);
    return true;
}

void CSerialPort::Device::MarkGone(int error) {
    port.MarkGone(error != 0 ? ErrorText(error) : "device hung up");
}

bool CSerialPort::Device::CheckGone() {
    if (port.m_gone)
        return true;
    pollfd device{fd, POLLIN, 0};
    if (::poll(&device, 1, 0) > 0 && (device.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0)
        MarkGone(0);
    return port.m_gone;
}

CSerialPort::DeviceWait CSerialPort::Device::WaitFor(short events, Clock::time_point deadline) {
    for (;;) {
        if (port.Aborted())
            return DeviceWait::Aborted;
        const auto remaining =
            std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
        const int sliceMs = static_cast<int>(std::clamp<long long>(remaining, 0, kPollSliceMs));
        pollfd device{fd, events, 0};
        const int ready = ::poll(&device, 1, sliceMs);
        if (ready < 0 && errno != EINTR) {
            MarkGone(errno);
            return DeviceWait::Gone;
        }
        if (ready > 0) {
            // A pty slave whose master closed reports POLLHUP: the device is gone.
            if ((device.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
                MarkGone(0);
                return DeviceWait::Gone;
            }
            if ((device.revents & events) != 0)
                return DeviceWait::Ready;
        }
        if (Clock::now() >= deadline)
            return DeviceWait::TimedOut;
    }
}

bool CSerialPort::Device::TakeLineError() {
    if (!lineCountsKept)
        return false;
    const long errors = LineErrorCount();
    if (errors <= lineErrorsSeen)
        return false;
    lineErrorsSeen = errors;
    // The queue holds the damaged bytes; the exchange cannot be trusted.
    ::tcflush(fd, TCIFLUSH);
    return true;
}

long CSerialPort::Device::LineErrorCount() {
    // Pseudo-terminals and some adapters keep no counts (ENOTTY): no line errors there.
    serial_icounter_struct counts{};
    if (::ioctl(fd, TIOCGICOUNT, &counts) != 0) {
        if (IsHangUpError(errno))
            MarkGone(errno);
        return -1;
    }
    return static_cast<long>(counts.frame) + counts.overrun + counts.parity + counts.brk +
           counts.buf_overrun;
}

std::size_t CSerialPort::Device::QueuedBytes() {
    int queued = 0;
    if (::ioctl(fd, FIONREAD, &queued) != 0) {
        if (IsHangUpError(errno))
            MarkGone(errno);
        queued = 0;
    }
    return static_cast<std::size_t>(std::max(queued, 0));
}
