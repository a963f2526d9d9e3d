#include "RowTexts.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

namespace {

constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

RowTexts Decode(float power, float ref, std::uint8_t mode = 0, std::uint8_t wavelength = 0,
                std::uint8_t modulation = 0, int rowIndex = 0)
{
    return DecodeRecord(MeterRecord::Make(power, ref, mode, wavelength, modulation), rowIndex);
}

TEST(RecordDecoderTest, PowerCell)
{
    struct Case { float power, ref; std::uint8_t mode; const char* cell; const char* why; };
    const Case cases[] = {
        {0.5f, 1.0f, 0, "0.5000 (mW)", "milliwatt range, four decimals"},
        {5e-5f, 1.0f, 0, "0.0500 (uW)", "in the uW and the nW range: uW is tried first"},
        {1e-5f, 1.0f, 0, "10.0000 (nW)", "the float nearest 1e-5 lies below the uW range"},
        {5e-9f, 1.0f, 0, "5.0000 (pW)", "picowatt range"},
        {0.0f, 1.0f, 0, " ()", "zero matches no range"},
        {-0.5f, 1.0f, 0, " ()", "a negative power matches no range"},
        {kNaN, 1.0f, 0, " ()", "NaN matches no range"},
        {kInf, 1.0f, 0, " ()", "+inf lies above every range"},
        {-kInf, 1.0f, 0, " ()", "-inf lies below every range"},
        // The scaled value is the exact float times the scale in double.
        {0x1.60b92cp-36f, 1.0f, 0, "0.0200 (pW)", "a single-precision product gives 0.0201"},
        {0x1.aefffep-24f, 1.0f, 0, "0.1004 (nW)", "a single-precision product gives 0.1003"},
        {0x1.5138d8p-17f, 1.0f, 0, "0.0101 (uW)", "a single-precision product gives 0.0100"},
        {1.0f, 1.0f, 1, "0.00 (dBm)", "1 mW is 0 dBm"},
        {0.5f, 1.0f, 2, "-3.01 (dB)", "power minus reference, not the other way round"},
        // The logarithm is rounded to single before it is scaled, and dB is
        // the difference of two single-precision dBm values.
        {0x1.26bbc4p-23f, 1.0f, 1, "-68.62 (dBm)", "double throughout gives -68.63"},
        {0x1.adfddp-24f, 1.0f, 1, "-69.99 (dBm)", "a single rounding gives -70.00"},
        {0x1.14ee04p-22f, 0.5f, 2, "-62.88 (dB)", "double throughout gives -62.87"},
        // Without a finite logarithm the number is "-inf", "inf" or "nan", never "-nan".
        {0.0f, 1.0f, 1, "-inf (dBm)", "log of zero"},
        {-1.0f, 1.0f, 1, "nan (dBm)", "log of a negative power is a NaN with the sign bit"},
        {-kNaN, 1.0f, 1, "nan (dBm)", "NaN with the sign bit"},
        {0.0f, 1.0f, 2, "-inf (dB)", "zero power against a finite reference"},
        {1.0f, 0.0f, 2, "inf (dB)", "finite power against a zero reference"},
        {0.0f, 0.0f, 2, "nan (dB)", "-inf minus -inf"},
        {1.0f, -1.0f, 2, "nan (dB)", "negative reference"},
        {0.5f, 1.0f, 3, " ()", "first unknown display mode"},
        {0.5f, 1.0f, 255, " ()", "last unknown display mode"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Decode(c.power, c.ref, c.mode).cells[COL_POWER], c.cell) << c.why;
}

// The floats on either side of each double bound, by the unit of the range
// that must win: (1e-11, 9.999e-8) pW, [9.999e-8, 1e-5] nW,
// (1e-5, 0.09999) uW, [0.09999, 99.99) mW; "()" where none matches.
TEST(RecordDecoderTest, LinearUnitAtEveryRangeEdge)
{
    struct Edge { double bound; const char* below; const char* above; };
    const Edge edges[] = {
        {1e-11, "()", "(pW)"},  {1e-8, "(pW)", "(pW)"},     {9.999e-8, "(pW)", "(nW)"},
        {1e-5, "(nW)", "(uW)"}, {9.999e-5, "(uW)", "(uW)"}, {0.01, "(uW)", "(uW)"},
        {0.09999, "(uW)", "(mW)"}, {99.99, "(mW)", "()"},
    };
    const auto unit = [](float power) {
        const std::string cell = Decode(power, 1.0f).cells[COL_POWER];
        return cell.substr(cell.rfind('('));
    };
    for (const Edge& e : edges) {
        float below = static_cast<float>(e.bound);
        if (static_cast<double>(below) >= e.bound)
            below = std::nextafter(below, 0.0f);
        const float above = std::nextafter(below, kInf);
        ASSERT_GT(static_cast<double>(above), e.bound);
        EXPECT_EQ(unit(below), e.below) << "float just below " << e.bound;
        EXPECT_EQ(unit(above), e.above) << "float just above " << e.bound;
    }
}

// The reference is shown in dBm whatever the power's display mode.
TEST(RecordDecoderTest, ReferenceCellInEveryMode)
{
    const std::pair<float, const char*> cases[] = {
        {0.5f, "-3.01 (dBm)"}, {20.0f, "13.01 (dBm)"}, {0.0f, "-inf (dBm)"},
        {-2.0f, "nan (dBm)"},  {-kNaN, "nan (dBm)"},   {kInf, "inf (dBm)"},
    };
    for (const std::uint8_t mode : {0, 1, 2, 255})
        for (const auto& [ref, cell] : cases)
            EXPECT_EQ(Decode(0.5f, ref, mode).cells[COL_REF], cell) << ref << " mode " << int(mode);
}

TEST(RecordDecoderTest, WavelengthAndModulationTables)
{
    struct Case { std::uint8_t index; const char* wavelength; const char* modulation; };
    const Case cases[] = {
        {0, "850 (nm)", "CW"},     {1, "1300 (nm)", "270Hz"}, {2, "1310 (nm)", "1kHz"},
        {3, "1490 (nm)", "2kHz"},  {4, "1550 (nm)", ""},      // one past the modulations
        {5, "1625 (nm)", ""},      {6, "1650 (nm)", ""},      {7, "", ""},   // one past the wavelengths
        {255, "", ""},
    };
    for (const Case& c : cases) {
        const RowTexts row = Decode(0.5f, 1.0f, 0, c.index, c.index);
        EXPECT_EQ(row.cells[COL_WAVELENGTH], c.wavelength) << "index " << int(c.index);
        EXPECT_EQ(row.cells[COL_FREQUENCY], c.modulation) << "index " << int(c.index);
    }
}

// Bytes 11-15 carry nothing; the No. cell counts from 1. A record whose
// power, wavelength or modulation is not recognised must not show the texts
// of the record decoded before it.
TEST(RecordDecoderTest, WholeRowWithNothingCarriedOverFromThePreviousRecord)
{
    MeterRecord record = MeterRecord::Make(0.05f, 0.1f, 0, 4, 1);
    for (std::size_t i = 11; i < kRecordSize; ++i)
        record.bytes[i] = 0xFF;
    EXPECT_EQ(DecodeRecord(record, 999),
              (RowTexts{{"1000", "1550 (nm)", "50.0000 (uW)", "-10.00 (dBm)", "270Hz"}}));
    EXPECT_EQ(Decode(100.0f, 1.0f, 0, 9, 4, 1), (RowTexts{{"2", "", " ()", "0.00 (dBm)", ""}}));
    ASSERT_EQ(Decode(1.0f, 1.0f, 1).cells[COL_POWER], "0.00 (dBm)");
    EXPECT_EQ(Decode(0.5f, 1.0f, 7).cells[COL_POWER], " ()");
    EXPECT_EQ(UnreadRow(4), (RowTexts{{"5", "", "", "", ""}}));
}

} // namespace
