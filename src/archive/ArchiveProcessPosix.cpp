#include "Archive.h"

#include <cerrno>
#include <csignal>
#include <unistd.h>

bool ArchiveWriterAlive(std::int64_t processId)
{
    if (processId <= 0)
        return false;
    // EPERM: the process is there but belongs to someone else.
    return ::kill(static_cast<pid_t>(processId), 0) == 0 || errno == EPERM;
}

std::int64_t ArchiveProcessId()
{
    return ::getpid();
}
