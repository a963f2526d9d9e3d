#include "Console.h"

#include <csignal>
#include <thread>

#include <pthread.h>
#include <unistd.h>

// A reader of standard output that went away makes a failed report with its
// exit code and message, not a silent death by SIGPIPE.
void PrepareConsole() { std::signal(SIGPIPE, SIG_IGN); }

std::vector<std::string> CommandLineArguments(int argc, char** argv) { return {argv + 1, argv + argc}; }

bool StdinIsTerminal() { return ::isatty(STDIN_FILENO) != 0; }

bool StderrIsTerminal() { return ::isatty(STDERR_FILENO) != 0; }

// Signals are taken by one watcher thread; every other thread inherits the
// blocked mask, so none of them is interrupted.
CSignalWatcher::CSignalWatcher() {
    static sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    std::thread([this] {
        for (;;) {
            int received = 0;
            if (sigwait(&signals, &received) == 0)
                Interrupt(received);
        }
    }).detach();
}
