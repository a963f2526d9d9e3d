#include "Archive.h"

#include <windows.h>

bool ArchiveWriterAlive(std::int64_t processId)
{
    if (processId <= 0)
        return false;
    HANDLE process = ::OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(processId));
    if (process == nullptr)
        return ::GetLastError() == ERROR_ACCESS_DENIED;
    const bool running = ::WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
    ::CloseHandle(process);
    return running;
}

std::int64_t ArchiveProcessId()
{
    return static_cast<std::int64_t>(::GetCurrentProcessId());
}
