// Fuzz target for the link's reply handling: a simulated meter on a real
// pseudo-terminal answers as the input says (late, never, with a wrong
// header, after stray bytes, going away), with or without repeating each
// frame's address. Whatever it does, every row must show its own record or
// be left empty, and the upload must end in bounded time.
//
// Built with clang's libFuzzer by scripts/fuzz; the link's waits are scaled
// down so that thousands of inputs run in a minute.

#include "MeterLink.h"
#include "MeterSim.h"
#include "RecordingEvents.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <vector>

namespace {

// The link's pauses and waits, a tenth or less of the meter's.
constexpr Pauses kFuzzPauses{0, 0, 0, 0, 0, 0, 40, 150, 600};
// How late a reply may come: well past the reply window and the quiet time,
// with or without the address repeated in it.
constexpr int kLatestMs = 400;
constexpr unsigned kMaxRecords = 4;
constexpr auto kBound = std::chrono::seconds(60);

// The fuzzer's bytes, one at a time; zeros past their end.
struct CInput {
    const std::uint8_t* data;
    std::size_t size;
    std::size_t next = 0;
    bool More() const { return next < size; }
    unsigned Take() { return next < size ? data[next++] : 0u; }
};

SimOptions MeterFromInput(CInput& input) {
    SimOptions options;
    const unsigned head = input.Take();
    options.records = GeneratedRecords(static_cast<int>(1 + head % kMaxRecords));
    options.echoAddress = (head & 0x10) != 0;
    options.recallLateReplies = (head & 0x20) != 0;
    options.latencyMs = static_cast<int>(input.Take() % 8);
    const int latest = kLatestMs - options.latencyMs;
    // Then one fault per exchange, in order, while the input lasts.
    for (int exchange = 1; input.More() && exchange <= 64; ++exchange) {
        const unsigned what = input.Take();
        const unsigned value = input.Take();
        SimFault fault;
        fault.exchange = exchange;
        switch (what % 8) {
        default: continue;   // 0 to 2: answered as it should be
        case 3: fault.kind = SimFault::Kind::NoReply; break;
        case 4:
            fault.kind = SimFault::Kind::LateReply;
            fault.delayMs = 1 + static_cast<int>(value) % std::max(latest, 1);
            break;
        case 5: fault.kind = SimFault::Kind::WrongHeader; break;
        case 6:
            fault.kind = SimFault::Kind::Garbage;
            fault.byteCount = 1 + static_cast<int>(value % 20);
            break;
        case 7:
            // Going away is rare on purpose: it ends the run.
            if (value % 8 != 0)
                continue;
            fault.kind = SimFault::Kind::Vanish;
            break;
        }
        options.faults.push_back(fault);
    }
    return options;
}

[[noreturn]] void Fail(const char* what, std::size_t row) {
    std::fprintf(stderr, "reply fuzz: %s (row %zu)\n", what, row);
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    CInput input{data, size};
    SimOptions options = MeterFromInput(input);
    const std::vector<MeterRecord> records = options.records;
    CMeterSim meter(std::move(options));
    std::string error;
    if (!meter.Start(error)) {
        std::fprintf(stderr, "reply fuzz: the simulated meter could not start: %s\n", error.c_str());
        std::abort();
    }

    CRecordingEvents events;
    CMeterLink link(events, kFuzzPauses);
    link.OnButtonUpload({meter.SlavePath()});
    const std::optional<TransferSummary> summary = events.WaitForFinish(kBound);
    if (!summary)
        Fail("the upload did not end in bounded time", 0);
    link.WaitUntilIdle();

    const std::vector<RowTexts> rows = events.Rows();
    if (!rows.empty() && rows.size() != records.size())
        Fail("the table does not have one row per record", rows.size());
    unsigned read = 0;
    for (std::size_t row = 0; row < rows.size(); ++row) {
        const bool right = rows[row] == DecodeRecord(records[row], static_cast<int>(row));
        const bool empty = rows[row] == UnreadRow(static_cast<int>(row)) || rows[row] == RowTexts{};
        if (!right && !empty)
            Fail("a row holds another record's bytes", row);
        read += right ? 1 : 0;
    }
    if (summary->readCount != read)
        Fail("the records counted as read are not the rows shown", read);
    if (summary->outcome == UploadOutcome::Completed && read != records.size())
        Fail("a transfer with empty rows reported as complete", read);
    return 0;
}
