// Windows has no pseudo-terminals, so the simulated meter has no port to
// serve there: Start says so, and the programs show it as the reason.

#include "MeterSim.h"

struct CMeterSim::Impl {
    std::vector<MeterRecord> records;
};

CMeterSim::CMeterSim(SimOptions options) : m_impl(std::make_unique<Impl>()) {
    m_impl->records = std::move(options.records);
}

CMeterSim::~CMeterSim() = default;

bool CMeterSim::Start(std::string& error) {
    error = "the simulated meter needs a pseudo-terminal, which Windows does not have; "
            "run ombrel-sim on Linux, or connect a meter";
    return false;
}

void CMeterSim::Stop() {}

const std::string& CMeterSim::SlavePath() const {
    static const std::string kNoDevice;
    return kNoDevice;
}

std::vector<MeterRecord> CMeterSim::Records() const { return m_impl->records; }

int CMeterSim::ExchangesServed() const { return 0; }

int CMeterSim::EraseCount() const { return 0; }
