#include "ReportPainter.h"

#include <QBuffer>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPdfWriter>

#include <algorithm>
#include <array>

namespace {

constexpr int kPdfResolution = 1200;         // the dots per inch of a PDF page
constexpr qreal kPdfMarginPoints = 10.0;     // as a PDF printer sets them
// Fixed pitch first, so the report's table keeps its cells.
constexpr std::array kScriptFallbackFamilies{"WenQuanYi Micro Hei Mono", "WenQuanYi Micro Hei"};

// "FixedSys" where the system has it, otherwise its fixed-pitch family; when
// that one is missing too (a wine without Courier New), the first installed
// fixed-pitch family.
QString ReportFontFamily()
{
    const QStringList families = QFontDatabase::families();
    const auto fixedSys = std::find_if(families.begin(), families.end(), [](const QString& family) {
        return family.compare(QStringLiteral("FixedSys"), Qt::CaseInsensitive) == 0;
    });
    if (fixedSys != families.end())
        return *fixedSys;
    const QFontInfo systemFixed(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    if (systemFixed.fixedPitch())
        return systemFixed.family();
    const auto fixedPitch = std::find_if(families.begin(), families.end(), [](const QString& family) {
        return QFontDatabase::isFixedPitch(family);
    });
    return fixedPitch != families.end() ? *fixedPitch : systemFixed.family();
}

QFont FontOfSize(const QString& family, int tenthsOfPoint)
{
    QFont font(family);
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
    font.setPointSizeF(tenthsOfPoint / 10.0);
    return WithScriptFallback(font);
}

int TextBlockWidth(const QFont& font, QPaintDevice& device)
{
    return QFontMetrics(font, &device).horizontalAdvance(QString(kReportTextCells, QLatin1Char('0')));
}

QString ToQString(const std::string& text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace

QFont WithScriptFallback(QFont font)
{
    QStringList families = font.families();
    if (families.isEmpty())
        families.append(font.family());
    for (const char* fallback : kScriptFallbackFamilies)
        if (!families.contains(QLatin1String(fallback), Qt::CaseInsensitive))
            families.append(QLatin1String(fallback));
    font.setFamilies(families);
    return font;
}

QFont ReportFont(QPaintDevice& device)
{
    const QString family = ReportFontFamily();
    const int printableWidth = device.width();
    if (TextBlockWidth(FontOfSize(family, kReportPointSizeTenths), device) <= printableWidth)
        return FontOfSize(family, kReportPointSizeTenths);
    // At 12 points the table would run off the paper: take the largest size
    // at which its 93 cells fit (the advance grows with the size).
    int fits = 1;
    int tooWide = kReportPointSizeTenths;
    while (tooWide - fits > 1) {
        const int middle = (fits + tooWide) / 2;
        (TextBlockWidth(FontOfSize(family, middle), device) <= printableWidth ? fits : tooWide) = middle;
    }
    return FontOfSize(family, fits);
}

ReportDeviceMetrics MeasureReportDevice(const QFont& font, QPaintDevice& device)
{
    const QFontMetrics metrics(font, &device);
    return {metrics.lineSpacing(), TextBlockWidth(font, device), device.width(), device.height()};
}

void ExecuteDrawOperations(QPainter& painter, const std::vector<DrawOperation>& operations)
{
    // Texts are placed by their top-left corner, Qt draws them on their baseline.
    const int ascent = painter.fontMetrics().ascent();
    // A run of lines goes to the paint engine in one call: a chart has thousands.
    std::vector<QLine> lines;
    const auto drawLines = [&] {
        if (!lines.empty())
            painter.drawLines(lines.data(), static_cast<int>(lines.size()));
        lines.clear();
    };
    for (const DrawOperation& operation : operations) {
        if (operation.kind == DrawOperation::Kind::Line) {
            lines.emplace_back(operation.x1, operation.y1, operation.x2, operation.y2);
            continue;
        }
        drawLines();
        switch (operation.kind) {
        case DrawOperation::Kind::Rectangle:
            // The right and bottom edges are outside the frame's corners.
            painter.drawRect(operation.x1, operation.y1, operation.x2 - operation.x1 - 1,
                             operation.y2 - operation.y1 - 1);
            break;
        case DrawOperation::Kind::Line:
            break;
        case DrawOperation::Kind::Text:
            if (!operation.text.empty())
                painter.drawText(operation.x1, operation.y1 + ascent, ToQString(operation.text));
            break;
        }
    }
    drawLines();
}

ReportPaintResult PaintReport(QPagedPaintDevice& device, const ReportHeaderSource& header,
                              const std::vector<RowTexts>& rows, ReportPageRange range)
{
    const QFont font = ReportFont(device);
    const ReportLayout layout = ComputeReportLayout(MeasureReportDevice(font, device));
    const std::optional<int> pageCount = ReportPageCount(layout, rows.size());
    if (!pageCount)
        return {0, PageTooSmallMessage(layout)};
    const int firstPage = std::max(range.firstPage, 1);
    const int lastPage = range.lastPage > 0 ? std::min(range.lastPage, *pageCount) : *pageCount;
    if (firstPage > lastPage)
        return {*pageCount, "The report has only " + std::to_string(*pageCount) + " pages."};

    QPainter painter;
    if (!painter.begin(&device))
        return {*pageCount, "The printer or file could not be opened for the report."};
    painter.setFont(font);
    painter.setPen(QPen(Qt::black, 0));   // one device unit, whatever the resolution
    painter.setBrush(Qt::white);
    for (int page = firstPage; page <= lastPage; ++page) {
        if (page != firstPage && !device.newPage())
            return {*pageCount, "The printer did not take page " + std::to_string(page) + "."};
        ExecuteDrawOperations(painter, LayoutReportPage(layout, header(), rows, page));
    }
    if (!painter.end())
        return {*pageCount, "The report could not be finished on the printer or file."};
    return {*pageCount, {}};
}

QPageLayout ReportPageLayout(const QPageSize& pageSize, QPageLayout::Orientation orientation)
{
    const QMarginsF margins(kPdfMarginPoints, kPdfMarginPoints, kPdfMarginPoints, kPdfMarginPoints);
    return QPageLayout(pageSize, orientation, margins, QPageLayout::Point);
}

ReportPdf RenderPdf(const QPageLayout& pageLayout, const ReportHeader& header,
                    const std::function<ReportPaintResult(QPagedPaintDevice&)>& paint)
{
    ReportPdf pdf;
    QBuffer buffer(&pdf.bytes);
    buffer.open(QIODevice::WriteOnly);
    {
        QPdfWriter writer(&buffer);
        writer.setResolution(kPdfResolution);
        writer.setPageLayout(pageLayout);
        writer.setTitle(QString::fromStdString(ReportDocumentName(header)));
        writer.setCreator(QStringLiteral("Ombrel"));
        pdf.result = paint(writer);
    }
    buffer.close();
    return pdf;
}

ReportPdf RenderReportPdf(const QPageLayout& pageLayout, const ReportHeader& header,
                          const std::vector<RowTexts>& rows, ReportPageRange range)
{
    return RenderPdf(pageLayout, header, [&](QPagedPaintDevice& device) {
        return PaintReport(device, [&header] { return header; }, rows, range);
    });
}
