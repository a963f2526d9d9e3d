#include "ReportOutput.h"

namespace {

constexpr const char* kUnavailable =
    "this ombrel-cli was built without Qt and cannot draw the printed report (--pdf, --print)";

} // namespace

struct CReportOutputContext::Application {};

CReportOutputContext::CReportOutputContext() = default;
CReportOutputContext::~CReportOutputContext() = default;

std::string ReportOutputUnavailable()
{
    return kUnavailable;
}

std::string CheckPrintQueue(const std::string&)
{
    return kUnavailable;
}

FileWriteResult WriteReportPdf(const std::string&, const PageChoice&, const ReportHeader&,
                               const std::vector<RowTexts>&)
{
    return {FileWriteError::CannotCreate, kUnavailable};
}

PrintJobResult PrintReportToQueue(const std::string&, const PageChoice&, const ReportHeader&,
                                  const std::vector<RowTexts>&)
{
    return {PrintJobState::Refused, 0, kUnavailable};
}
