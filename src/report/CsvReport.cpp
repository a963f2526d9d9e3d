#include "CsvReport.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Every line ends in CR LF on every platform: the file is read on Windows too.
constexpr const char* kLineEnd = "\r\n";
constexpr const char* kCellSeparator = ",\t,";
constexpr const char* kColumnHeader = "No.,\t,Wavelength,\t,Power,\t,\tRef,\t,Frequency";

std::string ErrorText(int error)
{
    return std::generic_category().message(error);
}

CsvWriteResult Failure(CsvWriteError error, std::string reason)
{
    return CsvWriteResult{error, std::move(reason)};
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

std::string FormatCsvReport(const ReportHeader& header, const std::vector<RowTexts>& rows)
{
    std::string text;
    const auto line = [&text](const std::string& content) {
        text += content;
        text += kLineEnd;
    };
    line(",,,,Meter Data Report");
    line("");
    line("Company Name:" + header.companyName);
    line("User Name:" + header.userName);
    line("Note:" + header.note);
    line(header.dateTimePane);
    line(header.useTimePane);
    line("");
    line("");
    line(kColumnHeader);
    // Cells are written as they are, unquoted: a comma in a cell splits it.
    for (const RowTexts& row : rows) {
        std::string rowLine = "\t" + row.cells[0];
        for (std::size_t column = 1; column < row.cells.size(); ++column)
            rowLine += kCellSeparator + row.cells[column];
        line(rowLine);
    }
    return text;
}

CsvWriteResult WriteCsvReport(const std::string& path, const ReportHeader& header,
                              const std::vector<RowTexts>& rows)
{
    const std::string target = ResolvedTarget(path);
    const std::size_t slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : target.substr(0, slash + 1);
    const std::string name = target.substr(folder.size());
    if (name.empty())
        return Failure(CsvWriteError::CannotCreate, ErrorText(EISDIR));

    struct stat existing{};
    const bool replacing = stat(target.c_str(), &existing) == 0;
    if (replacing) {
        if (S_ISDIR(existing.st_mode))
            return Failure(CsvWriteError::CannotCreate, ErrorText(EISDIR));
        // The permission check alone would let root overwrite a read-only
        // file, so a file without any write bit counts as locked as well.
        if (faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0
            || (existing.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0)
            return Failure(CsvWriteError::Locked, kDocumentLockedMessage);
    }

    // The report goes to a temporary file beside the target and replaces it
    // only when complete, so a failed save never costs the previous file.
    std::string tempPath;
    const int fd = CreateTempFile(folder + "." + name + ".", tempPath);
    if (fd < 0)
        return Failure(CsvWriteError::CannotCreate, ErrorText(errno));

    const std::string reason =
        FillTempFile(fd, FormatCsvReport(header, rows), replacing ? &existing : nullptr);
    if (!reason.empty()) {
        unlink(tempPath.c_str());
        return Failure(CsvWriteError::WriteFailed, reason);
    }
    if (rename(tempPath.c_str(), target.c_str()) != 0) {
        const int error = errno;
        unlink(tempPath.c_str());
        return Failure(CsvWriteError::WriteFailed, ErrorText(error));
    }
    SyncFolder(folder);
    return {};
}

std::string DefaultReportFileName(const std::tm& localDate)
{
    char name[64];
    std::snprintf(name, sizeof name, "Meter Data Report_%d%2d%2d.csv",
                  localDate.tm_year + 1900, localDate.tm_mon + 1, localDate.tm_mday);
    return name;
}
