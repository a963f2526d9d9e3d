// ombrel-sim from outside: its first line, its answers, its exit codes and
// its cleanup.

#include "HostLine.h"
#include "TestSupport.h"

#include <csignal>
#include <fstream>

#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>

extern char** environ;

using namespace std::chrono_literals;

namespace {

// One run of ombrel-sim with its stdout and stderr captured separately.
class CSimProcess {
public:
    explicit CSimProcess(const std::vector<std::string>& arguments) {
        int out[2], err[2];
        if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) {
            ADD_FAILURE() << "no pipes";
            return;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_adddup2(&actions, err[1], 2);
        std::vector<std::string> words{OMBREL_SIM_EXE};
        words.insert(words.end(), arguments.begin(), arguments.end());
        std::vector<char*> argv;
        for (std::string& word : words)
            argv.push_back(word.data());
        argv.push_back(nullptr);
        const int failed = posix_spawn(&m_pid, OMBREL_SIM_EXE, &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        close(err[1]);
        m_outFd = out[0];
        m_errFd = err[0];
        if (failed != 0) {
            ADD_FAILURE() << "cannot start " << OMBREL_SIM_EXE;
            m_pid = -1;
        }
    }
    ~CSimProcess() {
        if (m_pid > 0) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
        }
        close(m_outFd);
        close(m_errFd);
    }
    CSimProcess(const CSimProcess&) = delete;
    CSimProcess& operator=(const CSimProcess&) = delete;

    pid_t Pid() const { return m_pid; }
    const std::string& Out() const { return m_out; }
    const std::string& Err() const { return m_err; }

    // The first line on stdout, without its newline; empty when none came in time.
    std::string ReadLine(std::chrono::milliseconds timeout) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (m_out.find('\n') == std::string::npos && Pump(deadline)) {
        }
        const std::size_t end = m_out.find('\n');
        if (end == std::string::npos)
            return {};
        std::string line = m_out.substr(0, end);
        m_out.erase(0, end + 1);
        return line;
    }

    // Reads both streams to their end and collects the exit code, all bounded.
    bool Finish(std::chrono::milliseconds timeout, int& exitCode) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (Pump(deadline)) {
        }
        int status = 0;
        const bool ended = WaitUntil([&] { return waitpid(m_pid, &status, WNOHANG) == m_pid; }, timeout);
        if (!ended)
            return false;
        m_pid = -1;
        exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        return true;
    }

private:
    // One round of reading; false once both streams ended or time ran out.
    bool Pump(std::chrono::steady_clock::time_point deadline) {
        pollfd fds[2] = {{m_outOpen ? m_outFd : -1, POLLIN, 0}, {m_errOpen ? m_errFd : -1, POLLIN, 0}};
        if (!m_outOpen && !m_errOpen)
            return false;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || poll(fds, 2, static_cast<int>(left.count())) <= 0)
            return false;
        Drain(fds[0], m_outOpen, m_out);
        Drain(fds[1], m_errOpen, m_err);
        return true;
    }
    static void Drain(const pollfd& fd, bool& open, std::string& text) {
        if (fd.fd < 0 || fd.revents == 0)
            return;
        char chunk[512];
        const ssize_t count = read(fd.fd, chunk, sizeof chunk);
        if (count <= 0)
            open = false;
        else
            text.append(chunk, static_cast<std::size_t>(count));
    }

    pid_t m_pid = -1;
    int m_outFd = -1;
    int m_errFd = -1;
    bool m_outOpen = true;
    bool m_errOpen = true;
    std::string m_out;
    std::string m_err;
};

}  // namespace

TEST(SimTool, AnswersReadCountOfFiveAndCleansUpOnSigterm) {
    CTempDir dir;
    const std::string link = dir / "meter";
    CSimProcess sim({"--records", "5", "--link", link});
    const std::string device = sim.ReadLine(10s);
    ASSERT_EQ(device.rfind("/dev/", 0), 0u) << "first line '" << device << "', stderr: " << sim.Err();
    char target[256] = {};
    ASSERT_GT(readlink(link.c_str(), target, sizeof target - 1), 0);
    EXPECT_EQ(std::string(target), device);
    {
        CHostLine host(link);
        EXPECT_EQ(host.Exchange(ReadCountFrame()), CountReply(5));
    }

    ASSERT_EQ(kill(sim.Pid(), SIGTERM), 0);
    int exitCode = -1;
    ASSERT_TRUE(sim.Finish(10s, exitCode));
    EXPECT_EQ(exitCode, 0) << sim.Err();
    EXPECT_EQ(sim.Out(), "") << "stdout carries the device path alone";
    struct stat status{};
    EXPECT_NE(lstat(link.c_str(), &status), 0) << "the link outlived the simulator";
}

TEST(SimTool, ServesARecordImage) {
    CTempDir dir;
    const std::string image = dir / "two.bin";
    {
        std::ofstream file(image, std::ios::binary);
        for (int i = 0; i < 32; ++i)
            file.put(static_cast<char>(0x40 + i));
    }
    CSimProcess sim({"--image", image});
    const std::string device = sim.ReadLine(10s);
    ASSERT_FALSE(device.empty()) << sim.Err();
    CHostLine host(device);
    EXPECT_EQ(host.Exchange(ReadCountFrame()), CountReply(2));
    const Bytes data = host.Exchange(ReadDataFrame(0x1018));
    ASSERT_EQ(data.size(), 13u);
    EXPECT_EQ(data[5], 0x40 + 24);   // record 1, byte 8
    kill(sim.Pid(), SIGINT);
    int exitCode = -1;
    ASSERT_TRUE(sim.Finish(10s, exitCode));
    EXPECT_EQ(exitCode, 0);
}

TEST(SimTool, HelpExplainsFaultsAndHowToConnect) {
    CSimProcess sim({"--help"});
    int exitCode = -1;
    ASSERT_TRUE(sim.Finish(10s, exitCode));
    EXPECT_EQ(exitCode, 0);
    EXPECT_EQ(sim.Err(), "");
    EXPECT_NE(sim.Out().find("ombrel-cli upload --port"), std::string::npos);
    for (const char* kind : {"noreply", "late", "header", "short", "garbage", "zerocount", "lateclear", "vanish"})
        EXPECT_NE(sim.Out().find(kind), std::string::npos) << kind;
}

struct UsageCase {
    const char* why;
    std::vector<std::string> arguments;
    const char* errorMentions;
};

class SimToolUsage : public ::testing::TestWithParam<UsageCase> {};

TEST_P(SimToolUsage, ExitsWithTwoAndSaysWhy) {
    const UsageCase& row = GetParam();
    CSimProcess sim(row.arguments);
    int exitCode = -1;
    ASSERT_TRUE(sim.Finish(10s, exitCode)) << row.why;
    EXPECT_EQ(exitCode, 2) << row.why;
    EXPECT_EQ(sim.Out(), "") << row.why << ": no device path on a refused command line";
    EXPECT_NE(sim.Err().find(row.errorMentions), std::string::npos) << row.why << ": " << sim.Err();
}

INSTANTIATE_TEST_SUITE_P(
    CommandLines, SimToolUsage,
    ::testing::Values(
        UsageCase{"more records than the address space holds", {"--records", "3841"}, "3840"},
        UsageCase{"a record count that is not a number", {"--records=many"}, "'many'"},
        UsageCase{"a fault that does not exist", {"--fault", "bogus"}, "unknown fault kind"},
        UsageCase{"two sources for the memory", {"--records", "5", "--image", "x.bin"}, "give one"},
        UsageCase{"an unknown option", {"--frobnicate"}, "unknown option --frobnicate"},
        UsageCase{"an option missing its value", {"--latency"}, "needs a value"},
        UsageCase{"an image that is not there", {"--image", "/nonexistent/m.bin"}, "cannot open"}));
