// ombrel-cli: the headless front end. Uploads the meter's records into a CSV
// report, erases the meter, lists the candidate ports.

#include "CliEvents.h"
#include "Console.h"
#include "CsvReport.h"
#include "LinkMessages.h"
#include "MeterLink.h"
#include "MeterSim.h"
#include "PortDiscovery.h"
#include "ProgramOptions.h"

#include <chrono>
#include <cstdio>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

enum ExitCode {
    EXIT_DONE = 0,
    EXIT_NO_METER = 1,
    EXIT_USAGE = kExitUsage,
    EXIT_CSV_FAILED = 3,
    EXIT_RECORDS_UNREAD = 4,
    EXIT_CLEAR_DECLINED = 5,
    EXIT_INTERRUPTED = 130,   // the shell's code for an end by Ctrl-C
};

constexpr const char* kExitCodes =
    "Exit codes: 0 done; 1 no meter answered (or clear failed); 2 usage error;\n"
    "3 the CSV could not be written; 4 some records could not be read; 5 clear declined;\n"
    "130 interrupted (Ctrl-C or SIGTERM) before the upload ended: no report is written.";

struct CliOptions {
    std::string command;
    MeterChoice meter;
    std::optional<std::string> csvPath;
    ReportHeader header;
    bool trace = false;
    bool yes = false;
};

// Declares the command line; `options` is filled when the app parses.
void DeclareCommandLine(CLI::App& app, CliOptions& options) {
    SetUpProgram(app);
    app.description("Finds the optical power meter on whichever serial port answers (9600 baud 8N1) and\n"
                    "reads, saves or erases its stored measurements without a window.");
    app.footer(kExitCodes);
    app.require_subcommand(1);

    CLI::App* ports = app.add_subcommand("ports", "list the candidate ports in scan order");
    ports->add_option("--port", options.meter.ports, "list only this port (repeatable)")
        ->type_name("PATH")
        ->allow_extra_args(false)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);

    CLI::App* upload = app.add_subcommand(
        "upload", "read every stored measurement and write the CSV report (to FILE, or to standard output)");
    AddMeterOptions(*upload, options.meter);
    upload->add_option("--csv", options.csvPath,
                       "where the CSV report goes ('-': standard output); an existing file is replaced only once "
                       "the new one is complete")
        ->type_name("FILE");
    upload->add_option("--company", options.header.companyName, "the report's Company Name")->type_name("TEXT");
    upload->add_option("--user", options.header.userName, "the report's User Name")->type_name("TEXT");
    upload->add_option("--note", options.header.note, "the report's Note")->type_name("TEXT");
    upload->add_flag("--trace", options.trace, "print every frame sent and received, with a time stamp, to stderr");

    CLI::App* clear = app.add_subcommand("clear", "erase the meter's memory after a confirmation");
    AddMeterOptions(*clear, options.meter);
    clear->add_flag("--trace", options.trace, "print every frame sent and received, with a time stamp, to stderr");
    clear->add_flag("--yes", options.yes, "clear without asking");

    for (CLI::App* command : {ports, upload, clear})
        command->parse_complete_callback([&options, command] { options.command = command->get_name(); });
}

void PrintTrace(bool outgoing, const std::uint8_t* bytes, std::size_t count) {
    static const auto start = std::chrono::steady_clock::now();
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    std::string line;
    char head[48];
    std::snprintf(head, sizeof head, "[%8lld ms] %s", static_cast<long long>(ms.count()), outgoing ? "->" : "<-");
    line = head;
    for (std::size_t i = 0; i < count; ++i) {
        char hex[4];
        std::snprintf(hex, sizeof hex, " %02X", bytes[i]);
        line += hex;
    }
    std::fprintf(stderr, "%s\n", line.c_str());
}

std::vector<std::string> CandidatePorts(const CliOptions& options) {
    if (!options.meter.ports.empty())
        return options.meter.ports;
    std::vector<std::string> ports;
    EnumSerialPorts(ports);
    return ports;
}

int RunPorts(const CliOptions& options) {
    for (const std::string& port : CandidatePorts(options))
        std::printf("%s\n", port.c_str());
    return EXIT_DONE;
}

bool ConfirmClear(const CliOptions& options) {
    if (options.yes)
        return true;
    if (!StdinIsTerminal()) {
        std::fprintf(stderr, "%s\nNot confirmed: there is no terminal to ask on. Add --yes to clear anyway.\n",
                     kConfirmClearText);
        return false;
    }
    std::fprintf(stderr, "%s [y/N] ", kConfirmClearText);
    std::string answer;
    if (!std::getline(std::cin, answer))
        return false;
    return answer == "y" || answer == "Y" || answer == "yes" || answer == "Yes";
}

int RunUpload(const CliOptions& options, CSignalWatcher& signals, CCliEvents& events, CMeterLink& link,
              const std::vector<std::string>& ports) {
    TransferSummary summary;
    {
        COperationScope operation(signals, link);
        link.OnButtonUpload(ports);
        summary = events.WaitForFinish();
        link.WaitUntilIdle();
    }
    if (summary.outcome == UploadOutcome::NoMeter || summary.outcome == UploadOutcome::NoPorts)
        return EXIT_NO_METER;
    // An interrupted transfer must not leave a report that looks complete.
    if (summary.outcome == UploadOutcome::Stopped) {
        std::fprintf(stderr, "Upload interrupted after %u of %u records; no report was written.\n", summary.readCount,
                     summary.recordCount);
        return EXIT_INTERRUPTED;
    }

    ReportHeader header = options.header;
    header.dateTimePane = events.DateTimePane();
    header.useTimePane = events.UseTimePane();
    const std::vector<RowTexts> rows = events.Rows();
    if (!options.csvPath || *options.csvPath == "-") {
        const std::string report = FormatCsvReport(header, rows);
        if (std::fwrite(report.data(), 1, report.size(), stdout) != report.size() || std::fflush(stdout) != 0) {
            std::fprintf(stderr, "The CSV report could not be written to standard output.\n");
            return EXIT_CSV_FAILED;
        }
    } else {
        const FileWriteResult result = WriteCsvReport(*options.csvPath, header, rows);
        if (!result.ok()) {
            if (result.error == FileWriteError::Locked)
                std::fprintf(stderr, "%s\n", kDocumentLockedMessage);
            std::fprintf(stderr, "The CSV report was not written to %s: %s\n", options.csvPath->c_str(),
                         result.reason.c_str());
            return EXIT_CSV_FAILED;
        }
        std::fprintf(stderr, "%u records from %s written to %s\n", summary.readCount, summary.portName.c_str(),
                     options.csvPath->c_str());
    }
    return summary.outcome == UploadOutcome::Completed ? EXIT_DONE : EXIT_RECORDS_UNREAD;
}

int RunClear(const CliOptions& options, CSignalWatcher& signals, CMeterLink& link,
             const std::vector<std::string>& ports) {
    if (!link.ClearAllowed())
        return EXIT_NO_METER;
    if (!ConfirmClear(options))
        return EXIT_CLEAR_DECLINED;
    COperationScope operation(signals, link);
    return link.OnButtonClear(ports) == ClearOutcome::Cleared ? EXIT_DONE : EXIT_NO_METER;
}

}  // namespace

int main(int argc, char** argv) {
    PrepareConsole();
    CliOptions options;
    CLI::App app("", "ombrel-cli");
    DeclareCommandLine(app, options);
    if (const auto exitCode = ParseOrExit(app, argc, argv))
        return *exitCode;
    if (options.command == "ports")
        return RunPorts(options);
    // Static: the detached watcher may still wake while the program ends.
    static CSignalWatcher signals;

    std::unique_ptr<CMeterSim> simulator;
    std::vector<std::string> ports;
    if (options.meter.simulate) {
        SimOptions simOptions;
        simOptions.records = options.meter.simulatedCount ? GeneratedRecords(*options.meter.simulatedCount)
                                                          : RealisticSession();
        simulator = std::make_unique<CMeterSim>(std::move(simOptions));
        std::string error;
        if (!simulator->Start(error)) {
            std::fprintf(stderr, "The simulated meter could not start: %s\n", error.c_str());
            return EXIT_NO_METER;
        }
        ports.push_back(simulator->SlavePath());
    } else {
        ports = CandidatePorts(options);
    }

    CCliEvents events(StderrIsTerminal());
    CMeterLink link(events);
    if (options.trace)
        link.Port().SetTraceHook(PrintTrace);
    return options.command == "upload" ? RunUpload(options, signals, events, link, ports)
                                       : RunClear(options, signals, link, ports);
}
