#pragma once
// The evaluation as the texts that leave the program: the JSON and CSV
// exports and the summary table. Strings only; the front ends write them.

#include "Evaluation.h"

#include <array>
#include <string>
#include <vector>

inline constexpr int kEvaluationJsonVersion = 1;

// Where the records came from, for the exports' header.
struct EvaluationSource {
    std::string name;            // the saved report's path, or "meter"
    bool fromRowTexts = false;   // values parsed back from a saved report's texts
};

std::string EvaluationJson(const EvaluationSource& source, const LimitSet& set,
                           const EvaluationParameters& parameters, const EvaluationResult& result);

// The parameters and the limit set in its header lines, then one line per
// record: No., Label, Wavelength, Power dBm, Ref dBm, Loss, Limit, Margin, Result. CR LF line ends.
std::string EvaluationCsv(const EvaluationSource& source, const LimitSet& set,
                          const EvaluationParameters& parameters, const EvaluationResult& result);

// The per-record columns, as the window and the printed table show them.
inline constexpr std::array<const char*, 9> kEvaluationColumns{
    "No.", "Label", "Wavelength", "Power (dBm)", "Ref (dBm)", "Loss (dB)", "Limit (dB)", "Margin (dB)", "Result"};
std::array<std::string, kEvaluationColumns.size()> RecordCells(const RecordResult& record);
// The result column: the verdict in words with its note ("NO VERDICT (no limit for 1625 nm)").
std::string ResultText(const RecordResult& record);

// The summary per wavelength as a table; the first row holds the captions.
inline constexpr std::size_t kSummaryColumnCount = 11;
std::vector<std::array<std::string, kSummaryColumnCount>> SummaryTable(const EvaluationResult& result);
// The summary table in aligned columns for a fixed-pitch font (captions on
// two lines, at most 93 characters a line for common values), without the overall line.
std::vector<std::string> SummaryTextLines(const EvaluationResult& result);
// The same and the overall line, for a terminal.
std::string SummaryText(const EvaluationResult& result);
// The per-record table in aligned columns: two caption lines, then one line per record.
std::vector<std::string> RecordTextLines(const EvaluationResult& result);
