#include "SafeWrite.h"

#include "SafeWritePlatform.h"

#include <random>

std::string TemporaryFileName()
{
    // Short and fixed in length whatever the report's own name, so that any
    // name the folder takes leaves room for it.
    static constexpr char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    thread_local std::mt19937 generator{std::random_device{}()};
    std::uniform_int_distribution<std::size_t> pick(0, sizeof kLetters - 2);
    std::string name = ".ombrel-";
    for (int i = 0; i < 8; ++i)
        name += kLetters[pick(generator)];
    return name + ".tmp";
}

FileWriteResult CheckOutputTarget(const std::string& path)
{
    if (path.empty())
        return {FileWriteError::NoPath, "no file name given"};
    if (path == kStandardOutputPath)
        return {};
    return CheckFileTarget(path);
}

FileWriteResult WriteFileSafely(const std::string& path, const std::string& content)
{
    if (path.empty())
        return {FileWriteError::NoPath, "no file name given"};
    if (path == kStandardOutputPath)
        return WriteStandardOutput(content);
    return WriteFileTarget(path, content);
}
