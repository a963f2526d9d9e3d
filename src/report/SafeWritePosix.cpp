#include "SafeWrite.h"

#include "SafeWriteCalls.h"
#include "SafeWritePlatform.h"
#include "UnfinishedFile.h"

#include <array>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <system_error>

#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Symbolic links followed before a path counts as a loop, as the kernel does.
constexpr int kMaxLinkHops = 40;
constexpr std::array kTerminatingSignals{SIGINT, SIGTERM, SIGHUP, SIGQUIT};

std::string ErrorText(int error)
{
    return std::generic_category().message(error);
}

FileWriteResult Failure(FileWriteError error, std::string reason)
{
    return FileWriteResult{error, std::move(reason)};
}

std::string FolderOf(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// Where the file a path names lives, following links; for a link that points
// nowhere yet, the path the file will be created at.
struct Target {
    std::string path;
    bool exists = false;
    struct stat status{};
    int error = 0;   // errno when the path cannot be used at all
};

Target Locate(const std::string& path)
{
    Target target;
    // stat follows every link, /proc's descriptor links included (/dev/stdout).
    if (stat(path.c_str(), &target.status) == 0) {
        target.exists = true;
        target.path = path;
        char resolved[PATH_MAX];
        // A regular file is replaced by rename, which needs its real place.
        if (S_ISREG(target.status.st_mode) && realpath(path.c_str(), resolved) != nullptr)
            target.path = resolved;
        return target;
    }
    if (errno != ENOENT) {
        target.error = errno;
        return target;
    }
    // Nothing there: follow the chain of links to the name to create.
    std::string current = path;
    for (int hop = 0; hop < kMaxLinkHops; ++hop) {
        struct stat link{};
        if (lstat(current.c_str(), &link) != 0 || !S_ISLNK(link.st_mode)) {
            target.path = current;
            return target;
        }
        char named[PATH_MAX];
        const ssize_t length = readlink(current.c_str(), named, sizeof named - 1);
        if (length < 0) {
            target.error = errno;
            return target;
        }
        const std::string next(named, static_cast<std::size_t>(length));
        current = next.front() == '/' ? next : FolderOf(current) + next;
    }
    target.error = ELOOP;
    return target;
}

// Root may write a read-only file; a file without any write bit still counts as locked.
bool IsLocked(const Target& target)
{
    return faccessat(AT_FDCWD, target.path.c_str(), W_OK, AT_EACCESS) != 0
        || (target.status.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
}

// The folder must take a new file: the temporary one, or the new report.
FileWriteResult CheckFolder(const std::string& folder, const std::string& name)
{
    const std::string place = folder.empty() ? "." : folder;
    struct stat status{};
    if (stat(place.c_str(), &status) != 0)
        return Failure(FileWriteError::CannotCreate, ErrorText(errno));
    if (!S_ISDIR(status.st_mode))
        return Failure(FileWriteError::CannotCreate, ErrorText(ENOTDIR));
    if (faccessat(AT_FDCWD, place.c_str(), W_OK | X_OK, AT_EACCESS) != 0)
        return Failure(FileWriteError::CannotCreate, ErrorText(errno));
    // Each file system has its own limit; found out now, not after the transfer.
    const long nameMax = pathconf(place.c_str(), _PC_NAME_MAX);
    if (nameMax > 0 && name.size() > static_cast<std::size_t>(nameMax))
        return Failure(FileWriteError::CannotCreate, ErrorText(ENAMETOOLONG));
    return {};
}

FileWriteResult CheckLocated(const Target& target)
{
    if (target.error != 0)
        return Failure(FileWriteError::CannotCreate, ErrorText(target.error));
    if (!target.exists) {
        if (target.path.empty() || target.path.back() == '/')
            return Failure(FileWriteError::CannotCreate, ErrorText(EISDIR));
        return CheckFolder(FolderOf(target.path), target.path.substr(FolderOf(target.path).size()));
    }
    if (S_ISDIR(target.status.st_mode))
        return Failure(FileWriteError::CannotCreate, ErrorText(EISDIR));
    if (S_ISREG(target.status.st_mode)) {
        if (IsLocked(target))
            return Failure(FileWriteError::Locked, kDocumentLockedMessage);
        return CheckFolder(FolderOf(target.path), {});
    }
    if (faccessat(AT_FDCWD, target.path.c_str(), W_OK, AT_EACCESS) != 0)
        return Failure(FileWriteError::CannotCreate, ErrorText(errno));
    return {};
}

// ---- The unfinished file, removed when a termination signal ends the program.

CUnfinishedFileSlot<char, PATH_MAX> g_unfinished;

extern "C" void RemoveAndReraise(int signal)
{
    RemoveUnfinishedTempFile();
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

// While it lives, a termination signal with its default action removes the
// armed temporary file before ending the program. Signals a program handles
// itself are left to it (it calls RemoveUnfinishedTempFile).
class CUnfinishedFileGuard : public CUnfinishedFileArming<char, PATH_MAX> {
public:
    CUnfinishedFileGuard() : CUnfinishedFileArming(g_unfinished)
    {
        for (std::size_t i = 0; i < kTerminatingSignals.size(); ++i) {
            struct sigaction current{};
            if (sigaction(kTerminatingSignals[i], nullptr, &current) != 0 || current.sa_handler != SIG_DFL)
                continue;
            struct sigaction removing{};
            removing.sa_handler = RemoveAndReraise;
            sigemptyset(&removing.sa_mask);
            m_replaced[i] = sigaction(kTerminatingSignals[i], &removing, &m_previous[i]) == 0;
        }
    }
    ~CUnfinishedFileGuard()
    {
        Disarm();
        for (std::size_t i = 0; i < kTerminatingSignals.size(); ++i)
            if (m_replaced[i])
                sigaction(kTerminatingSignals[i], &m_previous[i], nullptr);
    }

private:
    std::array<bool, kTerminatingSignals.size()> m_replaced{};
    std::array<struct sigaction, kTerminatingSignals.size()> m_previous{};
};

// Keeps SIGPIPE from ending the program while this thread writes to a pipe
// whose reader may be gone; the write then fails with EPIPE instead.
class CSigPipeBlock {
public:
    CSigPipeBlock()
    {
        sigset_t pipe;
        sigemptyset(&pipe);
        sigaddset(&pipe, SIGPIPE);
        sigset_t pending;
        sigpending(&pending);
        m_wasPending = sigismember(&pending, SIGPIPE) == 1;
        pthread_sigmask(SIG_BLOCK, &pipe, &m_previous);
    }
    ~CSigPipeBlock()
    {
        sigset_t pipe;
        sigemptyset(&pipe);
        sigaddset(&pipe, SIGPIPE);
        sigset_t pending;
        sigpending(&pending);
        // Take back a SIGPIPE our own write raised, so unblocking does not deliver it.
        if (!m_wasPending && sigismember(&pending, SIGPIPE) == 1) {
            const timespec now{0, 0};
            sigtimedwait(&pipe, nullptr, &now);
        }
        pthread_sigmask(SIG_SETMASK, &m_previous, nullptr);
    }
    CSigPipeBlock(const CSigPipeBlock&) = delete;
    CSigPipeBlock& operator=(const CSigPipeBlock&) = delete;

private:
    sigset_t m_previous{};
    bool m_wasPending = false;
};

// Like mkstemp, but created with 0666 so that the umask applies as it does to
// any new file, without touching the process-wide umask from this thread.
int CreateTempFile(const std::string& folder, std::string& tempPath, CUnfinishedFileGuard& guard)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        tempPath = folder + TemporaryFileName();
        guard.Arm(tempPath);
        const int fd = open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0)
            return fd;
        const int error = errno;
        guard.Disarm();   // the name is somebody else's
        if (error != EEXIST) {
            errno = error;
            return -1;
        }
    }
    errno = EEXIST;
    return -1;
}

// Writes all of content, resuming after partial writes; returns 0 or an errno.
int WriteAll(int fd, const std::string& content)
{
    CSigPipeBlock noSigPipe;
    std::size_t written = 0;
    while (written < content.size()) {
        const ssize_t count = write(fd, content.data() + written, content.size() - written);
        if (count < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        written += static_cast<std::size_t>(count);
    }
    return 0;
}

// The new file takes the place of the old one in every respect the operator
// sees: owner and group (when the writer may give them) and permissions.
std::string TakeOverAttributes(int fd, const struct stat& replaced)
{
    if (fchown(fd, replaced.st_uid, replaced.st_gid) != 0 && fchown(fd, static_cast<uid_t>(-1), replaced.st_gid) != 0) {
        // Not root and not in the file's group: the file becomes the writer's, as any new file would.
    }
    // After fchown, which clears the set-id bits.
    return fchmod(fd, replaced.st_mode & 07777) == 0 ? std::string() : ErrorText(errno);
}

// Fills the temporary file and checks that all of it reached the disk;
// returns an empty text or the reason it failed. Closes fd in every case.
std::string FillTempFile(int fd, const std::string& content, const struct stat* replaced)
{
    const auto fill = [&]() -> std::string {
        if (replaced != nullptr)
            if (std::string reason = TakeOverAttributes(fd, *replaced); !reason.empty())
                return reason;
        if (const int error = WriteAll(fd, content); error != 0)
            return ErrorText(error);
        struct stat written{};
        if (SafeWriteCalls().fsync(fd) != 0 || fstat(fd, &written) != 0)
            return ErrorText(errno);
        if (static_cast<std::size_t>(written.st_size) != content.size())
            return "The file on disk is shorter than the report.";
        return {};
    };
    std::string reason = fill();
    if (close(fd) != 0 && reason.empty())
        reason = ErrorText(errno);
    return reason;
}

// Makes the rename itself durable; a folder that cannot be synced is no
// reason to report a failure, since the file is complete and in place.
void SyncFolder(const std::string& folder)
{
    const int fd = open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        SafeWriteCalls().fsync(fd);
        close(fd);
    }
}

FileWriteResult WriteToDescriptor(int fd, const std::string& content)
{
    if (const int error = WriteAll(fd, content); error != 0)
        return Failure(FileWriteError::WriteFailed, ErrorText(error));
    return {};
}

// A device or FIFO is written in place: replacing it would put a regular file
// where the system's node was. A FIFO nobody reads fails at once instead of
// waiting for a reader that may never come.
FileWriteResult WriteInPlace(const Target& target, const std::string& content)
{
    const bool fifo = S_ISFIFO(target.status.st_mode);
    const int fd = open(target.path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC | (fifo ? O_NONBLOCK : 0));
    if (fd < 0) {
        const int error = errno;
        return Failure(FileWriteError::CannotCreate,
                       fifo && error == ENXIO ? "no program reads from the FIFO" : ErrorText(error));
    }
    if (fifo)
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    FileWriteResult result = WriteToDescriptor(fd, content);
    if (close(fd) != 0 && result.ok())
        result = Failure(FileWriteError::WriteFailed, ErrorText(errno));
    return result;
}

FileWriteResult ReplaceFile(const Target& target, const std::string& content)
{
    const std::string folder = FolderOf(target.path);

    // The report goes to a temporary file beside the target and replaces it
    // only when complete, so a failed save never costs the previous file.
    std::string tempPath;
    CUnfinishedFileGuard guard;
    const int fd = CreateTempFile(folder, tempPath, guard);
    if (fd < 0)
        return Failure(FileWriteError::CannotCreate, ErrorText(errno));

    const std::string reason = FillTempFile(fd, content, target.exists ? &target.status : nullptr);
    if (!reason.empty()) {
        unlink(tempPath.c_str());
        return Failure(FileWriteError::WriteFailed, reason);
    }
    if (SafeWriteCalls().rename(tempPath.c_str(), target.path.c_str()) != 0) {
        const int error = errno;
        unlink(tempPath.c_str());
        return Failure(FileWriteError::WriteFailed, ErrorText(error));
    }
    SyncFolder(folder);
    return {};
}

} // namespace

FileWriteResult CheckFileTarget(const std::string& path)
{
    return CheckLocated(Locate(path));
}

FileWriteResult WriteStandardOutput(const std::string& content)
{
    return WriteToDescriptor(STDOUT_FILENO, content);
}

FileWriteResult WriteFileTarget(const std::string& path, const std::string& content)
{
    const Target target = Locate(path);
    if (FileWriteResult checked = CheckLocated(target); !checked.ok())
        return checked;
    if (target.exists && !S_ISREG(target.status.st_mode))
        return WriteInPlace(target, content);
    return ReplaceFile(target, content);
}

void RemoveUnfinishedTempFile()
{
    if (const char* path = g_unfinished.Take())
        unlink(path);
}

SafeWriteSystemCalls& SafeWriteCalls()
{
    static SafeWriteSystemCalls calls{::fsync, ::rename};
    return calls;
}

namespace {

// What a target is on disk: its device and inode when it exists, else the
// real place it would be created at.
struct FileIdentity {
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
    std::string place;
};

FileIdentity IdentityOf(const std::string& path)
{
    FileIdentity identity;
    struct stat status{};
    if (path == kStandardOutputPath ? fstat(STDOUT_FILENO, &status) == 0 : stat(path.c_str(), &status) == 0) {
        identity.exists = true;
        identity.device = status.st_dev;
        identity.inode = status.st_ino;
        return identity;
    }
    const Target target = Locate(path);
    const std::string folder = FolderOf(target.path);
    char resolved[PATH_MAX];
    identity.place = realpath(folder.empty() ? "." : folder.c_str(), resolved) != nullptr
        ? std::string(resolved) + "/" + target.path.substr(folder.size())
        : target.path;
    return identity;
}

} // namespace

bool SameFile(const std::string& first, const std::string& second)
{
    const FileIdentity a = IdentityOf(first);
    const FileIdentity b = IdentityOf(second);
    if (a.exists != b.exists)
        return false;
    return a.exists ? a.device == b.device && a.inode == b.inode : a.place == b.place;
}

FileReadResult ReadReportFile(const std::string& path, std::size_t maxBytes)
{
    FileReadResult result;
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        result.error = "cannot be read: " + ErrorText(errno);
        return result;
    }
    struct stat status{};
    if (fstat(fd, &status) != 0)
        result.error = "cannot be read: " + ErrorText(errno);
    else if (S_ISDIR(status.st_mode))
        result.error = "is a folder, not a saved report";
    else if (S_ISFIFO(status.st_mode))
        result.error = "is a FIFO, not a saved report";
    else if (S_ISCHR(status.st_mode) || S_ISBLK(status.st_mode))
        result.error = "is a device, not a saved report";
    else if (!S_ISREG(status.st_mode))
        result.error = "is not a regular file, not a saved report";
    else if (static_cast<std::size_t>(status.st_size) > maxBytes)
        result.error = "is larger than " + std::to_string(maxBytes >> 20) + " MB, larger than any saved report";
    // A file that grows while it is read is cut at the bound, plus one byte to tell.
    for (char buffer[65536]; result.ok();) {
        const ssize_t count = read(fd, buffer, sizeof buffer);
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0)
            result.error = "cannot be read: " + ErrorText(errno);
        if (count <= 0)
            break;
        result.content.append(buffer, static_cast<std::size_t>(count));
        if (result.content.size() > maxBytes)
            result.error = "is larger than " + std::to_string(maxBytes >> 20) + " MB, larger than any saved report";
    }
    close(fd);
    if (!result.ok())
        result.content.clear();
    return result;
}
