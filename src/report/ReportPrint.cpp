#include "ReportPrint.h"

#include "EvaluationPainter.h"

#include <QPrinter>
#include <QPrinterInfo>

#ifndef OMBREL_PRINT_JOBS
// Without the print service's library, what Qt knows of the system's printers.
std::string CheckPrintQueue(const std::string& queue)
{
    if (!QPrinterInfo::printerInfo(QString::fromStdString(queue)).isNull())
        return {};
    const QStringList known = QPrinterInfo::availablePrinterNames();
    return "there is no print queue named '" + queue + "'"
        + (known.isEmpty() ? std::string(" (the print system knows none)")
                           : " (known: " + known.join(QStringLiteral(", ")).toStdString() + ")");
}
#endif

PrintJobResult PrintReport(QPrinter& printer, const ReportHeaderSource& header, const std::vector<RowTexts>& rows,
                           const EvaluationReport* evaluation)
{
    const ReportHeader named = header();
    printer.setDocName(QString::fromStdString(ReportDocumentName(named)));
    const ReportPageRange range{printer.fromPage(), printer.toPage()};
#ifdef OMBREL_PRINT_JOBS
    // Qt's own print engine would hand the job over without telling whether
    // the queue took it. Where there is no libcups (Windows), it is the way.
    if (printer.outputFormat() == QPrinter::NativeFormat) {
        const ReportPdf pdf = evaluation ? RenderReportWithEvaluationPdf(printer.pageLayout(), named, rows, evaluation)
                                         : RenderReportPdf(printer.pageLayout(), named, rows, range);
        if (!pdf.result.ok())
            return {PrintJobState::Refused, 0, pdf.result.error};
        PrintJobOptions options{{"media", printer.pageLayout().pageSize().key().toStdString()},
                                {"copies", std::to_string(printer.copyCount())},
                                {"multiple-document-handling", printer.collateCopies()
                                                                   ? "separate-documents-collated-copies"
                                                                   : "separate-documents-uncollated-copies"}};
        if (printer.duplex() == QPrinter::DuplexLongSide)
            options.emplace_back("sides", "two-sided-long-edge");
        else if (printer.duplex() == QPrinter::DuplexShortSide)
            options.emplace_back("sides", "two-sided-short-edge");
        return SubmitPrintJob(printer.printerName().toStdString(), ReportDocumentName(named),
                              pdf.bytes.toStdString(), options);
    }
#endif
    const ReportPaintResult painted = evaluation ? PaintReportWithEvaluation(printer, header, rows, evaluation)
                                                 : PaintReport(printer, header, rows, range);
    if (!painted.ok())
        return {PrintJobState::Refused, 0, painted.error};
    if (printer.printerState() == QPrinter::Error)
        return {PrintJobState::Refused, 0, "the printer refused the job"};
    return {PrintJobState::Accepted, 0, {}};
}
