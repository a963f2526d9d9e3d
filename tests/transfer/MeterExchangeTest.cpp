// One frame and its reply, the erase, and the evidence of a line out of step,
// in virtual time against scripted lines. Times are milliseconds from the
// start, worked by hand from the meter's pauses: 50 before each frame, a
// 500 ms window for a reply's first byte, 5000 ms for the rest of it, 500 ms
// of quiet line before a repeat, 3000 ms at most for a line to go quiet.

#include "MeterErase.h"
#include "MeterExchange.h"
#include "ScriptedLine.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

namespace {

const Pauses kMeterPauses;   // the meter's own

Bytes CountReply(unsigned count) {
    return {0xAA, 0x22, 0, 0, 0, static_cast<std::uint8_t>(count & 0xFF), static_cast<std::uint8_t>(count >> 8),
            0, 0, 0, 0, 0, 0};
}

struct CountCase {
    const char* why;
    std::vector<Arrival> replies;
    ReplyStatus status;
    unsigned count;
    int endsAtMs;
};

TEST(ReplyWindow, TakesAWholeReplyWhoseFirstByteCameWithin500ms) {
    const Bytes five = CountReply(5);
    const Bytes head(five.begin(), five.begin() + 5), rest(five.begin() + 5, five.end());   // bytes 0-4, 5-12
    const CountCase cases[] = {
        {"a reply 100 ms after the frame (written at 50)", {{100, five}}, ReplyStatus::Accepted, 5, 150},
        {"the first byte at the window's end", {{500, five}}, ReplyStatus::Accepted, 5, 550},
        {"a reply 1 ms after the window is missing", {{501, five}}, ReplyStatus::Missing, 0, 550},
        {"the rest of a begun reply 5000 ms after its first byte", {{100, head}, {5100, rest}},
         ReplyStatus::Accepted, 5, 5150},
        {"a reply cut short is given up 5000 ms after its first byte", {{100, head}}, ReplyStatus::Missing, 0, 5150},
        {"a meter holding nothing", {{100, CountReply(0)}}, ReplyStatus::BadHeader, 0, 150},
        {"all the memory holds: (0x10000 - 0x1000) / 16", {{100, CountReply(3840)}}, ReplyStatus::Accepted, 3840, 150},
        {"one more than the memory holds", {{100, CountReply(3841)}}, ReplyStatus::BadHeader, 0, 150},
    };
    for (const CountCase& c : cases) {
        CScriptedRig rig([&](const Frame&, int) { return c.replies; });
        unsigned count = 99;
        EXPECT_EQ(rig.exchange.ReadCount(count), c.status) << c.why;
        EXPECT_EQ(count, c.count) << c.why;
        EXPECT_EQ(rig.clock.Elapsed(), c.endsAtMs) << c.why;
        ASSERT_EQ(rig.line.frames.size(), 1u) << c.why;
        EXPECT_EQ(rig.line.frames[0], std::make_pair(50, Frame{0xAA, 0x22})) << c.why;
    }
}

TEST(SendFrame, ContinuesAShortWrite80msApartThreeTimesThenOnceMoreAfter100ms) {
    const struct {
        const char* why;
        std::vector<std::size_t> limits;
        std::size_t sent;
        int endsAtMs;
    } cases[] = {
        {"whole at once, after the 50 ms pause", {13}, 13, 50},
        {"the rest at the third retry: 50 + 3 * 80", {5, 0, 0, 8}, 13, 290},
        {"the rest at the last attempt: 290 + 100", {5, 0, 0, 0, 8}, 13, 390},
        {"never whole", {5, 0, 0, 0, 0}, 5, 390},
    };
    for (const auto& c : cases) {
        CScriptedRig rig;
        rig.line.sendLimits = c.limits;
        EXPECT_EQ(rig.exchange.SendFrame(Frame{0xAA, 0x22}), c.sent) << c.why;
        EXPECT_EQ(rig.clock.Elapsed(), c.endsAtMs) << c.why;
        EXPECT_EQ(rig.line.frames.size(), c.sent == 13 ? 1u : 0u) << c.why;
    }
}

// A meter that answers block b with eight bytes of b after 100 ms, its
// address repeated or not; `extra` adds arrivals to given frames.
CScriptedLine::Script Meter(bool repeatAddress, std::map<int, std::vector<Arrival>> extra = {},
                            std::set<int> silentFrames = {}) {
    return [=](const Frame& frame, int number) {
        std::vector<Arrival> arrivals;
        if (!silentFrames.count(number))
            arrivals.push_back({100, ReplyTo(frame, repeatAddress, BlockBytes(BlockOf(frame)))});
        if (const auto more = extra.find(number); more != extra.end())
            arrivals.insert(arrivals.end(), more->second.begin(), more->second.end());
        return arrivals;
    };
}

TEST(ReadBlock, RepeatsAFailedTryTwiceEachAfterTheWindowAndAQuietLine) {
    CScriptedRig rig(Meter(true, {}, {1, 2, 3}));
    EXPECT_EQ(rig.exchange.ReadBlock(0).status, ReplyStatus::Missing);
    // 50 + 500 window + 500 quiet + 50 = 1100; again + 1050 = 2150; its window ends at 2650.
    ASSERT_EQ(rig.line.frames.size(), 3u);
    EXPECT_EQ(rig.line.frames[1].first, 1100);
    EXPECT_EQ(rig.line.frames[2].first, 2150);
    EXPECT_EQ(rig.clock.Elapsed(), 2650);
    EXPECT_EQ(rig.line.frames[2].second, (Frame{0xAA, 0x20, 0x00, 0x10, 0x08}));
}

TEST(ReadBlock, AWrongHeaderIsRepeatedAndNotTaken) {
    CScriptedRig rig([](const Frame& frame, int number) {
        Bytes reply = ReplyTo(frame, true, BlockBytes(BlockOf(frame)));
        if (number == 1)
            reply[0] = reply[1] = 0x55;
        return std::vector<Arrival>{{100, reply}};
    });
    const BlockRead read = rig.exchange.ReadBlock(32);
    EXPECT_EQ(read.status, ReplyStatus::Accepted);
    EXPECT_EQ(read.bytes, (HalfRecord{32, 32, 32, 32, 32, 32, 32, 32}));
    // The bad reply at 150, 500 quiet, 50: the repeat at 700.
    ASSERT_EQ(rig.line.frames.size(), 2u);
    EXPECT_EQ(rig.line.frames[1].first, 700);
}

TEST(ReadBlock, ARepeatedAddressGivesAStaleReplyAwayAndTheRightOneIsStillTaken) {
    // Before its own reply, the reply to block 7 comes again.
    const Frame block7 = BuildFrame(MeterCommand::READ_DATA_FILE, 7);
    CScriptedRig rig(Meter(true, {{2, {{40, ReplyTo(block7, true, BlockBytes(7))}}}}));
    ASSERT_EQ(rig.exchange.ReadBlock(0).status, ReplyStatus::Accepted);
    const BlockRead read = rig.exchange.ReadBlock(1);
    EXPECT_EQ(read.bytes, (HalfRecord{1, 1, 1, 1, 1, 1, 1, 1}));
    EXPECT_EQ(rig.line.frames.size(), 2u) << "taken within the same window";
    EXPECT_EQ(rig.exchange.Evidence(), 1u);
    EXPECT_TRUE(rig.exchange.RepeatsAddress());
    EXPECT_TRUE(rig.exchange.Confirmed(read.serial));
}

// Without the address in the replies: reads 0-3 of blocks 0-3, and which of
// them stay confirmed after what the line shows.
struct StepCase {
    const char* why;
    std::map<int, std::vector<Arrival>> extra;   // by frame number
    std::set<int> silentFrames;
    std::vector<bool> confirmed;
    unsigned evidence;
    int quietMs;
};

TEST(OutOfStep, EvidenceAndMissingRepliesPutReadsInDoubtUntilAQuietLine) {
    const Frame block1 = BuildFrame(MeterCommand::READ_DATA_FILE, 1);
    const StepCase cases[] = {
        {"no fault: nothing in doubt", {}, {}, {true, true, true, true}, 0, 500},
        // Frame 2 at 200, its reply at 300; the stray reply at 330 is found
        // before frame 3: reads 0-1 in doubt, and read 2 made before the line
        // was let go quiet; read 3 follows a quiet line.
        {"bytes on the line before a frame", {{2, {{130, ReplyTo(block1, false, BlockBytes(9))}}}}, {},
         {false, false, false, true}, 1, 500},
        {"a second reply right behind the one taken", {{2, {{100, ReplyTo(block1, false, BlockBytes(1))}}}}, {},
         {false, false, true, true}, 1, 500},
        // Frame 2 (block 1) at 200 goes unanswered; the repeat at 1250 gets
        // read 1, frame 4 at 1400 gets the late reply at 1500 for read 2
        // (block 1's bytes), and its own right behind: 1300 ms late, so the
        // quiet line before read 3 lasts 1300 ms.
        {"a reply 1300 ms late", {{2, {{1300, ReplyTo(block1, false, BlockBytes(1))}}}}, {2},
         {false, false, false, true}, 1, 1300},
    };
    for (const StepCase& c : cases) {
        CScriptedRig rig(Meter(false, c.extra, c.silentFrames));
        std::vector<bool> confirmed;
        std::vector<unsigned> serials;
        for (unsigned block = 0; block < 4; ++block) {
            const BlockRead read = rig.exchange.ReadBlock(block);
            ASSERT_EQ(read.status, ReplyStatus::Accepted) << c.why << ", block " << block;
            serials.push_back(read.serial);
        }
        for (const unsigned serial : serials)
            confirmed.push_back(rig.exchange.Confirmed(serial));
        EXPECT_EQ(confirmed, c.confirmed) << c.why;
        EXPECT_EQ(rig.exchange.Evidence(), c.evidence) << c.why;
        EXPECT_EQ(rig.exchange.QuietMs(), c.quietMs) << c.why;
        EXPECT_FALSE(rig.exchange.RepeatsAddress()) << c.why;
    }
}

TEST(QuietLine, EndsAfterTheQuietTimeOrGivesUpOnAChatteringLineAt3000ms) {
    const struct {
        const char* why;
        std::vector<int> byteAtMs;
        bool quiet;
        int endsAtMs;
        unsigned evidence;
    } cases[] = {
        {"a silent line", {}, true, 500, 0},
        {"each late byte starts the quiet time again", {150, 300, 450}, true, 950, 3},
        {"a line that never stops", [] {
             std::vector<int> every50;
             for (int at = 50; at < 6000; at += 50)
                 every50.push_back(at);
             return every50;
         }(), false, 3000, 60},
    };
    for (const auto& c : cases) {
        CScriptedRig rig;
        for (const int at : c.byteAtMs)
            rig.line.DeliverAt(at, {0x55});
        EXPECT_EQ(rig.exchange.QuietLine(), c.quiet) << c.why;
        EXPECT_EQ(rig.clock.Elapsed(), c.endsAtMs) << c.why;
        EXPECT_EQ(rig.exchange.Evidence(), c.evidence) << c.why;
    }
}

TEST(Erase, HandshakeCountsOnlyAnAnswerThereAfter500ms) {
    for (const auto& [answerMs, answered] : {std::pair{100, true}, {499, true}, {501, false}}) {
        CScriptedRig rig([answerMs = answerMs](const Frame& frame, int) {
            return std::vector<Arrival>{{answerMs, ReplyTo(frame, false)}};
        });
        EXPECT_EQ(CMeterErase(rig.exchange, rig.clock, kMeterPauses).Handshake(), answered) << answerMs;
        EXPECT_EQ(rig.clock.Elapsed(), 550) << "the frame at 50, the reply looked for once at 550";
        EXPECT_EQ(rig.line.frames.at(0).second, (Frame{0xAA, 0x30}));
    }
}

TEST(Erase, WaitsTheMetersFullSecondWhateverIsAskedAndClaimsOnlyWhatItSaw) {
    const struct {
        const char* why;
        int stopAtMs;
        int goneAtMs;
        ClearOutcome outcome;
        int endsAtMs;
    } cases[] = {
        {"the frame at 50, then 1000 ms for the meter", -1, -1, ClearOutcome::Cleared, 1050},
        {"a stop during the erase time does not cut it short", 60, -1, ClearOutcome::Cleared, 1050},
        {"a stop before the frame: nothing is sent", 0, -1, ClearOutcome::Stopped, 50},
        {"the line gone during the erase time", -1, 700, ClearOutcome::NotConfirmed, 1050},
    };
    for (const auto& c : cases) {
        CScriptedRig rig;
        rig.clock.StopAt(c.stopAtMs);
        rig.line.goneAtMs = c.goneAtMs;
        EXPECT_EQ(CMeterErase(rig.exchange, rig.clock, kMeterPauses).Erase(), c.outcome) << c.why;
        EXPECT_EQ(rig.clock.Elapsed(), c.endsAtMs) << c.why;
        EXPECT_EQ(rig.line.frames.size(), c.outcome == ClearOutcome::Stopped ? 0u : 1u) << c.why;
    }
}

}  // namespace
