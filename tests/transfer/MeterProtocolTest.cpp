#include "MeterProtocol.h"

#include <gtest/gtest.h>

namespace {

struct FrameCase {
    const char* why;
    MeterCommand command;
    unsigned blockIndex;
    Frame expected;
};

class FrameBytes : public testing::TestWithParam<FrameCase> {};

TEST_P(FrameBytes, MatchTheMeterCommandSet) {
    EXPECT_EQ(BuildFrame(GetParam().command, GetParam().blockIndex), GetParam().expected) << GetParam().why;
}

INSTANTIATE_TEST_SUITE_P(
    Frames, FrameBytes,
    testing::Values(
        FrameCase{"record count request carries no address", MeterCommand::READ_COUNT, 5,
                  {0xAA, 0x22, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
        FrameCase{"block 0 is the start of the record area, 0x1000", MeterCommand::READ_DATA_FILE, 0,
                  {0xAA, 0x20, 0x00, 0x10, 0x08, 0, 0, 0, 0, 0, 0, 0, 0}},
        FrameCase{"block 1 is the second half of record 0", MeterCommand::READ_DATA_FILE_2, 1,
                  {0xAA, 0x20, 0x08, 0x10, 0x08, 0, 0, 0, 0, 0, 0, 0, 0}},
        FrameCase{"block 32 carries into the high byte", MeterCommand::READ_DATA_FILE, 32,
                  {0xAA, 0x20, 0x00, 0x11, 0x08, 0, 0, 0, 0, 0, 0, 0, 0}},
        FrameCase{"block 7679 is the last half of record 3840 at 0xFFF8", MeterCommand::READ_DATA_FILE, 7679,
                  {0xAA, 0x20, 0xF8, 0xFF, 0x08, 0, 0, 0, 0, 0, 0, 0, 0}},
        FrameCase{"clear handshake", MeterCommand::CLEAR_CHECK, 0, {0xAA, 0x30, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
        FrameCase{"erase", MeterCommand::CLEAR_DATA, 0, {0xAA, 0x10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}}));

struct ReplyCase {
    const char* why;
    Frame reply;
    unsigned count;
};

class CountReply : public testing::TestWithParam<ReplyCase> {};

TEST_P(CountReply, IsAcceptedOnlyWithHeaderAndRecords) {
    EXPECT_EQ(ParseCountReply(GetParam().reply), GetParam().count) << GetParam().why;
}

INSTANTIATE_TEST_SUITE_P(
    Replies, CountReply,
    testing::Values(ReplyCase{"count is little-endian in bytes 5-6", {0xAA, 0x22, 0, 0, 0, 0x05, 0x01}, 261},
                    ReplyCase{"bytes 2-4 and 7-12 are not examined",
                              {0xAA, 0x22, 1, 2, 3, 0x03, 0x00, 9, 9, 9, 9, 9, 9}, 3},
                    ReplyCase{"a meter with no records counts as no meter", {0xAA, 0x22, 0, 0, 0, 0, 0}, 0},
                    ReplyCase{"wrong command byte", {0xAA, 0x20, 0, 0, 0, 0x05, 0x00}, 0},
                    ReplyCase{"wrong start byte", {0x55, 0x22, 0, 0, 0, 0x05, 0x00}, 0},
                    ReplyCase{"largest count", {0xAA, 0x22, 0, 0, 0, 0xFF, 0xFF}, 65535}));

TEST(DataAndClearReplies, AreRecognisedByTheirFirstTwoBytes) {
    EXPECT_TRUE(IsDataReply({0xAA, 0x20, 7, 7, 7}));
    EXPECT_FALSE(IsDataReply({0xAA, 0x22}));
    EXPECT_TRUE(IsClearCheckReply({0xAA, 0x30}));
    EXPECT_FALSE(IsClearCheckReply({0x00, 0x30}));
}

}  // namespace
