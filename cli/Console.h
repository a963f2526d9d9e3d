#pragma once
// What the command line needs from the console it runs in. Each platform has
// its own source file (ConsolePosix.cpp, ConsoleWin32.cpp); Console.cpp holds
// what they share.

#include <mutex>
#include <string>
#include <vector>

class CMeterLink;

// Sets the standard streams up before anything is written: the report goes
// to standard output byte for byte, messages in the program's UTF-8.
void PrepareConsole();
// The arguments after the program's name, in UTF-8 (on Windows read from the
// wide command line, since main's arguments are in the ANSI code page).
std::vector<std::string> CommandLineArguments(int argc, char** argv);
bool StdinIsTerminal();
bool StderrIsTerminal();

// Ctrl-C and SIGTERM (on Windows Ctrl-C, Ctrl-Break and closing the console)
// end a running operation within one exchange, so the port is closed
// properly; outside an operation, or at a second interrupt, the program ends
// at once with 128 + the signal number (an unfinished report file is removed
// first). Construct the watcher before any
// other thread starts, so that none of them takes the interrupts.
class CSignalWatcher {
public:
    CSignalWatcher();
    CSignalWatcher(const CSignalWatcher&) = delete;
    CSignalWatcher& operator=(const CSignalWatcher&) = delete;

    // Once this returns, the watcher no longer touches the previous link.
    void SetOperation(CMeterLink* link);

    void Interrupt(int signalNumber);   // from the platform's watcher, any thread

private:

    std::mutex m_mutex;
    CMeterLink* m_link = nullptr;
};

// Marks the span in which an interrupt stops the link instead of ending the program.
class COperationScope {
public:
    COperationScope(CSignalWatcher& watcher, CMeterLink& link) : m_watcher(watcher) { watcher.SetOperation(&link); }
    ~COperationScope() { m_watcher.SetOperation(nullptr); }
    COperationScope(const COperationScope&) = delete;
    COperationScope& operator=(const COperationScope&) = delete;

private:
    CSignalWatcher& m_watcher;
};
