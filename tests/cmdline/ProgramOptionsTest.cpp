// The options every program shares, and how a refused line is reported.

#include "ProgramOptions.h"

#include <gtest/gtest.h>

#include <tuple>

namespace {

struct Parsed {
    ParseOutcome outcome;
    MeterChoice meter;
};

Parsed Parse(const std::vector<std::string>& arguments) {
    Parsed parsed;
    CLI::App app("", "ombrel-test");
    SetUpProgram(app);
    AddMeterOptions(app, parsed.meter);
    std::string csv;
    app.add_option("--csv", csv, "a value option of the program's own");
    parsed.outcome = ParseArguments(app, arguments);
    return parsed;
}

TEST(ProgramOptions, MeterOptionsTakeWhatTheOperatorMeantAndRefuseTheRest) {
    struct Row {
        const char* why;
        std::vector<std::string> arguments;
        const char* refusal;   // nullptr: accepted
        bool simulate = false;
        std::optional<int> count = {};
        std::vector<std::string> ports = {};
    };
    const Row rows[] = {
        {"no arguments: scan the system's ports", {}, nullptr},
        {"--simulate alone: the realistic session", {"--simulate"}, nullptr, true},
        {"a meter with no records", {"--simulate=0"}, nullptr, true, 0},
        {"the count as a separate word", {"--simulate", "12"}, nullptr, true, 12},
        {"all the meter's memory", {"--simulate=3840"}, nullptr, true, 3840},
        {"more records than the meter holds", {"--simulate=3841"}, "--simulate: takes a number of records from 0 to 3840, not '3841'"},
        {"a count that is not a number", {"--simulate=many"}, "not 'many'"},
        {"a negative count", {"--simulate=-1"}, "not '-1'"},
        {"--simulate given twice", {"--simulate=3", "--simulate=4"}, "--simulate"},
        {"--port repeats and keeps its order", {"--port", "/dev/ttyUSB1", "--port=/dev/ttyS0"}, nullptr, false, {},
         {"/dev/ttyUSB1", "/dev/ttyS0"}},
        {"--port without a path", {"--port"}, "--port"},
        {"--port with an empty path", {"--port="}, "--port"},
        {"a simulated meter and real ports at once", {"--simulate", "--port", "/dev/ttyS0"}, "excludes"},
        {"a value option given twice", {"--csv", "a.csv", "--csv", "b.csv"}, "--csv"},
        {"an unknown option", {"--baud=19200"}, "--baud=19200"},
        {"a stray argument", {"COM1"}, "COM1"},
    };
    for (const Row& row : rows) {
        const Parsed parsed = Parse(row.arguments);
        if (row.refusal == nullptr) {
            EXPECT_FALSE(parsed.outcome.exitCode) << row.why << ": " << parsed.outcome.errors;
            EXPECT_EQ(std::tie(parsed.meter.simulate, parsed.meter.simulatedCount, parsed.meter.ports),
                      std::tie(row.simulate, row.count, row.ports))
                << row.why;
        } else {
            EXPECT_EQ(parsed.outcome.exitCode, 2) << row.why;   // the usage error of every program
            EXPECT_NE(parsed.outcome.errors.find(row.refusal), std::string::npos) << row.why << ": " << parsed.outcome.errors;
            EXPECT_EQ(parsed.outcome.errors.rfind("ombrel-test: ", 0), 0u) << row.why << ": the program comes first";
            EXPECT_NE(parsed.outcome.errors.find("Usage: ombrel-test [OPTIONS]"), std::string::npos) << row.why;
            EXPECT_TRUE(parsed.outcome.output.empty()) << row.why;
        }
    }
}

TEST(ProgramOptions, HelpAndVersionGoToStandardOutputAndEndTheProgramWell) {
    const Parsed help = Parse({"--help"});
    EXPECT_EQ(help.outcome.exitCode, 0);
    EXPECT_TRUE(help.outcome.errors.empty());
    for (const char* line : {"Usage: ombrel-test [OPTIONS]", "  -h, --help ", "  --version ", "  --port PATH ",
                             "  --simulate[=N] "})
        EXPECT_NE(help.outcome.output.find(line), std::string::npos) << line << " in\n" << help.outcome.output;

    const Parsed version = Parse({"--version"});
    EXPECT_EQ(version.outcome.exitCode, 0);
    EXPECT_EQ(version.outcome.output.rfind("ombrel-test - Ombrel 10.1 (build ", 0), 0u) << version.outcome.output;
    EXPECT_EQ(version.outcome.output.back(), '\n');
    EXPECT_EQ(version.outcome.output.find('\n'), version.outcome.output.size() - 1) << "one line";
}

} // namespace
