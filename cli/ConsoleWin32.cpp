#include "Console.h"

#include "Win32Text.h"

#include <csignal>
#include <cstdio>

#include <fcntl.h>
#include <io.h>
#include <windows.h>
#include <shellapi.h>

namespace {

CSignalWatcher* g_watcher = nullptr;

// Runs on a thread the system starts for the event.
BOOL WINAPI OnConsoleEvent(DWORD event) {
    if (g_watcher == nullptr)
        return FALSE;
    const bool interrupt = event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT;
    g_watcher->Interrupt(interrupt ? SIGINT : SIGTERM);
    return TRUE;
}

bool IsConsole(DWORD stream) {
    DWORD mode = 0;
    return ::GetConsoleMode(::GetStdHandle(stream), &mode) != 0;
}

}  // namespace

void PrepareConsole() {
    // Text mode would turn every LF of the report into CR CR LF.
    _setmode(_fileno(stdout), _O_BINARY);
    // Messages are UTF-8 ("！" included); the console shows them as such.
    ::SetConsoleOutputCP(CP_UTF8);
}

std::vector<std::string> CommandLineArguments(int argc, char** argv) {
    int count = 0;
    wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (wide == nullptr)
        return {argv + 1, argv + argc};
    std::vector<std::string> arguments;
    for (int i = 1; i < count; ++i)
        arguments.push_back(Utf8FromWide(wide[i]));
    ::LocalFree(wide);
    return arguments;
}

// A redirected stream is no console, and neither is NUL, which the C
// library's isatty takes for a terminal.
bool StdinIsTerminal() { return IsConsole(STD_INPUT_HANDLE); }

bool StderrIsTerminal() { return IsConsole(STD_ERROR_HANDLE); }

CSignalWatcher::CSignalWatcher() {
    g_watcher = this;
    ::SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}
