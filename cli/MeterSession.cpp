#include "MeterSession.h"

#include "Console.h"
#include "ExitCodes.h"
#include "PortDiscovery.h"

#include <chrono>
#include <cstdio>

namespace {

void PrintTrace(bool outgoing, const std::uint8_t* bytes, std::size_t count) {
    static const auto start = std::chrono::steady_clock::now();
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    char head[48];
    std::snprintf(head, sizeof head, "[%8lld ms] %s", static_cast<long long>(ms.count()), outgoing ? "->" : "<-");
    std::string line = head;
    for (std::size_t i = 0; i < count; ++i) {
        char hex[4];
        std::snprintf(hex, sizeof hex, " %02X", bytes[i]);
        line += hex;
    }
    std::fprintf(stderr, "%s\n", line.c_str());
}

} // namespace

void AddMeterSessionOptions(CLI::App& command, MeterSessionOptions& options) {
    AddMeterOptions(command, options.meter);
    command.add_flag("--trace", options.trace, "print every frame sent and received, with a time stamp, to stderr");
}

std::vector<std::string> CandidatePorts(const MeterChoice& meter) {
    if (!meter.ports.empty())
        return meter.ports;
    std::vector<std::string> ports;
    EnumSerialPorts(ports);
    return ports;
}

CMeterSession::CMeterSession(const MeterSessionOptions& options)
    : m_options(options), m_events(StderrIsTerminal()), m_archiveFeed(m_events), m_link(m_archiveFeed) {
    if (options.trace)
        m_link.SetTraceHook(PrintTrace);
}

std::optional<int> CMeterSession::Start() {
    if (!m_options.meter.simulate) {
        m_ports = CandidatePorts(m_options.meter);
        return std::nullopt;
    }
    SimOptions simOptions;
    simOptions.records = m_options.meter.simulatedCount ? GeneratedRecords(*m_options.meter.simulatedCount)
                                                        : RealisticSession();
    m_simulator = std::make_unique<CMeterSim>(std::move(simOptions));
    std::string error;
    if (!m_simulator->Start(error)) {
        std::fprintf(stderr, "The simulated meter could not start: %s\n", error.c_str());
        return EXIT_NO_METER;
    }
    m_ports = {m_simulator->SlavePath()};
    if (m_simulator->InMemory())
        m_link.RoutePort(m_ports.front(), [sim = m_simulator.get()](PortAttempt& why) { return sim->Connect(why); });
    return std::nullopt;
}
