// The report drawn on real Qt devices: the font that fits the paper, and the
// pages a PDF gets.

#include "ReportPainter.h"

#include <QBuffer>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QPdfWriter>

#include <gtest/gtest.h>

namespace {

std::vector<RowTexts> Rows(int count)
{
    std::vector<RowTexts> rows;
    for (int i = 0; i < count; ++i)
        rows.push_back(RowTexts{{std::to_string(i + 1), "1310 (nm)", "1.0000 (mW)", "0.00 (dBm)", "CW"}});
    return rows;
}

// A PDF page of the given layout, to measure on.
struct PdfPage {
    explicit PdfPage(const QPageLayout& layout) : buffer(&bytes), writer(&buffer)
    {
        buffer.open(QIODevice::WriteOnly);
        writer.setResolution(1200);
        writer.setPageLayout(layout);
    }
    QByteArray bytes;
    QBuffer buffer;
    QPdfWriter writer;
};

// 93 cells of a 12-point monospace font are about 9.3 inches: more than a
// portrait A4 or Letter page is wide, less than a landscape one.
TEST(ReportPainterTest, FontShrinksOnlyWhereTheTableWouldLeaveThePaper)
{
    struct Case { const char* why; QPageSize::PageSizeId size; QPageLayout::Orientation orientation; bool twelvePoints; };
    const Case cases[] = {
        {"A4 portrait", QPageSize::A4, QPageLayout::Portrait, false},
        {"Letter portrait", QPageSize::Letter, QPageLayout::Portrait, false},
        {"A4 landscape", QPageSize::A4, QPageLayout::Landscape, true},
        {"Legal landscape", QPageSize::Legal, QPageLayout::Landscape, true},
    };
    for (const Case& c : cases) {
        PdfPage page(ReportPageLayout(QPageSize(c.size), c.orientation));
        const QFont font = ReportFont(page.writer);
        EXPECT_TRUE(QFontInfo(font).fixedPitch()) << c.why;
        EXPECT_EQ(font.pointSizeF() == 12.0, c.twelvePoints) << c.why << ": " << font.pointSizeF();
        const ReportLayout layout = ComputeReportLayout(MeasureReportDevice(font, page.writer));
        EXPECT_GE(layout.marginLeft, 0) << c.why << ": every cell on the paper";
        EXPECT_LE(layout.textWidth, page.writer.width()) << c.why;
        if (!c.twelvePoints) {
            QFont larger = font;
            larger.setPointSizeF(font.pointSizeF() + 0.1);
            EXPECT_GT(MeasureReportDevice(larger, page.writer).textWidth, page.writer.width())
                << c.why << ": the largest size in tenths of a point that fits";
        }
    }
}

// A4 landscape at 1200 dpi less 10-point margins is 9921 - 333 = 9588 units
// high; the 12-point monospace font's line is 233 units (1.164 of its 200-unit
// em): L = (9588 - 7 * 233) / 233 - 6 = 28, so 27 rows a page.
TEST(ReportPainterTest, PdfHasOnePagePerPageOfRowsAndReadsTheHeaderForEach)
{
    const QPageLayout a4 = ReportPageLayout(QPageSize(QPageSize::A4), QPageLayout::Landscape);
    struct Case { int rows; int pages; };
    for (const Case c : {Case{0, 1}, {1, 1}, {27, 1}, {28, 2}, {3840, 143}}) {
        PdfPage page(a4);
        int headerReads = 0;
        const ReportPaintResult result =
            PaintReport(page.writer, [&] { ++headerReads; return ReportHeader{}; }, Rows(c.rows));
        ASSERT_TRUE(result.ok()) << result.error;
        EXPECT_EQ(result.pageCount, c.pages) << c.rows << " rows";
        EXPECT_EQ(headerReads, c.pages) << c.rows << " rows: the header is read for every page";
    }
}

// Wide enough for 12 points, too short for the header block and one row.
TEST(ReportPainterTest, PageTooSmallForOneRowDrawsNothing)
{
    const QPageLayout tiny(QPageSize(QSizeF(300, 30), QPageSize::Millimeter), QPageLayout::Portrait, QMarginsF());
    PdfPage page(tiny);
    const ReportPaintResult result = PaintReport(page.writer, [] { return ReportHeader{}; }, Rows(3));
    EXPECT_FALSE(result.ok());
    EXPECT_NE(result.error.find("too small"), std::string::npos) << result.error;
}

// Where the operations put ink: a frame ends before its right and bottom
// corner, as the form gives them; texts hang below their position.
TEST(ReportPainterTest, OperationsInkWhereTheFormPutsThem)
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPixelSize(40);
    using Kind = DrawOperation::Kind;
    // ink: where it is, or for a text the band it stays within (its left and right are the font's).
    struct Case { const char* why; DrawOperation operation; QRect ink; bool exact; };
    const Case cases[] = {
        {"frame from (10, 20) to (30, 50): its last column 29, its last row 49",
         {Kind::Rectangle, 10, 20, 30, 50, {}}, QRect(QPoint(10, 20), QPoint(29, 49)), true},
        {"a rule includes both ends", {Kind::Line, 10, 20, 10, 50, {}}, QRect(QPoint(10, 20), QPoint(10, 50)), true},
        {"text at y 100 hangs below it, within one line", {Kind::Text, 10, 100, 0, 0, "Wg"},
         QRect(0, 100, 400, QFontMetrics(font).height()), false},
    };
    for (const Case& c : cases) {
        QImage image(400, 200, QImage::Format_RGB32);
        image.fill(Qt::white);
        QPainter painter(&image);
        painter.setFont(font);
        painter.setPen(QPen(Qt::black, 0));
        painter.setBrush(Qt::white);
        ExecuteDrawOperations(painter, {c.operation});
        painter.end();
        QRect ink;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (image.pixel(x, y) != qRgb(255, 255, 255))
                    ink |= QRect(x, y, 1, 1);
        EXPECT_TRUE(c.exact ? ink == c.ink : c.ink.contains(ink)) << c.why;
    }
}

} // namespace
