#pragma once
// Runs ombrel-cli (or another of the programs) as a script would and keeps
// what it said: exit code, stdout and stderr apart.

#include "MeterSim.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace fs = std::filesystem;

struct CliRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// What a tool such as pdftotext printed on its standard output.
inline std::string ToolOutput(const std::string& command) {
    std::string output;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[4096];
        for (std::size_t count; (count = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
            output.append(buffer, count);
        if (pclose(pipe) != 0)
            output = "[" + command + " failed]";
    }
    return output;
}

class CliTest : public testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/ombrel-cli-test-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        m_dir = pattern;
        // Uploads are archived into a folder of the test's, never the user's,
        // and beside the files the test looks at.
        char archivePattern[] = "/tmp/ombrel-cli-archive-XXXXXX";
        ASSERT_NE(mkdtemp(archivePattern), nullptr);
        m_archiveDir = archivePattern;
        ::setenv("OMBREL_ARCHIVE", (m_archiveDir / "archive.sqlite").c_str(), 1);
    }
    void TearDown() override {
        fs::remove_all(m_dir);
        fs::remove_all(m_archiveDir);
    }

    // Runs ombrel-cli with stdin from /dev/null (no terminal), as a script would;
    // prefix is a command that runs the program, such as setpriv.
    CliRun Run(const std::vector<std::string>& args, const char* program = OMBREL_CLI_PATH,
               const std::vector<std::string>& prefix = {}) {
        return Finish(Start(args, program, prefix));
    }

    pid_t Start(const std::vector<std::string>& args, const char* program = OMBREL_CLI_PATH,
                const std::vector<std::string>& prefix = {}) {
        const fs::path outPath = m_dir / "stdout";
        const fs::path errPath = m_dir / "stderr";
        const pid_t pid = fork();
        if (pid == 0) {
            const int in = open("/dev/null", O_RDONLY);
            const int out = m_stdout >= 0 ? m_stdout : open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            dup2(in, STDIN_FILENO);
            dup2(out, STDOUT_FILENO);
            dup2(err, STDERR_FILENO);
            std::vector<char*> argv;
            for (const std::string& arg : prefix)
                argv.push_back(const_cast<char*>(arg.c_str()));
            argv.push_back(const_cast<char*>(program));
            for (const std::string& arg : args)
                argv.push_back(const_cast<char*>(arg.c_str()));
            argv.push_back(nullptr);
            execvp(argv[0], argv.data());
            _exit(127);
        }
        return pid;
    }

    CliRun Finish(pid_t pid) {
        CliRun run;
        int status = 0;
        // A program that never ends is a failure, not a hung test run.
        if (!WaitUntil([&] { return waitpid(pid, &status, WNOHANG) == pid; }, std::chrono::seconds(60))) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            ADD_FAILURE() << "ombrel-cli did not end within 60 s";
        }
        run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        run.out = ReadFile(m_dir / "stdout");
        run.err = ReadFile(m_dir / "stderr");
        return run;
    }

    std::unique_ptr<CMeterSim> StartSim(std::vector<MeterRecord> records, std::vector<std::string> faults = {}) {
        SimOptions options;
        options.records = std::move(records);
        for (const std::string& description : faults) {
            SimFault fault;
            std::string error;
            EXPECT_TRUE(ParseSimFault(description, fault, error)) << error;
            options.faults.push_back(fault);
        }
        auto sim = std::make_unique<CMeterSim>(std::move(options));
        std::string error;
        EXPECT_TRUE(sim->Start(error)) << error;
        return sim;
    }

    fs::path m_dir;
    fs::path m_archiveDir;
    int m_stdout = -1;   // standard output of the programs started, when not the file "stdout"
};
