// ombrel-sim: the simulated meter as a program of its own, for demonstrations,
// support and tests that drive ombrel from outside.

#include "MeterSim.h"

#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include <csignal>
#include <pthread.h>

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
constexpr int kMaxLatencyMs = 600'000;

constexpr const char* kHelp = R"(Usage: ombrel-sim [--records N | --image FILE] [--link PATH] [--paced]
                  [--latency MS] [--fault SPEC]... [--verbose]

A simulated optical power meter. ombrel-sim creates a pseudo-terminal and
answers on it as the meter answers on its serial line: the record count, the
8-byte memory reads, the clear handshake and the erase command, in 13-byte
frames. ombrel and ombrel-cli cannot tell it from a meter, so it stands in
for one in demonstrations, support cases and tests.

The first line on standard output is the device to use (e.g. /dev/pts/4).
The simulator then serves until Ctrl+C or SIGTERM and removes its device and
its --link on the way out. Nothing else is written to standard output.

Options:
  --records N     N generated measurements (0 to 3840, all the memory holds)
  --image FILE    the measurements of a raw memory image: 16 bytes per
                  record as the meter stores them, at most 3840 records
                  Default: a realistic session of 25 measurements covering
                  every display mode, wavelength and modulation.
  --link PATH     also make PATH a symbolic link to the device, so the port
                  name stays the same from run to run
  --paced         move bytes at the speed of a 9600-baud line (about 27 ms
                  per exchange); a pseudo-terminal alone is instantaneous
  --latency MS    the meter's turnaround before each reply, in milliseconds
  --fault SPEC    misbehave on purpose; may be given several times
  --verbose       report every frame, reply and fault on standard error
  -h, --help      show this text

Faults. SPEC is KIND[@N][:VALUE]. With @N the fault hits only the N-th
command frame the meter takes (counting from 1), without it every frame.
  noreply         the frame is lost: no action, no reply      noreply@3
  late:MS         reply MS milliseconds late                  late@2:800
  header          reply with a wrong header (55 55)           header@5
  short:K         send only the first K bytes of the reply    short@2:5
  garbage:K       send K stray bytes before the reply         garbage:3
  zerocount       report 0 stored records                     zerocount
  lateclear:MS    answer the clear handshake MS ms late       lateclear:700
  vanish          unplug the meter: the device goes away      vanish@10
ombrel waits 500 ms for a reply, so late:800 looks like a silent meter and
late:300 like a slow one. A reply that is still due when the next frame
arrives is dropped.

Pointing ombrel at it:
  ombrel-sim --records 200 --link /tmp/meter &
  ombrel-cli upload --port /tmp/meter

Exit status: 0 when stopped by SIGINT or SIGTERM, 1 when the device cannot
be created, 2 for a bad command line or record image.
)";

struct CommandLine {
    std::optional<int> recordCount;
    std::optional<std::string> imagePath;
    SimOptions options;
    bool verbose = false;
    bool help = false;
};

bool ParseWholeNumber(const std::string& text, int maximum, int& value) {
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    value = std::stoi(text);
    return value <= maximum;
}

bool ParseArguments(const std::vector<std::string>& arguments, CommandLine& line, std::string& error) {
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        std::string name = arguments[i];
        std::optional<std::string> value;
        if (const std::size_t equals = name.find('='); name.rfind("--", 0) == 0 && equals != std::string::npos) {
            value = name.substr(equals + 1);
            name = name.substr(0, equals);
        }
        if (name == "-h" || name == "--help") {
            line.help = true;
            continue;
        }
        if (name == "--paced" || name == "--verbose") {
            if (value) {
                error = name + " takes no value";
                return false;
            }
            if (name == "--paced")
                line.options.paced = true;
            else
                line.verbose = true;
            continue;
        }
        if (name != "--records" && name != "--image" && name != "--link" && name != "--latency" &&
            name != "--fault") {
            error = name.rfind("-", 0) == 0 ? "unknown option " + name : "unexpected argument '" + name + "'";
            return false;
        }
        if (!value) {
            if (i + 1 >= arguments.size()) {
                error = name + " needs a value";
                return false;
            }
            value = arguments[++i];
        }

        if (name == "--records") {
            int count = 0;
            if (!ParseWholeNumber(*value, kMaxSimRecords, count)) {
                error = "--records takes a number of records from 0 to " + std::to_string(kMaxSimRecords) +
                        " (all the meter's memory holds), got '" + *value + "'";
                return false;
            }
            line.recordCount = count;
        } else if (name == "--image") {
            line.imagePath = *value;
        } else if (name == "--link") {
            if (value->empty()) {
                error = "--link needs a path";
                return false;
            }
            line.options.linkPath = *value;
        } else if (name == "--latency") {
            if (!ParseWholeNumber(*value, kMaxLatencyMs, line.options.latencyMs)) {
                error = "--latency takes milliseconds from 0 to " + std::to_string(kMaxLatencyMs) +
                        ", got '" + *value + "'";
                return false;
            }
        } else {
            SimFault fault;
            std::string faultError;
            if (!ParseSimFault(*value, fault, faultError)) {
                error = "bad --fault: " + faultError;
                return false;
            }
            line.options.faults.push_back(fault);
        }
    }
    if (line.recordCount && line.imagePath) {
        error = "--records and --image both fill the memory; give one of them";
        return false;
    }
    return true;
}

int UsageError(const std::string& message) {
    std::cerr << "ombrel-sim: " << message << "\nTry 'ombrel-sim --help' for the options.\n";
    return kExitUsage;
}

}  // namespace

int main(int argc, char** argv) {
    CommandLine line;
    std::string error;
    if (!ParseArguments(std::vector<std::string>(argv + 1, argv + argc), line, error))
        return UsageError(error);
    if (line.help) {
        std::cout << kHelp;
        return kExitOk;
    }

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
