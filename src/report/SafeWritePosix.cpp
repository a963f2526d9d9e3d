#include "SafeWrite.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <random>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string ErrorText(int error)
{
    return std::generic_category().message(error);
}

FileWriteResult Failure(FileWriteError error, std::string reason)
{
    return FileWriteResult{error, std::move(reason)};
}

// A link is followed so that the file it names is replaced, not the link.
std::string ResolvedTarget(const std::string& path)
{
    struct stat link{};
    if (lstat(path.c_str(), &link) != 0 || !S_ISLNK(link.st_mode))
        return path;
    char resolved[PATH_MAX];
    return realpath(path.c_str(), resolved) != nullptr ? std::string(resolved) : path;
}

// Like mkstemp, but created with 0666 so that the umask applies as it does to
// any new file, without touching the process-wide umask from this thread.
int CreateTempFile(const std::string& prefix, std::string& tempPath)
{
    static constexpr char kLetters[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    std::random_device seed;
    std::mt19937 generator(seed());
    std::uniform_int_distribution<std::size_t> pick(0, sizeof kLetters - 2);
    for (int attempt = 0; attempt < 100; ++attempt) {
        tempPath = prefix;
        for (int i = 0; i < 6; ++i)
            tempPath += kLetters[pick(generator)];
        const int fd = open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    errno = EEXIST;
    return -1;
}

// Writes all of content, resuming after partial writes; returns 0 or an errno.
int WriteAll(int fd, const std::string& content)
{
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

// Fills the temporary file and checks that all of it reached the disk;
// returns an empty text or the reason it failed. Closes fd in every case.
std::string FillTempFile(int fd, const std::string& content, const struct stat* replaced)
{
    std::string reason;
    struct stat written{};
    // The new file keeps the permissions of the one it replaces.
    if (replaced != nullptr && fchmod(fd, replaced->st_mode & 07777) != 0)
        reason = ErrorText(errno);
    else if (const int error = WriteAll(fd, content); error != 0)
        reason = ErrorText(error);
    else if (fsync(fd) != 0)
        reason = ErrorText(errno);
    else if (fstat(fd, &written) != 0)
        reason = ErrorText(errno);
    else if (static_cast<std::size_t>(written.st_size) != content.size())
        reason = "The file on disk is shorter than the report.";
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
        fsync(fd);
        close(fd);
    }
}

} // namespace

FileWriteResult WriteFileSafely(const std::string& path, const std::string& content)
{
    const std::string target = ResolvedTarget(path);
    const std::size_t slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : target.substr(0, slash + 1);
    const std::string name = target.substr(folder.size());
    if (name.empty())
        return Failure(FileWriteError::CannotCreate, ErrorText(EISDIR));

    struct stat existing{};
    const bool replacing = stat(target.c_str(), &existing) == 0;
    if (replacing) {
        if (S_ISDIR(existing.st_mode))
            return Failure(FileWriteError::CannotCreate, ErrorText(EISDIR));
        // The permission check alone would let root overwrite a read-only
        // file, so a file without any write bit counts as locked as well.
        if (faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0
            || (existing.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0)
            return Failure(FileWriteError::Locked, kDocumentLockedMessage);
    }

    // The report goes to a temporary file beside the target and replaces it
    // only when complete, so a failed save never costs the previous file.
    std::string tempPath;
    const int fd = CreateTempFile(folder + "." + name + ".", tempPath);
    if (fd < 0)
        return Failure(FileWriteError::CannotCreate, ErrorText(errno));

    const std::string reason =
        FillTempFile(fd, content, replacing ? &existing : nullptr);
    if (!reason.empty()) {
        unlink(tempPath.c_str());
        return Failure(FileWriteError::WriteFailed, reason);
    }
    if (rename(tempPath.c_str(), target.c_str()) != 0) {
        const int error = errno;
        unlink(tempPath.c_str());
        return Failure(FileWriteError::WriteFailed, ErrorText(error));
    }
    SyncFolder(folder);
    return {};
}
