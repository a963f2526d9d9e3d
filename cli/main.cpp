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
    "Exit codes: 0 done; 1 no meter answered (or clear failed, or the erase was not confirmed);\n"
    "2 usage error (an empty --csv or --pdf included), or a file given to report that is not a\n"
    "complete CSV report saved by Ombrel; 3 a report (CSV, PDF or print) could not be written (a file's\n"
    "target is checked before the transfer: missing or unwritable folder, a directory, a locked file;\n"
    "also a closed standard output); 4 some records could not be read; 5 clear declined;\n"
    "130 interrupted (Ctrl-C or SIGTERM) before the upload or clear ended: no report is written, the\n"
    "meter is not erased.\n"
    "\n"
    "upload --clear-after erases the meter only when every record was read and every report asked for\n"
    "was written completely; otherwise the meter is left untouched and the reason is given.";

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
    bool clearAfter = false;
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
    upload->add_flag("--clear-after", options.clearAfter,
                     "then erase the meter, but only if every record was read and every report written completely");
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

// A report file named on the command line is checked before the transfer,
// so that a typing error costs no minutes of transfer.
std::optional<int> CheckFileTarget(const char* option, const std::optional<std::string>& path) {
    if (!path)
        return std::nullopt;
    const FileWriteResult result = CheckOutputTarget(*path);
    if (result.error == FileWriteError::NoPath) {
        std::fprintf(stderr, "ombrel-cli: %s needs a file name ('-' for standard output)\n", option);
        return EXIT_USAGE;
    }
    if (!result.ok()) {
        if (result.error == FileWriteError::Locked)
            std::fprintf(stderr, "%s\n", kDocumentLockedMessage);
        std::fprintf(stderr, "The report cannot be written to %s: %s\n", path->c_str(), result.reason.c_str());
        return EXIT_WRITE_FAILED;
    }
    return std::nullopt;
}

std::optional<int> CheckReportTargets(const CliOptions& options) {
    if (const std::optional<int> refused = CheckFileTarget("--csv", options.csvPath))
        return refused;
    if (const std::optional<int> refused = CheckFileTarget("--pdf", options.pdfPath))
        return refused;
    return CheckPrintedReportTargets(options);
}

bool WriteCsv(const CliOptions& options, const ReportHeader& header, const std::vector<RowTexts>& rows,
              const std::string& contents) {
    if (!options.csvPath || *options.csvPath == kStandardOutputPath) {
        // Through the same writer as a file, so that a reader that went away is a failure.
        const FileWriteResult result = WriteCsvReport(kStandardOutputPath, header, rows);
        if (!result.ok())
            std::fprintf(stderr, "The CSV report was not written to standard output: %s\n", result.reason.c_str());
        return result.ok();
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
    if (const std::optional<int> refused = CheckReportTargets(options))
        return *refused;
    CliOptions printOnly = options;
    printOnly.csvPath.reset();
    return WriteReports(printOnly, saved.header, saved.rows, {}) ? EXIT_DONE : EXIT_WRITE_FAILED;
}

// Erases the meter that was just read, but only once nothing can be lost.
int ClearAfterUpload(CSignalWatcher& signals, CMeterLink& link, const TransferSummary& summary, bool reportsWritten) {
    if (!reportsWritten) {
        std::fprintf(stderr, "The meter was not cleared: the report was not written.\n");
        return EXIT_WRITE_FAILED;
    }
    if (summary.outcome != UploadOutcome::Completed || !link.ClearAllowed()) {
        std::fprintf(stderr, "The meter was not cleared: %u of %u records could not be read.\n",
                     summary.recordCount - summary.readCount, summary.recordCount);
        return EXIT_RECORDS_UNREAD;
    }
    ClearOutcome outcome;
    {
        COperationScope operation(signals, link);
        outcome = link.OnButtonClear({summary.portName});
    }
    if (outcome == ClearOutcome::Stopped) {
        std::fprintf(stderr, "Clear interrupted; the meter was not erased. The report was written.\n");
        return EXIT_INTERRUPTED;
    }
    if (outcome != ClearOutcome::Cleared)
        return EXIT_NO_METER;
    std::fprintf(stderr, "The meter was cleared after all %u records were read and saved.\n", summary.readCount);
    return EXIT_DONE;
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
        if (summary.recordCount == 0)
            std::fprintf(stderr, "Upload interrupted while looking for the meter; no report was written.\n");
        else
            std::fprintf(stderr, "Upload interrupted after %u of %u records; no report was written.\n",
                         summary.readCount, summary.recordCount);
        return EXIT_INTERRUPTED;
    }

    ReportHeader header = options.header;
    header.dateTimePane = events.DateTimePane();
    header.useTimePane = events.UseTimePane();
    const std::vector<RowTexts> rows = events.Rows();
    const std::string contents = std::to_string(summary.readCount) + " records from " + summary.portName;
    const bool written = WriteReports(options, header, rows, contents);
    if (options.clearAfter)
        return ClearAfterUpload(signals, link, summary, written);
    if (!written)
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
    switch (link.OnButtonClear(ports)) {
    case ClearOutcome::Cleared:
        return EXIT_DONE;
    case ClearOutcome::Stopped:
        std::fprintf(stderr, "Clear interrupted; the meter was not erased.\n");
        return EXIT_INTERRUPTED;
    default:
        return EXIT_NO_METER;
    }
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
        if (const std::optional<int> refused = CheckReportTargets(options))
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
