#pragma once
// Draws the report page form on a Qt paint device: a printer, the print
// preview, a PDF writer or an image. The form itself comes from ReportPage.

#include "CsvReport.h"
#include "ReportPage.h"

#include <QFont>
#include <QPageLayout>

#include <functional>
#include <string>
#include <vector>

class QPagedPaintDevice;
class QPaintDevice;
class QPainter;

// The font with the families that stand in, character by character, for what
// it lacks: Chinese, Japanese and Korean text and the full-width forms ("！")
// that Latin fonts do not have. Typed text in any script then shows, and
// prints, instead of an empty box or nothing.
QFont WithScriptFallback(QFont font);

// Header texts as they stand at the moment a page is drawn.
using ReportHeaderSource = std::function<ReportHeader()>;

// The report font for a device: 12-point "FixedSys" where it exists,
// otherwise the installed monospace family; smaller, in tenths of a point,
// only where 93 cells at 12 points are wider than the printable width.
QFont ReportFont(QPaintDevice& device);

ReportDeviceMetrics MeasureReportDevice(const QFont& font, QPaintDevice& device);

// Runs the operations of one page with painter's current device.
void ExecuteDrawOperations(QPainter& painter, const std::vector<DrawOperation>& operations);

struct ReportPaintResult {
    int pageCount = 0;   // pages the report takes on the device
    std::string error;   // why nothing was drawn; empty on success
    bool ok() const { return error.empty(); }
};

// Pages firstPage..lastPage (1-based, clipped to the report; 0 = to the end).
struct ReportPageRange {
    int firstPage = 1;
    int lastPage = 0;
};

// Draws every page of the report on device, a new device page per report
// page. The header source is read afresh for every page.
ReportPaintResult PaintReport(QPagedPaintDevice& device, const ReportHeaderSource& header,
                              const std::vector<RowTexts>& rows, ReportPageRange range = {});

// The page a report is drawn on when nothing else is chosen: the given size
// and orientation with the margins of a PDF printer.
QPageLayout ReportPageLayout(const QPageSize& pageSize, QPageLayout::Orientation orientation);

// The report as the bytes of a PDF document.
struct ReportPdf {
    QByteArray bytes;
    ReportPaintResult result;
};
// Its title is the report's document name.
// A PDF document drawn by paint, titled with the report's document name.
ReportPdf RenderPdf(const QPageLayout& pageLayout, const ReportHeader& header,
                    const std::function<ReportPaintResult(QPagedPaintDevice&)>& paint);
ReportPdf RenderReportPdf(const QPageLayout& pageLayout, const ReportHeader& header,
                          const std::vector<RowTexts>& rows, ReportPageRange range = {});
