// Faults on purpose, timing of the simulated line, and the fault notation.

#include "HostLine.h"
#include "TestSupport.h"

#include <sys/stat.h>

using namespace std::chrono_literals;

namespace {

SimFault Fault(const std::string& spec) {
    SimFault fault;
    std::string error;
    EXPECT_TRUE(ParseSimFault(spec, fault, error)) << spec << ": " << error;
    return fault;
}

std::chrono::steady_clock::duration TimeToReply(CHostLine& host, const Bytes& frame, const Bytes& expected) {
    const auto sent = std::chrono::steady_clock::now();
    host.Send(frame);
    EXPECT_EQ(host.Read(expected.size(), 5s), expected);
    return std::chrono::steady_clock::now() - sent;
}

}  // namespace

struct ShapedReplyCase {
    const char* why;
    const char* fault;
    Bytes onTheLine;   // what the second READ_COUNT puts on the line
};

class SimFaultShapes : public ::testing::TestWithParam<ShapedReplyCase> {};

// Only the second exchange is hit; the first and third prove the selection
// and that nothing beyond the shaped reply went out.
TEST_P(SimFaultShapes, HitsOnlyTheSelectedExchange) {
    const ShapedReplyCase& row = GetParam();
    auto sim = StartSim(PatternRecords(5), {Fault(row.fault)});
    CHostLine host(sim->SlavePath());
    EXPECT_EQ(host.Exchange(ReadCountFrame()), CountReply(5)) << row.why;
    host.Send(ReadCountFrame());
    ASSERT_TRUE(WaitUntil([&] { return sim->ExchangesServed() == 2; }));
    EXPECT_EQ(host.Read(row.onTheLine.size()), row.onTheLine) << row.why;
    EXPECT_EQ(host.Exchange(ReadCountFrame()), CountReply(5)) << row.why;
}

INSTANTIATE_TEST_SUITE_P(
    Replies, SimFaultShapes,
    ::testing::Values(
        ShapedReplyCase{"a silent meter sends nothing", "noreply@2", {}},
        ShapedReplyCase{"a wrong header changes bytes 0-1 only", "header@2",
                        {0x55, 0x55, 0, 0, 0, 5, 0, 0, 0, 0, 0, 0, 0}},
        ShapedReplyCase{"a short reply stops after k bytes", "short@2:5", {0xAA, 0x22, 0, 0, 0}},
        ShapedReplyCase{"a zero count looks like an empty meter", "zerocount@2", CountReply(0)}));

TEST(SimFault, WithoutAnExchangeNumberEveryExchangeIsHit) {
    auto sim = StartSim(PatternRecords(5), {Fault("zerocount")});
    CHostLine host(sim->SlavePath());
    EXPECT_EQ(host.Exchange(ReadCountFrame()), CountReply(0));
    EXPECT_EQ(host.Exchange(ReadCountFrame()), CountReply(0));
    // A zero count says nothing about the memory itself.
    const Bytes data = host.Exchange(ReadDataFrame(0x1000));
    ASSERT_EQ(data.size(), 13u);
    EXPECT_EQ(data[5], PatternRecord(0).bytes[0]);
}

TEST(SimFault, GarbageComesBeforeAWholeReply) {
    auto sim = StartSim(PatternRecords(5), {Fault("garbage:3")});
    CHostLine host(sim->SlavePath());
    host.Send(ReadCountFrame());
    const Bytes line = host.Read(16);
    ASSERT_EQ(line.size(), 16u);
    for (std::size_t i = 0; i < 3; ++i)
        EXPECT_NE(line[i], 0xAA) << "stray byte " << i << " could pass for a frame start";
    EXPECT_EQ(Bytes(line.begin() + 3, line.end()), CountReply(5));
}

TEST(SimFault, LostEraseFrameKeepsTheMemory) {
    auto sim = StartSim(PatternRecords(5), {Fault("noreply@2")});
    CHostLine host(sim->SlavePath());
    EXPECT_EQ(host.Exchange(ClearCheckFrame()).size(), 13u);
    host.Send(ClearDataFrame());
    EXPECT_EQ(host.Exchange(ReadCountFrame()), CountReply(5));
    EXPECT_EQ(sim->EraseCount(), 0);
    EXPECT_EQ(sim->Records().size(), 5u);
}

TEST(SimFault, LateReplyComesNoSoonerThanItsDelay) {
    auto sim = StartSim(PatternRecords(5), {Fault("late@1:300")});
    CHostLine host(sim->SlavePath());
    EXPECT_GE(TimeToReply(host, ReadCountFrame(), CountReply(5)), 300ms);
}

TEST(SimFault, LateClearDelaysOnlyTheHandshake) {
    auto sim = StartSim(PatternRecords(5), {Fault("lateclear:300")});
    CHostLine host(sim->SlavePath());
    // The count is read with a bound far below the handshake's delay.
    EXPECT_EQ(host.Exchange(ReadCountFrame()), CountReply(5));
    Bytes handshake(13, 0);
    handshake[0] = 0xAA;
    handshake[1] = 0x30;
    EXPECT_GE(TimeToReply(host, ClearCheckFrame(), handshake), 300ms);
}

TEST(SimFault, LateReplyIsDroppedWhenTheHostMovesOn) {
    auto sim = StartSim(PatternRecords(5), {Fault("late@1:400")});
    CHostLine host(sim->SlavePath());
    host.Send(ReadCountFrame());
    ASSERT_TRUE(WaitUntil([&] { return sim->ExchangesServed() == 1; }));
    EXPECT_EQ(host.Exchange(ReadDataFrame(0x1000)).at(1), 0x20);
    EXPECT_TRUE(host.Read(1, 700ms).empty()) << "the abandoned count reply still arrived";
}

TEST(SimFault, VanishHangsUpTheHostAndRemovesTheLink) {
    CTempDir dir;
    SimOptions options;
    options.records = PatternRecords(5);
    options.faults = {Fault("vanish@2")};
    options.linkPath = dir / "meter";
    auto sim = StartSim(std::move(options));
    CHostLine host(sim->SlavePath());
    EXPECT_EQ(host.Exchange(ReadCountFrame()), CountReply(5));
    host.Send(ReadCountFrame());
    EXPECT_TRUE(host.SeesHangUp());
    EXPECT_EQ(sim->ExchangesServed(), 2);
    struct stat status{};
    EXPECT_NE(lstat((dir / "meter").c_str(), &status), 0);
    sim->Stop();
}

TEST(SimTiming, LatencyDelaysEveryReply) {
    SimOptions options;
    options.records = PatternRecords(5);
    options.latencyMs = 150;
    auto sim = StartSim(std::move(options));
    CHostLine host(sim->SlavePath());
    EXPECT_GE(TimeToReply(host, ReadCountFrame(), CountReply(5)), 150ms);
    EXPECT_GE(TimeToReply(host, ReadCountFrame(), CountReply(5)), 150ms);
}

TEST(SimTiming, PacedExchangeTakesAtLeastTwentySixByteTimes) {
    SimOptions options;
    options.records = PatternRecords(5);
    options.paced = true;
    auto sim = StartSim(std::move(options));
    CHostLine host(sim->SlavePath());
    // 13 bytes out and 13 back at 9600 baud, ten bits each.
    const auto wire = std::chrono::nanoseconds(26 * 1'041'667);
    EXPECT_GE(TimeToReply(host, ReadCountFrame(), CountReply(5)), wire);
    const Bytes data = host.Exchange(ReadDataFrame(0x1008));
    ASSERT_EQ(data.size(), 13u);
    EXPECT_EQ(data[5], PatternRecord(0).bytes[8]);
}

struct GoodSpecCase {
    const char* spec;
    SimFault::Kind kind;
    int exchange;
    int delayMs;
    int byteCount;
};

class ParseSimFaultGood : public ::testing::TestWithParam<GoodSpecCase> {};

TEST_P(ParseSimFaultGood, Parses) {
    const GoodSpecCase& row = GetParam();
    SimFault fault;
    std::string error;
    ASSERT_TRUE(ParseSimFault(row.spec, fault, error)) << row.spec << ": " << error;
    EXPECT_EQ(fault.kind, row.kind) << row.spec;
    EXPECT_EQ(fault.exchange, row.exchange) << row.spec;
    EXPECT_EQ(fault.delayMs, row.delayMs) << row.spec;
    EXPECT_EQ(fault.byteCount, row.byteCount) << row.spec;
}

using K = SimFault::Kind;
INSTANTIATE_TEST_SUITE_P(
    Specs, ParseSimFaultGood,
    ::testing::Values(GoodSpecCase{"noreply", K::NoReply, 0, 0, 0},
                      GoodSpecCase{"noreply@3", K::NoReply, 3, 0, 0},
                      GoodSpecCase{"late:800", K::LateReply, 0, 800, 0},
                      GoodSpecCase{"late@2:800", K::LateReply, 2, 800, 0},
                      GoodSpecCase{"header@5", K::WrongHeader, 5, 0, 0},
                      GoodSpecCase{"short@2:5", K::ShortReply, 2, 0, 5},
                      GoodSpecCase{"garbage:3", K::Garbage, 0, 0, 3},
                      GoodSpecCase{"zerocount", K::ZeroCount, 0, 0, 0},
                      GoodSpecCase{"lateclear:700", K::LateClear, 0, 700, 0},
                      GoodSpecCase{"vanish@10", K::Vanish, 10, 0, 0}));

struct BadSpecCase {
    const char* why;
    const char* spec;
    const char* errorMentions;
};

class ParseSimFaultBad : public ::testing::TestWithParam<BadSpecCase> {};

TEST_P(ParseSimFaultBad, ExplainsAndLeavesTheFaultAlone) {
    const BadSpecCase& row = GetParam();
    SimFault fault;
    fault.kind = SimFault::Kind::Vanish;
    fault.exchange = 42;
    std::string error;
    EXPECT_FALSE(ParseSimFault(row.spec, fault, error)) << row.why;
    EXPECT_NE(error.find(row.errorMentions), std::string::npos) << row.why << ": " << error;
    EXPECT_EQ(fault.kind, SimFault::Kind::Vanish) << row.why;
    EXPECT_EQ(fault.exchange, 42) << row.why;
}

INSTANTIATE_TEST_SUITE_P(
    Specs, ParseSimFaultBad,
    ::testing::Values(
        BadSpecCase{"nothing given", "", "empty"},
        BadSpecCase{"a kind that does not exist", "slow", "unknown fault kind 'slow'"},
        BadSpecCase{"a delay is required", "late", "needs a delay"},
        BadSpecCase{"an empty delay", "late@2:", "got ''"},
        BadSpecCase{"a delay that is not a number", "late:soon", "got 'soon'"},
        BadSpecCase{"a negative delay", "lateclear:-5", "got '-5'"},
        BadSpecCase{"a delay too large for an int", "late:99999999999", "got '99999999999'"},
        BadSpecCase{"a byte count is required", "garbage@2", "needs a number of bytes"},
        BadSpecCase{"a short reply of a whole frame is no fault", "short:13", "from 1 to 12"},
        BadSpecCase{"a short reply of nothing is noreply", "short:0", "from 1 to 12"},
        BadSpecCase{"kinds without a value refuse one", "noreply:3", "takes no value"},
        BadSpecCase{"exchanges count from 1", "vanish@0", "from 1 up"},
        BadSpecCase{"an exchange that is not a number", "header@x", "from 1 up"}));
