#pragma once

#include "ProgramOptions.h"

#include <optional>
#include <string>
#include <vector>

// What the window was started with. Without arguments it scans the system's
// serial ports as it always has.
struct CommandLine {
    MeterChoice meter;
    std::optional<std::string> archivePath;   // --archive PATH
    // Arguments that are not ours, in their order: the toolkit's own options
    // (-platform NAME, -style NAME, ...) go on to QApplication, and whatever
    // it does not take either is refused then.
    std::vector<std::string> passedOn;
};

// `arguments` without the program name. Runs before any window system
// exists, so --help and --version work on a machine without a display.
ParseOutcome ParseCommandLine(const std::vector<std::string>& arguments, CommandLine& commandLine);

// The refusal of the arguments the toolkit left over (QApplication::arguments()
// without the program); no exit code when there are none.
ParseOutcome RefuseLeftOvers(const std::vector<std::string>& leftOvers);
