// ombrel-cli: the headless front end. Uploads the meter's records into a CSV
// and printed report, prints a saved report again, erases the meter, lists
// the candidate ports.

#include "CliEvents.h"
#include "Console.h"
#include "CsvReport.h"
#include "LinkMessages.h"
#include "MeterLink.h"
#include "MeterSim.h"
#include "PortDiscovery.h"
#include "PortFailure.h"
#include "ProgramOptions.h"
#include "ReportOutput.h"
#include "SerialPort.h"

#include <chrono>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

enum ExitCode {
    EXIT_DONE = 0,
    EXIT_NO_METER = 1,
    EXIT_USAGE = kExitUsage,
    EXIT_WRITE_FAILED = 3,
    EXIT_RECORDS_UNREAD = 4,
    EXIT_CLEAR_DECLINED = 5,
    EXIT_INTERRUPTED = 130,   // the shell's code for an end by Ctrl-C
};

constexpr const char* kExitCodes =
    "Exit codes: 0 done; 1 no meter answered (or clear failed); 2 usage error, or a\n"
    "file given to report that is not a complete CSV report saved by Ombrel; 3 a report\n"
    "(CSV, PDF or print) could not be written; 4 some records could not be read; 5 clear declined;\n"
    "130 interrupted (Ctrl-C or SIGTERM) before the upload ended: no report is written.";

struct CliOptions {
    std::string command;
    MeterChoice meter;
    std::optional<std::string> csvPath;
    std::optional<std::string> pdfPath;
    std::optional<std::string> printQueue;
    PageChoice page;
    std::string savedReport;   // the CSV report to print again
    ReportHeader header;
    bool trace = false;
    bool yes = false;
};

// --pdf, --print, --paper and --landscape: where the printed report goes.
void AddPrintedReportOptions(CLI::App& command, CliOptions& options) {
    command.add_option("--pdf", options.pdfPath,
                       "write the printed Data Report as a PDF file; an existing file is replaced only once the new "
                       "one is complete")
        ->type_name("FILE");
    command.add_option("--print", options.printQueue, "print the Data Report on this print queue, without a dialog")
        ->type_name("QUEUE");
    command.add_option("--paper", options.page.paper,
                       "paper of the printed report: A4, Letter or Legal (default: the locale's, A4 where it has "
                       "none; on a print queue, the queue's)")
        ->type_name("SIZE")
        ->check(CLI::IsMember({"A4", "Letter", "Legal"}));
    command.add_flag("--landscape", options.page.landscape, "print the report across the page");
}

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
    AddPrintedReportOptions(*upload, options);

    CLI::App* report = app.add_subcommand(
        "report", "print a CSV report that Ombrel saved earlier again, as a PDF file or on a print queue");
    report->add_option("SAVED", options.savedReport, "the CSV report, as Ombrel saved it")
        ->type_name("SAVED.csv")
        ->required();
    AddPrintedReportOptions(*report, options);

    CLI::App* clear = app.add_subcommand("clear", "erase the meter's memory after a confirmation");
    AddMeterOptions(*clear, options.meter);
    clear->add_flag("--trace", options.trace, "print every frame sent and received, with a time stamp, to stderr");
    clear->add_flag("--yes", options.yes, "clear without asking");

    for (CLI::App* command : {ports, upload, report, clear})
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

// The list goes to stdout, one port a line; how to get access to the ports
// this user may not open goes to stderr.
int RunPorts(const CliOptions& options) {
    std::vector<PortAttempt> denied;
    for (const std::string& port : CandidatePorts(options)) {
        std::printf("%s\n", port.c_str());
        if (CSerialPort::AccessDenied(port))
            denied.push_back({port, PortFailure::PermissionDenied, {}});
    }
    std::fflush(stdout);
    std::fputs(DescribePortAttempts(denied).c_str(), stderr);
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

bool WantsPrintedReport(const CliOptions& options) {
    return options.pdfPath || options.printQueue;
}

// Checks what can be checked before minutes of transfer: that this build
// draws reports (else a usage error) and that the print queue exists (else
// the report could not be written). Returns the exit code when not.
std::optional<int> CheckPrintedReportTargets(const CliOptions& options) {
    if (!WantsPrintedReport(options))
        return std::nullopt;
    if (const std::string why = ReportOutputUnavailable(); !why.empty()) {
        std::fprintf(stderr, "ombrel-cli: %s\n", why.c_str());
        return EXIT_USAGE;
    }
    if (options.printQueue) {
        if (const std::string why = CheckPrintQueue(*options.printQueue); !why.empty()) {
            std::fprintf(stderr, "The report cannot be printed: %s\n", why.c_str());
            return EXIT_WRITE_FAILED;
        }
    }
    return std::nullopt;
}

bool WriteCsv(const CliOptions& options, const ReportHeader& header, const std::vector<RowTexts>& rows,
              const std::string& contents) {
    if (!options.csvPath || *options.csvPath == "-") {
        const std::string report = FormatCsvReport(header, rows);
        if (std::fwrite(report.data(), 1, report.size(), stdout) != report.size() || std::fflush(stdout) != 0) {
            std::fprintf(stderr, "The CSV report could not be written to standard output.\n");
            return false;
        }
        return true;
    }
    const FileWriteResult result = WriteCsvReport(*options.csvPath, header, rows);
    if (!result.ok()) {
        if (result.error == FileWriteError::Locked)
            std::fprintf(stderr, "%s\n", kDocumentLockedMessage);
        std::fprintf(stderr, "The CSV report was not written to %s: %s\n", options.csvPath->c_str(),
                     result.reason.c_str());
        return false;
    }
    std::fprintf(stderr, "%s written to %s\n", contents.c_str(), options.csvPath->c_str());
    return true;
}

bool WritePdf(const CliOptions& options, const ReportHeader& header, const std::vector<RowTexts>& rows) {
    const FileWriteResult result = WriteReportPdf(*options.pdfPath, options.page, header, rows);
    if (!result.ok()) {
        if (result.error == FileWriteError::Locked)
            std::fprintf(stderr, "%s\n", kDocumentLockedMessage);
        std::fprintf(stderr, "The PDF report was not written to %s: %s\n", options.pdfPath->c_str(),
                     result.reason.c_str());
        return false;
    }
    std::fprintf(stderr, "Data Report of %zu records written to %s\n", rows.size(), options.pdfPath->c_str());
    return true;
}

bool Print(const CliOptions& options, const ReportHeader& header, const std::vector<RowTexts>& rows) {
    const std::string why = PrintReportToQueue(*options.printQueue, options.page, header, rows);
    if (!why.empty()) {
        std::fprintf(stderr, "The report was not printed: %s\n", why.c_str());
        return false;
    }
    std::fprintf(stderr, "Data Report of %zu records sent to print queue %s\n", rows.size(),
                 options.printQueue->c_str());
    return true;
}

// Writes every report asked for, each on its own: one that fails does not
// keep the others from being written. The CSV goes to standard output when
// no file is named for it and no printed report is asked for.
// `contents` says what the CSV holds, for the line that confirms it.
bool WriteReports(const CliOptions& options, const ReportHeader& header, const std::vector<RowTexts>& rows,
                  const std::string& contents) {
    bool written = true;
    if (options.csvPath || !WantsPrintedReport(options))
        written = WriteCsv(options, header, rows, contents) && written;
    if (options.pdfPath)
        written = WritePdf(options, header, rows) && written;
    if (options.printQueue)
        written = Print(options, header, rows) && written;
    return written;
}

int RunReport(const CliOptions& options) {
    if (!WantsPrintedReport(options)) {
        std::fprintf(stderr, "ombrel-cli: report needs --pdf FILE or --print QUEUE\n");
        return EXIT_USAGE;
    }
    std::ifstream in(options.savedReport, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    if (!in) {
        std::fprintf(stderr, "ombrel-cli: %s cannot be read: %s\n", options.savedReport.c_str(),
                     std::strerror(errno));
        return EXIT_USAGE;
    }
    const CsvReadResult saved = ParseCsvReport(bytes.str());
    if (!saved.ok()) {
        std::fprintf(stderr, "ombrel-cli: %s: %s\n", options.savedReport.c_str(), saved.error.c_str());
        return EXIT_USAGE;
    }
    if (const std::optional<int> refused = CheckPrintedReportTargets(options))
        return *refused;
    CliOptions printOnly = options;
    printOnly.csvPath.reset();
    return WriteReports(printOnly, saved.header, saved.rows, {}) ? EXIT_DONE : EXIT_WRITE_FAILED;
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
    const std::string contents = std::to_string(summary.readCount) + " records from " + summary.portName;
    if (!WriteReports(options, header, rows, contents))
        return EXIT_WRITE_FAILED;
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
    if (const auto exitCode = ParseOrExit(app, CommandLineArguments(argc, argv)))
        return *exitCode;
    if (options.command == "ports")
        return RunPorts(options);
    // Static: the detached watcher may still wake while the program ends.
    // It comes first so that no thread started later takes the signals.
    static CSignalWatcher signals;
    std::optional<CReportOutputContext> reportDrawing;
    if (WantsPrintedReport(options) && ReportOutputUnavailable().empty())
        reportDrawing.emplace();
    if (options.command == "report")
        return RunReport(options);
    if (options.command == "upload") {
        if (const std::optional<int> refused = CheckPrintedReportTargets(options))
            return *refused;
    }

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
