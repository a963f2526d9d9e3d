#include "MeterProtocol.h"

#include <gtest/gtest.h>

namespace {

TEST(FrameBytes, MatchTheMeterCommandSet) {
    const struct {
        const char* why;
        MeterCommand command;
        unsigned blockIndex;
        Frame expected;
    } cases[] = {
        {"record count request carries no address", MeterCommand::READ_COUNT, 5,
         {0xAA, 0x22, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
        {"block 0 is the start of the record area, 0x1000", MeterCommand::READ_DATA_FILE, 0,
         {0xAA, 0x20, 0x00, 0x10, 0x08, 0, 0, 0, 0, 0, 0, 0, 0}},
        {"block 1 is the second half of record 0", MeterCommand::READ_DATA_FILE_2, 1,
         {0xAA, 0x20, 0x08, 0x10, 0x08, 0, 0, 0, 0, 0, 0, 0, 0}},
        {"block 32 carries into the high byte", MeterCommand::READ_DATA_FILE, 32,
         {0xAA, 0x20, 0x00, 0x11, 0x08, 0, 0, 0, 0, 0, 0, 0, 0}},
        {"block 7679 is the last half of record 3840 at 0xFFF8", MeterCommand::READ_DATA_FILE, 7679,
         {0xAA, 0x20, 0xF8, 0xFF, 0x08, 0, 0, 0, 0, 0, 0, 0, 0}},
        {"clear handshake", MeterCommand::CLEAR_CHECK, 0, {0xAA, 0x30, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
        {"erase", MeterCommand::CLEAR_DATA, 0, {0xAA, 0x10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(BuildFrame(c.command, c.blockIndex), c.expected) << c.why;
}

TEST(CountReply, IsAcceptedOnlyWithHeaderAndRecords) {
    const struct {
        const char* why;
        Frame reply;
        unsigned count;
    } cases[] = {
        {"count is little-endian in bytes 5-6", {0xAA, 0x22, 0, 0, 0, 0x05, 0x01}, 261},
        {"bytes 2-4 and 7-12 are not examined", {0xAA, 0x22, 1, 2, 3, 0x03, 0x00, 9, 9, 9, 9, 9, 9}, 3},
        {"a meter with no records counts as no meter", {0xAA, 0x22, 0, 0, 0, 0, 0}, 0},
        {"wrong command byte", {0xAA, 0x20, 0, 0, 0, 0x05, 0x00}, 0},
        {"wrong start byte", {0x55, 0x22, 0, 0, 0, 0x05, 0x00}, 0},
        {"largest count", {0xAA, 0x22, 0, 0, 0, 0xFF, 0xFF}, 65535},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ParseCountReply(c.reply), c.count) << c.why;
}

TEST(DataAndClearReplies, AreRecognisedByTheirFirstTwoBytes) {
    EXPECT_TRUE(IsDataReply({0xAA, 0x20, 7, 7, 7}));
    EXPECT_FALSE(IsDataReply({0xAA, 0x22}));
    EXPECT_TRUE(IsClearCheckReply({0xAA, 0x30}));
    EXPECT_FALSE(IsClearCheckReply({0x00, 0x30}));
}

}  // namespace
