#include "SafeWrite.h"

#include "SafeWritePlatform.h"
#include "UnfinishedFile.h"
#include "Win32Text.h"

#include <algorithm>
#include <cwctype>

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
CUnfinishedFileSlot<wchar_t, MAX_PATH * 4> g_unfinished;
using CUnfinishedFileGuard = CUnfinishedFileArming<wchar_t, MAX_PATH * 4>;

// A new file beside the target that no other program may open meanwhile.
HANDLE CreateTempFile(const std::wstring& folder, std::wstring& tempPath, CUnfinishedFileGuard& guard)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        tempPath = folder + WideFromUtf8(TemporaryFileName());
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

// Windows takes these names, with any extension, for its devices, and
// refuses these characters in a name; said before the transfer, with the
// true reason instead of a failure to create the file.
std::string RefusedName(const std::wstring& path, const std::wstring& name)
{
    // A drive's colon is the second character ("C:report.csv", "C:\\x.csv").
    const std::size_t start = path.size() > 1 && path[1] == L':' && std::iswalpha(path[0]) ? 2 : 0;
    for (const wchar_t refused : std::wstring(L"?*:\"<>|")) {
        if (path.find(refused, start) != std::wstring::npos)
            return std::string("Windows file names cannot contain ") + static_cast<char>(refused);
    }
    std::wstring stem = name.substr(0, name.find(L'.'));
    while (!stem.empty() && stem.back() == L' ')
        stem.pop_back();
    std::transform(stem.begin(), stem.end(), stem.begin(), [](wchar_t c) { return std::towupper(c); });
    static const wchar_t* const kDevices[] = {L"CON", L"PRN", L"AUX", L"NUL"};
    bool reserved = std::find_if(std::begin(kDevices), std::end(kDevices),
                                 [&stem](const wchar_t* device) { return stem == device; }) != std::end(kDevices);
    reserved = reserved || (stem.size() == 4 && (stem.starts_with(L"COM") || stem.starts_with(L"LPT"))
                            && stem[3] >= L'1' && stem[3] <= L'9');
    return reserved ? Utf8FromWide(stem) + " is a name Windows reserves for a device" : std::string();
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
    if (std::string refused = RefusedName(target.path, target.name); !refused.empty())
        return Failure(FileWriteError::CannotCreate, std::move(refused));

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

} // namespace

FileWriteResult CheckFileTarget(const std::string& path)
{
    Target target;
    return Locate(path, target);
}

FileWriteResult WriteStandardOutput(const std::string& content)
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

void RemoveUnfinishedTempFile()
{
    if (const wchar_t* path = g_unfinished.Take())
        ::DeleteFileW(path);
}

FileWriteResult WriteFileTarget(const std::string& path, const std::string& content)
{
    Target target;
    if (FileWriteResult located = Locate(path, target); !located.ok())
        return located;
    const bool replacing = target.replacing;

    // The report goes to a temporary file beside the target and replaces it
    // only when complete, so a failed save never costs the previous file.
    std::wstring tempPath;
    CUnfinishedFileGuard guard(g_unfinished);
    const HANDLE file = CreateTempFile(target.folder, tempPath, guard);
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

namespace {

// A handle that lets anyone else do anything meanwhile, for looking only.
HANDLE OpenToLook(const std::wstring& path)
{
    return ::CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

// The volume and index of an existing file, or else its full path in upper case.
std::wstring IdentityOf(const std::string& path)
{
    const HANDLE file = path == kStandardOutputPath ? ::GetStdHandle(STD_OUTPUT_HANDLE) : OpenToLook(WideFromUtf8(path));
    BY_HANDLE_FILE_INFORMATION info{};
    const bool known = file != INVALID_HANDLE_VALUE && file != nullptr && ::GetFileInformationByHandle(file, &info);
    if (path != kStandardOutputPath && file != INVALID_HANDLE_VALUE)
        ::CloseHandle(file);
    if (known)
        return L"file " + std::to_wstring(info.dwVolumeSerialNumber) + L":" + std::to_wstring(info.nFileIndexHigh)
            + L":" + std::to_wstring(info.nFileIndexLow);
    wchar_t full[MAX_PATH * 4];
    const std::wstring wide = WideFromUtf8(path);
    const DWORD length = ::GetFullPathNameW(wide.c_str(), static_cast<DWORD>(std::size(full)), full, nullptr);
    std::wstring place = length > 0 && length < std::size(full) ? std::wstring(full, length) : wide;
    std::transform(place.begin(), place.end(), place.begin(), [](wchar_t c) { return std::towupper(c); });
    return L"path " + place;
}

} // namespace

bool SameFile(const std::string& first, const std::string& second)
{
    return IdentityOf(first) == IdentityOf(second);
}

FileReadResult ReadReportFile(const std::string& path, std::size_t maxBytes)
{
    FileReadResult result;
    const std::wstring wide = WideFromUtf8(path);
    const DWORD attributes = ::GetFileAttributesW(wide.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        result.error = "is a folder, not a saved report";
        return result;
    }
    const HANDLE file = ::CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        result.error = "cannot be read: " + SystemErrorText(::GetLastError());
        return result;
    }
    LARGE_INTEGER size{};
    if (::GetFileType(file) != FILE_TYPE_DISK)
        result.error = "is a device or a pipe, not a saved report";
    else if (!::GetFileSizeEx(file, &size))
        result.error = "cannot be read: " + SystemErrorText(::GetLastError());
    else if (static_cast<unsigned long long>(size.QuadPart) > maxBytes)
        result.error = "is larger than " + std::to_string(maxBytes >> 20) + " MB, larger than any saved report";
    for (char buffer[65536]; result.ok();) {
        DWORD count = 0;
        if (!::ReadFile(file, buffer, sizeof buffer, &count, nullptr))
            result.error = "cannot be read: " + SystemErrorText(::GetLastError());
        if (count == 0)
            break;
        result.content.append(buffer, count);
        if (result.content.size() > maxBytes)
            result.error = "is larger than " + std::to_string(maxBytes >> 20) + " MB, larger than any saved report";
    }
    ::CloseHandle(file);
    if (!result.ok())
        result.content.clear();
    return result;
}
