#pragma once
// What the three programs share on their command lines: --help, --version,
// the way a refused line is reported, and the options that choose the meter
// (--port, --simulate[=N]). Each program declares its own options on a
// CLI::App and leaves these to the functions below.

#include <CLI/CLI.hpp>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

constexpr int kExitUsage = 2;

// The meter a program talks to.
struct MeterChoice {
    std::vector<std::string> ports;     // --port PATH, repeatable, tried in the order given
    bool simulate = false;              // --simulate[=N]: a simulated meter inside the program
    std::optional<int> simulatedCount;  // N; none: the realistic session
};

// "ombrel-cli - Ombrel 10.1 (build 1a2b3c4)": the product line and the build.
std::string VersionLine(std::string_view program);

// Help and version flags, the shared help layout, and a refusal of any value
// option given twice (the last one silently winning hides mistakes).
void SetUpProgram(CLI::App& app);

// Declares --port and --simulate[=N] on `app`; they exclude each other.
void AddMeterOptions(CLI::App& app, MeterChoice& choice);

// The outcome of reading a command line: when `exitCode` is set the program
// ends at once with it, after writing `output` to standard output and
// `errors` to standard error.
struct ParseOutcome {
    std::optional<int> exitCode;
    std::string output;
    std::string errors;
};

// `arguments` without the program name. --help prints the whole help,
// subcommands included; a refused line names the option and why, and exits
// with kExitUsage.
ParseOutcome ParseArguments(CLI::App& app, std::vector<std::string> arguments);

// ParseArguments on main's arguments; writes the texts. Returns the exit code
// when the program should end now.
std::optional<int> ParseOrExit(CLI::App& app, int argc, const char* const* argv);
// The same on arguments (without the program name) read elsewhere, e.g. in
// UTF-8 from the Windows command line.
std::optional<int> ParseOrExit(CLI::App& app, std::vector<std::string> arguments);

// The refusal text for arguments nobody took, in the same form as the parser's.
ParseOutcome RefuseArguments(const CLI::App& app, const std::vector<std::string>& arguments);
