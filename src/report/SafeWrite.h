#pragma once
// Writing a report file without ever losing the previous one. No widgets here.

#include <cstddef>
#include <string>

inline constexpr const char* kDocumentLockedMessage =
    "Document has been locked by another application!Please close the other application and try again later.";

// The path that stands for standard output.
inline constexpr const char* kStandardOutputPath = "-";

enum class FileWriteError { None, NoPath, Locked, CannotCreate, WriteFailed };

struct FileWriteResult {
    FileWriteError error = FileWriteError::None;
    std::string reason;          // for the operator, e.g. "No space left on device"
    bool ok() const { return error == FileWriteError::None; }
};

// Tells, without writing anything, whether WriteFileSafely could write path:
// an empty path, a missing or unwritable folder, a directory or a locked file
// fail here, before minutes of work go into the content.
FileWriteResult CheckOutputTarget(const std::string& path);

// Writes content to path. A regular file (new or existing, also through a
// symbolic link, dangling or not) is written next to its place and put there
// only once complete and on disk, keeping the old file's permissions, owner
// and group; on any failure the old file stays as it was. A target that is
// no regular file (a terminal, a FIFO with a reader, /dev/stdout) is written
// directly; "-" is standard output. A closed pipe is a failure, not SIGPIPE.
// A termination signal during the save removes the unfinished file.
FileWriteResult WriteFileSafely(const std::string& path, const std::string& content);

// Whether two report targets are one file: the same file after following
// links (same device and inode, or same volume and index, when both exist),
// or the same place to create when neither does yet. "-" is standard output.
bool SameFile(const std::string& first, const std::string& second);

struct FileReadResult {
    std::string content;
    std::string error;   // why not, to follow the file's name: "is a folder"
    bool ok() const { return error.empty(); }
};

// Reads a file the operator names as input, which must be a regular file
// of at most maxBytes: it is opened without blocking (a FIFO nobody writes
// to) and checked before anything is read (a device without end).
FileReadResult ReadReportFile(const std::string& path, std::size_t maxBytes);

// A fresh name for the temporary file beside a report: ".ombrel-" and eight
// random letters and digits, ".tmp".
std::string TemporaryFileName();

// For programs that take termination signals themselves (sigwait) and end
// from there: removes the unfinished file of a save in progress, if any.
// Safe to call from a signal handler.
void RemoveUnfinishedTempFile();
