#include "EvaluatePdf.h"

#include "EvaluationPainter.h"

#include <QLocale>

FileWriteResult WriteEvaluationPdf(const std::string& path, const PageChoice& page, const ReportHeader& header,
                                   const std::vector<RowTexts>& rows, const EvaluationReport& evaluation)
{
    // The paper named, else the locale's: Letter where it measures in inches.
    QPageSize::PageSizeId paper = QLocale::system().measurementSystem() == QLocale::ImperialUSSystem
                                      ? QPageSize::Letter : QPageSize::A4;
    if (page.paper == "Letter")
        paper = QPageSize::Letter;
    else if (page.paper == "Legal")
        paper = QPageSize::Legal;
    else if (page.paper == "A4")
        paper = QPageSize::A4;
    const ReportPdf pdf = RenderReportWithEvaluationPdf(
        ReportPageLayout(QPageSize(paper), page.landscape ? QPageLayout::Landscape : QPageLayout::Portrait), header,
        rows, &evaluation);
    if (!pdf.result.ok())
        return {FileWriteError::WriteFailed, pdf.result.error};
    return WriteFileSafely(path, pdf.bytes.toStdString());
}
