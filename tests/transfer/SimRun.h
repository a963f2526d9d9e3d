#pragma once
// Runs of the link against simulated meters on real pseudo-terminals.

#include "MeterLink.h"
#include "MeterSim.h"
#include "RecordingEvents.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <optional>

inline std::unique_ptr<CMeterSim> StartSim(SimOptions options) {
    auto sim = std::make_unique<CMeterSim>(std::move(options));
    std::string error;
    EXPECT_TRUE(sim->Start(error)) << error;
    return sim;
}

inline std::unique_ptr<CMeterSim> StartSim(std::vector<MeterRecord> records, std::vector<SimFault> faults = {}) {
    SimOptions options;
    options.records = std::move(records);
    options.faults = std::move(faults);
    return StartSim(std::move(options));
}

struct UploadRun {
    std::optional<TransferSummary> summary;
    std::chrono::milliseconds took{};
};

inline UploadRun Upload(CMeterLink& link, CRecordingEvents& events, const std::vector<std::string>& ports,
                        std::chrono::milliseconds bound) {
    const auto start = std::chrono::steady_clock::now();
    link.OnButtonUpload(ports);
    UploadRun run;
    run.summary = events.WaitForFinish(bound);
    run.took = Since(start);
    link.WaitUntilIdle();
    return run;
}

inline std::string Message(const char* text) {
    return std::string("message:") + text;
}
