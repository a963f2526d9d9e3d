#include "ReportPage.h"

#include "ReportText.h"

#include <array>

namespace {

constexpr int kColumnCount = 5;
constexpr int kCaptionIndent = 50;   // captions and header lines start 50 units right of their rule
constexpr int kCellIndent = 150;     // cells start 150 units right of their rule, 100 right of the caption
constexpr int kTitleOffset = 250;    // the title starts this far left of the block's centre
constexpr std::array<const char*, kColumnCount> kCaptions{"  No.", "  Wavelength", "  Power", "  Ref",
                                                          "  Frequency"};

// The form's fractional positions are computed in double and truncated toward zero.
int Truncated(double value)
{
    return static_cast<int>(value);
}

DrawOperation Text(int x, int y, std::string text)
{
    return {DrawOperation::Kind::Text, x, y, 0, 0, std::move(text)};
}

DrawOperation Line(int x1, int y1, int x2, int y2)
{
    return {DrawOperation::Kind::Line, x1, y1, x2, y2, {}};
}

} // namespace

ReportLayout ComputeReportLayout(const ReportDeviceMetrics& metrics)
{
    ReportLayout layout;
    layout.lineHeight = metrics.lineHeight;
    layout.textWidth = metrics.textWidth;
    if (metrics.lineHeight > 0) {
        // Seven lines of the height go to the header block, six more to the
        // frame's caption and margins; what is left holds L - 1 rows.
        layout.linesPerPage = (metrics.printableHeight - 7 * metrics.lineHeight) / metrics.lineHeight - 6;
    }
    layout.marginLeft = (metrics.printableWidth - metrics.textWidth) / 2;
    return layout;
}

std::optional<int> ReportPageCount(const ReportLayout& layout, std::size_t rowCount)
{
    const int rowsPerPage = layout.RowsPerPage();
    if (rowsPerPage < 1)
        return std::nullopt;
    if (rowCount == 0)
        return 1;
    const std::size_t perPage = static_cast<std::size_t>(rowsPerPage);
    return static_cast<int>((rowCount + perPage - 1) / perPage);
}

std::string PageTooSmallMessage(const ReportLayout& layout)
{
    return "The page is too small for the report: it holds " + std::to_string(layout.RowsPerPage())
           + " table rows at the report font's line height of " + std::to_string(layout.lineHeight)
           + " units. Choose a larger paper size.";
}

std::vector<DrawOperation> LayoutReportPage(const ReportLayout& layout, const ReportHeader& header,
                                            const std::vector<RowTexts>& rows, int pageNumber)
{
    const int H = layout.lineHeight;
    const int W = layout.textWidth;
    const int L = layout.linesPerPage;
    const int X = layout.marginLeft;
    const int frameTop = Truncated(8.5 * H);
    const int frameBottom = (L + 10) * H + 20;
    const auto columnLeft = [&](int column) { return X + column * W / kColumnCount; };

    std::vector<DrawOperation> page;
    page.push_back({DrawOperation::Kind::Rectangle, X, frameTop, X + W, frameBottom, {}});
    page.push_back(Text(X + W / 2 - kTitleOffset, 3 * H, "Data Report"));
    // Typed texts may hold line breaks; on the page they are blanks, as in the CSV.
    page.push_back(Text(X + kCaptionIndent, Truncated(4.2 * H), "Company Name:   " + BlankControls(header.companyName)));
    page.push_back(Text(X + kCaptionIndent, Truncated(5.2 * H), "User Name:   " + BlankControls(header.userName)));
    page.push_back(Text(X + kCaptionIndent, Truncated(6.2 * H), "Note:   " + BlankControls(header.note)));
    page.push_back(Text(X + kCaptionIndent, Truncated(7.2 * H),
                        BlankControls(header.dateTimePane + "    " + header.useTimePane)));
    for (int column = 1; column < kColumnCount; ++column)
        page.push_back(Line(columnLeft(column), frameTop, columnLeft(column), frameBottom));
    page.push_back(Line(X, 10 * H, X + W, 10 * H));
    for (int column = 0; column < kColumnCount; ++column)
        page.push_back(Text(columnLeft(column) + kCaptionIndent, Truncated(8.8 * H),
                            kCaptions[static_cast<std::size_t>(column)]));

    for (int r = 0; r <= L - 2; ++r) {
        const long long rowIndex = static_cast<long long>(pageNumber - 1) * (L - 1) + r;
        if (rowIndex < 0 || rowIndex >= static_cast<long long>(rows.size()))
            continue;
        const RowTexts& row = rows[static_cast<std::size_t>(rowIndex)];
        const int y = Truncated((r + 10.5) * H + 5);
        for (int column = 0; column < kColumnCount; ++column) {
            const std::string& cell = row.cells[static_cast<std::size_t>(column)];
            page.push_back(Text(columnLeft(column) + kCellIndent, y, column == COL_NO ? "  " + cell : cell));
        }
    }
    return page;
}
