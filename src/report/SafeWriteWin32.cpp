#include "SafeWrite.h"

#include "Win32Text.h"

#include <atomic>
#include <cwchar>
#include <random>

#include <windows.h>

namespace {

FileWriteResult Failure(FileWriteError error, std::string reason)
{
    return FileWriteResult{error, std::move(reason)};
}

FileWriteResult Failure(FileWriteError error, DWORD systemError)
{
    return Failure(error, SystemErrorText(systemError));
}

bool IsLockError(DWORD error)
{
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION || error == ERROR_ACCESS_DENIED
        || error == ERROR_UNABLE_TO_REMOVE_REPLACED;
}

// A file that another program holds open without sharing (a report open in
// a spreadsheet), or that is read-only, cannot be replaced: find that out
// before anything is written.
bool CanReplace(const std::wstring& target, DWORD& error)
{
    const HANDLE probe = ::CreateFileW(target.c_str(), GENERIC_WRITE | DELETE,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (probe == INVALID_HANDLE_VALUE) {
        error = ::GetLastError();
        return false;
    }
    ::CloseHandle(probe);
    return true;
}

// The unfinished file of the save in progress, for the console's interrupt handler.
wchar_t g_unfinishedPath[MAX_PATH * 4];
std::atomic<bool> g_unfinishedArmed{false};

class CUnfinishedFileGuard {
public:
    CUnfinishedFileGuard() = default;
    ~CUnfinishedFileGuard() { Disarm(); }
    CUnfinishedFileGuard(const CUnfinishedFileGuard&) = delete;
    CUnfinishedFileGuard& operator=(const CUnfinishedFileGuard&) = delete;
    void Arm(const std::wstring& path)
    {
        if (m_armed || path.size() >= std::size(g_unfinishedPath) || g_unfinishedArmed.load())
            return;
        std::wmemcpy(g_unfinishedPath, path.c_str(), path.size() + 1);
        g_unfinishedArmed = true;
        m_armed = true;
    }
    void Disarm()
    {
        if (m_armed)
            g_unfinishedArmed = false;
        m_armed = false;
    }

private:
    bool m_armed = false;
};

// A new file beside the target that no other program may open meanwhile.
HANDLE CreateTempFile(const std::wstring& prefix, std::wstring& tempPath, CUnfinishedFileGuard& guard)
{
    static constexpr wchar_t kLetters[] = L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    std::random_device seed;
    std::mt19937 generator(seed());
    std::uniform_int_distribution<std::size_t> pick(0, std::size(kLetters) - 2);
    for (int attempt = 0; attempt < 100; ++attempt) {
        tempPath = prefix;
        for (int i = 0; i < 6; ++i)
            tempPath += kLetters[pick(generator)];
        guard.Arm(tempPath);
        const HANDLE file = ::CreateFileW(tempPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                          FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE)
            return file;
        const DWORD error = ::GetLastError();
        guard.Disarm();   // the name is somebody else's
        if (error != ERROR_FILE_EXISTS) {
            ::SetLastError(error);
            return INVALID_HANDLE_VALUE;
        }
    }
    ::SetLastError(ERROR_FILE_EXISTS);
    return INVALID_HANDLE_VALUE;
}

// Fills the temporary file and checks that all of it reached the disk;
// returns 0 or the error that stopped it. Closes the file in every case.
DWORD FillTempFile(HANDLE file, const std::string& content)
{
    DWORD error = ERROR_SUCCESS;
    std::size_t written = 0;
    while (error == ERROR_SUCCESS && written < content.size()) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(content.size() - written, 1u << 20));
        DWORD count = 0;
        if (!::WriteFile(file, content.data() + written, chunk, &count, nullptr))
            error = ::GetLastError();
        else if (count == 0)
            error = ERROR_WRITE_FAULT;
        written += count;
    }
    LARGE_INTEGER size{};
    if (error == ERROR_SUCCESS && !::FlushFileBuffers(file))
        error = ::GetLastError();
    if (error == ERROR_SUCCESS && !::GetFileSizeEx(file, &size))
        error = ::GetLastError();
    if (error == ERROR_SUCCESS && static_cast<std::size_t>(size.QuadPart) != content.size())
        error = ERROR_HANDLE_DISK_FULL;
    if (!::CloseHandle(file) && error == ERROR_SUCCESS)
        error = ::GetLastError();
    return error;
}

// Where a report to path would go, and whether it can go there.
struct Target {
    std::wstring path, folder, name;
    bool replacing = false;
};

FileWriteResult Locate(const std::string& path, Target& target)
{
    target.path = WideFromUtf8(path);
    const std::size_t separator = target.path.find_last_of(L"\\/:");
    target.folder = separator == std::wstring::npos ? L"" : target.path.substr(0, separator + 1);
    target.name = target.path.substr(target.folder.size());
    if (target.name.empty())
        return Failure(FileWriteError::CannotCreate, ERROR_DIRECTORY);

    const DWORD attributes = ::GetFileAttributesW(target.path.c_str());
    target.replacing = attributes != INVALID_FILE_ATTRIBUTES;
    if (target.replacing) {
        if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
            return Failure(FileWriteError::CannotCreate, ERROR_DIRECTORY);
        DWORD error = ERROR_SUCCESS;
        if ((attributes & FILE_ATTRIBUTE_READONLY) != 0 || !CanReplace(target.path, error)) {
            if (error == ERROR_SUCCESS || IsLockError(error))
                return Failure(FileWriteError::Locked, kDocumentLockedMessage);
            return Failure(FileWriteError::CannotCreate, error);
        }
        return {};
    }
    const DWORD folder = ::GetFileAttributesW(target.folder.empty() ? L"." : target.folder.c_str());
    if (folder == INVALID_FILE_ATTRIBUTES)
        return Failure(FileWriteError::CannotCreate, ::GetLastError());
    if ((folder & FILE_ATTRIBUTE_DIRECTORY) == 0)
        return Failure(FileWriteError::CannotCreate, ERROR_DIRECTORY);
    return {};
}

FileWriteResult WriteToStandardOutput(const std::string& content)
{
    const HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
    std::size_t written = 0;
    while (written < content.size()) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(content.size() - written, 1u << 20));
        DWORD count = 0;
        if (out == nullptr || out == INVALID_HANDLE_VALUE ||
            !::WriteFile(out, content.data() + written, chunk, &count, nullptr))
            return Failure(FileWriteError::WriteFailed, ::GetLastError());
        written += count;
    }
    return {};
}

} // namespace

FileWriteResult CheckOutputTarget(const std::string& path)
{
    if (path.empty())
        return Failure(FileWriteError::NoPath, "no file name given");
    if (path == kStandardOutputPath)
        return {};
    Target target;
    return Locate(path, target);
}

void RemoveUnfinishedTempFile()
{
    if (g_unfinishedArmed.exchange(false))
        ::DeleteFileW(g_unfinishedPath);
}

FileWriteResult WriteFileSafely(const std::string& path, const std::string& content)
{
    if (path.empty())
        return Failure(FileWriteError::NoPath, "no file name given");
    if (path == kStandardOutputPath)
        return WriteToStandardOutput(content);
    Target target;
    if (FileWriteResult located = Locate(path, target); !located.ok())
        return located;
    const std::wstring& folder = target.folder;
    const std::wstring& name = target.name;
    const bool replacing = target.replacing;

    // The report goes to a temporary file beside the target and replaces it
    // only when complete, so a failed save never costs the previous file.
    std::wstring tempPath;
    CUnfinishedFileGuard guard;
    const HANDLE file = CreateTempFile(folder + L"." + name + L".", tempPath, guard);
    if (file == INVALID_HANDLE_VALUE)
        return Failure(FileWriteError::CannotCreate, ::GetLastError());

    if (const DWORD error = FillTempFile(file, content); error != ERROR_SUCCESS) {
        ::DeleteFileW(tempPath.c_str());
        return Failure(FileWriteError::WriteFailed, error);
    }
    // Replacing keeps the old file's attributes and security; either way the
    // old file is untouched unless the new one takes its place whole.
    const BOOL moved = replacing
        ? ::ReplaceFileW(target.path.c_str(), tempPath.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr,
                         nullptr)
        : ::MoveFileExW(tempPath.c_str(), target.path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    if (!moved) {
        const DWORD error = ::GetLastError();
        ::DeleteFileW(tempPath.c_str());
        if (IsLockError(error))
            return Failure(FileWriteError::Locked, kDocumentLockedMessage);
        return Failure(FileWriteError::WriteFailed, error);
    }
    return {};
}
