#include "RowTexts.h"

#include <gtest/gtest.h>

#include <bit>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <string>

#include <unistd.h>

namespace {

constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

std::string PowerCell(float power, std::uint8_t mode, float ref = 1.0f)
{
    return DecodeRecord(MeterRecord::Make(power, ref, mode, 0, 0), 0).cells[COL_POWER];
}

std::string RefCell(float ref, std::uint8_t mode = 0)
{
    return DecodeRecord(MeterRecord::Make(0.5f, ref, mode, 0, 0), 0).cells[COL_REF];
}

// ---- Linear power (mode 0) ----------------------------------------------------

struct LinearCase {
    float power;
    const char* cell;
    const char* why;
};

TEST(RecordDecoderTest, LinearPowerExamples)
{
    const LinearCase cases[] = {
        {0.5f, "0.5000 (mW)", "milliwatt range"},
        {0.05f, "50.0000 (uW)", "in both the uW and the mW range: uW is tried first"},
        {5e-6f, "5.0000 (nW)", "nanowatt range"},
        {5e-9f, "5.0000 (pW)", "picowatt range"},
        {5e-5f, "0.0500 (uW)", "in both the uW and the nW range: uW wins"},
        {1e-5f, "10.0000 (nW)", "the float nearest 1e-5 lies below the bound"},
        {99.99f, "99.9900 (mW)", "the float nearest 99.99 lies below the bound"},
        {1.0f, "1.0000 (mW)", "a plain milliwatt"},
        {12.3456e-3f, "12.3456 (uW)", "four decimals kept"},
        {100.0f, " ()", "above the top range"},
        {0.0f, " ()", "zero matches no range"},
        {-0.0f, " ()", "negative zero matches no range"},
        {-0.5f, " ()", "a negative power matches no range"},
        {1e-11f, " ()", "the float nearest 1e-11 lies below the lowest bound"},
        {kNaN, " ()", "NaN matches no range"},
        {-kNaN, " ()", "NaN with the sign bit matches no range"},
        {kInf, " ()", "+inf lies above every range"},
        {-kInf, " ()", "-inf lies below every range"},
    };
    for (const LinearCase& c : cases)
        EXPECT_EQ(PowerCell(c.power, 0), c.cell) << c.why << " (power " << c.power << ")";
}

// The two floats on either side of each double bound. The unit expected is
// the one of the ranges as they end up after the order: (1e-11, 9.999e-8) pW,
// [9.999e-8, 1e-5] nW, (1e-5, 0.09999) uW, [0.09999, 99.99) mW.
struct EdgeCase {
    double bound;
    const char* unitBelow;   // nullptr: no range matches
    const char* unitAbove;
};

double ScaleOf(const char* unit)
{
    const std::string u = unit;
    return u == "pW" ? 1e9 : u == "nW" ? 1e6 : u == "uW" ? 1e3 : 1.0;
}

std::string ExpectedLinearCell(float power, const char* unit)
{
    if (unit == nullptr)
        return " ()";
    char number[64];
    std::snprintf(number, sizeof number, "%.4f", static_cast<double>(power) * ScaleOf(unit));
    return std::string(number) + " (" + unit + ")";
}

TEST(RecordDecoderTest, LinearPowerAtEveryRangeEdge)
{
    const EdgeCase cases[] = {
        {1e-11, nullptr, "pW"},   // lower end of everything
        {1e-8, "pW", "pW"},       // nW starts here, but pW is tried first
        {9.999e-8, "pW", "nW"},   // end of pW
        {1e-5, "nW", "uW"},       // uW starts and takes over from nW
        {9.999e-5, "uW", "uW"},   // end of nW, inside uW
        {0.01, "uW", "uW"},       // mW starts, but uW is tried first
        {0.09999, "uW", "mW"},    // end of uW
        {99.99, "mW", nullptr},   // upper end of everything
    };
    for (const EdgeCase& c : cases) {
        float below = static_cast<float>(c.bound);
        if (static_cast<double>(below) >= c.bound)
            below = std::nextafter(below, 0.0f);
        const float above = std::nextafter(below, kInf);
        ASSERT_LT(static_cast<double>(below), c.bound);
        ASSERT_GT(static_cast<double>(above), c.bound);
        EXPECT_EQ(PowerCell(below, 0), ExpectedLinearCell(below, c.unitBelow))
            << "float just below " << c.bound;
        EXPECT_EQ(PowerCell(above, 0), ExpectedLinearCell(above, c.unitAbove))
            << "float just above " << c.bound;
    }
}

// The scaled value is computed in double from the exact float; a product
// in single precision would print another last digit for these powers.
TEST(RecordDecoderTest, LinearScalingIsDoneInDouble)
{
    const LinearCase cases[] = {
        {0x1.60b92cp-36f, "0.0200 (pW)", "single-precision product gives 0.0201"},
        {0x1.aefffep-24f, "0.1004 (nW)", "single-precision product gives 0.1003"},
        {0x1.5138d8p-17f, "0.0101 (uW)", "single-precision product gives 0.0100"},
    };
    for (const LinearCase& c : cases)
        EXPECT_EQ(PowerCell(c.power, 0), c.cell) << c.why;
}

// ---- dBm and dB (modes 1 and 2) ---------------------------------------------

struct LogCase {
    float power;
    float ref;
    std::uint8_t mode;
    const char* cell;
    const char* why;
};

TEST(RecordDecoderTest, LogarithmicPower)
{
    const LogCase cases[] = {
        {1.0f, 1.0f, 1, "0.00 (dBm)", "1 mW is 0 dBm"},
        {0.001f, 1.0f, 1, "-30.00 (dBm)", "1 uW"},
        {2.0f, 1.0f, 1, "3.01 (dBm)", "positive dBm has no plus sign"},
        {0.5f, 1.0f, 2, "-3.01 (dB)", "relative to a 0 dBm reference"},
        {1.0f, 0.5f, 2, "3.01 (dB)", "power above the reference"},
        {0.1f, 0.1f, 2, "0.00 (dB)", "power equal to the reference"},
        {1.0f, 10.0f, 2, "-10.00 (dB)", "reference above the power"},
        // Values where the single-precision steps change the last digit.
        {0x1.26bbc4p-23f, 1.0f, 1, "-68.62 (dBm)",
         "log rounded to single before scaling (double gives -68.63)"},
        {0x1.adfddp-24f, 1.0f, 1, "-69.99 (dBm)",
         "log rounded to single before scaling (a single rounding gives -70.00)"},
        {0x1.14ee04p-22f, 0.5f, 2, "-62.88 (dB)",
         "difference of two single-precision dBm values (double gives -62.87)"},
        // No finite logarithm: the text is always one of "-inf", "inf", "nan".
        {0.0f, 1.0f, 1, "-inf (dBm)", "log of zero"},
        {-0.0f, 1.0f, 1, "-inf (dBm)", "log of negative zero"},
        {-1.0f, 1.0f, 1, "nan (dBm)", "log of a negative power, never -nan"},
        {kNaN, 1.0f, 1, "nan (dBm)", "NaN power"},
        {-kNaN, 1.0f, 1, "nan (dBm)", "NaN with the sign bit"},
        {kInf, 1.0f, 1, "inf (dBm)", "+inf power"},
        {0.0f, 1.0f, 2, "-inf (dB)", "zero power against a finite reference"},
        {1.0f, 0.0f, 2, "inf (dB)", "finite power against a zero reference"},
        {0.0f, 0.0f, 2, "nan (dB)", "-inf minus -inf"},
        {-1.0f, 1.0f, 2, "nan (dB)", "negative power"},
        {1.0f, -1.0f, 2, "nan (dB)", "negative reference"},
    };
    for (const LogCase& c : cases)
        EXPECT_EQ(PowerCell(c.power, c.mode, c.ref), c.cell) << c.why;
}

TEST(RecordDecoderTest, UnknownDisplayModeLeavesNumberAndUnitEmpty)
{
    for (const std::uint8_t mode : {3, 4, 127, 255})
        EXPECT_EQ(PowerCell(0.5f, mode), " ()") << "mode " << int(mode);
}

// The reference is shown in dBm whatever the power's mode.
TEST(RecordDecoderTest, ReferenceInEveryMode)
{
    struct RefCase {
        float ref;
        const char* cell;
    };
    const RefCase cases[] = {
        {1.0f, "0.00 (dBm)"},   {0.1f, "-10.00 (dBm)"}, {0.5f, "-3.01 (dBm)"},
        {20.0f, "13.01 (dBm)"}, {0.0f, "-inf (dBm)"},   {-2.0f, "nan (dBm)"},
        {kNaN, "nan (dBm)"},    {-kNaN, "nan (dBm)"},   {kInf, "inf (dBm)"},
    };
    for (const std::uint8_t mode : {0, 1, 2, 3, 255})
        for (const RefCase& c : cases)
            EXPECT_EQ(RefCell(c.ref, mode), c.cell) << "ref " << c.ref << " mode " << int(mode);
}

// ---- Tables, row number, unread rows -----------------------------------------

TEST(RecordDecoderTest, WavelengthTable)
{
    const char* const texts[] = {"850 (nm)",  "1300 (nm)", "1310 (nm)", "1490 (nm)",
                                 "1550 (nm)", "1625 (nm)", "1650 (nm)", "", ""};
    const std::uint8_t indexes[] = {0, 1, 2, 3, 4, 5, 6, 7, 255};
    for (std::size_t i = 0; i < std::size(indexes); ++i)
        EXPECT_EQ(DecodeRecord(MeterRecord::Make(0.5f, 1.0f, 0, indexes[i], 0), 0).cells[COL_WAVELENGTH],
                  texts[i]) << "index " << int(indexes[i]);
}

TEST(RecordDecoderTest, ModulationTable)
{
    const char* const texts[] = {"CW", "270Hz", "1kHz", "2kHz", "", ""};
    const std::uint8_t indexes[] = {0, 1, 2, 3, 4, 255};
    for (std::size_t i = 0; i < std::size(indexes); ++i)
        EXPECT_EQ(DecodeRecord(MeterRecord::Make(0.5f, 1.0f, 0, 0, indexes[i]), 0).cells[COL_FREQUENCY],
                  texts[i]) << "index " << int(indexes[i]);
}

TEST(RecordDecoderTest, WholeRow)
{
    const RowTexts row = DecodeRecord(MeterRecord::Make(0.05f, 0.1f, 0, 4, 1), 4);
    const RowTexts expected{{"5", "1550 (nm)", "50.0000 (uW)", "-10.00 (dBm)", "270Hz"}};
    EXPECT_EQ(row, expected);
    EXPECT_EQ(DecodeRecord(MeterRecord::Make(0.5f, 1.0f, 0, 0, 0), 0).cells[COL_NO], "1");
    EXPECT_EQ(DecodeRecord(MeterRecord::Make(0.5f, 1.0f, 0, 0, 0), 999).cells[COL_NO], "1000");
}

TEST(RecordDecoderTest, BytesElevenToFifteenAreIgnored)
{
    const MeterRecord plain = MeterRecord::Make(5e-6f, 0.5f, 0, 2, 3);
    MeterRecord noisy = plain;
    for (std::size_t i = 11; i < kRecordSize; ++i)
        noisy.bytes[i] = 0xFF;
    EXPECT_EQ(DecodeRecord(noisy, 7), DecodeRecord(plain, 7));
}

// A record whose power or modulation is not recognised must not show the
// unit or modulation of the record decoded before it.
TEST(RecordDecoderTest, NothingCarriesOverFromThePreviousRecord)
{
    const RowTexts first = DecodeRecord(MeterRecord::Make(0.5f, 1.0f, 0, 0, 2), 0);
    ASSERT_EQ(first.cells[COL_POWER], "0.5000 (mW)");
    ASSERT_EQ(first.cells[COL_FREQUENCY], "1kHz");

    const RowTexts second = DecodeRecord(MeterRecord::Make(100.0f, 1.0f, 0, 9, 4), 1);
    const RowTexts expected{{"2", "", " ()", "0.00 (dBm)", ""}};
    EXPECT_EQ(second, expected);

    const RowTexts dbm = DecodeRecord(MeterRecord::Make(1.0f, 1.0f, 1, 0, 0), 2);
    ASSERT_EQ(dbm.cells[COL_POWER], "0.00 (dBm)");
    EXPECT_EQ(DecodeRecord(MeterRecord::Make(0.5f, 1.0f, 7, 0, 0), 3).cells[COL_POWER], " ()");
}

TEST(RecordDecoderTest, UnreadRowHasOnlyItsNumber)
{
    const RowTexts expected{{"5", "", "", "", ""}};
    EXPECT_EQ(UnreadRow(4), expected);
    EXPECT_EQ(UnreadRow(0).cells[COL_NO], "1");
}

// The window runs under the operator's locale, which may write numbers with
// a decimal comma; the cells and the CSV report must keep the point. No such
// locale is installed everywhere, so one is built for this test.
TEST(RecordDecoderTest, DecimalPointUnderACommaLocale)
{
    const auto folder = std::filesystem::temp_directory_path()
                        / ("ombrel-locale-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    const std::string command = "localedef -i de_DE -f UTF-8 '" + (folder / "de_DE.UTF-8").string()
                                + "' >/dev/null 2>&1";
    const bool built = std::system(command.c_str()) == 0;
    ::setenv("LOCPATH", folder.c_str(), 1);
    const bool active = built && std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr;
    char probe[16] = "";
    if (active)
        std::snprintf(probe, sizeof probe, "%.1f", 0.5);
    RowTexts row;
    if (active && std::string(probe) == "0,5")
        row = DecodeRecord(MeterRecord::Make(0.5f, 0.5f, 0, 0, 0), 0);
    std::setlocale(LC_ALL, "C");
    ::unsetenv("LOCPATH");
    std::filesystem::remove_all(folder);
    if (!active || std::string(probe) != "0,5")
        GTEST_SKIP() << "no locale with a decimal comma could be set up";

    EXPECT_EQ(row.cells[COL_POWER], "0.5000 (mW)");
    EXPECT_EQ(row.cells[COL_REF], "-3.01 (dBm)");
}

} // namespace
