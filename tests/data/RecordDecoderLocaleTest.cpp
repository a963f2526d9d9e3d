// Cell texts under a locale with a decimal comma, which is built here with
// the C library's localedef.

#include "RowTexts.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <unistd.h>

namespace {

RowTexts Decode(float power, float ref)
{
    return DecodeRecord(MeterRecord::Make(power, ref, 0, 0, 0), 0);
}

// The window adopts the operator's locale, which may use a decimal comma;
// the cells and the report keep the point. Such a locale is built here,
// since none is installed everywhere.
TEST(RecordDecoderTest, DecimalPointUnderACommaLocale)
{
    const auto folder = std::filesystem::temp_directory_path()
                        / ("ombrel-locale-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    const std::string command =
        "localedef -i de_DE -f UTF-8 '" + (folder / "de_DE.UTF-8").string() + "' >/dev/null 2>&1";
    ::setenv("LOCPATH", folder.c_str(), 1);
    char probe[8] = "";
    RowTexts row;
    if (std::system(command.c_str()) == 0 && std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr) {
        std::snprintf(probe, sizeof probe, "%.1f", 0.5);
        row = Decode(0.5f, 0.5f);
    }
    std::setlocale(LC_ALL, "C");
    ::unsetenv("LOCPATH");
    std::filesystem::remove_all(folder);
    if (std::string(probe) != "0,5")
        GTEST_SKIP() << "no locale with a decimal comma could be set up";
    EXPECT_EQ(row.cells[COL_POWER], "0.5000 (mW)");
    EXPECT_EQ(row.cells[COL_REF], "-3.01 (dBm)");
}

} // namespace
