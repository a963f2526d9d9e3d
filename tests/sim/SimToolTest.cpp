// ombrel-sim from outside: its first line, its answers, its exit codes and
// its cleanup.

#include "HostLine.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>

#include <sys/wait.h>

namespace {

// ombrel-sim under timeout(1), which bounds every wait below. The pipe brings
// the pid of the shell that becomes ombrel-sim, so that a signal reaches the
// simulator itself and not timeout (which, signalled before it has taken its
// child's pid, would leave the child running), then stdout; stderr goes to a file.
struct CSimRun {
    CTempDir dir;
    FILE* out = nullptr;
    pid_t pid = 0;
    explicit CSimRun(const std::string& arguments)
        : out(popen(("timeout -k 5 20 sh -c 'echo $$; exec " OMBREL_SIM_EXE " " + arguments + "' 2>" + dir / "err")
                        .c_str(), "r")),
          pid(std::atoi(Line().c_str())) {}
    ~CSimRun() {
        if (pid > 0)
            kill(pid, SIGTERM);   // timeout ends it within 25 s if this does not
        ExitCode();
    }
    std::string Line() {
        char text[512] = {};
        return out != nullptr && fgets(text, sizeof text, out) != nullptr ? text : "";
    }
    int ExitCode() {   // once stdout has ended
        const int status = out != nullptr ? pclose(std::exchange(out, nullptr)) : -1;
        pid = 0;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::string Err() const { return ReadFile(dir / "err"); }
};

}  // namespace

TEST(SimTool, AnswersReadCountOfFiveAndCleansUpOnSigterm) {
    CTempDir dir;
    const std::string link = dir / "meter";
    CSimRun sim("--records 5 --link " + link);
    const std::string device = sim.Line();
    ASSERT_EQ(device.rfind("/dev/", 0), 0u) << "first line: " << device << sim.Err();
    EXPECT_EQ(std::filesystem::read_symlink(link).string() + "\n", device);
    EXPECT_EQ(CHostLine(link).Exchange(kReadCount), CountReply(5));

    ASSERT_GT(sim.pid, 0);
    ASSERT_EQ(kill(sim.pid, SIGTERM), 0);
    EXPECT_EQ(sim.Line(), "") << "stdout carries the device path alone";
    EXPECT_EQ(sim.ExitCode(), 0) << sim.Err();
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(link))) << "the link outlived the simulator";
}

TEST(SimTool, RefusedCommandLinesExitWithTwoAndSayWhy) {
    const struct { const char* why; const char* arguments; const char* mentions; } rows[] = {
        {"more records than the address space holds", "--records 3841", "3840"},
        {"a record count that is not a number", "--records=many", "--records: Value many"},
        {"a fault that does not exist", "--fault bogus", "unknown fault kind"},
        {"two sources for the memory", "--records 5 --image x.bin", "--records excludes --image"},
        {"an unknown option", "--frobnicate", "not expected: --frobnicate"},
        {"an option missing its value", "--latency", "--latency: 1 required MS missing"},
        {"one value where only one counts", "--latency 5 --latency 9", "--latency"},
        {"an image that is not there", "--image /nonexistent/m.bin", "cannot open"},
    };
    for (const auto& row : rows) {
        CSimRun sim(row.arguments);
        EXPECT_EQ(sim.Line(), "") << row.why << ": no device path on a refused command line";
        EXPECT_EQ(sim.ExitCode(), 2) << row.why;
        EXPECT_NE(sim.Err().find(row.mentions), std::string::npos) << row.why << ": " << sim.Err();
    }
}

TEST(SimTool, AppliesEveryFaultGivenOnItsCommandLine) {
    CSimRun sim("--records 5 --fault noreply@1 --fault header@2 --fault zerocount@3");
    const std::string device = sim.Line();
    ASSERT_EQ(device.rfind("/dev/", 0), 0u) << "first line: " << device << sim.Err();
    CHostLine host(device.substr(0, device.size() - 1));
    host.Send(kReadCount);
    EXPECT_TRUE(host.Read(13, std::chrono::milliseconds(300)).empty()) << "exchange 1 is lost";
    Bytes wrongHeader = CountReply(5);
    wrongHeader[0] = wrongHeader[1] = 0x55;
    EXPECT_EQ(host.Exchange(kReadCount), wrongHeader) << "exchange 2 has a wrong header";
    EXPECT_EQ(host.Exchange(kReadCount), CountReply(0)) << "exchange 3 reports no records";
    EXPECT_EQ(host.Exchange(kReadCount), CountReply(5)) << "exchange 4 is answered as it should be";
}
