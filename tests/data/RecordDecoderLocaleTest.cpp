// Cell texts under a locale with a decimal comma; scripts/setup generates it.

#include "RowTexts.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>

namespace {

// The window adopts the operator's locale, which may use a decimal comma;
// the cells and the report keep the point.
TEST(RecordDecoderTest, DecimalPointUnderACommaLocale)
{
    ASSERT_NE(std::setlocale(LC_ALL, "de_DE.UTF-8"), nullptr)
        << "the de_DE.UTF-8 locale is missing: scripts/setup generates it";
    char probe[8] = "";
    std::snprintf(probe, sizeof probe, "%.1f", 0.5);
    const RowTexts row = DecodeRecord(MeterRecord::Make(0.5f, 0.5f, 0, 0, 0), 0);
    std::setlocale(LC_ALL, "C");
    ASSERT_STREQ(probe, "0,5") << "the locale does not use a decimal comma";
    EXPECT_EQ(row.cells[COL_POWER], "0.5000 (mW)");
    EXPECT_EQ(row.cells[COL_REF], "-3.01 (dBm)");
}

} // namespace
