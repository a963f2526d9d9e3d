// What the link must never do, whatever the meter does: show another record's
// bytes in a row, trust a count the memory cannot hold, claim an erase it did
// not see through, erase records never read, or hold the operator for a click
// per missing reply.

#include "LinkMessages.h"
#include "SimRun.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace std::chrono_literals;

namespace {

// Exchange 1 asks for the count; record k is read by exchanges 2k+2 and 2k+3
// when every first try succeeds.
std::vector<SimFault> LateReplies(const std::vector<std::pair<int, int>>& exchangeAndDelay) {
    std::vector<SimFault> faults;
    for (const auto& [exchange, delayMs] : exchangeAndDelay)
        faults.push_back(Fault(SimFault::Kind::LateReply, exchange, delayMs));
    return faults;
}

// Every row shows its own record or is left empty; empty rows are counted.
void ExpectRightOrEmpty(const std::vector<RowTexts>& rows, const std::vector<MeterRecord>& records,
                        const TransferSummary& summary) {
    const std::vector<RowTexts> expected = DecodedRows(records);
    ASSERT_EQ(rows.size(), expected.size());
    unsigned empty = 0;
    for (std::size_t row = 0; row < rows.size(); ++row) {
        const bool unread = rows[row] == UnreadRow(static_cast<int>(row));
        empty += unread ? 1 : 0;
        EXPECT_TRUE(unread || rows[row] == expected[row]) << "row " << row << " holds another record's bytes";
    }
    EXPECT_EQ(summary.unreadCount, empty);
    EXPECT_EQ(summary.outcome, empty == 0 ? UploadOutcome::Completed : UploadOutcome::Incomplete);
}

struct LateCase {
    const char* name;
    bool echoAddress;
    std::vector<SimFault> faults;
    bool completes;   // whether every record must arrive in the end
};

void PrintTo(const LateCase& c, std::ostream* out) {
    *out << c.name;
}

class LateRepliesNotRecalled : public testing::TestWithParam<LateCase> {};

TEST_P(LateRepliesNotRecalled, LeaveEveryRowRightOrEmpty) {
    const LateCase& c = GetParam();
    SimOptions options;
    options.records = GeneratedRecords(20);
    options.latencyMs = 100;
    options.recallLateReplies = false;
    options.echoAddress = c.echoAddress;
    options.faults = c.faults;
    auto sim = StartSim(std::move(options));
    CRecordingEvents events;
    CMeterLink link(events);

    const UploadRun run = Upload(link, events, {sim->SlavePath()}, 120s);
    ASSERT_TRUE(run.summary);
    ExpectRightOrEmpty(events.Rows(), sim->Records(), *run.summary);
    if (c.completes) {
        EXPECT_EQ(run.summary->outcome, UploadOutcome::Completed);
    }
    EXPECT_EQ(events.Received().back(), run.summary->readCount) << "counter and end message agree";
}

INSTANTIATE_TEST_SUITE_P(
    Meters, LateRepliesNotRecalled,
    testing::Values(
        LateCase{"EchoingMeter", true, LateReplies({{3, 600}, {8, 750}, {15, 900}, {22, 650}, {30, 800}}), true},
        // Without the echo only the quiet line keeps late replies out; these
        // leave it room on a loaded machine.
        LateCase{"MeterWithZerosForTheAddress", false, LateReplies({{3, 600}, {8, 650}, {15, 700}, {22, 600}}), true},
        // Far later than any quiet time: only the echo tells such a reply from the right one.
        LateCase{"EchoingMeterWithRepliesSecondsLate", true, LateReplies({{4, 1500}, {9, 2500}, {12, 1900}}), true},
        LateCase{"MeterWithZerosAndNoFault", false, {}, true}),
    [](const auto& info) { return std::string(info.param.name); });

// After a reply that did not come, the line must have been quiet for a while
// before the next frame goes out, so that the reply cannot pass for that
// frame's answer.
TEST(LateReplies, TheNextFrameWaitsForTheReplyWindowAndAQuietLine) {
    auto sim = StartSim(GeneratedRecords(3), {Fault(SimFault::Kind::NoReply, 2)});
    CRecordingEvents events;
    CMeterLink link(events);
    std::mutex mutex;
    std::vector<std::chrono::steady_clock::time_point> frames;
    link.Port().SetTraceHook([&](bool outgoing, const std::uint8_t*, std::size_t) {
        std::lock_guard lock(mutex);
        if (outgoing)
            frames.push_back(std::chrono::steady_clock::now());
    });
    const UploadRun run = Upload(link, events, {sim->SlavePath()}, 30s);
    ASSERT_TRUE(run.summary);
    EXPECT_EQ(run.summary->outcome, UploadOutcome::Completed);
    std::lock_guard lock(mutex);
    ASSERT_GE(frames.size(), 4u);
    const Pauses pauses;
    // Frame 2 went unanswered; frame 3 is its retry.
    const auto gap = frames[2] - frames[1];
    EXPECT_GE(gap, std::chrono::milliseconds(pauses.replyWaitMs + pauses.quietLineMs + pauses.beforeFrameMs));
    EXPECT_GE(gap, 1000ms) << "half a second for the reply and half a second of quiet";
    EXPECT_LT(gap, 10s);
}

TEST(ReplyHandling, StaleEchoIsDiscardedAndTheWaitGoesOnWithinTheWindow) {
    SimOptions options;
    options.records = GeneratedRecords(20);
    options.latencyMs = 50;
    options.recallLateReplies = false;
    // The reply to exchange 2 (record 0, first half) comes so late that it
    // lands in the window of a later record's exchange, for another address.
    options.faults = {Fault(SimFault::Kind::LateReply, 2, 2000)};
    auto sim = StartSim(std::move(options));
    CRecordingEvents events;
    CMeterLink link(events, kNoPauses);
    const UploadRun run = Upload(link, events, {sim->SlavePath()}, 30s);
    ASSERT_TRUE(run.summary);
    EXPECT_EQ(run.summary->outcome, UploadOutcome::Completed);
    EXPECT_EQ(events.Rows(), DecodedRows(sim->Records()));
    EXPECT_EQ(sim->ExchangesServed(), 1 + 2 * 20 + 1) << "one retry, for the late reply only";
}

struct CountCase {
    const char* name;
    unsigned reported;
    PortFailure failure;
    const char* detail;
};

void PrintTo(const CountCase& c, std::ostream* out) {
    *out << c.name;
}

class CountReported : public testing::TestWithParam<CountCase> {};

TEST_P(CountReported, BeyondTheMemoryOrZeroIsNoMeterWithItsReason) {
    const CountCase& c = GetParam();
    SimOptions options;
    options.records = GeneratedRecords(3);
    options.reportedCount = c.reported;
    auto sim = StartSim(std::move(options));
    CRecordingEvents events;
    CMeterLink link(events, kNoPauses);
    const UploadRun run = Upload(link, events, {sim->SlavePath()}, 20s);
    ASSERT_TRUE(run.summary);
    EXPECT_EQ(run.summary->outcome, UploadOutcome::NoMeter);
    EXPECT_EQ(events.Messages(), std::vector<std::string>{std::string("scan failure:") + kNoMeterMessage});
    ASSERT_EQ(events.Attempts().size(), 1u);
    EXPECT_EQ(events.Attempts()[0].failure, c.failure);
    EXPECT_EQ(events.Attempts()[0].detail, c.detail);
    EXPECT_TRUE(events.Rows().empty());
    EXPECT_EQ(sim->ExchangesServed(), 1) << "no record is read";
}

INSTANTIATE_TEST_SUITE_P(
    Counts, CountReported,
    testing::Values(CountCase{"OneMoreThanTheMemoryHolds", kMeterCapacity + 1, PortFailure::NotAMeter,
                              "reported 3841 records, more than the meter can hold"},
                    CountCase{"DamagedHighByte", 48171, PortFailure::NotAMeter,
                              "reported 48171 records, more than the meter can hold"},
                    CountCase{"Largest", 65535, PortFailure::NotAMeter,
                              "reported 65535 records, more than the meter can hold"},
                    CountCase{"None", 0, PortFailure::NoRecords, ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CountReported, AFullMemoryIsAccepted) {
    EXPECT_EQ(kMeterCapacity, 3840u) << "the record area 0x1000-0xFFFF in 16-byte records";
    SimOptions options;
    options.records = GeneratedRecords(2);
    options.reportedCount = kMeterCapacity;
    auto sim = StartSim(std::move(options));
    CRecordingEvents events;
    CMeterLink link(events, kNoPauses);
    ASSERT_TRUE(link.OnButtonUpload({sim->SlavePath()}));
    ASSERT_TRUE(WaitUntil([&] { return events.RowsFilled() >= 3; }, 20s));
    link.Stop();
    EXPECT_EQ(events.Log().at(0), "count:3840");
}

// Exchange 1 is the clear handshake, exchange 2 the erase command.
struct EraseCase {
    const char* name;
    std::vector<SimFault> faults;
    ClearOutcome outcome;
    std::vector<std::string> messages;
};

void PrintTo(const EraseCase& c, std::ostream* out) {
    *out << c.name;
}

class Erase : public testing::TestWithParam<EraseCase> {};

TEST_P(Erase, IsReportedDoneOnlyWhenTheFrameWentOutAndThePortStayedUp) {
    const EraseCase& c = GetParam();
    auto sim = StartSim(GeneratedRecords(4), c.faults);
    CRecordingEvents events;
    CMeterLink link(events);
    EXPECT_EQ(link.OnButtonClear({sim->SlavePath()}), c.outcome);
    EXPECT_EQ(events.Messages(), c.messages);
    EXPECT_FALSE(link.IsBusy());
}

INSTANTIATE_TEST_SUITE_P(
    Outcomes, Erase,
    testing::Values(EraseCase{"Done", {}, ClearOutcome::Cleared, {"clear done"}},
                    EraseCase{"UnpluggedDuringTheErasePause",
                              {Fault(SimFault::Kind::Vanish, 2)},
                              ClearOutcome::NotConfirmed,
                              {Message(kClearNotConfirmedMessage)}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(EraseGuard, RefusesWhileTheLatestUploadLeftRecordsUnreadUntilACompleteOne) {
    // Record 1's first half fails three times with a wrong header: the
    // transfer goes on to the end, with row 2 empty.
    auto faulty = StartSim(GeneratedRecords(4), {Fault(SimFault::Kind::WrongHeader, 4),
                                                 Fault(SimFault::Kind::WrongHeader, 5),
                                                 Fault(SimFault::Kind::WrongHeader, 6)});
    auto good = StartSim(GeneratedRecords(4));
    CRecordingEvents events;
    CMeterLink link(events, kNoPauses);

    struct Step {
        const char* why;
        std::string port;
        bool clearAllowed;
    };
    const Step steps[] = {{"before any upload", "", true},
                          {"after an upload that left a row empty", faulty->SlavePath(), false},
                          {"after an upload that found no meter", "/dev/ombrel-no-such-port", false},
                          {"after a complete upload", good->SlavePath(), true}};
    for (const Step& step : steps) {
        if (!step.port.empty()) {
            link.OnButtonUpload({step.port});
            link.WaitUntilIdle();
        }
        const std::size_t before = events.Messages().size();
        EXPECT_EQ(link.ClearAllowed(), step.clearAllowed) << step.why;
        const std::vector<std::string> messages = events.Messages();
        EXPECT_EQ(messages.size() > before && messages.back() == Message(kClearAfterReadingMessage),
                  !step.clearAllowed)
            << step.why;
    }
    EXPECT_EQ(faulty->EraseCount() + good->EraseCount(), 0);
}

// Record 1 (exchanges 4, 5, 6 for its first half): what its three tries get.
struct TriesCase {
    const char* name;
    std::vector<SimFault::Kind> tries;
    std::vector<std::string> messages;
};

void PrintTo(const TriesCase& c, std::ostream* out) {
    *out << c.name;
}

class FailedRecord : public testing::TestWithParam<TriesCase> {};

TEST_P(FailedRecord, ShowsAtMostOneBoxAndOnlyForAWrongHeaderOnItsLastTry) {
    const TriesCase& c = GetParam();
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

using Kind = SimFault::Kind;
const std::string kOneUnread = Message("1 of 4 records could not be read; their rows are left empty.");

INSTANTIATE_TEST_SUITE_P(
    Tries, FailedRecord,
    testing::Values(TriesCase{"ThreeMissingReplies", {Kind::NoReply, Kind::NoReply, Kind::NoReply}, {kOneUnread}},
                    TriesCase{"ThreeWrongHeaders",
                              {Kind::WrongHeader, Kind::WrongHeader, Kind::WrongHeader},
                              {Message(kReadDataFailMessage), kOneUnread}},
                    TriesCase{"WrongHeaderLast",
                              {Kind::NoReply, Kind::NoReply, Kind::WrongHeader},
                              {Message(kReadDataFailMessage), kOneUnread}},
                    TriesCase{"MissingLast", {Kind::WrongHeader, Kind::WrongHeader, Kind::NoReply}, {kOneUnread}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Stop, DuringThePortScanEndsAsStoppedWithoutAMessage) {
    auto silent = StartSim(GeneratedRecords(2), {Fault(SimFault::Kind::NoReply, 0)});
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
