#include "CsvReport.h"

#include <gtest/gtest.h>

namespace {

// Ten header lines, then one line per row in list order: a TAB, the cells
// joined by ",TAB,". Every line ends in CR LF; nothing is quoted, so commas
// and quotes go out as they are.
TEST(CsvReportTest, ExactBytesWithAndWithoutRows)
{
    const ReportHeader header{"Acme, \"Fibre\" Ltd", "Jo", "Line 3",
                              "Date time: 2015-03-07 09:05:02", "Use time: 5 seconds"};
    const std::string headerLines =
        ",,,,Meter Data Report\r\n\r\nCompany Name:Acme, \"Fibre\" Ltd\r\nUser Name:Jo\r\n"
        "Note:Line 3\r\nDate time: 2015-03-07 09:05:02\r\nUse time: 5 seconds\r\n\r\n\r\n"
        "No.,\t,Wavelength,\t,Power,\t,\tRef,\t,Frequency\r\n";
    EXPECT_EQ(FormatCsvReport(header, {}), headerLines);

    const std::vector<RowTexts> rows{
        RowTexts{{"1", "850 (nm)", "0.5000 (mW)", "0.00 (dBm)", "CW"}},
        RowTexts{{"2", "", " ()", "-inf (dBm)", "a, \"b\""}},
    };
    EXPECT_EQ(FormatCsvReport(header, rows),
              headerLines + "\t1,\t,850 (nm),\t,0.5000 (mW),\t,0.00 (dBm),\t,CW\r\n"
                            "\t2,\t,,\t, (),\t,-inf (dBm),\t,a, \"b\"\r\n");
}

// "%d%2d%2d": month and day below 10 are padded with a blank, not a zero.
TEST(CsvReportTest, DefaultFileNamePadsMonthAndDayWithBlanks)
{
    struct Case { int year, month, day; const char* name; };
    const Case cases[] = {
        {2026, 12, 6, "Meter Data Report_202612 6.csv"},
        {2026, 3, 5, "Meter Data Report_2026 3 5.csv"},
        {2026, 11, 25, "Meter Data Report_20261125.csv"},
    };
    for (const Case& c : cases) {
        std::tm date{};
        date.tm_year = c.year - 1900;
        date.tm_mon = c.month - 1;
        date.tm_mday = c.day;
        EXPECT_EQ(DefaultReportFileName(date), c.name);
    }
}

} // namespace
