// Upload and Clear against the simulated meter over a real pseudo-terminal,
// and what the link must never do, whatever the meter does: show another
// record's bytes in a row, erase records never read, claim an erase it did not
// see through, or go on searching ports when asked to stop.

#include "LinkMessages.h"
#include "MeterLink.h"
#include "MeterSim.h"
#include "RecordingEvents.h"
#include "SimRun.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <memory>

using namespace std::chrono_literals;

namespace {

using Kind = SimFault::Kind;

// Clear takes only the answer there after the handshake pause, and the erase
// needs its time: those two keep their length.
constexpr Pauses kQuickPauses{0, 0, 0, 1000, 500, 0};

// A fifth of the meter's pauses, for the slow cases: the logic is the same,
// the simulated meter's times are scaled alike.
constexpr Pauses kFifthPauses{10, 16, 20, 200, 100, 10, 100, 100, 600};

class UploadOfRecordSet : public testing::TestWithParam<int> {};

TEST_P(UploadOfRecordSet, FillsEveryRowWithTheMetersOwnRecordsInOrder) {
    const int count = GetParam();
    const std::vector<MeterRecord> records = count == 0 ? RealisticSession() : GeneratedRecords(count);
    auto sim = StartSim(records);
    CRecordingEvents events;
    // Thousands of records at the meter's pace would take minutes; the pauses are not what is tested here.
    CMeterLink link(events, count > 100 ? kNoPauses : Pauses{});

    const UploadRun run = Upload(link, events, {sim->SlavePath()}, 300s);
    ASSERT_TRUE(run.summary);
    EXPECT_EQ(run.summary->outcome, UploadOutcome::Completed);
    EXPECT_EQ(run.summary->recordCount, records.size());
    EXPECT_EQ(run.summary->readCount, records.size());
    EXPECT_EQ(events.Rows(), DecodedRows(sim->Records()));
    EXPECT_EQ(events.Progress().size(), records.size());
    EXPECT_EQ(events.Progress().back(), records.size());
    EXPECT_EQ(link.RecordCount(), records.size());
    // The steps in the order the window shows them, and no message.
    const std::string n = std::to_string(records.size());
    const std::vector<std::string> steps{"count:" + n, "rows:" + n,  "timer start", "pane0:Running...",
                                         "pane0:Over",  "timer stop", "finished"};
    EXPECT_EQ(events.Log(), steps);
}

INSTANTIATE_TEST_SUITE_P(Sets, UploadOfRecordSet, testing::Values(0, 1, kMaxSimRecords),
                         [](const auto& info) {
                             return info.param == 0 ? std::string("RealisticSession")
                                                    : std::to_string(info.param) + "Records";
                         });

// Each port tried is named with its reason; a count the memory cannot hold
// is no meter's, and no record is read from it.
TEST(Upload, NamesWhyEachPortFailed) {
    const auto reporting = [](unsigned count) {
        SimOptions options;
        options.records = GeneratedRecords(3);
        options.reportedCount = count;
        return StartSim(std::move(options));
    };
    std::unique_ptr<CMeterSim> sims[] = {StartSim(GeneratedRecords(4), {{Kind::NoReply, 0}}),
                                         StartSim(GeneratedRecords(2), {{Kind::ZeroCount, 0}}), reporting(3841),
                                         reporting(65535)};
    const std::vector<std::pair<PortFailure, std::string>> expected{
        {PortFailure::Absent, "No such file or directory"},
        {PortFailure::NoAnswer, "no reply to the record count request"},
        {PortFailure::NoRecords, ""},   // a meter that holds nothing did answer
        {PortFailure::NotAMeter, "reported 3841 records, more than the meter can hold"},
        {PortFailure::NotAMeter, "reported 65535 records, more than the meter can hold"}};
    CRecordingEvents events;
    CMeterLink link(events);
    std::vector<std::string> ports{"/dev/ombrel-no-such-port"};
    for (const auto& sim : sims)
        ports.push_back(sim->SlavePath());

    const UploadRun run = Upload(link, events, ports, 20s);
    ASSERT_TRUE(run.summary);
    EXPECT_EQ(run.summary->outcome, UploadOutcome::NoMeter);
    EXPECT_EQ(events.Messages(), std::vector<std::string>{std::string("scan failure:") + kNoMeterMessage});
    std::vector<std::pair<PortFailure, std::string>> attempts;
    for (const PortAttempt& attempt : events.Attempts())
        attempts.emplace_back(attempt.failure, attempt.detail);
    EXPECT_EQ(attempts, expected);
    EXPECT_TRUE(events.Rows().empty());
    for (const auto& sim : sims)
        EXPECT_EQ(sim->ExchangesServed(), 1) << sim->SlavePath() << ": one count request, no record read";
}

// A meter on a line inside the program is reached through the name routed to
// it; every other name is still a serial port of the system.
TEST(Upload, ReadsAndClearsAMeterInsideTheProgramThroughItsRoutedName) {
    SimOptions options;
    options.line = SimLine::InMemory;
    options.records = GeneratedRecords(3);
    auto meter = StartSim(std::move(options));
    CRecordingEvents events;
    CMeterLink link(events);
    link.RoutePort(meter->SlavePath(), [&meter](PortAttempt& why) { return meter->Connect(why); });

    const UploadRun run = Upload(link, events, {"/dev/ombrel-no-such-port", meter->SlavePath()}, 20s);
    ASSERT_TRUE(run.summary);
    EXPECT_EQ(run.summary->outcome, UploadOutcome::Completed);
    EXPECT_EQ(run.summary->portName, "Simulated meter");
    EXPECT_EQ(events.Rows(), DecodedRows(GeneratedRecords(3)));
    ASSERT_EQ(link.PortAttempts().size(), 1u);
    EXPECT_EQ(link.PortAttempts()[0].failure, PortFailure::Absent);
    EXPECT_EQ(link.OnButtonClear({meter->SlavePath()}), ClearOutcome::Cleared) << "the port was let go after the upload";
    EXPECT_EQ(meter->EraseCount(), 1);
}

TEST(Upload, WithNoPortShowsBothMessagesAndStaysUsable) {
    CRecordingEvents events;
    CMeterLink link(events);
    const UploadRun run = Upload(link, events, {}, 5s);
    ASSERT_TRUE(run.summary);
    EXPECT_EQ(run.summary->outcome, UploadOutcome::NoPorts);
    const std::vector<std::string> expected{std::string("message:") + kNoSerialPortMessage,
                                            std::string("scan failure:") + kNoMeterMessage};
    EXPECT_EQ(events.Messages(), expected);
    EXPECT_FALSE(link.IsBusy());
}

// Exchange 1 is the count request; record k is read by exchanges 2k+2 and
// 2k+3 when every first try succeeds. A record that fails its three tries is
// left empty and the transfer goes on; a message box for it comes only when
// its last try got a wrong header.
struct FaultCase {
    const char* name;
    std::vector<SimFault> faults;
    UploadOutcome outcome;
    unsigned read;
    int unreadRow;
    std::vector<std::string> messages;
    std::chrono::milliseconds bound;
};

void PrintTo(const FaultCase& c, std::ostream* out) {
    *out << c.name;
}

const std::string kOneUnread = Message("1 of 6 records could not be read; their rows are left empty.");

class UploadWithMeterFault : public testing::TestWithParam<FaultCase> {};

TEST_P(UploadWithMeterFault, EndsInBoundedTimeWithTheStatedOutcome) {
    const FaultCase& c = GetParam();
    const std::vector<MeterRecord> records = GeneratedRecords(6);
    auto sim = StartSim(records, c.faults);
    CRecordingEvents events;
    CMeterLink link(events);

    const UploadRun run = Upload(link, events, {sim->SlavePath()}, c.bound + 10s);
    ASSERT_TRUE(run.summary);
    EXPECT_LT(run.took, c.bound);
    EXPECT_EQ(run.summary->outcome, c.outcome);
    EXPECT_EQ(events.Messages(), c.messages);
    EXPECT_EQ(run.summary->readCount, c.read);
    EXPECT_EQ(events.Received().back(), c.read) << "the received counter agrees with the message";

    // Rows read show their own record, never another's; the unread row keeps only its number.
    const std::vector<RowTexts> rows = events.Rows();
    const std::vector<RowTexts> expected = DecodedRows(records);
    for (std::size_t row = 0; row < c.read + 1; ++row)
        EXPECT_EQ(rows.at(row), static_cast<int>(row) == c.unreadRow ? UnreadRow(c.unreadRow) : expected[row]) << row;
    EXPECT_FALSE(link.IsBusy());
}

INSTANTIATE_TEST_SUITE_P(
    Faults, UploadWithMeterFault,
    testing::Values(
        FaultCase{"ThreeMissingReplies", {{Kind::NoReply, 4}, {Kind::NoReply, 5}, {Kind::NoReply, 6}},
                  UploadOutcome::Incomplete, 5, 1, {kOneUnread}, 15s},
        FaultCase{"ThreeWrongHeaders", {{Kind::WrongHeader, 4}, {Kind::WrongHeader, 5}, {Kind::WrongHeader, 6}},
                  UploadOutcome::Incomplete, 5, 1, {Message(kReadDataFailMessage), kOneUnread}, 10s},
        FaultCase{"WrongHeaderLast", {{Kind::NoReply, 4}, {Kind::NoReply, 5}, {Kind::WrongHeader, 6}},
                  UploadOutcome::Incomplete, 5, 1, {Message(kReadDataFailMessage), kOneUnread}, 15s},
        FaultCase{"MissingLast", {{Kind::WrongHeader, 4}, {Kind::WrongHeader, 5}, {Kind::NoReply, 6}},
                  UploadOutcome::Incomplete, 5, 1, {kOneUnread}, 15s},
        FaultCase{"SecondHalfFailing", {{Kind::WrongHeader, 3}, {Kind::WrongHeader, 4}, {Kind::WrongHeader, 5}},
                  UploadOutcome::Incomplete, 5, 0, {Message(kReadData2FailMessage), kOneUnread}, 10s},
        FaultCase{"UnpluggedMeterStopsAtOnce", {{Kind::Vanish, 6}}, UploadOutcome::MeterSilent, 2, 2,
                  {Message("Transfer stopped: the meter does not answer. 2 of 6 records were read.")}, 5s}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Upload, MeterFallingSilentStopsAfterThreeUnreadRecordsWithOneMessage) {
    std::vector<SimFault> faults;
    for (int exchange = 4; exchange <= 40; ++exchange)
        faults.push_back({Kind::NoReply, exchange});
    auto sim = StartSim(GeneratedRecords(20), faults);
    CRecordingEvents events;
    CMeterLink link(events);

    const UploadRun run = Upload(link, events, {sim->SlavePath()}, 30s);
    ASSERT_TRUE(run.summary);
    EXPECT_EQ(run.summary->outcome, UploadOutcome::MeterSilent);
    EXPECT_EQ(run.summary->readCount, 1u);
    EXPECT_EQ(sim->ExchangesServed(), 1 + 2 + 3 * 3) << "the count, record 0, then three records of three tries each";
    // Missing replies hold nobody up for a click each: the end message sums them up.
    const std::vector<std::string> expected{Message("Transfer stopped: the meter does not answer. 1 of 20 records were read.")};
    EXPECT_EQ(events.Messages(), expected);
    EXPECT_EQ(events.Received().back(), 1u) << "the received counter agrees with the message";
    EXPECT_EQ(events.Rows()[4], RowTexts{}) << "rows after the stop stay untouched";
    // With the data only partly read, the meter must not be erased.
    EXPECT_FALSE(link.ClearAllowed());
    const std::vector<std::string> log = events.Log();
    EXPECT_EQ(log.back(), "finished");
    EXPECT_EQ(std::count(log.begin(), log.end(), "timer stop"), 1)
        << "the use time ran to the end of the transfer";
}

TEST(Upload, StopEndsARunningTransferKeepingTheRowsReadAndRefusingClear) {
    const std::vector<MeterRecord> records = GeneratedRecords(200);
    auto sim = StartSim(records);
    CRecordingEvents events;
    CMeterLink link(events);
    ASSERT_TRUE(link.OnButtonUpload({sim->SlavePath()}));
    ASSERT_TRUE(WaitUntil([&] { return events.RowsFilled() >= 2; }, 20s));
    EXPECT_FALSE(link.OnButtonUpload({sim->SlavePath()})) << "a second upload never runs alongside";
    EXPECT_EQ(link.OnButtonClear({sim->SlavePath()}), ClearOutcome::Refused);

    const auto start = std::chrono::steady_clock::now();
    link.RequestStop();
    link.WaitUntilIdle();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s) << "ten times a reply wait";
    const auto summary = events.WaitForFinish(10s);
    ASSERT_TRUE(summary);
    EXPECT_EQ(summary->outcome, UploadOutcome::Stopped);
    EXPECT_TRUE(events.Messages().empty());
    // Rows read stay, the others are empty and counted unread.
    const std::vector<RowTexts> rows = events.Rows();
    const std::vector<RowTexts> expected = DecodedRows(records);
    unsigned read = 0;
    for (std::size_t row = 0; row < rows.size(); ++row) {
        read += rows[row] == expected[row] ? 1 : 0;
        EXPECT_TRUE(rows[row] == expected[row] || rows[row] == RowTexts{} || rows[row] == UnreadRow(static_cast<int>(row)))
            << row;
    }
    EXPECT_GE(read, 2u);
    EXPECT_EQ(summary->readCount, read);
    EXPECT_EQ(summary->unreadCount, 200u - read);
    EXPECT_EQ(events.Received().back(), read);
    EXPECT_FALSE(link.ClearAllowed()) << "records were left unread";
    EXPECT_EQ(sim->EraseCount(), 0);
}

// Behind a port that does not answer, the meter: exchange 1 is its clear
// handshake, exchange 2 the erase command. The erase is reported done only
// when the frame went out and the port stayed up through the erase pause.
TEST(Clear, ErasesOnlyTheMeterThatAnswersTheHandshakeInTime) {
    const struct {
        const char* why;
        std::vector<SimFault> faults;
        bool noPorts;
        ClearOutcome outcome;
        std::vector<std::string> messages;
        bool erased;
    } cases[] = {
        // Not asked first: a deliberate wipe needs no upload (the window asks ClearAllowed).
        {"done", {}, false, ClearOutcome::Cleared, {"clear done"}, true},
        {"a handshake later than 500 ms is no meter", {{Kind::LateClear, 0, 700}}, false, ClearOutcome::NoMeter,
         {std::string("scan failure:") + kClearFailedMessage}, false},
        {"unplugged during the erase pause", {{Kind::Vanish, 2}}, false, ClearOutcome::NotConfirmed,
         {Message(kClearNotConfirmedMessage)}, false},
        {"no port at all", {}, true, ClearOutcome::NoPorts,
         {Message(kNoSerialPortMessage), std::string("scan failure:") + kClearFailedMessage}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        auto silent = StartSim(GeneratedRecords(2), {{Kind::NoReply, 0}});
        auto meter = StartSim(GeneratedRecords(5), c.faults);
        CRecordingEvents events;
        CMeterLink link(events);
        const std::vector<std::string> ports{silent->SlavePath(), meter->SlavePath()};
        EXPECT_EQ(link.OnButtonClear(c.noPorts ? std::vector<std::string>{} : ports), c.outcome);
        EXPECT_EQ(events.Messages(), c.messages);
        EXPECT_FALSE(link.IsBusy());
        EXPECT_TRUE(WaitUntil([&] { return meter->EraseCount() == (c.erased ? 1 : 0); }))
            << "the meter takes the erase on its own thread";
        EXPECT_EQ(meter->Records().size(), c.erased ? 0u : 5u);
        EXPECT_EQ(silent->EraseCount(), 0);
    }
}

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
