#pragma once
// Replacing a report file without ever losing the previous one. No widgets here.

#include <string>

inline constexpr const char* kDocumentLockedMessage =
    "Document has been locked by another application!Please close the other application and try again later.";

enum class FileWriteError { None, Locked, CannotCreate, WriteFailed };

struct FileWriteResult {
    FileWriteError error = FileWriteError::None;
    std::string reason;          // for the operator, e.g. "No space left on device"
    bool ok() const { return error == FileWriteError::None; }
};

// Writes content next to path and replaces path only once the new file is
// complete and on disk; on any failure the old file stays as it was.
FileWriteResult WriteFileSafely(const std::string& path, const std::string& content);
