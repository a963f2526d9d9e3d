// ombrel-cli: the headless front end. Uploads the meter's records into a CSV
// report, erases the meter, lists the candidate ports.

#include "CliEvents.h"
#include "CsvReport.h"
#include "LinkMessages.h"
#include "MeterLink.h"
#include "MeterSim.h"
#include "PortDiscovery.h"

#include <chrono>
#include <csignal>
#include <pthread.h>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

enum ExitCode {
    EXIT_DONE = 0,
    EXIT_NO_METER = 1,
    EXIT_USAGE = 2,
    EXIT_CSV_FAILED = 3,
    EXIT_RECORDS_UNREAD = 4,
    EXIT_CLEAR_DECLINED = 5,
    EXIT_INTERRUPTED = 130,   // the shell's code for an end by Ctrl-C
};

constexpr const char* kUsage =
    "Usage:\n"
    "  ombrel-cli ports [--port PATH]...\n"
    "  ombrel-cli upload [--port PATH]... [--csv FILE] [--company TEXT] [--user TEXT] [--note TEXT]\n"
    "                    [--simulate[=N]] [--trace]\n"
    "  ombrel-cli clear [--port PATH]... [--yes] [--simulate[=N]] [--trace]\n"
    "\n"
    "Finds the optical power meter on whichever serial port answers (9600 baud 8N1).\n"
    "\n"
    "  ports        list the candidate ports in scan order\n"
    "  upload       read every stored measurement and write the CSV report\n"
    "               (to FILE, or to standard output without --csv)\n"
    "  clear        erase the meter's memory after a confirmation\n"
    "\n"
    "  --port PATH      try only these ports, in the order given (repeatable)\n"
    "  --csv FILE       where the CSV report goes; an existing file is replaced only\n"
    "                   once the new one is complete\n"
    "  --company, --user, --note TEXT   header fields of the report\n"
    "  --simulate[=N]   talk to a simulated meter (N records, default a realistic session)\n"
    "  --trace          print every frame sent and received, with a time stamp, to stderr\n"
    "  --yes            clear without asking\n"
    "\n"
    "Exit codes: 0 done; 1 no meter answered (or clear failed); 2 usage error;\n"
    "3 the CSV could not be written; 4 some records could not be read; 5 clear declined;\n"
    "130 interrupted (Ctrl-C or SIGTERM) before the upload ended: no report is written.\n";

struct CliOptions {
    std::string command;
    std::vector<std::string> ports;
    std::optional<std::string> csvPath;
    ReportHeader header;
    std::optional<int> simulateRecords;   // 0 = the realistic session
    bool simulate = false;
    bool trace = false;
    bool yes = false;
};

int UsageError(const std::string& why) {
    std::fprintf(stderr, "ombrel-cli: %s\n\n%s", why.c_str(), kUsage);
    return EXIT_USAGE;
}

// Parses argv; returns an exit code when the program should end at once.
std::optional<int> ParseArguments(int argc, char** argv, CliOptions& options) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty())
        return UsageError("no command given");
    if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        std::fputs(kUsage, stdout);
        return EXIT_DONE;
    }
    options.command = args[0];
    if (options.command != "ports" && options.command != "upload" && options.command != "clear")
        return UsageError("unknown command '" + options.command + "'");

    for (std::size_t i = 1; i < args.size(); ++i) {
        std::string name = args[i];
        std::optional<std::string> inlineValue;
        if (const auto eq = name.find('='); name.rfind("--", 0) == 0 && eq != std::string::npos) {
            inlineValue = name.substr(eq + 1);
            name.resize(eq);
        }
        auto value = [&]() -> std::optional<std::string> {
            if (inlineValue)
                return inlineValue;
            if (i + 1 < args.size())
                return args[++i];
            return std::nullopt;
        };
        const bool uploadOnly = name == "--csv" || name == "--company" || name == "--user" || name == "--note";
        if (uploadOnly && options.command != "upload")
            return UsageError(name + " belongs to upload");
        if ((name == "--yes" && options.command != "clear") ||
            ((name == "--simulate" || name == "--trace") && options.command == "ports"))
            return UsageError(name + " does not apply to " + options.command);

        if (name == "--help" || name == "-h") {
            std::fputs(kUsage, stdout);
            return EXIT_DONE;
        } else if (name == "--port" || name == "--csv" || name == "--company" || name == "--user" ||
                   name == "--note") {
            const auto text = value();
            if (!text)
                return UsageError(name + " needs a value");
            if (name == "--port") {
                if (text->empty())
                    return UsageError("--port needs a path");
                options.ports.push_back(*text);
            } else if (name == "--csv") {
                options.csvPath = *text;
            } else if (name == "--company") {
                options.header.companyName = *text;
            } else if (name == "--user") {
                options.header.userName = *text;
            } else {
                options.header.note = *text;
            }
        } else if (name == "--simulate") {
            options.simulate = true;
            if (inlineValue) {
                char* end = nullptr;
                const long count = std::strtol(inlineValue->c_str(), &end, 10);
                if (inlineValue->empty() || *end != '\0' || count < 1 || count > kMaxSimRecords)
                    return UsageError("--simulate=N takes a record count from 1 to " + std::to_string(kMaxSimRecords));
                options.simulateRecords = static_cast<int>(count);
            }
        } else if (name == "--trace" && !inlineValue) {
            options.trace = true;
        } else if (name == "--yes" && !inlineValue) {
            options.yes = true;
        } else {
            return UsageError("unknown option '" + args[i] + "'");
        }
    }
    if (options.simulate && !options.ports.empty())
        return UsageError("--simulate and --port exclude each other");
    return std::nullopt;
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

// Ctrl-C and SIGTERM end a running operation within one exchange, so the
// port is closed properly; outside an operation, or at a second signal, the
// program ends at once. Signals are taken by one watcher thread, started
// before any other thread so that none of them inherits them unblocked.
class CSignalWatcher {
public:
    CSignalWatcher() {
        sigemptyset(&m_signals);
        sigaddset(&m_signals, SIGINT);
        sigaddset(&m_signals, SIGTERM);
        pthread_sigmask(SIG_BLOCK, &m_signals, nullptr);
        std::thread([this] { Watch(); }).detach();
    }
    // Once this returns, the watcher no longer touches the previous link.
    void SetOperation(CMeterLink* link) {
        std::lock_guard lock(m_mutex);
        m_link = link;
    }

private:
    void Watch() {
        for (;;) {
            int received = 0;
            if (sigwait(&m_signals, &received) != 0)
                continue;
            std::lock_guard lock(m_mutex);
            if (!m_link)
                _exit(128 + received);
            m_link->RequestStop();
            m_link = nullptr;   // a second signal ends the program
        }
    }

    sigset_t m_signals{};
    std::mutex m_mutex;
    CMeterLink* m_link = nullptr;
};

// Marks the span in which a signal stops the link instead of ending the program.
class COperationScope {
public:
    COperationScope(CSignalWatcher& watcher, CMeterLink& link) : m_watcher(watcher) { watcher.SetOperation(&link); }
    ~COperationScope() { m_watcher.SetOperation(nullptr); }

private:
    CSignalWatcher& m_watcher;
};

std::vector<std::string> CandidatePorts(const CliOptions& options) {
    if (!options.ports.empty())
        return options.ports;
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
    if (!isatty(STDIN_FILENO)) {
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
    CliOptions options;
    if (const auto exitCode = ParseArguments(argc, argv, options))
        return *exitCode;
    if (options.command == "ports")
        return RunPorts(options);
    // Static: the detached watcher may still wake while the program ends.
    static CSignalWatcher signals;

    std::unique_ptr<CMeterSim> simulator;
    std::vector<std::string> ports;
    if (options.simulate) {
        SimOptions simOptions;
        simOptions.records = options.simulateRecords ? GeneratedRecords(*options.simulateRecords) : RealisticSession();
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

    CCliEvents events(isatty(STDERR_FILENO) != 0);
    CMeterLink link(events);
    if (options.trace)
        link.Port().SetTraceHook(PrintTrace);
    return options.command == "upload" ? RunUpload(options, signals, events, link, ports)
                                       : RunClear(options, signals, link, ports);
}
