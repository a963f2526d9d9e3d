#include "ReportPage.h"

#include <gtest/gtest.h>

#include <optional>

namespace {

using Kind = DrawOperation::Kind;

// H = 233 makes every fractional position truncate (8.5 H = 1980.5, 4.2 H =
// 978.6 ...); W = 9301 makes the column fifths truncate (7440.8).
constexpr ReportDeviceMetrics kMetrics{233, 9301, 9583, 13699};

std::vector<RowTexts> NumberedRows(int count)
{
    std::vector<RowTexts> rows;
    for (int i = 0; i < count; ++i) {
        const std::string n = std::to_string(i + 1);
        rows.push_back(RowTexts{{n, "w" + n, "p" + n, "r" + n, "f" + n}});
    }
    return rows;
}

DrawOperation Text(int x, int y, std::string text) { return {Kind::Text, x, y, 0, 0, std::move(text)}; }
DrawOperation Line(int x1, int y1, int x2, int y2) { return {Kind::Line, x1, y1, x2, y2, {}}; }

// Frame, title, header lines, rules and captions: the same on every page.
std::vector<DrawOperation> FormOfKMetrics(const std::string& company, const std::string& user, const std::string& note,
                                          const std::string& times)
{
    return {
        {Kind::Rectangle, 141, 1980, 9442, 12835, {}},
        Text(4541, 699, "Data Report"),
        Text(191, 978, "Company Name:   " + company),
        Text(191, 1211, "User Name:   " + user),
        Text(191, 1444, "Note:   " + note),
        Text(191, 1677, times),
        Line(2001, 1980, 2001, 12835),
        Line(3861, 1980, 3861, 12835),
        Line(5721, 1980, 5721, 12835),
        Line(7581, 1980, 7581, 12835),
        Line(141, 2330, 9442, 2330),
        Text(191, 2050, "  No."),
        Text(2051, 2050, "  Wavelength"),
        Text(3911, 2050, "  Power"),
        Text(5771, 2050, "  Ref"),
        Text(7631, 2050, "  Frequency"),
    };
}

std::vector<DrawOperation> RowAt(int y, const RowTexts& row)
{
    return {Text(291, y, "  " + row.cells[0]), Text(2151, y, row.cells[1]), Text(4011, y, row.cells[2]),
            Text(5871, y, row.cells[3]), Text(7731, y, row.cells[4])};
}

TEST(ReportPageTest, LayoutFromTheDeviceMetrics)
{
    struct Case { const char* why; ReportDeviceMetrics metrics; int linesPerPage; int marginLeft; std::optional<int> pagesFor100; };
    const Case cases[] = {
        {"(13699 - 7*233) / 233 - 6 lines; (9583 - 9301) / 2 rounds down", kMetrics, 45, 141, 3},
        {"a block wider than the page truncates toward zero", {233, 11198, 9583, 13699}, 45, -807, 3},
        {"a taller page holds more rows", {233, 9301, 9583, 20000}, 72, 141, 2},
        {"15 lines of 100 units leave room for one row", {100, 9301, 9583, 1500}, 2, 141, 100},
        {"one unit less and no row fits: no report", {100, 9301, 9583, 1499}, 1, 141, std::nullopt},
        {"no line height: no report", {0, 0, 9583, 13699}, 0, 4791, std::nullopt},
    };
    for (const Case& c : cases) {
        const ReportLayout layout = ComputeReportLayout(c.metrics);
        EXPECT_EQ(layout.linesPerPage, c.linesPerPage) << c.why;
        EXPECT_EQ(layout.marginLeft, c.marginLeft) << c.why;
        EXPECT_EQ(ReportPageCount(layout, 100), c.pagesFor100) << c.why;
    }
}

TEST(ReportPageTest, PageCountFollowsTheRowsAPageHolds)
{
    const ReportLayout layout = ComputeReportLayout(kMetrics);   // 44 rows a page
    ASSERT_EQ(layout.RowsPerPage(), 44);
    struct Case { std::size_t rows; int pages; };
    for (const Case c : {Case{0, 1}, {1, 1}, {44, 1}, {45, 2}, {88, 2}, {89, 3}, {3840, 88}})
        EXPECT_EQ(ReportPageCount(layout, c.rows), c.pages) << c.rows << " rows";
}

// Line breaks typed or pasted into a header field are blanks on the page,
// as in the CSV: the form's lines stay where they are.
TEST(ReportPageTest, FirstPageDrawsTheFormThenItsRows)
{
    const ReportLayout layout = ComputeReportLayout(kMetrics);
    const ReportHeader header{"Acme\r\nEvil", "Jo\tLee", "span\n7", "Date time: 2015-03-07 09:05:02",
                              "Use time: 5 seconds"};
    const std::vector<RowTexts> rows = NumberedRows(2);

    std::vector<DrawOperation> expected =
        FormOfKMetrics("Acme  Evil", "Jo Lee", "span 7", "Date time: 2015-03-07 09:05:02    Use time: 5 seconds");
    for (const DrawOperation& cell : RowAt(2451, rows[0]))   // floor(10.5 * 233 + 5)
        expected.push_back(cell);
    for (const DrawOperation& cell : RowAt(2684, rows[1]))   // floor(11.5 * 233 + 5)
        expected.push_back(cell);
    EXPECT_EQ(LayoutReportPage(layout, header, rows, 1), expected);
}

TEST(ReportPageTest, LaterPagesStartWhereTheLastOneEnded)
{
    const ReportLayout layout = ComputeReportLayout(kMetrics);
    const std::vector<RowTexts> rows = NumberedRows(100);
    const std::vector<DrawOperation> form = FormOfKMetrics("", "", "", "    ");

    struct Case { const char* why; int page; std::size_t firstRow; std::size_t rowCount; };
    const Case cases[] = {
        {"page 1 holds rows 0 to 43", 1, 0, 44},
        {"page 2 holds rows 44 to 87", 2, 44, 44},
        {"the last page holds what is left", 3, 88, 12},
        {"a page past the last row still draws the form", 4, 0, 0},
    };
    for (const Case& c : cases) {
        const std::vector<DrawOperation> page = LayoutReportPage(layout, ReportHeader{}, rows, c.page);
        ASSERT_EQ(page.size(), form.size() + 5 * c.rowCount) << c.why;
        EXPECT_EQ(std::vector<DrawOperation>(page.begin(), page.begin() + form.size()), form)
            << c.why << ": empty fields give the bare labels and a timing line of four blanks";
        if (c.rowCount == 0)
            continue;
        const auto firstCells = RowAt(2451, rows[c.firstRow]);
        EXPECT_EQ(std::vector<DrawOperation>(page.begin() + form.size(), page.begin() + form.size() + 5), firstCells)
            << c.why;
        const int lastY = static_cast<int>((static_cast<double>(c.rowCount - 1) + 10.5) * 233 + 5);
        EXPECT_EQ(std::vector<DrawOperation>(page.end() - 5, page.end()), RowAt(lastY, rows[c.firstRow + c.rowCount - 1]))
            << c.why;
    }
    EXPECT_EQ(LayoutReportPage(layout, ReportHeader{}, rows, 1)[form.size() + 5 * 43 + 1].y1, 12470)
        << "the 44th row of a page sits at floor(53.5 * 233 + 5)";
}

} // namespace
