#include "EvaluatePdf.h"

FileWriteResult WriteEvaluationPdf(const std::string&, const PageChoice&, const ReportHeader&,
                                   const std::vector<RowTexts>&, const EvaluationReport&)
{
    return {FileWriteError::CannotCreate, ReportOutputUnavailable()};
}
