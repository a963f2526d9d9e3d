#pragma once

struct CommandLine;

// Start-up: given the command line main has read, starts the simulated meter when asked,
// runs the main window modally and ends the program when it closes.
class COrvexApp {
public:
    // The process exit code.
    int InitInstance(const CommandLine& commandLine);
};

// The whole program: reads the command line, starts the toolkit and runs the
// window; the process exit code.
int OmbrelMain(int argc, char** argv);
