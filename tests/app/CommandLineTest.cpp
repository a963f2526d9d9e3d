// The window's command line: --simulate[=N] and repeatable --port.

#include "CommandLine.h"

#include <gtest/gtest.h>

#include <tuple>

namespace {

TEST(CommandLine, ParsesWhatTheOperatorMeantAndRefusesTheRest)
{
    struct Row { const char* why; QStringList arguments; bool error, simulate = false; int records = -1;
                 std::vector<std::string> ports = {}; };
    const Row rows[] = {
        {"no arguments: scan the system's ports as always", {}, false, false, -1, {}},
        {"--simulate alone: the realistic session", {"--simulate"}, false, true, -1, {}},
        {"--simulate=0: a meter with no records", {"--simulate=0"}, false, true, 0, {}},
        {"the largest memory the meter has", {"--simulate=3840"}, false, true, 3840, {}},
        {"more records than the meter can hold", {"--simulate=3841"}, true},
        {"a count that is not a number", {"--simulate=many"}, true},
        {"a negative count", {"--simulate=-1"}, true},
        {"--port is repeatable and keeps its order", {"--port", "/dev/ttyUSB1", "--port", "/dev/ttyS0"}, false, false,
         -1, {"/dev/ttyUSB1", "/dev/ttyS0"}},
        {"--port=PATH form", {"--port=/dev/ttyACM0"}, false, false, -1, {"/dev/ttyACM0"}},
        {"--port without a path", {"--port"}, true},
        {"an unknown option", {"--baud=19200"}, true},
        {"a stray argument", {"COM1"}, true}};
    for (const Row& row : rows) {
        const CommandLine result = ParseCommandLine(QStringList{"ombrel"} + row.arguments);
        EXPECT_EQ(!result.error.isEmpty(), row.error) << row.why << ": " << result.error.toStdString();
        if (!row.error) {
            EXPECT_EQ(std::tie(result.simulate, result.simulatedRecords, result.ports),
                      std::tie(row.simulate, row.records, row.ports)) << row.why;
        }
    }
    EXPECT_TRUE(ParseCommandLine({"ombrel", "--help"}).showHelp);
}

} // namespace
