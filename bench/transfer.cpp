// Upload speed against a simulated meter that keeps the 9600-baud wire's pace.
// Prints the time per record and its ratio to the floor that the link's
// pauses and the wire allow: two exchanges per record, each a 50 ms pause,
// a 13-byte frame out and a 13-byte reply back at 10 bits per byte.

#include "MeterLink.h"
#include "MeterSim.h"
#include "TimingEvents.h"

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    const int recordCount = argc > 1 ? std::atoi(argv[1]) : 100;
    SimOptions options;
    options.records = GeneratedRecords(recordCount);
    options.paced = true;
    CMeterSim sim(std::move(options));
    std::string error;
    if (!sim.Start(error)) {
        std::fprintf(stderr, "simulated meter: %s\n", error.c_str());
        return 1;
    }

    CTimingEvents events;
    CMeterLink link(events);
    if (!link.OnButtonUpload({sim.SlavePath()})) {
        std::fprintf(stderr, "the simulated meter did not answer\n");
        return 1;
    }
    const TransferSummary summary = events.Wait();
    link.WaitUntilIdle();
    if (summary.outcome != UploadOutcome::Completed) {
        std::fprintf(stderr, "transfer did not complete (%u of %u read)\n", summary.readCount, summary.recordCount);
        return 1;
    }

    const Pauses pauses;
    const double byteSeconds = 10.0 / 9600.0;
    const double floorPerRecord = 2 * (pauses.beforeFrameMs / 1000.0 + 2 * 13 * byteSeconds);
    const double perRecord = events.Seconds() / recordCount;
    std::printf("records            %d\n", recordCount);
    std::printf("time per record    %.1f ms\n", perRecord * 1000);
    std::printf("floor per record   %.1f ms\n", floorPerRecord * 1000);
    std::printf("ratio to floor     %.3f (target <= 1.03)\n", perRecord / floorPerRecord);
    return 0;
}
