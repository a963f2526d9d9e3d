// What the link must never do, whatever the meter does: show another record's
// bytes in a row, erase records never read, or go on searching ports when
// asked to stop. Against the simulated meter over real pseudo-terminals.

#include "LinkMessages.h"
#include "SimRun.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <map>

using namespace std::chrono_literals;

namespace {

using Kind = SimFault::Kind;

// Clear takes only the answer there after the handshake pause, and the erase
// needs its time: those two keep their length.
constexpr Pauses kQuickPauses{0, 0, 0, 1000, 500, 0};

// A fifth of the meter's pauses, for the slow cases: the logic is the same,
// the simulated meter's times are scaled alike.
constexpr Pauses kFifthPauses{10, 16, 20, 200, 100, 10, 100, 100, 600};

// Exchange 1 asks for the count; record k is read by exchanges 2k+2 and 2k+3
// when every first try succeeds. Each fault here is tried in virtual time
// too; over a real line the quiet waits and the echo learning meet real time.
struct LateCase {
    const char* name;
    bool echoAddress;
    Pauses pauses;
    int latencyMs;
    std::vector<SimFault> faults;
    int exchanges;   // served in all, when given
};

void PrintTo(const LateCase& c, std::ostream* out) {
    *out << c.name;
}

class LateRepliesNotRecalled : public testing::TestWithParam<LateCase> {};

TEST_P(LateRepliesNotRecalled, LeaveEveryRowRightAndClearOnlyThen) {
    const LateCase& c = GetParam();
    SimOptions options;
    options.records = GeneratedRecords(20);
    options.latencyMs = c.latencyMs;
    options.recallLateReplies = false;
    options.echoAddress = c.echoAddress;
    options.faults = c.faults;
    auto sim = StartSim(std::move(options));
    CRecordingEvents events;
    CMeterLink link(events, c.pauses);

    const UploadRun run = Upload(link, events, {sim->SlavePath()}, 180s);
    ASSERT_TRUE(run.summary);
    EXPECT_EQ(run.summary->outcome, UploadOutcome::Completed) << "every record read in the end";
    EXPECT_EQ(events.Rows(), DecodedRows(sim->Records()));
    // The records handed on for the rows are the rows' own.
    const std::map<int, MeterRecord> handedOn = events.RecordsRead();
    ASSERT_EQ(handedOn.size(), 20u);
    for (const auto& [row, record] : handedOn)
        EXPECT_EQ(record.bytes, sim->Records().at(static_cast<std::size_t>(row)).bytes) << "row " << row;
    EXPECT_EQ(events.Received().back(), 20u) << "counter and end message agree";
    EXPECT_EQ(run.summary->outOfStep > 0, !c.faults.empty());
    if (c.exchanges > 0) {
        EXPECT_EQ(sim->ExchangesServed(), c.exchanges);
    }
    EXPECT_TRUE(link.ClearAllowed());
}

INSTANTIATE_TEST_SUITE_P(
    Meters, LateRepliesNotRecalled,
    testing::Values(
        LateCase{"EchoingMeterRepliesSecondsLate", true, kFifthPauses, 20,
                 {{Kind::LateReply, 4, 300, 0}, {Kind::LateReply, 9, 500, 0}, {Kind::LateReply, 12, 380, 0}}, 0},
        LateCase{"NoEchoNoFaultSendsNoExtraFrame", false, Pauses{}, 100, {}, 1 + 2 * 20},
        LateCase{"NoEchoReply1300msLateRealTimes", false, Pauses{}, 100, {{Kind::LateReply, 5, 1300, 0}}, 0},
        // 1.3 s, 2 s, 3.1 s and 9 s late at a fifth of the times.
        LateCase{"NoEchoFourLateReplies", false, kFifthPauses, 20,
                 {{Kind::LateReply, 4, 260, 0}, {Kind::LateReply, 11, 400, 0}, {Kind::LateReply, 20, 620, 0},
                  {Kind::LateReply, 29, 1800, 0}}, 0},
        LateCase{"NoEchoSecondReplyToOneFrame", false, kFifthPauses, 20, {{Kind::Twice, 7, 0, 0}}, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(EraseGuard, AllowsClearOnlyAfterAnUploadOfThisSessionReadEveryRecordAndTellsNothing) {
    // Record 1's first half fails three times with a wrong header: the
    // transfer goes on to the end, with row 2 empty.
    auto faulty = StartSim(GeneratedRecords(4), {{Kind::WrongHeader, 4}, {Kind::WrongHeader, 5},
                                                 {Kind::WrongHeader, 6}});
    auto good = StartSim(GeneratedRecords(4));
    CRecordingEvents events;
    CMeterLink link(events, kQuickPauses);

    const struct {
        const char* why;
        std::string port;
        bool clear;   // Clear instead of an upload
        bool clearAllowed;
    } steps[] = {{"before any upload: nobody has read the records", "", false, false},
                 {"after an upload that left a row empty", faulty->SlavePath(), false, false},
                 {"after an upload that found no meter", "/dev/ombrel-no-such-port", false, false},
                 {"after a complete upload", good->SlavePath(), false, true},
                 {"after the meter was cleared: what it holds now nobody has read", good->SlavePath(), true, false}};
    for (const auto& step : steps) {
        if (step.clear) {
            link.OnButtonClear({step.port});
        } else if (!step.port.empty()) {
            link.OnButtonUpload({step.port});
            link.WaitUntilIdle();
        }
        const std::size_t before = events.Messages().size();
        EXPECT_EQ(link.ClearAllowed(), step.clearAllowed) << step.why;
        EXPECT_EQ(events.Messages().size(), before) << step.why << ": a question shows nothing";
    }
    EXPECT_EQ(faulty->EraseCount(), 0);
    EXPECT_EQ(good->EraseCount(), 1);
    EXPECT_EQ(events.Rows().size(), 4u) << "the clear leaves the rows of the upload";
    EXPECT_EQ(link.RecordCount(), 4u);
}

TEST(Stop, DuringThePortScanEndsAsStoppedWithoutAMessage) {
    auto silent = StartSim(GeneratedRecords(2), {{Kind::NoReply, 0}});
    CRecordingEvents events;
    CMeterLink link(events);
    std::thread scan([&] { link.OnButtonUpload({silent->SlavePath(), silent->SlavePath(), silent->SlavePath()}); });
    ASSERT_TRUE(WaitUntil([&] { return silent->ExchangesServed() >= 1; }, 10s));
    link.RequestStop();
    scan.join();
    const auto summary = events.WaitForFinish(1s);
    ASSERT_TRUE(summary);
    EXPECT_EQ(summary->outcome, UploadOutcome::Stopped);
    EXPECT_TRUE(events.Messages().empty());
}

}  // namespace
