#include "CsvReport.h"
#include "ReportText.h"

#include <gtest/gtest.h>

namespace {

// Ten header lines, then one line per row in list order: a TAB, the cells
// joined by ",TAB,". Every line ends in CR LF; nothing is quoted, so commas
// and quotes go out as they are; line breaks typed into a header field go
// out as blanks, so that they never break the report's lines.
TEST(CsvReportTest, ExactBytesWithAndWithoutRows)
{
    const ReportHeader header{"Acme, \"Fibre\"\r\nLtd", "Jo\nLee", "Line\r3",
                              "Date time: 2015-03-07 09:05:02", "Use time: 5 seconds"};
    const std::string headerLines =
        ",,,,Meter Data Report\r\n\r\nCompany Name:Acme, \"Fibre\"  Ltd\r\nUser Name:Jo Lee\r\n"
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


const ReportHeader kSavedHeader{"Acme, Fibre", "Jo", "", "Date time: 2015-03-07 09:05:02", "Use time: 5 seconds"};
const std::vector<RowTexts> kSavedRows{
    RowTexts{{"1", "850 (nm)", "0.5000 (mW)", "0.00 (dBm)", "CW"}},
    RowTexts{{"2", "", "", "", ""}},   // a record that could not be read
    RowTexts{{"3", "1550 (nm)", " ()", "-inf (dBm)", "2KHz"}},
};

// A saved report reads back as the header and rows it was written from.
TEST(CsvReportTest, SavedReportReadsBackAsWritten)
{
    for (const std::vector<RowTexts>& rows : {std::vector<RowTexts>{}, kSavedRows}) {
        const CsvReadResult read = ParseCsvReport(FormatCsvReport(kSavedHeader, rows));
        ASSERT_TRUE(read.ok()) << read.error;
        EXPECT_EQ(read.rows, rows);
        EXPECT_EQ(read.header.companyName, kSavedHeader.companyName);
        EXPECT_EQ(read.header.userName, kSavedHeader.userName);
        EXPECT_EQ(read.header.note, kSavedHeader.note);
        EXPECT_EQ(read.header.dateTimePane, kSavedHeader.dateTimePane);
        EXPECT_EQ(read.header.useTimePane, kSavedHeader.useTimePane);
    }
}

TEST(CsvReportTest, ForeignOrDamagedFilesAreRefusedWithTheirReason)
{
    const std::string saved = FormatCsvReport(kSavedHeader, kSavedRows);
    const std::size_t secondRow = saved.find("\t2,");
    std::string lfOnly;
    for (const char c : saved)
        if (c != '\r')
            lfOnly += c;
    struct Case { const char* why; std::string bytes; const char* reason; };
    const Case cases[] = {
        {"an empty file", "", "not a CSV report saved by Ombrel: it does not begin"},
        {"a spreadsheet's CSV", "a,b,c\r\n1,2,3\r\n", "not a CSV report saved by Ombrel: it does not begin"},
        {"line ends changed by an editor", lfOnly, "not a CSV report saved by Ombrel"},
        {"cut within the header", saved.substr(0, 60), "the report is truncated: it ends within its header"},
        {"cut within a row", saved.substr(0, saved.size() - 4), "the report is truncated: its last line is incomplete"},
        {"a row missing", saved.substr(0, secondRow) + saved.substr(saved.find("\t3,")), "line 12 is not row 2"},
        {"a column missing", saved.substr(0, secondRow) + "\t2,\t,,\t,\r\n", "line 12 is not row 2"},
        {"the column captions changed", [&] { std::string s = saved; s.replace(s.find("Wavelength"), 10, "Wave"); return s; }(),
         "its header lines differ"},
        // Lines 2, 8 and 9 are empty in every saved report.
        {"text on line 2", [&] { std::string s = saved; s.insert(s.find("\r\n") + 2, "x"); return s; }(),
         "its header lines differ"},
        {"text on line 8", [&] { std::string s = saved; s.insert(s.find("\r\n\r\n\r\nNo.") + 2, "x"); return s; }(),
         "its header lines differ"},
        {"text on line 9", [&] { std::string s = saved; s.insert(s.find("\r\n\r\nNo.") + 2, "x"); return s; }(),
         "its header lines differ"},
        {"a line longer than a report's", saved + std::string(131082, 'x') + "\r\n",
         "line 14 is longer than any line of a report"},
    };
    for (const Case& c : cases) {
        const CsvReadResult read = ParseCsvReport(c.bytes);
        EXPECT_FALSE(read.ok()) << c.why;
        EXPECT_NE(read.error.find(c.reason), std::string::npos) << c.why << ": " << read.error;
    }
}


// A header field holds up to 32767 characters (a line edit's limit); with
// four-byte characters its line is 13 + 4 * 32767 = 131081 bytes, the
// longest line a report can have.
TEST(CsvReportTest, TheLongestHeaderLineReadsBackAndOneByteMoreIsRefused)
{
    std::string company;
    for (int i = 0; i < 32767; ++i)
        company += "\xF0\x9F\x93\x8F";   // U+1F4CF, four bytes
    ASSERT_EQ(Utf8CharacterCount(company), 32767u);
    const std::string longest = FormatCsvReport({company, "", "", "", ""}, {});
    EXPECT_TRUE(ParseCsvReport(longest).ok()) << ParseCsvReport(longest).error;

    std::string longer = longest;
    longer.insert(longer.find("Company Name:") + 13, "x");
    EXPECT_NE(ParseCsvReport(longer).error.find("line 3 is longer than any line of a report"), std::string::npos);
}

TEST(CsvReportTest, DocumentNameCarriesTheCompanyWhenThereIsOne)
{
    const std::pair<std::string, std::string> rows[] = {
        {"", "Data Report"},
        {"   ", "Data Report"},
        {"Acme Fibre", "Data Report - Acme Fibre"},
        {" Acme\r\nFibre ", "Data Report - Acme  Fibre"},
    };
    for (const auto& [company, name] : rows)
        EXPECT_EQ(ReportDocumentName({company, "Jo", "note", "", ""}), name) << company;
}


TEST(ReportText, ControlCharactersBecomeBlanksAndNothingElseChanges)
{
    const std::pair<std::string, std::string> rows[] = {
        {"Acme, Inc. \"A\"", "Acme, Inc. \"A\""},
        {"line one\r\nline two", "line one  line two"},
        {std::string("tab\there\0nul\x1b[31m\x7f", 18), "tab here nul [31m "},
        {"C1 \xc2\x85 and \xc2\x9f", "C1   and  "},
        {"separators \xe2\x80\xa8 \xe2\x80\xa9", "separators    "},
        {"Zoë \xe2\x80\x94 Ω", "Zoë \xe2\x80\x94 Ω"},
        {"cut \xc2", "cut \xc2"},
    };
    for (const auto& [typed, written] : rows)
        EXPECT_EQ(BlankControls(typed), written) << typed;
}

} // namespace
