#pragma once
// Where the archive lives. The front ends resolve it; the archive takes the path.

#include <optional>
#include <string>

// The environment variable that names another archive file.
inline constexpr const char* kArchiveEnvironment = "OMBREL_ARCHIVE";
inline constexpr const char* kArchiveFileName = "archive.sqlite";

// The user's data folder for Ombrel as the desktop's standard paths have it:
// $XDG_DATA_HOME/Ombrel or ~/.local/share/Ombrel, %LOCALAPPDATA%\Ombrel on
// Windows; with the file name. Empty when neither is known.
std::string PlatformArchivePath();

// --archive PATH first, then OMBREL_ARCHIVE, then defaultPath.
std::string ResolveArchivePath(const std::optional<std::string>& option, const std::string& defaultPath);
