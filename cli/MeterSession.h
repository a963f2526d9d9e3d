#pragma once
// What upload and clear share: the meter to talk to (the system's ports, the
// ports given, or a simulated meter inside the program), the link to it, its
// events on stderr and the --trace of every frame.

#include "ArchiveFeed.h"
#include "CliEvents.h"
#include "MeterLink.h"
#include "MeterSim.h"
#include "ProgramOptions.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

struct MeterSessionOptions {
    MeterChoice meter;
    bool trace = false;
};

// --port, --simulate[=N] and --trace.
void AddMeterSessionOptions(CLI::App& command, MeterSessionOptions& options);

// The ports given with --port, or else the system's, in scan order.
std::vector<std::string> CandidatePorts(const MeterChoice& meter);

class CMeterSession {
public:
    explicit CMeterSession(const MeterSessionOptions& options);
    CMeterSession(const CMeterSession&) = delete;
    CMeterSession& operator=(const CMeterSession&) = delete;

    // Starts the simulated meter when one was asked for; returns the exit
    // code when it cannot start, after saying why.
    std::optional<int> Start();

    CMeterLink& Link() { return m_link; }
    CCliEvents& Events() { return m_events; }
    CArchiveFeed& ArchiveFeed() { return m_archiveFeed; }   // the link's events pass it on their way
    const std::vector<std::string>& Ports() const { return m_ports; }

private:
    const MeterSessionOptions& m_options;
    // Declared first so that it outlives the link that talks to it.
    std::unique_ptr<CMeterSim> m_simulator;
    std::vector<std::string> m_ports;
    CCliEvents m_events;
    CArchiveFeed m_archiveFeed;
    CMeterLink m_link;
};
