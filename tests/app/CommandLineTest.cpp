// The window's command line: --simulate[=N] and repeatable --port.

#include "CommandLine.h"

#include <gtest/gtest.h>

namespace {

struct CommandLineCase {
    const char* why;
    QStringList arguments;   // after the program name
    bool error;
    bool simulate;
    int simulatedRecords;
    std::vector<std::string> ports;
};

void PrintTo(const CommandLineCase& row, std::ostream* os) { *os << row.why; }

class CommandLineTest : public ::testing::TestWithParam<CommandLineCase> {};

TEST_P(CommandLineTest, ParsesAsTheOperatorMeantIt)
{
    const CommandLineCase& row = GetParam();
    const CommandLine result = ParseCommandLine(QStringList{QStringLiteral("ombrel")} + row.arguments);
    EXPECT_EQ(!result.error.isEmpty(), row.error) << row.why << ": " << result.error.toStdString();
    if (row.error)
        return;
    EXPECT_EQ(result.simulate, row.simulate) << row.why;
    EXPECT_EQ(result.simulatedRecords, row.simulatedRecords) << row.why;
    EXPECT_EQ(result.ports, row.ports) << row.why;
}

INSTANTIATE_TEST_SUITE_P(
    Rows, CommandLineTest,
    ::testing::Values(
        CommandLineCase{"no arguments: scan the system's ports as always", {}, false, false, -1, {}},
        CommandLineCase{"--simulate alone: the realistic session", {"--simulate"}, false, true, -1, {}},
        CommandLineCase{"--simulate=N: N generated records", {"--simulate=25"}, false, true, 25, {}},
        CommandLineCase{"--simulate=0: a meter with no records", {"--simulate=0"}, false, true, 0, {}},
        CommandLineCase{"the largest memory the meter has", {"--simulate=3840"}, false, true, 3840, {}},
        CommandLineCase{"more records than the meter can hold", {"--simulate=3841"}, true, false, -1, {}},
        CommandLineCase{"a count that is not a number", {"--simulate=many"}, true, false, -1, {}},
        CommandLineCase{"a negative count", {"--simulate=-1"}, true, false, -1, {}},
        CommandLineCase{"--port is repeatable and keeps its order",
                        {"--port", "/dev/ttyUSB1", "--port", "/dev/ttyS0"}, false, false, -1,
                        {"/dev/ttyUSB1", "/dev/ttyS0"}},
        CommandLineCase{"--port=PATH form", {"--port=/dev/ttyACM0"}, false, false, -1, {"/dev/ttyACM0"}},
        CommandLineCase{"--port and --simulate together", {"--simulate", "--port", "/tmp/pty"}, false, true, -1,
                        {"/tmp/pty"}},
        CommandLineCase{"--port without a path", {"--port"}, true, false, -1, {}},
        CommandLineCase{"an unknown option", {"--baud=19200"}, true, false, -1, {}},
        CommandLineCase{"a stray argument", {"COM1"}, true, false, -1, {}}));

TEST(CommandLineHelp, NamesEveryOptionWithItsOptionalValue)
{
    const CommandLine result = ParseCommandLine({QStringLiteral("ombrel"), QStringLiteral("--help")});
    EXPECT_TRUE(result.showHelp);
    EXPECT_TRUE(result.helpText.contains(QStringLiteral("--simulate[=N]")));
    EXPECT_TRUE(result.helpText.contains(QStringLiteral("--port <PATH>")));
}

} // namespace
