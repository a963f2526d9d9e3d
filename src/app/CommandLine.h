#pragma once

#include <QString>
#include <QStringList>

#include <string>
#include <vector>

// What the window was started with. Without arguments it scans the system's
// serial ports as it always has.
struct CommandLine {
    bool simulate = false;          // --simulate[=N]: a simulated meter in-process
    int simulatedRecords = -1;      // N, or -1 for the realistic session
    std::vector<std::string> ports; // --port PATH, repeatable, in the order given
    bool showHelp = false;
    QString error;                  // a usage error; empty when the line is sound
    QString helpText;
};

// arguments[0] is the program.
CommandLine ParseCommandLine(const QStringList& arguments);
