#include "EvaluationPainter.h"

#include <QFontMetrics>
#include <QPagedPaintDevice>
#include <QPainter>

ReportPaintResult PaintReportWithEvaluation(QPagedPaintDevice& device, const ReportHeaderSource& header,
                                            const std::vector<RowTexts>& rows, const EvaluationReport* evaluation)
{
    const QFont font = ReportFont(device);
    const ReportLayout layout = ComputeReportLayout(MeasureReportDevice(font, device));
    const std::optional<int> dataPages = ReportPageCount(layout, rows.size());
    if (!dataPages)
        return {0, PageTooSmallMessage(layout)};
    const std::vector<std::vector<DrawOperation>> evaluationPages =
        evaluation ? LayoutEvaluationPages(layout, *evaluation) : std::vector<std::vector<DrawOperation>>{};
    const int pageCount = *dataPages + static_cast<int>(evaluationPages.size());

    QPainter painter;
    if (!painter.begin(&device))
        return {pageCount, "The printer or file could not be opened for the report."};
    painter.setFont(font);
    painter.setPen(QPen(Qt::black, 0));   // one device unit, whatever the resolution
    painter.setBrush(Qt::white);
    for (int page = 1; page <= pageCount; ++page) {
        if (page != 1 && !device.newPage())
            return {pageCount, "The printer did not take page " + std::to_string(page) + "."};
        ExecuteDrawOperations(painter, page <= *dataPages
                                           ? LayoutReportPage(layout, header(), rows, page)
                                           : evaluationPages[static_cast<std::size_t>(page - *dataPages - 1)]);
    }
    if (!painter.end())
        return {pageCount, "The report could not be finished on the printer or file."};
    return {pageCount, {}};
}

ReportPdf RenderReportWithEvaluationPdf(const QPageLayout& pageLayout, const ReportHeader& header,
                                        const std::vector<RowTexts>& rows, const EvaluationReport* evaluation)
{
    return RenderPdf(pageLayout, header, [&](QPagedPaintDevice& device) {
        return PaintReportWithEvaluation(device, [&header] { return header; }, rows, evaluation);
    });
}

void PaintEvaluationChart(QPainter& painter, const EvaluationResult& result, const QRect& box)
{
    const int lineHeight = painter.fontMetrics().lineSpacing();
    ExecuteDrawOperations(painter, LayoutEvaluationChart(result, {box.left(), box.top(), box.width(), box.height()},
                                                         lineHeight));
}
