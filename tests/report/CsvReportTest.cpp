#include "CsvReport.h"

#include <gtest/gtest.h>

namespace {

ReportHeader SampleHeader()
{
    return ReportHeader{"Acme", "Jo", "Line 3", "Date time: 2015-03-07 09:05:02",
                        "Use time: 5 seconds"};
}

TEST(CsvReportTest, EmptyListGivesTenLinesEndingWithTheColumnHeader)
{
    const std::string expected =
        ",,,,Meter Data Report\r\n"
        "\r\n"
        "Company Name:Acme\r\n"
        "User Name:Jo\r\n"
        "Note:Line 3\r\n"
        "Date time: 2015-03-07 09:05:02\r\n"
        "Use time: 5 seconds\r\n"
        "\r\n"
        "\r\n"
        "No.,\t,Wavelength,\t,Power,\t,\tRef,\t,Frequency\r\n";
    EXPECT_EQ(FormatCsvReport(SampleHeader(), {}), expected);
}

// Before the first upload the header fields and both time panes may be
// empty: the lines stay, with nothing after the labels.
TEST(CsvReportTest, EmptyHeaderFieldsKeepTheirLines)
{
    const std::string expected =
        ",,,,Meter Data Report\r\n\r\nCompany Name:\r\nUser Name:\r\nNote:\r\n\r\n\r\n\r\n\r\n"
        "No.,\t,Wavelength,\t,Power,\t,\tRef,\t,Frequency\r\n";
    EXPECT_EQ(FormatCsvReport(ReportHeader{}, {}), expected);
}

// Rows begin with a TAB and are joined by ",TAB,"; nothing is quoted, so a
// comma or quote in a field goes out as it is, and no BOM precedes the text.
TEST(CsvReportTest, RowsAreWrittenUnquotedInListOrder)
{
    const std::vector<RowTexts> rows{
        RowTexts{{"1", "850 (nm)", "0.5000 (mW)", "0.00 (dBm)", "CW"}},
        RowTexts{{"2", "", " ()", "-inf (dBm)", ""}},
    };
    ReportHeader header = SampleHeader();
    header.companyName = "Acme, \"Fibre\" Ltd";
    header.note = "caf\xC3\xA9";
    const std::string report = FormatCsvReport(header, rows);

    const std::string tail =
        "No.,\t,Wavelength,\t,Power,\t,\tRef,\t,Frequency\r\n"
        "\t1,\t,850 (nm),\t,0.5000 (mW),\t,0.00 (dBm),\t,CW\r\n"
        "\t2,\t,,\t, (),\t,-inf (dBm),\t,\r\n";
    ASSERT_GE(report.size(), tail.size());
    EXPECT_EQ(report.substr(report.size() - tail.size()), tail);
    EXPECT_NE(report.find("\r\nCompany Name:Acme, \"Fibre\" Ltd\r\n"), std::string::npos);
    EXPECT_NE(report.find("\r\nNote:caf\xC3\xA9\r\n"), std::string::npos);
    EXPECT_EQ(report.rfind(",,,,Meter Data Report\r\n", 0), 0u);
}

TEST(CsvReportTest, DefaultFileNamePadsMonthAndDayWithBlanks)
{
    struct NameCase {
        int year, month, day;
        const char* name;
    };
    const NameCase cases[] = {
        {2026, 12, 6, "Meter Data Report_202612 6.csv"},   // day below 10
        {2026, 3, 5, "Meter Data Report_2026 3 5.csv"},    // month and day below 10
        {2026, 11, 25, "Meter Data Report_20261125.csv"},  // no padding needed
        {2027, 1, 31, "Meter Data Report_2027 131.csv"},   // month below 10 only
    };
    for (const NameCase& c : cases) {
        std::tm date{};
        date.tm_year = c.year - 1900;
        date.tm_mon = c.month - 1;
        date.tm_mday = c.day;
        EXPECT_EQ(DefaultReportFileName(date), c.name);
    }
}

} // namespace
