#pragma once
// The report on the printer the print dialog set up. A queue of the print
// service gets it as one job named after the report, and the service says
// whether it took it; a PDF file (Print to File) is drawn directly.

#include "EvaluationPage.h"
#include "PrintJob.h"
#include "ReportPainter.h"

class QPrinter;

// With an evaluation, its pages follow the Data Report's (the whole report is printed).
PrintJobResult PrintReport(QPrinter& printer, const ReportHeaderSource& header, const std::vector<RowTexts>& rows,
                           const EvaluationReport* evaluation = nullptr);
