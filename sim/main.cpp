// ombrel-sim: the simulated meter as a program of its own, for demonstrations,
// support and tests that drive ombrel from outside.

#include "MeterSim.h"
#include "ProgramOptions.h"

#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include <csignal>
#include <pthread.h>

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kMaxLatencyMs = 600'000;

constexpr const char* kDescription = R"(A simulated optical power meter. ombrel-sim creates a pseudo-terminal and
answers on it as the meter answers on its serial line: the record count, the
8-byte memory reads, the clear handshake and the erase command, in 13-byte
frames. ombrel and ombrel-cli cannot tell it from a meter, so it stands in
for one in demonstrations, support cases and tests.

The first line on standard output is the device to use (e.g. /dev/pts/4).
The simulator then serves until Ctrl+C or SIGTERM and removes its device and
its --link on the way out. Nothing else is written to standard output.
Without --records or --image the memory holds a realistic session of 25
measurements covering every display mode, wavelength and modulation.)";

constexpr const char* kFooter = R"(Faults. FAULT is KIND[@N][:VALUE]. With @N the fault hits only the N-th
command frame the meter takes (counting from 1), without it every frame.
  noreply         the frame is lost: no action, no reply      noreply@3
  late:MS         reply MS milliseconds late                  late@2:800
  header          reply with a wrong header (55 55)           header@5
  short:K         send only the first K bytes of the reply    short@2:5
  garbage:K       send K stray bytes before the reply         garbage:3
  zerocount       report 0 stored records                     zerocount
  lateclear:MS    answer the clear handshake MS ms late       lateclear:700
  vanish          unplug the meter: the device goes away      vanish@10
  twice:MS        send the reply again MS ms after the first  twice@4:30
ombrel waits 500 ms for a reply, so late:800 looks like a silent meter and
late:300 like a slow one. A reply that is still due when the next frame
arrives is dropped.

Pointing ombrel at it:
  ombrel-sim --records 200 --link /tmp/meter &
  ombrel-cli upload --port /tmp/meter

Exit status: 0 when stopped by SIGINT or SIGTERM, 1 when the device cannot
be created, 2 for a bad command line or record image.)";

struct CommandLine {
    std::optional<int> recordCount;
    std::optional<std::string> imagePath;
    SimOptions options;
    bool verbose = false;
};

// Declares the command line; `line` is filled when the app parses.
void DeclareCommandLine(CLI::App& app, CommandLine& line) {
    SetUpProgram(app);
    app.description(kDescription);
    app.footer(kFooter);
    CLI::Option* records =
        app.add_option("--records", line.recordCount,
                       "N generated measurements (0 to " + std::to_string(kMaxSimRecords) + ", all the memory holds)")
            ->type_name("N")
            ->check(CLI::Range(0, kMaxSimRecords).description(""));
    CLI::Option* image =
        app.add_option("--image", line.imagePath,
                       "the measurements of a raw memory image: 16 bytes per record as the meter stores them, at "
                       "most " + std::to_string(kMaxSimRecords) + " records; not together with --records")
            ->type_name("FILE");
    records->excludes(image);
    app.add_option("--link", line.options.linkPath,
                   "also make PATH a symbolic link to the device, so the port name stays the same from run to run")
        ->type_name("PATH")
        ->check(CLI::Validator([](std::string& path) { return path.empty() ? "needs a path" : std::string(); }, ""));
    app.add_flag("--paced", line.options.paced,
                 "move bytes at the speed of a 9600-baud line (about 27 ms per exchange); a pseudo-terminal alone "
                 "is instantaneous");
    app.add_option("--latency", line.options.latencyMs, "the meter's turnaround before each reply, in milliseconds")
        ->type_name("MS")
        ->check(CLI::Range(0, kMaxLatencyMs).description(""));
    app.add_option_function<std::vector<std::string>>(
           "--fault",
           [&line](const std::vector<std::string>& texts) {
               for (const std::string& text : texts) {
                   SimFault fault;
                   std::string error;
                   ParseSimFault(text, fault, error);   // checked below
                   line.options.faults.push_back(fault);
               }
           },
           "misbehave on purpose (see Faults below); may be given several times")
        ->type_name("FAULT")
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
        ->check(CLI::Validator(
            [](std::string& text) {
                SimFault fault;
                std::string error;
                return ParseSimFault(text, fault, error) ? std::string() : error;
            },
            ""));
    app.add_flag("--verbose", line.verbose, "report every frame, reply and fault on standard error");
}

int UsageError(const std::string& message) {
    std::cerr << "ombrel-sim: " << message << "\nRun 'ombrel-sim --help' for the options.\n";
    return kExitUsage;
}

}  // namespace

int main(int argc, char** argv) {
    CommandLine line;
    CLI::App app("", "ombrel-sim");
    DeclareCommandLine(app, line);
    if (const auto exitCode = ParseOrExit(app, argc, argv))
        return *exitCode;

    std::string error;
    if (line.imagePath) {
        if (!LoadRecordImage(*line.imagePath, line.options.records, error))
            return UsageError(error);
    } else if (line.recordCount) {
        line.options.records = GeneratedRecords(*line.recordCount);
    } else {
        line.options.records = RealisticSession();
    }
    if (line.verbose)
        line.options.log = [](const std::string& text) { std::cerr << "ombrel-sim: " << text << '\n'; };
    const std::size_t recordCount = line.options.records.size();

    // Blocked before the serving thread starts so that it inherits the mask
    // and the signals reach sigwait below, where cleanup can run normally.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);   // a reader that went away must not cost us the cleanup

    CMeterSim meter(std::move(line.options));
    if (!meter.Start(error)) {
        std::cerr << "ombrel-sim: " << error << '\n';
        return kExitFailure;
    }
    std::cout << meter.SlavePath() << std::endl;   // the caller waits for this line
    if (line.verbose)
        std::cerr << "ombrel-sim: serving " << recordCount << " records on " << meter.SlavePath() << '\n';

    int received = 0;
    sigwait(&stopSignals, &received);
    if (line.verbose)
        std::cerr << "ombrel-sim: stopping on signal " << received << '\n';
    meter.Stop();
    return kExitOk;
}
