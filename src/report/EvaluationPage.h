#pragma once
// The printed "Evaluation" section that may follow the Data Report: its own
// pages as drawing operations in the Data Report's page form (same font,
// block width and margins). Pure: no Qt, no device.

#include "Evaluation.h"
#include "EvaluationExport.h"
#include "ReportPage.h"

#include <string>
#include <vector>

// What the section shows: where the values came from, the limit set and the
// parameters with every number, and the results.
struct EvaluationReport {
    EvaluationSource source;
    LimitSet set;
    EvaluationParameters parameters;
    EvaluationResult result;
};

// A box on the page or the screen, in device units.
struct ChartBox {
    int left = 0, top = 0, width = 0, height = 0;
};

// Loss per record (a square when it passes or has no verdict, a cross when it
// fails) against the limit of its wavelength (a dash per record), with the
// axis values; lineHeight is that of the font the texts are drawn with.
std::vector<DrawOperation> LayoutEvaluationChart(const EvaluationResult& result, const ChartBox& box, int lineHeight);

// Every page of the section, in order: the first with the title, the
// parameters, the limit set, the summary and the chart; then the per-record
// table. Empty when the page cannot hold a line.
std::vector<std::vector<DrawOperation>> LayoutEvaluationPages(const ReportLayout& layout, const EvaluationReport& report);

// Splits text at blanks into lines of at most `cells` characters.
std::vector<std::string> WrapText(const std::string& text, std::size_t cells);
