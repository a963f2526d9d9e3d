#include "MeterRecord.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <limits>

namespace {

TEST(MeterRecordTest, AssembleRecordPutsFirstHalfBeforeSecond)
{
    const HalfRecord half1{0, 1, 2, 3, 4, 5, 6, 7};
    const HalfRecord half2{8, 9, 10, 11, 12, 13, 14, 15};
    const MeterRecord record = MeterRecord::AssembleRecord(half1, half2);
    for (std::size_t i = 0; i < kRecordSize; ++i)
        EXPECT_EQ(record.bytes[i], i) << "byte " << i;
}

// Byte 0 is the least significant byte of the power, byte 4 that of the
// reference; a reader that took the host's or the big-endian order fails here.
TEST(MeterRecordTest, FloatsAreLittleEndian)
{
    MeterRecord record;
    record.bytes = {0xCD, 0xCC, 0x8C, 0x3F,  0x00, 0x00, 0x20, 0xC1,  2, 6, 3};
    EXPECT_EQ(record.Power(), 1.1f);
    EXPECT_EQ(record.Ref(), -10.0f);
    EXPECT_EQ(record.DisplayMode(), 2);
    EXPECT_EQ(record.WavelengthIndex(), 6);
    EXPECT_EQ(record.ModulationIndex(), 3);
}

TEST(MeterRecordTest, MakeWritesTheLayoutTheMeterUses)
{
    const MeterRecord record = MeterRecord::Make(1.1f, -10.0f, 2, 6, 3);
    const std::array<std::uint8_t, kRecordSize> expected{
        0xCD, 0xCC, 0x8C, 0x3F,  0x00, 0x00, 0x20, 0xC1,  2, 6, 3, 0, 0, 0, 0, 0};
    EXPECT_EQ(record.bytes, expected);
}

// Whatever bit pattern the meter sends must reach the decoder unchanged,
// including signed zeros, infinities, NaN payloads and subnormals.
TEST(MeterRecordTest, MakeAndReadKeepEveryBitPattern)
{
    const std::uint32_t patterns[] = {0x00000000, 0x80000000, 0x7F800000, 0xFF800000,
                                      0x7FC00001, 0xFFC00000, 0x00000001, 0x3F000000};
    for (const std::uint32_t bits : patterns) {
        const float value = std::bit_cast<float>(bits);
        const MeterRecord record = MeterRecord::Make(value, value, 0, 0, 0);
        EXPECT_EQ(std::bit_cast<std::uint32_t>(record.Power()), bits) << std::hex << bits;
        EXPECT_EQ(std::bit_cast<std::uint32_t>(record.Ref()), bits) << std::hex << bits;
    }
}

} // namespace
