#pragma once
// The printed "Data Report" page as a list of drawing operations, in the
// device units of whatever it is drawn on. Pure: no Qt, no device; a painter
// elsewhere executes the operations.

#include "CsvReport.h"
#include "RowTexts.h"

#include <optional>
#include <string>
#include <vector>

// Number of character cells the report's text block spans.
inline constexpr int kReportTextCells = 93;
// The report font's size where its 93 cells fit the printable width.
inline constexpr int kReportPointSizeTenths = 120;

// What the page form needs to know of the device and the report font.
struct ReportDeviceMetrics {
    int lineHeight = 0;        // H: the font's line spacing on the device
    int textWidth = 0;         // W: the advance of 93 characters of the font
    int printableWidth = 0;    // HORZRES
    int printableHeight = 0;   // VERTRES
};

// The page form derived from the metrics, valid for every page of one run.
struct ReportLayout {
    int lineHeight = 0;     // H
    int textWidth = 0;      // W
    int linesPerPage = 0;   // L: a page holds L - 1 table rows
    int marginLeft = 0;     // X: centres W on the printable width

    int RowsPerPage() const { return linesPerPage - 1; }
};

ReportLayout ComputeReportLayout(const ReportDeviceMetrics& metrics);

// Pages a report of rowCount rows takes: ceil(rowCount / (L - 1)), and one
// page for an empty table. Empty when the page cannot hold a single row.
std::optional<int> ReportPageCount(const ReportLayout& layout, std::size_t rowCount);

// The reason a page cannot hold the report, for the operator.
std::string PageTooSmallMessage(const ReportLayout& layout);

struct DrawOperation {
    enum class Kind { Rectangle, Line, Text };
    Kind kind = Kind::Text;
    // Rectangle: the corners (right and bottom edges excluded, as a filled
    // frame is drawn); Line: from (x1, y1) to (x2, y2); Text: its top-left
    // corner in (x1, y1).
    int x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    std::string text;

    bool operator==(const DrawOperation&) const = default;
};

// The operations of page pageNumber (1-based), in drawing order: frame,
// title, header lines, column rules, caption rule, captions, then the rows
// that fall on the page. Header texts are taken as given on every call, so
// a page always shows what the window holds when it is drawn.
std::vector<DrawOperation> LayoutReportPage(const ReportLayout& layout, const ReportHeader& header,
                                            const std::vector<RowTexts>& rows, int pageNumber);
