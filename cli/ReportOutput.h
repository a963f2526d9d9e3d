#pragma once
// The printed report from the command line: as a PDF file or on a print
// queue. Builds with Qt draw it; a build without Qt says it cannot.

#include "CsvReport.h"
#include "PrintJob.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

// The page the report is drawn on; no paper: the locale's (A4 where it has none).
struct PageChoice {
    std::optional<std::string> paper;   // "A4", "Letter" or "Legal"
    bool landscape = false;
};

inline constexpr const char* kPaperNames[] = {"A4", "Letter", "Legal"};

// What drawing reports needs for the program's run (fonts and printers
// come with Qt's GUI application): made in main before any report is drawn,
// gone before the program's statics.
class CReportOutputContext {
public:
    CReportOutputContext();
    ~CReportOutputContext();
    CReportOutputContext(const CReportOutputContext&) = delete;
    CReportOutputContext& operator=(const CReportOutputContext&) = delete;

private:
    struct Application;
    std::unique_ptr<Application> m_application;
};

// Empty when this build can draw reports, otherwise why not.
std::string ReportOutputUnavailable();

// Writes the report as a PDF file, replacing path only once it is complete.
FileWriteResult WriteReportPdf(const std::string& path, const PageChoice& page, const ReportHeader& header,
                               const std::vector<RowTexts>& rows);

// Sends the report to a print queue as one job named after the report, on
// the queue's paper unless one is chosen; the print service says whether it
// took the job. CheckPrintQueue (PrintJob.h) tells before the transfer.
PrintJobResult PrintReportToQueue(const std::string& queue, const PageChoice& page, const ReportHeader& header,
                               const std::vector<RowTexts>& rows);
