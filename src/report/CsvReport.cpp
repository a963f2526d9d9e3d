#include "CsvReport.h"

#include <cstdio>

namespace {

// Every line ends in CR LF on every platform: the file is read on Windows too.
constexpr const char* kLineEnd = "\r\n";
constexpr const char* kCellSeparator = ",\t,";
constexpr const char* kColumnHeader = "No.,\t,Wavelength,\t,Power,\t,\tRef,\t,Frequency";

} // namespace

std::string FormatCsvReport(const ReportHeader& header, const std::vector<RowTexts>& rows)
{
    std::string text;
    const auto line = [&text](const std::string& content) {
        text += content;
        text += kLineEnd;
    };
    line(",,,,Meter Data Report");
    line("");
    line("Company Name:" + header.companyName);
    line("User Name:" + header.userName);
    line("Note:" + header.note);
    line(header.dateTimePane);
    line(header.useTimePane);
    line("");
    line("");
    line(kColumnHeader);
    // Cells are written as they are, unquoted: a comma in a cell splits it.
    for (const RowTexts& row : rows) {
        std::string rowLine = "\t" + row.cells[0];
        for (std::size_t column = 1; column < row.cells.size(); ++column)
            rowLine += kCellSeparator + row.cells[column];
        line(rowLine);
    }
    return text;
}

FileWriteResult WriteCsvReport(const std::string& path, const ReportHeader& header,
                               const std::vector<RowTexts>& rows)
{
    return WriteFileSafely(path, FormatCsvReport(header, rows));
}

std::string DefaultReportFileName(const std::tm& localDate)
{
    char name[64];
    std::snprintf(name, sizeof name, "Meter Data Report_%d%2d%2d.csv",
                  localDate.tm_year + 1900, localDate.tm_mon + 1, localDate.tm_mday);
    return name;
}
