#pragma once
// One command of ombrel-cli (ports, upload, report, clear, ...): each lives in
// a file of its own, cli/<Name>Command.cpp, and is listed once in
// cli/CMakeLists.txt (see the comment there).

#include "Console.h"
#include "ReportOutput.h"

#include <CLI/CLI.hpp>

#include <memory>
#include <optional>

// What the program gives every command: the interrupt watcher (made before
// any other thread starts) and, on demand, what drawing reports needs.
class CCliContext {
public:
    explicit CCliContext(CSignalWatcher& signals) : m_signals(signals) {}
    CSignalWatcher& Signals() { return m_signals; }
    // Makes ready what drawing the printed report needs; idempotent.
    void PrepareReportDrawing()
    {
        if (!m_reportDrawing && ReportOutputUnavailable().empty())
            m_reportDrawing.emplace();
    }

private:
    CSignalWatcher& m_signals;
    std::optional<CReportOutputContext> m_reportDrawing;
};

class CCliCommand {
public:
    virtual ~CCliCommand() = default;
    // Adds the command's subcommand with its options to the program's line;
    // parsing fills this object's members.
    virtual CLI::App* Declare(CLI::App& program) = 0;
    // Runs the command once the line has been read; returns an exit code of ExitCodes.h.
    virtual int Run(CCliContext& context) = 0;
};

using CliCommandFactory = std::unique_ptr<CCliCommand> (*)();
