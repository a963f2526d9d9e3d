#pragma once
// The exit codes of ombrel-cli: decided here and nowhere else, and listed in
// --help from the same table.

#include "MeterLink.h"
#include "ProgramOptions.h"

#include <string>

enum ExitCode : int {
    EXIT_DONE = 0,
    EXIT_NO_METER = 1,              // also: clear failed, or the erase was not confirmed
    EXIT_USAGE = kExitUsage,        // the line, a report target or a saved report refused before any work
    EXIT_WRITE_FAILED = 3,          // a report (CSV, PDF or print job) not written
    EXIT_RECORDS_UNREAD = 4,
    EXIT_CLEAR_DECLINED = 5,
    EXIT_NO_UPLOAD = 6,             // history: no upload with that ID in the archive
    EXIT_NO_ARCHIVE = 7,            // history: the archive cannot be opened, read or changed
    // The evaluation's codes are the same numbers: no command gives both meanings.
    EXIT_EVALUATION_FAILED = 6,     // with --limits: some record fails its limit
    EXIT_EVALUATION_INCOMPLETE = 7, // with --limits: none fails, some have no verdict
    EXIT_INTERRUPTED = 130,         // the shell's code for an end by Ctrl-C
};

// How an upload or a clear ended, as the program's exit code. A report not
// written is EXIT_WRITE_FAILED whatever the transfer did.
ExitCode ExitCodeOf(UploadOutcome outcome);
ExitCode ExitCodeOf(ClearOutcome outcome);

// The "Exit codes:" section of --help, with what --clear-after promises.
std::string ExitCodeHelp();
