// What the link must never do, whatever the meter does: show another record's
// bytes in a row, trust a count the memory cannot hold, claim an erase it did
// not see through, erase records never read, or hold the operator for a click
// per missing reply. Against the simulated meter over real pseudo-terminals.

#include "LinkMessages.h"
#include "SimRun.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace std::chrono_literals;

namespace {

using Kind = SimFault::Kind;

// Cases of the parameterised tests print as their name.
struct NamedCase {
    const char* name;
};
void PrintTo(const NamedCase* c, std::ostream* out) {
    *out << c->name;
}
std::string CaseName(const testing::TestParamInfo<const NamedCase*>& info) {
    return info.param->name;
}
// A table of cases as the parameters of a test.
template <typename Case, std::size_t N>
auto NamedCases(const Case (&table)[N]) {
    std::vector<const NamedCase*> cases;
    for (const Case& c : table)
        cases.push_back(&c);
    return testing::ValuesIn(cases);
}

// Every row shows its own record or is left empty; empty rows are counted,
// and the records handed on for the rows are the rows' own.
void ExpectRightOrEmpty(const CRecordingEvents& events, const std::vector<MeterRecord>& records,
                        const TransferSummary& summary) {
    const std::vector<RowTexts> rows = events.Rows();
    const std::vector<RowTexts> expected = DecodedRows(records);
    ASSERT_EQ(rows.size(), expected.size());
    const std::map<int, MeterRecord> handedOn = events.RecordsRead();
    unsigned empty = 0;
    for (std::size_t row = 0; row < rows.size(); ++row) {
        const bool unread = rows[row] == UnreadRow(static_cast<int>(row));
        empty += unread ? 1 : 0;
        EXPECT_TRUE(unread || rows[row] == expected[row]) << "row " << row << " holds another record's bytes";
        if (!unread) {
            EXPECT_EQ(handedOn.at(static_cast<int>(row)).bytes, records[row].bytes) << "row " << row;
        }
    }
    EXPECT_EQ(summary.unreadCount, empty);
    EXPECT_EQ(summary.outcome, empty == 0 ? UploadOutcome::Completed : UploadOutcome::Incomplete);
    EXPECT_EQ(events.Received().back(), summary.readCount) << "counter and end message agree";
}

// Clear takes only the answer there after the handshake pause, and the erase
// needs its time: those two keep their length.
constexpr Pauses kQuickPauses{0, 0, 0, 1000, 500, 0};

// A fifth of the meter's pauses, for the slow cases: the logic is the same,
// the simulated meter's times are scaled alike.
constexpr Pauses kFifthPauses{10, 16, 20, 200, 100, 10, 100, 100, 600};

// Exchange 1 asks for the count; record k is read by exchanges 2k+2 and 2k+3
// when every first try succeeds.
struct LateCase : NamedCase {
    bool echoAddress;
    Pauses pauses;
    int latencyMs;
    std::vector<SimFault> faults;
    int exchanges;   // served in all, when given
};

const LateCase kLateCases[] = {
    {{"EchoingMeterRepliesSecondsLate"}, true, kFifthPauses, 20,
     {{Kind::LateReply, 4, 300, 0}, {Kind::LateReply, 9, 500, 0}, {Kind::LateReply, 12, 380, 0}}, 0},
    {{"NoEchoNoFaultSendsNoExtraFrame"}, false, Pauses{}, 100, {}, 1 + 2 * 20},
    {{"NoEchoReply1300msLateRealTimes"}, false, Pauses{}, 100, {{Kind::LateReply, 5, 1300, 0}}, 0},
    // 1.3 s, 2 s, 3.1 s and 9 s late at a fifth of the times.
    {{"NoEchoReply1300msLate"}, false, kFifthPauses, 20, {{Kind::LateReply, 5, 260, 0}}, 0},
    {{"NoEchoReply2sLate"}, false, kFifthPauses, 20, {{Kind::LateReply, 8, 400, 0}}, 0},
    {{"NoEchoReply3100msLate"}, false, kFifthPauses, 20, {{Kind::LateReply, 3, 620, 0}}, 0},
    {{"NoEchoReply9sLate"}, false, kFifthPauses, 20, {{Kind::LateReply, 6, 1800, 0}}, 0},
    {{"NoEchoFourLateReplies"}, false, kFifthPauses, 20,
     {{Kind::LateReply, 4, 260, 0}, {Kind::LateReply, 11, 400, 0}, {Kind::LateReply, 20, 620, 0},
      {Kind::LateReply, 29, 1800, 0}}, 0},
    {{"NoEchoSecondReplyToOneFrame"}, false, kFifthPauses, 20, {{Kind::Twice, 7, 0, 0}}, 0},
    {{"NoEchoBytesBeforeAFrame"}, false, kFifthPauses, 20, {{Kind::Twice, 7, 5, 0}}, 0},
    {{"NoEchoSecondReplyInTheNextWindow"}, false, kFifthPauses, 20, {{Kind::Twice, 7, 25, 0}}, 0},
};

class LateRepliesNotRecalled : public testing::TestWithParam<const NamedCase*> {};

TEST_P(LateRepliesNotRecalled, LeaveEveryRowRightAndClearOnlyThen) {
    const LateCase& c = *static_cast<const LateCase*>(GetParam());
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
    ExpectRightOrEmpty(events, sim->Records(), *run.summary);
    EXPECT_EQ(run.summary->outcome, UploadOutcome::Completed) << "every record read in the end";
    EXPECT_EQ(run.summary->outOfStep > 0, !c.faults.empty());
    if (c.exchanges > 0) {
        EXPECT_EQ(sim->ExchangesServed(), c.exchanges);
    }
    EXPECT_EQ(link.ClearAllowed(), run.summary->outcome == UploadOutcome::Completed);
}

INSTANTIATE_TEST_SUITE_P(Meters, LateRepliesNotRecalled,
                         NamedCases(kLateCases), CaseName);

TEST(ReplyHandling, StaleEchoIsDiscardedAndTheWaitGoesOnWithinTheWindow) {
    SimOptions options;
    options.records = GeneratedRecords(20);
    options.latencyMs = 50;
    options.recallLateReplies = false;
    // The reply to exchange 2 (record 0, first half) comes so late that it
    // lands in the window of a later record's exchange, for another address.
    options.faults = {Fault(Kind::LateReply, 2, 2000)};
    auto sim = StartSim(std::move(options));
    CRecordingEvents events;
    CMeterLink link(events, kNoPauses);
    const UploadRun run = Upload(link, events, {sim->SlavePath()}, 30s);
    ASSERT_TRUE(run.summary);
    EXPECT_EQ(run.summary->outcome, UploadOutcome::Completed);
    EXPECT_EQ(events.Rows(), DecodedRows(sim->Records()));
    EXPECT_EQ(sim->ExchangesServed(), 1 + 2 * 20 + 1) << "one retry, for the late reply only";
}

TEST(CountReported, BeyondTheMemoryOrZeroIsNoMeterWithItsReason) {
    const struct {
        const char* why;
        unsigned reported;
        PortFailure failure;
        const char* detail;
    } cases[] = {
        {"one more than the memory holds", 3841, PortFailure::NotAMeter,
         "reported 3841 records, more than the meter can hold"},
        {"a damaged high byte", 48171, PortFailure::NotAMeter, "reported 48171 records, more than the meter can hold"},
        {"the largest count", 65535, PortFailure::NotAMeter, "reported 65535 records, more than the meter can hold"},
        {"none", 0, PortFailure::NoRecords, ""},
    };
    for (const auto& c : cases) {
        SimOptions options;
        options.records = GeneratedRecords(3);
        options.reportedCount = c.reported;
        auto sim = StartSim(std::move(options));
        CRecordingEvents events;
        CMeterLink link(events, kNoPauses);
        const UploadRun run = Upload(link, events, {sim->SlavePath()}, 20s);
        ASSERT_TRUE(run.summary) << c.why;
        EXPECT_EQ(run.summary->outcome, UploadOutcome::NoMeter) << c.why;
        EXPECT_EQ(events.Messages(), std::vector<std::string>{std::string("scan failure:") + kNoMeterMessage}) << c.why;
        ASSERT_EQ(events.Attempts().size(), 1u) << c.why;
        EXPECT_EQ(events.Attempts()[0].failure, c.failure) << c.why;
        EXPECT_EQ(events.Attempts()[0].detail, c.detail) << c.why;
        EXPECT_TRUE(events.Rows().empty()) << c.why;
        EXPECT_EQ(sim->ExchangesServed(), 1) << c.why << ": no record is read";
    }
}

TEST(CountReported, AFullMemoryIsAccepted) {
    SimOptions options;
    options.records = GeneratedRecords(2);
    options.reportedCount = 3840;   // (0x10000 - 0x1000) / 16
    auto sim = StartSim(std::move(options));
    CRecordingEvents events;
    CMeterLink link(events, kNoPauses);
    ASSERT_TRUE(link.OnButtonUpload({sim->SlavePath()}));
    ASSERT_TRUE(WaitUntil([&] { return events.RowsFilled() >= 3; }, 20s));
    link.Stop();
    EXPECT_EQ(events.Log().at(0), "count:3840");
}

// Exchange 1 is the clear handshake, exchange 2 the erase command.
TEST(Erase, IsReportedDoneOnlyWhenTheFrameWentOutAndThePortStayedUp) {
    const struct {
        const char* why;
        std::vector<SimFault> faults;
        ClearOutcome outcome;
        std::vector<std::string> messages;
    } cases[] = {
        {"done", {}, ClearOutcome::Cleared, {"clear done"}},
        {"unplugged during the erase pause", {Fault(Kind::Vanish, 2)}, ClearOutcome::NotConfirmed,
         {Message(kClearNotConfirmedMessage)}},
    };
    for (const auto& c : cases) {
        auto sim = StartSim(GeneratedRecords(4), c.faults);
        CRecordingEvents events;
        CMeterLink link(events);
        EXPECT_EQ(link.OnButtonClear({sim->SlavePath()}), c.outcome) << c.why;
        EXPECT_EQ(events.Messages(), c.messages) << c.why;
        EXPECT_FALSE(link.IsBusy()) << c.why;
    }
}

TEST(EraseGuard, AllowsClearOnlyAfterAnUploadOfThisSessionReadEveryRecordAndTellsNothing) {
    // Record 1's first half fails three times with a wrong header: the
    // transfer goes on to the end, with row 2 empty.
    auto faulty = StartSim(GeneratedRecords(4), {Fault(Kind::WrongHeader, 4), Fault(Kind::WrongHeader, 5),
                                                 Fault(Kind::WrongHeader, 6)});
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
}

// Record 1 (exchanges 4, 5, 6 for its first half): what its three tries get.
struct TriesCase : NamedCase {
    std::vector<Kind> tries;
    std::vector<std::string> messages;
};

const std::string kOneUnread = Message("1 of 4 records could not be read; their rows are left empty.");
const TriesCase kTriesCases[] = {
    {{"ThreeMissingReplies"}, {Kind::NoReply, Kind::NoReply, Kind::NoReply}, {kOneUnread}},
    {{"ThreeWrongHeaders"}, {Kind::WrongHeader, Kind::WrongHeader, Kind::WrongHeader},
     {Message(kReadDataFailMessage), kOneUnread}},
    {{"WrongHeaderLast"}, {Kind::NoReply, Kind::NoReply, Kind::WrongHeader}, {Message(kReadDataFailMessage), kOneUnread}},
    {{"MissingLast"}, {Kind::WrongHeader, Kind::WrongHeader, Kind::NoReply}, {kOneUnread}},
};

class FailedRecord : public testing::TestWithParam<const NamedCase*> {};

TEST_P(FailedRecord, ShowsAtMostOneBoxAndOnlyForAWrongHeaderOnItsLastTry) {
    const TriesCase& c = *static_cast<const TriesCase*>(GetParam());
    std::vector<SimFault> faults;
    for (std::size_t i = 0; i < c.tries.size(); ++i)
        faults.push_back(Fault(c.tries[i], 4 + static_cast<int>(i)));
    auto sim = StartSim(GeneratedRecords(4), faults);
    CRecordingEvents events;
    CMeterLink link(events, kNoPauses);
    const UploadRun run = Upload(link, events, {sim->SlavePath()}, 30s);
    ASSERT_TRUE(run.summary);
    EXPECT_EQ(run.summary->outcome, UploadOutcome::Incomplete);
    EXPECT_EQ(events.Messages(), c.messages);
    EXPECT_EQ(events.Rows().at(1), UnreadRow(1));
    EXPECT_EQ(events.Received().back(), 3u);
    EXPECT_EQ(events.Progress().back(), 4u);
}

INSTANTIATE_TEST_SUITE_P(Tries, FailedRecord,
                         NamedCases(kTriesCases), CaseName);

TEST(Stop, DuringThePortScanEndsAsStoppedWithoutAMessage) {
    auto silent = StartSim(GeneratedRecords(2), {Fault(Kind::NoReply, 0)});
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
