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

TEST(ReportPainterTest, PdfHasOnePagePerPageOfRowsAndReadsTheHeaderForEach)
{
    const QPageLayout a4 = ReportPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait);
    PdfPage measure(a4);
    const ReportLayout layout = ComputeReportLayout(MeasureReportDevice(ReportFont(measure.writer), measure.writer));
    const int perPage = layout.RowsPerPage();
    ASSERT_GT(perPage, 10);

    for (const int rowCount : {0, 1, perPage, perPage + 1, 3840}) {
        PdfPage page(a4);
        int headerReads = 0;
        const ReportPaintResult result =
            PaintReport(page.writer, [&] { ++headerReads; return ReportHeader{}; }, Rows(rowCount));
        ASSERT_TRUE(result.ok()) << result.error;
        EXPECT_EQ(result.pageCount, ReportPageCount(layout, static_cast<std::size_t>(rowCount)).value());
        EXPECT_EQ(headerReads, result.pageCount) << rowCount << " rows: the header is read for every page";
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

// Texts are placed by their top-left corner, so nothing is drawn above the
// y the form gives them.
TEST(ReportPainterTest, TextHangsBelowItsPosition)
{
    QImage image(400, 200, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPixelSize(40);
    painter.setFont(font);
    ExecuteDrawOperations(painter, {DrawOperation{DrawOperation::Kind::Text, 10, 100, 0, 0, "Wg"}});
    painter.end();
    int top = image.height(), bottom = -1;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) != qRgb(255, 255, 255)) {
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
    EXPECT_GE(top, 100);
    EXPECT_LT(bottom, 100 + QFontMetrics(font).height());
}

} // namespace
