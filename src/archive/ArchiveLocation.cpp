#include "ArchiveLocation.h"

#include <cstdlib>

namespace {

std::string Environment(const char* name)
{
    const char* value = std::getenv(name);
    return value == nullptr ? std::string() : std::string(value);
}

} // namespace

std::string PlatformArchivePath()
{
#ifdef _WIN32
    const std::string local = Environment("LOCALAPPDATA");
    return local.empty() ? std::string() : local + "\\Ombrel\\" + kArchiveFileName;
#else
    std::string data = Environment("XDG_DATA_HOME");
    if (data.empty() || data.front() != '/') {
        const std::string home = Environment("HOME");
        if (home.empty())
            return {};
        data = home + "/.local/share";
    }
    return data + "/Ombrel/" + kArchiveFileName;
#endif
}

std::string ResolveArchivePath(const std::optional<std::string>& option, const std::string& defaultPath)
{
    if (option)
        return *option;
    if (const std::string named = Environment(kArchiveEnvironment); !named.empty())
        return named;
    return defaultPath;
}
