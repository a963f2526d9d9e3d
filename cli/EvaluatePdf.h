#pragma once
// The Data Report followed by its Evaluation section as one PDF file. Builds
// without Qt say they cannot draw it (ReportOutputUnavailable).

#include "CsvReport.h"
#include "EvaluationPage.h"
#include "ReportOutput.h"

#include <string>
#include <vector>

FileWriteResult WriteEvaluationPdf(const std::string& path, const PageChoice& page, const ReportHeader& header,
                                   const std::vector<RowTexts>& rows, const EvaluationReport& evaluation);
