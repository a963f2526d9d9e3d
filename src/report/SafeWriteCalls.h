#pragma once
// The system calls of the POSIX safe replace that decide whether a report is
// complete and in place: tests put their own in to inject faults (a rename
// that fails, an fsync that never happens) and to see the order of calls.

struct SafeWriteSystemCalls {
    int (*fsync)(int fd);
    int (*rename)(const char* from, const char* to);
};

// The calls in use: the system's own unless a test changed them.
SafeWriteSystemCalls& SafeWriteCalls();
