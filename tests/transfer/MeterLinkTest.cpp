// Upload and Clear against the simulated meter over a real pseudo-terminal.

#include "LinkMessages.h"
#include "MeterLink.h"
#include "MeterSim.h"
#include "RecordingEvents.h"
#include "SerialPort.h"
#include "SimRun.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>

using namespace std::chrono_literals;

namespace {

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
    EXPECT_TRUE(events.Messages().empty());
    EXPECT_EQ(link.RecordCount(), records.size());
}

INSTANTIATE_TEST_SUITE_P(Sets, UploadOfRecordSet, testing::Values(0, 1, kMaxSimRecords),
                         [](const auto& info) {
                             return info.param == 0 ? std::string("RealisticSession")
                                                    : std::to_string(info.param) + "Records";
                         });

TEST(Upload, ReportsItsStepsInTheOrderTheWindowShowsThem) {
    auto sim = StartSim(GeneratedRecords(2));
    CRecordingEvents events;
    CMeterLink link(events);
    ASSERT_TRUE(Upload(link, events, {sim->SlavePath()}, 20s).summary);
    const std::vector<std::string> expected{"count:2",   "rows:2",       "timer start", "pane0:Running...",
                                            "pane0:Over", "timer stop", "finished"};
    EXPECT_EQ(events.Log(), expected);
}

TEST(Upload, SkipsAbsentAndSilentPortsAndUsesTheFirstThatAnswers) {
    auto silent = StartSim(GeneratedRecords(4), {Fault(SimFault::Kind::NoReply, 0)});
    auto meter = StartSim(GeneratedRecords(3));
    CRecordingEvents events;
    CMeterLink link(events);

    const UploadRun run = Upload(link, events, {"/dev/ombrel-no-such-port", silent->SlavePath(), meter->SlavePath()}, 20s);
    ASSERT_TRUE(run.summary);
    EXPECT_EQ(run.summary->outcome, UploadOutcome::Completed);
    EXPECT_EQ(run.summary->portName, meter->SlavePath());
    EXPECT_EQ(events.Rows().size(), 3u);
    EXPECT_EQ(events.Rows()[2].cells[COL_NO], "3");
    EXPECT_EQ(silent->ExchangesServed(), 1) << "the silent port gets exactly one count request";
    EXPECT_TRUE(events.Messages().empty());
    // The meter's port is closed at the end: it can be opened again.
    CSerialPort port;
    EXPECT_EQ(port.ProbePort(meter->SlavePath()), 0);
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

TEST(Upload, NamesWhyEachPortFailed) {
    auto silent = StartSim(GeneratedRecords(2), {Fault(SimFault::Kind::NoReply, 0)});
    auto empty = StartSim(GeneratedRecords(2), {Fault(SimFault::Kind::ZeroCount, 0)});
    CRecordingEvents events;
    CMeterLink link(events);
    const UploadRun run = Upload(link, events, {"/dev/ombrel-no-such-port", silent->SlavePath(), empty->SlavePath()}, 20s);
    ASSERT_TRUE(run.summary);
    EXPECT_EQ(run.summary->outcome, UploadOutcome::NoMeter);
    EXPECT_EQ(events.Messages(), std::vector<std::string>{std::string("scan failure:") + kNoMeterMessage});
    const auto attempts = events.Attempts();
    ASSERT_EQ(attempts.size(), 3u);
    EXPECT_EQ(attempts[0].failure, PortFailure::Absent);
    EXPECT_EQ(attempts[1].failure, PortFailure::NoAnswer);
    EXPECT_EQ(attempts[2].failure, PortFailure::NoRecords) << "a meter that holds nothing did answer";
}

// Exchange 1 is the count request; record k is read by exchanges 2k+2 and 2k+3.
struct FaultCase {
    const char* name;
    std::vector<SimFault> faults;
    UploadOutcome outcome;
    std::vector<int> unreadRows;
    std::vector<std::string> messages;
    std::chrono::milliseconds bound;
};

void PrintTo(const FaultCase& c, std::ostream* out) {
    *out << c.name;
}

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

    // Rows read show their own record, never another's; unread rows keep only their number.
    const std::vector<RowTexts> rows = events.Rows();
    const std::vector<RowTexts> expected = DecodedRows(records);
    for (std::size_t row = 0; row < run.summary->readCount + c.unreadRows.size() && row < rows.size(); ++row) {
        const bool unread = std::find(c.unreadRows.begin(), c.unreadRows.end(), static_cast<int>(row)) != c.unreadRows.end();
        EXPECT_EQ(rows[row], unread ? UnreadRow(static_cast<int>(row)) : expected[row]) << "row " << row;
    }
    EXPECT_FALSE(link.IsBusy());
}

INSTANTIATE_TEST_SUITE_P(
    Faults, UploadWithMeterFault,
    testing::Values(
        FaultCase{"MissingReplyIsRetried", {Fault(SimFault::Kind::NoReply, 3)}, UploadOutcome::Completed, {}, {}, 15s},
        FaultCase{"LateReplyIsRetried", {Fault(SimFault::Kind::LateReply, 2, 800)}, UploadOutcome::Completed, {}, {}, 15s},
        FaultCase{"ShortReplyIsRetried", {Fault(SimFault::Kind::ShortReply, 4, 0, 5)}, UploadOutcome::Completed, {}, {}, 60s},
        FaultCase{"GarbageBeforeReplyIsRetried", {Fault(SimFault::Kind::Garbage, 2, 0, 3)}, UploadOutcome::Completed, {}, {}, 10s},
        FaultCase{"WrongHeaderThreeTimesLeavesTheRowEmpty",
                  {Fault(SimFault::Kind::WrongHeader, 4), Fault(SimFault::Kind::WrongHeader, 5),
                   Fault(SimFault::Kind::WrongHeader, 6)},
                  UploadOutcome::Incomplete,
                  {1},
                  {Message(kReadDataFailMessage), Message("1 of 6 records could not be read; their rows are left empty.")},
                  10s},
        FaultCase{"SecondHalfFailingLeavesTheRowEmpty",
                  {Fault(SimFault::Kind::WrongHeader, 3), Fault(SimFault::Kind::WrongHeader, 4),
                   Fault(SimFault::Kind::WrongHeader, 5)},
                  UploadOutcome::Incomplete,
                  {0},
                  {Message(kReadData2FailMessage), Message("1 of 6 records could not be read; their rows are left empty.")},
                  10s},
        FaultCase{"UnpluggedMeterStopsAtOnce",
                  {Fault(SimFault::Kind::Vanish, 6)},
                  UploadOutcome::MeterSilent,
                  {2},
                  {Message("Transfer stopped: the meter does not answer. 2 of 6 records were read.")},
                  5s}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Upload, MeterFallingSilentStopsAfterThreeUnreadRecordsWithOneMessage) {
    std::vector<SimFault> faults;
    for (int exchange = 4; exchange <= 40; ++exchange)
        faults.push_back(Fault(SimFault::Kind::NoReply, exchange));
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

TEST(Clear, ErasesTheMeterThatAnswersTheHandshake) {
    auto silent = StartSim(GeneratedRecords(2), {Fault(SimFault::Kind::NoReply, 0)});
    auto meter = StartSim(GeneratedRecords(5));
    CRecordingEvents events;
    CMeterLink link(events);
    // Not asked first: a deliberate wipe needs no upload (the window asks ClearAllowed).
    EXPECT_EQ(link.OnButtonClear({silent->SlavePath(), meter->SlavePath()}), ClearOutcome::Cleared);
    EXPECT_EQ(events.Messages(), std::vector<std::string>{"clear done"});
    EXPECT_TRUE(WaitUntil([&] { return meter->EraseCount() == 1; })) << "the meter takes the erase on its own thread";
    EXPECT_TRUE(meter->Records().empty());
    EXPECT_EQ(silent->EraseCount(), 0);
}

TEST(Clear, AfterAFinishedUploadIsAllowedAndLeavesTheRows) {
    auto sim = StartSim(GeneratedRecords(5));
    CRecordingEvents events;
    CMeterLink link(events);
    ASSERT_TRUE(Upload(link, events, {sim->SlavePath()}, 20s).summary);
    ASSERT_TRUE(link.ClearAllowed());
    EXPECT_EQ(link.OnButtonClear({sim->SlavePath()}), ClearOutcome::Cleared);
    EXPECT_EQ(events.Rows().size(), 5u);
    EXPECT_EQ(link.RecordCount(), 5u);
}

TEST(Clear, TreatsAHandshakeLaterThan500msAsNoMeter) {
    auto sim = StartSim(GeneratedRecords(5), {Fault(SimFault::Kind::LateClear, 0, 700)});
    CRecordingEvents events;
    CMeterLink link(events);
    EXPECT_EQ(link.OnButtonClear({sim->SlavePath()}), ClearOutcome::NoMeter);
    EXPECT_EQ(events.Messages(), std::vector<std::string>{std::string("scan failure:") + kClearFailedMessage});
    EXPECT_EQ(sim->EraseCount(), 0);
    EXPECT_EQ(sim->Records().size(), 5u);
}

TEST(Clear, WithNoPortShowsBothMessages) {
    CRecordingEvents events;
    CMeterLink link(events);
    EXPECT_EQ(link.OnButtonClear({}), ClearOutcome::NoPorts);
    const std::vector<std::string> expected{Message(kNoSerialPortMessage),
                                            std::string("scan failure:") + kClearFailedMessage};
    EXPECT_EQ(events.Messages(), expected);
}

}  // namespace
