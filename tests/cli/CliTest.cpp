// ombrel-cli seen from outside: exit code, stdout and stderr.

#include "CliFixture.h"
#include "CsvReport.h"
#include "LinkMessages.h"

#include <grp.h>
#include <pty.h>

#include <algorithm>
#include <regex>

namespace {

// Lines 6 and 7 carry the transfer's time; the rest must match byte for byte.
void ExpectReport(const std::string& actual, const ReportHeader& header, const std::vector<RowTexts>& rows) {
    const std::regex times("\r\n(Date time: [^\r]*)?\r\n(Use time: [^\r]*)?\r\n\r\n\r\nNo\\.");
    const auto timeless = [&times](const std::string& report) {
        return std::regex_replace(report, times, "\r\n[time]\r\n\r\nNo.", std::regex_constants::format_first_only);
    };
    EXPECT_EQ(timeless(actual), timeless(FormatCsvReport(header, rows)));
}

TEST_F(CliTest, UsageErrorsExitWith2AndExplain) {
    const std::vector<std::vector<std::string>> cases{
        {}, {"fly"}, {"upload", "--bogus"}, {"upload", "--port"}, {"clear", "--csv", "x.csv"},
        {"upload", "--yes"}, {"upload", "--simulate=3841"}, {"upload", "--simulate", "--port", "/dev/null"},
        {"upload", "--csv", "a.csv", "--csv", "b.csv"}, {"ports", "--simulate"}, {"upload", "clear"},
        {"upload", "--no-archive", "--archive", "a.sqlite"},
        {"upload", "--company", std::string(32768, 'x')}};   // the window's field holds 32767 characters
    for (const auto& args : cases) {
        const CliRun run = Run(args);
        EXPECT_EQ(run.exitCode, 2) << testing::PrintToString(args);
        EXPECT_NE(run.err.find("Usage:"), std::string::npos) << run.err;
        EXPECT_TRUE(run.out.empty());
    }
}

TEST_F(CliTest, HelpGoesToStdoutWithEveryCommandAndTheExitCodes) {
    const CliRun run = Run({"--help"});
    EXPECT_EQ(run.exitCode, 0);
    for (const char* text : {"Usage: ombrel-cli [OPTIONS] SUBCOMMAND", "upload", "--csv FILE", "--yes", "--clear-after",
                             "\nExit codes:\n  0    done", "\n  1    no meter answered", "\n  2    usage error",
                             "\n  3    a report", "\n  4    some records", "\n  5    clear declined",
                             "\n  130  interrupted"})
        EXPECT_NE(run.out.find(text), std::string::npos) << text << " in\n" << run.out;
}

// Every program answers --help and --version the same way, with no display
// needed, in the form man-page generators read.
TEST_F(CliTest, EveryProgramHasHelpAndVersion) {
    struct Program { const char* name; const char* path; std::vector<std::string> refused; };
    std::vector<Program> programs{{"ombrel-cli", OMBREL_CLI_PATH, {"upload", "--no-such-option"}},
                                  {"ombrel-sim", OMBREL_SIM_PATH, {"--no-such-option"}}};
#ifdef OMBREL_WINDOW_PATH
    programs.push_back({"ombrel", OMBREL_WINDOW_PATH, {"-platform", "offscreen", "--no-such-option"}});
#endif
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    unsetenv("QT_QPA_PLATFORM");
    for (const auto& [name, path, refusedArguments] : programs) {
        const CliRun version = Run({"--version"}, path);
        EXPECT_EQ(version.exitCode, 0) << name << version.err;
        EXPECT_EQ(version.out.rfind(std::string(name) + " - Ombrel 10.1 (build ", 0), 0u) << version.out;
        const CliRun help = Run({"--help"}, path);
        EXPECT_EQ(help.exitCode, 0) << name << help.err;
        EXPECT_NE(help.out.find(std::string("Usage: ") + name + " [OPTIONS]"), std::string::npos) << help.out;
        EXPECT_NE(help.out.find("\n  --version "), std::string::npos) << help.out;
        const CliRun refused = Run(refusedArguments, path);
        EXPECT_EQ(refused.exitCode, 2) << name;
        EXPECT_NE(refused.err.find(std::string(name) + ": The following argument was not expected: --no-such-option"),
                  std::string::npos) << refused.err;
    }
}

TEST_F(CliTest, PortsListsTheGivenPortsInOrder) {
    const CliRun run = Run({"ports", "--port", "/dev/ttyUSB3", "--port", "ttyS0"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, "/dev/ttyUSB3\nttyS0\n");
}

// ombrel-cli ports tells a user who may not open a port which group to join;
// the unprivileged runs are as uid 65534, from a copy of the program that
// uid may execute.
TEST_F(CliTest, PortsTellsWhoMayNotOpenAPortWhichGroupToJoin) {
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root to run ombrel-cli as uid 65534 and to hand the port to a group";
    const group* dialout = getgrnam("dialout");
    ASSERT_NE(dialout, nullptr) << "Debian's group for serial ports";
    ASSERT_EQ(chmod(m_dir.c_str(), 0755), 0);
    const fs::path cli = m_dir / "ombrel-cli";
    fs::copy_file(OMBREL_CLI_PATH, cli);
    const std::vector<std::string> asNobody{"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
    int master = -1, slave = -1;
    char name[256] = {};
    ASSERT_EQ(openpty(&master, &slave, name, nullptr, nullptr), 0);
    const std::string port = name;
    ASSERT_EQ(chown(name, 0, dialout->gr_gid), 0);
    ASSERT_EQ(chmod(name, 0660), 0);

    const CliRun denied = Run({"ports", "--port", port}, cli.c_str(), asNobody);
    EXPECT_EQ(denied.exitCode, 0) << denied.err;
    EXPECT_EQ(denied.out, port + "\n") << "the list itself stays one port a line";
    EXPECT_EQ(denied.err, port + ": permission denied; the user must be a member of group dialout, which owns the "
                                 "device: sudo usermod -aG dialout $USER, then log in again\n");

    const CliRun allowed = Run({"ports", "--port", port});
    EXPECT_EQ(allowed.out, port + "\n");
    EXPECT_EQ(allowed.err, "") << "root may open it: nothing to tell";
    close(slave);
    close(master);
}

// --trace prints every frame in hex on stderr, beside the report.
TEST_F(CliTest, UploadFromTheBuiltInSimulatorWritesTheReport) {
    const fs::path csv = m_dir / "out.csv";
    const CliRun run = Run({"upload", "--simulate=5", "--csv", csv, "--company", "Acme, Inc.", "--user", "Lee",
                            "--note", "span \"A\"", "--trace"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(run.out.empty());
    ExpectReport(ReadFile(csv), {"Acme, Inc.", "Lee", "span \"A\"", "", ""}, DecodedRows(GeneratedRecords(5)));
    EXPECT_EQ(run.err.find("Date time"), std::string::npos);
    EXPECT_NE(run.err.find("-> AA 22 00 00 00 00 00 00 00 00 00 00 00"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("<- AA 22"), std::string::npos);
    EXPECT_NE(run.err.find("-> AA 20 08 10 08"), std::string::npos);
}

TEST_F(CliTest, UploadWithNoMeterListsEachPortAndWhy) {
    auto silent = StartSim(GeneratedRecords(3), {"noreply"});
    const CliRun run = Run({"upload", "--port", "/dev/ombrel-no-such-port", "--port", silent->SlavePath(),
                            "--csv", (m_dir / "never.csv").string()});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find(kNoMeterMessage), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("/dev/ombrel-no-such-port"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find(silent->SlavePath()), std::string::npos) << run.err;
    EXPECT_FALSE(fs::exists(m_dir / "never.csv"));
}

TEST_F(CliTest, UnreadRecordsGiveExit4AndEmptyRows) {
    auto sim = StartSim(GeneratedRecords(4), {"header@4", "header@5", "header@6"});
    const fs::path csv = m_dir / "partial.csv";
    const CliRun run = Run({"upload", "--port", sim->SlavePath(), "--csv", csv});
    EXPECT_EQ(run.exitCode, 4) << run.err;
    EXPECT_NE(run.err.find(kReadDataFailMessage), std::string::npos);
    EXPECT_NE(run.err.find("1 of 4 records could not be read; their rows are left empty."), std::string::npos);
    std::vector<RowTexts> rows = DecodedRows(sim->Records());
    rows[1] = UnreadRow(1);
    ExpectReport(ReadFile(csv), {}, rows);
}

TEST_F(CliTest, InterruptedUploadWritesNoReport) {
    const fs::path csv = m_dir / "kept.csv";
    { std::ofstream(csv) << "earlier report"; }
    const pid_t pid = Start({"upload", "--simulate=200", "--csv", csv.string()});
    ASSERT_TRUE(WaitUntil([&] { return ReadFile(m_dir / "stderr").find("10%") != std::string::npos; },
                          std::chrono::seconds(20)));
    kill(pid, SIGINT);
    const CliRun run = Finish(pid);
    EXPECT_EQ(run.exitCode, 130) << run.err;
    EXPECT_NE(run.err.find("no report was written"), std::string::npos) << run.err;
    EXPECT_EQ(ReadFile(csv), "earlier report");
}

TEST_F(CliTest, ABadReportTargetFailsBeforeAnyFrameIsSent) {
    auto sim = StartSim(GeneratedRecords(2));
    std::ofstream(m_dir / "locked.csv") << "earlier report";
    ASSERT_EQ(chmod((m_dir / "locked.csv").c_str(), 0444), 0);
    struct Row {
        const char* why;
        const char* option;
        std::string path;
        int exitCode;
        std::string told;
    };
    const Row rows[] = {
        {"an empty name", "--csv", "", 2, "--csv needs a file name"},
        {"a locked file", "--csv", (m_dir / "locked.csv").string(), 3, kDocumentLockedMessage},
        {"a PDF into a missing folder", "--pdf", (m_dir / "missing" / "out.pdf").string(), 3,
         "No such file or directory"},
        {"an empty PDF name", "--pdf", "", 2, "--pdf needs a file name"},
        {"a print queue that does not exist", "--print", "ombrel-no-such-queue", 3,
         "no print queue named 'ombrel-no-such-queue'"},
    };
    for (const Row& row : rows) {
        const CliRun run = Run({"upload", "--port", sim->SlavePath(), row.option, row.path});
        EXPECT_EQ(run.exitCode, row.exitCode) << row.why << "\n" << run.err;
        EXPECT_NE(run.err.find(row.told), std::string::npos) << row.why << "\n" << run.err;
        EXPECT_EQ(run.err.find("Meter found"), std::string::npos) << row.why;
    }
    EXPECT_EQ(sim->ExchangesServed(), 0) << "no frame before the target is known to be writable";
    EXPECT_EQ(ReadFile(m_dir / "locked.csv"), "earlier report");
}

// Without --csv, with "-" and with /dev/stdout the report goes to standard
// output (files, links, FIFOs and devices are the safe replace's own tests).
TEST_F(CliTest, TheReportGoesToStandardOutputByDefault) {
    auto sim = StartSim(GeneratedRecords(3));
    for (const std::vector<std::string>& csv :
         {std::vector<std::string>{}, {"--csv", "-"}, {"--csv", "/dev/stdout"}}) {
        SCOPED_TRACE(testing::PrintToString(csv));
        std::vector<std::string> args{"upload", "--port", sim->SlavePath()};
        args.insert(args.end(), csv.begin(), csv.end());
        const CliRun run = Run(args);
        EXPECT_EQ(run.exitCode, 0) << run.err;
        ExpectReport(run.out, {}, DecodedRows(sim->Records()));
    }
}

TEST_F(CliTest, AClosedStandardOutputGivesExit3NotSigpipe) {
    auto sim = StartSim(GeneratedRecords(2));
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    close(ends[0]);
    m_stdout = ends[1];
    const CliRun run = Run({"upload", "--port", sim->SlavePath()});
    close(ends[1]);
    m_stdout = -1;
    EXPECT_EQ(run.exitCode, 3) << run.err;
    EXPECT_NE(run.err.find("was not written to standard output: Broken pipe"), std::string::npos) << run.err;
}

// --clear-after erases only a meter whose every record is in a complete report.
TEST_F(CliTest, ClearAfterErasesOnlyWhenEveryRecordWasReadAndSaved) {
    struct Row {
        const char* why;
        std::vector<std::string> faults;
        std::string csv;
        int exitCode;
        int erased;
        std::string told;
    };
    const Row rows[] = {
        {"all read and saved", {}, "out.csv", 0, 1, "The meter was cleared after all 3 records were read and saved."},
        {"a record unread", {"header@4", "header@5", "header@6"}, "out.csv", 4, 0,
         "The meter was not cleared: 1 of 3 records could not be read."},
        {"the report not written", {}, "/dev/full", 3, 0, "The meter was not cleared: the report was not written."},
        // Exchanges 1 to 7 read the count and 3 records, 8 is the handshake, 9 the erase command.
        {"the erase not confirmed", {"vanish@9"}, "out.csv", 1, -1, kClearNotConfirmedMessage},
    };
    for (const Row& row : rows) {
        auto sim = StartSim(GeneratedRecords(3), row.faults);
        const std::string csv = row.csv.front() == '/' ? row.csv : (m_dir / row.csv).string();
        const CliRun run = Run({"upload", "--port", sim->SlavePath(), "--csv", csv, "--clear-after"});
        EXPECT_EQ(run.exitCode, row.exitCode) << row.why << "\n" << run.err;
        EXPECT_NE(run.err.find(row.told), std::string::npos) << row.why << "\n" << run.err;
        if (row.erased < 0)
            continue;   // the meter went away with the erase command: whether it erased is unknown
        EXPECT_TRUE(WaitUntil([&] { return sim->EraseCount() == row.erased; }, std::chrono::seconds(2))) << row.why;
        EXPECT_EQ(sim->Records().size(), row.erased ? 0u : 3u) << row.why;
    }
}

// Ctrl-C while the ports are tried ends the program as --help says, and says so.
TEST_F(CliTest, InterruptDuringThePortScanExits130) {
    auto silent = StartSim(GeneratedRecords(2), {"noreply"});
    std::vector<std::string> ports;
    for (int i = 0; i < 20; ++i)
        ports.insert(ports.end(), {"--port", silent->SlavePath()});
    struct Row {
        const char* why;
        std::vector<std::string> args;
        const char* told;
    };
    const Row rows[] = {{"upload", {"upload"}, "Upload interrupted while looking for the meter; no report was written."},
                        {"clear", {"clear", "--yes"}, "Clear interrupted; the meter was not erased."}};
    for (const Row& row : rows) {
        std::vector<std::string> args = row.args;
        args.insert(args.end(), ports.begin(), ports.end());
        const int before = silent->ExchangesServed();
        const pid_t pid = Start(args);
        ASSERT_TRUE(WaitUntil([&] { return silent->ExchangesServed() > before; }, std::chrono::seconds(20))) << row.why;
        kill(pid, SIGINT);
        const CliRun run = Finish(pid);
        EXPECT_EQ(run.exitCode, 130) << row.why << "\n" << run.err;
        EXPECT_NE(run.err.find(row.told), std::string::npos) << row.why << "\n" << run.err;
        EXPECT_EQ(silent->EraseCount(), 0);
    }
}

// report reads only what can be a saved report: a file of at most 16 MB
// (16777216 bytes) whose lines are no longer than a report's; anything else
// is refused at once with one line, never read whole (folders, FIFOs and
// devices are refused by the reading of report files, tested on its own).
TEST_F(CliTest, ReportRefusesWhatCannotBeASavedReport) {
    struct Row {
        const char* why;
        std::uintmax_t size;   // of zero bytes without a line end
        const char* reason;
    };
    const Row rows[] = {
        {"a file over 16 MB", 16777217, "is larger than 16 MB"},
        {"a file of 16 MB with no line end", 16777216, "line 1 is longer than any line"},
    };
    for (const Row& row : rows) {
        const fs::path input = m_dir / "input.csv";
        std::ofstream{input};
        fs::resize_file(input, row.size);   // sparse
        const CliRun run = Run({"report", input.string(), "--pdf", (m_dir / "out.pdf").string()});
        EXPECT_EQ(run.exitCode, 2) << row.why << "\n" << run.err;
        EXPECT_EQ(run.err.rfind("ombrel-cli: " + input.string(), 0), 0u) << row.why << "\n" << run.err;
        EXPECT_NE(run.err.find(row.reason), std::string::npos) << row.why << "\n" << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << row.why << ": one line\n" << run.err;
        EXPECT_FALSE(fs::exists(m_dir / "out.pdf")) << row.why;
    }
}

// clear --yes is deliberate wiping: it erases a meter nobody has read in
// this run; without a terminal and without --yes nothing is erased.
TEST_F(CliTest, ClearErasesOnlyWhenConfirmedAndSaysHowItEnded) {
    struct Row {
        const char* why;
        std::vector<std::string> faults;
        std::vector<std::string> args;
        int exitCode;
        const char* told;
        int erased;
    };
    const Row rows[] = {
        {"no terminal to ask on", {}, {}, 5, kConfirmClearText, 0},
        {"--yes on a meter not read first", {}, {"--yes"}, 0, kClearDoneText, 1},
        // Exchange 2 is the erase command; the meter goes away as it takes it.
        {"the erase cut short", {"vanish@2"}, {"--yes"}, 1, kClearNotConfirmedMessage, -1},
        {"no meter", {}, {"--yes", "--port", "/dev/ombrel-no-such-port"}, 1, kClearFailedMessage, 0},
    };
    for (const Row& row : rows) {
        auto sim = StartSim(GeneratedRecords(3), row.faults);
        std::vector<std::string> args{"clear"};
        args.insert(args.end(), row.args.begin(), row.args.end());
        if (std::find(args.begin(), args.end(), "--port") == args.end())
            args.insert(args.end(), {"--port", sim->SlavePath()});
        const CliRun run = Run(args);
        EXPECT_EQ(run.exitCode, row.exitCode) << row.why << "\n" << run.err;
        EXPECT_NE(run.err.find(row.told), std::string::npos) << row.why << "\n" << run.err;
        if (row.exitCode != 0) {
            EXPECT_EQ(run.err.find(kClearDoneText), std::string::npos) << row.why << "\n" << run.err;
        }
        if (row.erased >= 0) {
            EXPECT_TRUE(WaitUntil([&] { return sim->EraseCount() == row.erased; })) << row.why;
        }
    }
}

}  // namespace
