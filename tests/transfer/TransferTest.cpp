// The transfer over one exchange, in virtual time against a scripted meter:
// what reaches the rows, the counters and the timer, whatever the line does.

#include "RecordingEvents.h"
#include "ScriptedLine.h"
#include "TestSupport.h"
#include "Transfer.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

namespace {

// Record k: k in bytes 0 and 8, its position in the rest; a read of the wrong
// block shows.
std::vector<MeterRecord> Records(int count) {
    std::vector<MeterRecord> records(static_cast<std::size_t>(count));
    for (int k = 0; k < count; ++k)
        for (std::size_t i = 0; i < kRecordSize; ++i)
            records[static_cast<std::size_t>(k)].bytes[i] = static_cast<std::uint8_t>(i % 8 == 0 ? k : 16 * k + i);
    return records;
}

// A meter that answers each frame 100 ms after it, unless told otherwise.
struct MeterScript {
    std::vector<MeterRecord> records;
    bool repeatAddress = true;
    std::map<int, int> lateByFrame;     // frame number -> extra delay of its reply
    std::map<int, int> twiceByFrame;    // frame number -> the reply again this much later
    std::set<int> silentFrames;

    CScriptedLine::Script Script() const {
        return [*this](const Frame& frame, int number) {
            std::vector<Arrival> arrivals;
            if (silentFrames.count(number))
                return arrivals;
            const unsigned block = BlockOf(frame);
            const auto& bytes = records.at(block / 2).bytes;
            const Bytes data(bytes.begin() + (block % 2) * 8, bytes.begin() + (block % 2) * 8 + 8);
            const Bytes reply = ReplyTo(frame, repeatAddress, data);
            const int late = lateByFrame.count(number) ? lateByFrame.at(number) : 0;
            arrivals.push_back({100 + late, reply});
            if (twiceByFrame.count(number))
                arrivals.push_back({100 + late + twiceByFrame.at(number), reply});
            return arrivals;
        };
    }
};

struct TransferRun {
    TransferSummary summary;
    std::vector<RowTexts> rows;
    std::vector<std::string> log;
    std::size_t frames = 0;
};

TransferRun Transfer(const MeterScript& meter, int stopAtMs = -1, bool logRows = false) {
    CScriptedRig rig(meter.Script());
    rig.clock.StopAt(stopAtMs);
    CRecordingEvents events(logRows);
    TransferRun run;
    run.summary = CTransfer(rig.exchange, events, rig.clock).Run(static_cast<unsigned>(meter.records.size()));
    run.rows = events.Rows();
    run.log = events.Log();
    run.frames = rig.line.frames.size();
    return run;
}

// A meter that fills the address bytes of its replies with zeros, answering
// in 100 ms; one reply comes late and the meter never takes it back. Frame k
// reads block k - 1 when every try succeeds.
TEST(TransferWithoutAddressEcho, LateRepliesLeaveEveryRowRightAndCostNoFrameWithoutThem) {
    const struct {
        const char* why;
        std::map<int, int> late;
        std::map<int, int> twice;
        bool rereads;
        bool seen;   // the stray reply comes while the link still looks
    } cases[] = {
        {"no fault: one frame per block and nothing read twice", {}, {}, false, false},
        {"a reply 1.3 s late", {{4, 1300}}, {}, true, true},
        {"a reply 2 s late", {{7, 2000}}, {}, true, true},
        {"a reply 3.1 s late, past the quiet limit", {{5, 3100}}, {}, true, true},
        // The whole transfer is over by then: the reads after the missing
        // reply are read again all the same.
        {"a reply 9 s late", {{3, 9000}}, {}, true, false},
        {"two replies late", {{3, 1300}, {12, 2000}}, {}, true, true},
        {"a second reply to one frame, right behind", {}, {{6, 0}}, true, true},
        {"a second reply to one frame, before the next frame", {}, {{6, 30}}, true, true},
        {"a second reply to one frame, in the next one's window", {}, {{6, 90}}, true, true},
    };
    for (const auto& c : cases) {
        MeterScript meter;
        meter.records = Records(12);
        meter.repeatAddress = false;
        meter.lateByFrame = c.late;
        meter.twiceByFrame = c.twice;
        const TransferRun run = Transfer(meter);
        EXPECT_EQ(run.summary.outcome, UploadOutcome::Completed) << c.why;
        EXPECT_EQ(run.rows, DecodedRows(meter.records)) << c.why;
        EXPECT_EQ(run.summary.readCount, 12u) << c.why;
        EXPECT_EQ(run.summary.unreadCount, 0u) << c.why;
        EXPECT_EQ(run.frames > 24u, c.rereads) << c.why << ": " << run.frames << " frames for 12 records";
        EXPECT_EQ(run.summary.outOfStep > 0, c.seen) << c.why;
    }
}

TEST(TransferWithoutAddressEcho, ARecordWithoutTwoAgreeingReadsIsLeftEmptyAndCounted) {
    // Every reply to block 4 (record 2's first half) after the first comes
    // with other bytes; the first read is in doubt after the late reply.
    MeterScript meter;
    meter.records = Records(6);
    meter.repeatAddress = false;
    meter.lateByFrame = {{4, 1300}};
    int block4Reads = 0;
    CScriptedRig rig([&meter, &block4Reads, script = meter.Script()](const Frame& frame, int number) {
        std::vector<Arrival> arrivals = script(frame, number);
        if (BlockOf(frame) == 4 && block4Reads++ > 0)
            for (Arrival& arrival : arrivals)
                arrival.bytes[5] = static_cast<std::uint8_t>(0xE0 + block4Reads);
        return arrivals;
    });
    CRecordingEvents events;
    const TransferSummary summary = CTransfer(rig.exchange, events, rig.clock).Run(6);
    EXPECT_EQ(summary.outcome, UploadOutcome::Incomplete);
    EXPECT_EQ(summary.readCount, 5u);
    EXPECT_EQ(events.Rows().at(2), UnreadRow(2));
    EXPECT_EQ(events.Received().back(), 5u) << "the received counter agrees";
    EXPECT_LE(block4Reads, 1 + CTransfer::kRereadRounds) << "bounded tries";
}

TEST(Transfer, TheTimerRunsUntilTheEndWhateverFails) {
    MeterScript meter;
    meter.records = Records(4);
    meter.silentFrames = {3, 4, 5};   // record 1's first half, all three tries
    const TransferRun run = Transfer(meter);
    EXPECT_EQ(run.summary.outcome, UploadOutcome::Incomplete);
    const std::vector<std::string> expected{"rows:4", "timer start", "pane0:Running...", "pane0:Over", "timer stop"};
    EXPECT_EQ(run.log, expected) << "one timer stop, after the last record";
}

TEST(Transfer, AStopKeepsTheRowsReadAndCountsTheRestUnread) {
    MeterScript meter;
    meter.records = Records(10);
    // Each record takes two exchanges of 150 ms (50 pause, 100 reply): a
    // stop at 1000 ms falls in record 3's first one (frame at 950, reply
    // due at 1050): records 0-2 stay.
    const TransferRun run = Transfer(meter, 1000);
    EXPECT_EQ(run.summary.outcome, UploadOutcome::Stopped);
    EXPECT_EQ(run.summary.readCount, 3u);
    EXPECT_EQ(run.summary.unreadCount, 7u);
    const std::vector<RowTexts> expected = DecodedRows(meter.records);
    for (std::size_t row = 0; row < 10; ++row)
        EXPECT_EQ(run.rows[row], row < 3 ? expected[row] : RowTexts{}) << row;
    EXPECT_EQ(run.log.back(), "timer stop");
}

TEST(Transfer, RecordReadComesJustBeforeItsRowTexts) {
    MeterScript meter;
    meter.records = Records(2);
    const TransferRun run = Transfer(meter, -1, true);
    const std::vector<std::string> expected{"rows:2",   "timer start", "pane0:Running...", "record:0",
                                            "texts:0",  "pane0:Running...", "record:1", "texts:1",
                                            "pane0:Over", "timer stop"};
    EXPECT_EQ(run.log, expected);
}

}  // namespace
