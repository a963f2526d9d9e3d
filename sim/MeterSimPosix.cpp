// The simulated meter's pseudo-terminal: the host opens its slave device
// (or a symbolic link to it) as it would a serial adapter.

#include "SimWire.h"

#include <algorithm>
#include <cerrno>
#include <system_error>

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/eventfd.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace {

std::string SystemError(const std::string& what) {
    return what + ": " + std::error_code(errno, std::generic_category()).message();
}

class CPtyWire : public ISimWire {
public:
    ~CPtyWire() override { Close(); }

    bool Open(const std::string& linkPath, std::string& error);

    const std::string& PortName() const override { return m_slavePath; }
    bool Wait(TimePoint wakeAt, bool writeBlocked, std::string& problem) override;
    std::size_t Read(std::uint8_t* bytes, std::size_t count) override;
    bool Write(const std::uint8_t* bytes, std::size_t count, std::size_t& written, std::string& problem) override;
    void Unplug() override;
    void RequestStop() override;
    void Close() override;
    std::unique_ptr<IByteStream> Connect(PortAttempt& why) override {
        why.failure = PortFailure::NotATty;
        why.detail = "the simulated meter serves the pseudo-terminal " + m_slavePath;
        return nullptr;
    }

private:
    bool MakeLink(const std::string& link, std::string& error);
    void RemoveLink();
    void CloseLine();

    std::string m_slavePath;
    std::string m_linkedPath;   // the link we made, removed again on the way out
    int m_masterFd = -1;
    int m_ownSlaveFd = -1;
    int m_wakeFd = -1;
};

bool CPtyWire::Open(const std::string& linkPath, std::string& error) {
    m_masterFd = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_masterFd < 0) {
        error = SystemError("cannot create a pseudo-terminal");
        return false;
    }
    char name[128] = {};
    if (grantpt(m_masterFd) != 0 || unlockpt(m_masterFd) != 0 ||
        ptsname_r(m_masterFd, name, sizeof name) != 0) {
        error = SystemError("cannot unlock the pseudo-terminal");
        return false;
    }
    m_slavePath = name;
    const int flags = fcntl(m_masterFd, F_GETFL);
    if (flags < 0 || fcntl(m_masterFd, F_SETFL, flags | O_NONBLOCK) != 0) {
        error = SystemError("cannot make the pseudo-terminal non-blocking");
        return false;
    }
    // Holding the slave open ourselves keeps the master from reporting
    // hang-up (and spinning the poll) while the host has it closed.
    m_ownSlaveFd = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_ownSlaveFd < 0) {
        error = SystemError("cannot open " + m_slavePath);
        return false;
    }
    termios settings{};
    if (tcgetattr(m_ownSlaveFd, &settings) != 0) {
        error = SystemError("cannot read the line settings of " + m_slavePath);
        return false;
    }
    cfmakeraw(&settings);   // every byte value passes unchanged, nothing echoes
    cfsetispeed(&settings, B9600);
    cfsetospeed(&settings, B9600);
    if (tcsetattr(m_ownSlaveFd, TCSANOW, &settings) != 0) {
        error = SystemError("cannot set the line settings of " + m_slavePath);
        return false;
    }
    m_wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (m_wakeFd < 0) {
        error = SystemError("cannot create the stop signal");
        return false;
    }
    return linkPath.empty() || MakeLink(linkPath, error);
}

bool CPtyWire::MakeLink(const std::string& link, std::string& error) {
    struct stat existing{};
    if (lstat(link.c_str(), &existing) == 0) {
        // A link left by a simulator that was killed is replaced; anything
        // else at that path is somebody's file.
        if (!S_ISLNK(existing.st_mode)) {
            error = link + " exists and is not a symbolic link; not replacing it";
            return false;
        }
        if (unlink(link.c_str()) != 0) {
            error = SystemError("cannot replace the link " + link);
            return false;
        }
    }
    if (symlink(m_slavePath.c_str(), link.c_str()) != 0) {
        error = SystemError("cannot create the link " + link);
        return false;
    }
    m_linkedPath = link;
    return true;
}

void CPtyWire::RemoveLink() {
    if (m_linkedPath.empty())
        return;
    // Only our own link: another simulator may have taken the name since.
    char target[256] = {};
    const ssize_t length = readlink(m_linkedPath.c_str(), target, sizeof target - 1);
    if (length > 0 && std::string(target, static_cast<std::size_t>(length)) == m_slavePath)
        unlink(m_linkedPath.c_str());
    m_linkedPath.clear();
}

void CPtyWire::CloseLine() {
    for (int* fd : {&m_masterFd, &m_ownSlaveFd}) {
        if (*fd >= 0)
            close(*fd);
        *fd = -1;
    }
}

void CPtyWire::Close() {
    CloseLine();
    if (m_wakeFd >= 0)
        close(m_wakeFd);
    m_wakeFd = -1;
    RemoveLink();
}

void CPtyWire::Unplug() {
    // The link goes first, as the node of an unplugged adapter does: whoever
    // sees the hang-up finds the name gone too.
    RemoveLink();
    CloseLine();
}

void CPtyWire::RequestStop() {
    const std::uint64_t one = 1;
    if (write(m_wakeFd, &one, sizeof one) < 0) {
        // An eventfd write only fails on counter overflow; the thread is woken either way.
    }
}

bool CPtyWire::Wait(TimePoint wakeAt, bool writeBlocked, std::string& problem) {
    pollfd fds[2] = {{m_wakeFd, POLLIN, 0},
                     {m_masterFd, static_cast<short>(POLLIN | (writeBlocked ? POLLOUT : 0)), 0}};
    timespec timeout{};
    timespec* timeoutPointer = nullptr;
    if (wakeAt != TimePoint::max()) {
        const auto wait = std::max(std::chrono::nanoseconds(0), std::chrono::duration_cast<std::chrono::nanoseconds>(
                                                                    wakeAt - std::chrono::steady_clock::now()));
        timeout.tv_sec = static_cast<time_t>(wait.count() / 1'000'000'000);
        timeout.tv_nsec = static_cast<long>(wait.count() % 1'000'000'000);
        timeoutPointer = &timeout;
    }
    const int ready = ppoll(fds, 2, timeoutPointer, nullptr);
    if (ready < 0 && errno != EINTR) {
        problem = SystemError("poll failed; the meter stops serving");
        return false;
    }
    if (ready <= 0)
        return true;
    if (fds[0].revents != 0)
        return false;
    if ((fds[1].revents & POLLIN) == 0 && (fds[1].revents & (POLLHUP | POLLERR)) != 0) {
        // Our own slave descriptor should rule this out; do not spin if it happens.
        problem = "the line reports hang-up";
        timespec pause{0, 10'000'000};
        ppoll(fds, 1, &pause, nullptr);
    }
    return true;
}

std::size_t CPtyWire::Read(std::uint8_t* bytes, std::size_t count) {
    const ssize_t got = read(m_masterFd, bytes, count);
    return got > 0 ? static_cast<std::size_t>(got) : 0;   // EAGAIN: drained; EIO cannot occur while we hold the slave
}

bool CPtyWire::Write(const std::uint8_t* bytes, std::size_t count, std::size_t& written, std::string& problem) {
    written = 0;
    const ssize_t sent = write(m_masterFd, bytes, count);
    if (sent >= 0) {
        written = static_cast<std::size_t>(sent);
        return true;
    }
    if (errno == EAGAIN || errno == EINTR)
        return true;
    problem = SystemError("reply lost");
    return false;
}

}  // namespace

std::unique_ptr<ISimWire> OpenPseudoTerminal(const std::string& linkPath, std::string& error) {
    auto wire = std::make_unique<CPtyWire>();
    if (!wire->Open(linkPath, error))
        return nullptr;
    return wire;
}
