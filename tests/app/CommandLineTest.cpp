// The window's command line: the shared meter options, and everything else
// passed on to the toolkit, which refuses what it does not know either.

#include "CommandLine.h"

#include <gtest/gtest.h>

namespace {

TEST(CommandLine, PassesOnWhatIsNotOursInItsOrder) {
    const struct {
        const char* why;
        std::vector<std::string> arguments;
        std::vector<std::string> passedOn;
        std::vector<std::string> ports;
        std::optional<std::string> archive = {};
    } rows[] = {
        {"no arguments", {}, {}, {}},
        {"another archive", {"--archive", "/tmp/a.sqlite", "-reverse"}, {"-reverse"}, {}, "/tmp/a.sqlite"},
        {"the toolkit's options around ours", {"-platform", "offscreen", "--port", "/dev/ttyS0", "-reverse"},
         {"-platform", "offscreen", "-reverse"}, {"/dev/ttyS0"}},
        {"a long spelling and a joined value", {"--style", "fusion", "-qwindowtitle=x"},
         {"--style", "fusion", "-qwindowtitle=x"}, {}},
    };
    for (const auto& row : rows) {
        CommandLine commandLine;
        const ParseOutcome outcome = ParseCommandLine(row.arguments, commandLine);
        EXPECT_FALSE(outcome.exitCode) << row.why << ": " << outcome.errors;
        EXPECT_EQ(commandLine.passedOn, row.passedOn) << row.why;
        EXPECT_EQ(commandLine.meter.ports, row.ports) << row.why;
        EXPECT_EQ(commandLine.archivePath, row.archive) << row.why;
    }
}

// Our own mistakes are refused before the toolkit starts, and what the toolkit
// leaves over after it; both with the usage error of every program, 2.
TEST(CommandLine, OurMistakesAndWhatTheToolkitLeavesOverAreRefused) {
    CommandLine commandLine;
    const ParseOutcome ours = ParseCommandLine({"--simulate=3841"}, commandLine);
    EXPECT_EQ(ours.exitCode, 2);
    EXPECT_EQ(ours.errors.rfind("ombrel: --simulate: ", 0), 0u) << ours.errors;
    EXPECT_FALSE(RefuseLeftOvers({}).exitCode);
    const ParseOutcome leftOver = RefuseLeftOvers({"--baud=19200", "COM1"});
    EXPECT_EQ(leftOver.exitCode, 2);
    EXPECT_EQ(leftOver.errors.rfind("ombrel: ", 0), 0u) << leftOver.errors;
    EXPECT_NE(leftOver.errors.find("not expected: --baud=19200 COM1"), std::string::npos) << leftOver.errors;
}

TEST(CommandLine, HelpNeedsNoWindowSystemAndNamesTheToolkitOptions) {
    CommandLine commandLine;
    const ParseOutcome outcome = ParseCommandLine({"--help"}, commandLine);
    EXPECT_EQ(outcome.exitCode, 0);
    EXPECT_NE(outcome.output.find("Usage: ombrel [OPTIONS]"), std::string::npos) << outcome.output;
    EXPECT_NE(outcome.output.find("-platform NAME"), std::string::npos) << outcome.output;
}

} // namespace
