#pragma once
// The Data Report followed by the "Evaluation" section on a Qt paint device,
// and the evaluation chart on any painter (the window draws the same chart).

#include "EvaluationPage.h"
#include "ReportPainter.h"

class QPainter;
class QRect;

// Draws the Data Report's pages as PaintReport does, then, when evaluation
// is given, the Evaluation section's pages after them.
ReportPaintResult PaintReportWithEvaluation(QPagedPaintDevice& device, const ReportHeaderSource& header,
                                            const std::vector<RowTexts>& rows, const EvaluationReport* evaluation);

// The same as the bytes of a PDF document.
ReportPdf RenderReportWithEvaluationPdf(const QPageLayout& pageLayout, const ReportHeader& header,
                                        const std::vector<RowTexts>& rows, const EvaluationReport* evaluation);

// The chart in box, with painter's font and pen.
void PaintEvaluationChart(QPainter& painter, const EvaluationResult& result, const QRect& box);
