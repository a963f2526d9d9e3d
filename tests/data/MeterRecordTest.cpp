#include "MeterRecord.h"

#include <gtest/gtest.h>

namespace {

// Bytes 0-3 are the power and 4-7 the reference, least significant byte
// first; a reader or writer using the host's or big-endian order fails here.
TEST(MeterRecordTest, FloatsAreLittleEndianBothWays)
{
    const std::array<std::uint8_t, kRecordSize> bytes{
        0xCD, 0xCC, 0x8C, 0x3F,  0x00, 0x00, 0x20, 0xC1,  2, 6, 3, 0, 0, 0, 0, 0};
    const MeterRecord record{bytes};
    EXPECT_EQ(record.Power(), 1.1f);
    EXPECT_EQ(record.Ref(), -10.0f);
    EXPECT_EQ(record.DisplayMode(), 2);
    EXPECT_EQ(record.WavelengthIndex(), 6);
    EXPECT_EQ(record.ModulationIndex(), 3);
    EXPECT_EQ(MeterRecord::Make(1.1f, -10.0f, 2, 6, 3).bytes, bytes);
}

// The first 8-byte read holds bytes 0-7, the second bytes 8-15.
TEST(MeterRecordTest, AssembleRecordPutsFirstHalfFirst)
{
    const MeterRecord record =
        MeterRecord::AssembleRecord({0, 1, 2, 3, 4, 5, 6, 7}, {8, 9, 10, 11, 12, 13, 14, 15});
    for (std::size_t i = 0; i < kRecordSize; ++i)
        EXPECT_EQ(record.bytes[i], i) << "byte " << i;
}

} // namespace
