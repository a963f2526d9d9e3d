#include "CsvReport.h"

#include "ReportText.h"

#include <algorithm>
#include <cstdio>

namespace {

// Every line ends in CR LF on every platform: the file is read on Windows too.
constexpr const char* kLineEnd = "\r\n";
constexpr const char* kCellSeparator = ",\t,";
constexpr const char* kColumnHeader = "No.,\t,Wavelength,\t,Power,\t,\tRef,\t,Frequency";

constexpr const char* kTitleLine = ",,,,Meter Data Report";
constexpr std::size_t kHeaderLineCount = 10;

enum class SplitResult { Complete, Truncated, LineTooLong };

// The lines of text, each without its CR LF.
SplitResult SplitLines(const std::string& bytes, std::vector<std::string>& lines)
{
    std::size_t start = 0;
    while (start < bytes.size()) {
        const std::size_t end = bytes.find(kLineEnd, start);
        if ((end == std::string::npos ? bytes.size() : end) - start > kMaxReportLineBytes)
            return SplitResult::LineTooLong;
        if (end == std::string::npos)
            return SplitResult::Truncated;
        lines.push_back(bytes.substr(start, end - start));
        start = end + 2;
    }
    return SplitResult::Complete;
}

std::vector<std::string> SplitCells(const std::string& line)
{
    std::vector<std::string> cells;
    const std::string separator = kCellSeparator;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = line.find(separator, start);
        cells.push_back(line.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos)
            return cells;
        start = end + separator.size();
    }
}

bool TakeField(const std::string& line, const std::string& label, std::string& field)
{
    if (line.rfind(label, 0) != 0)
        return false;
    field = line.substr(label.size());
    return true;
}

CsvReadResult Refused(std::string reason)
{
    CsvReadResult result;
    result.error = std::move(reason);
    return result;
}

} // namespace

CsvReadResult ParseCsvReport(const std::string& bytes)
{
    std::vector<std::string> lines;
    const SplitResult split = SplitLines(bytes, lines);
    if (split == SplitResult::LineTooLong)
        return Refused("not a CSV report saved by Ombrel: line " + std::to_string(lines.size() + 1)
                       + " is longer than any line of a report");
    if (lines.empty() || lines[0] != kTitleLine)
        return Refused("not a CSV report saved by Ombrel: it does not begin with the report's title line");
    if (lines.size() < kHeaderLineCount)
        return Refused("the report is truncated: it ends within its header lines");

    CsvReadResult result;
    if (!lines[1].empty() || !TakeField(lines[2], "Company Name:", result.header.companyName)
        || !TakeField(lines[3], "User Name:", result.header.userName)
        || !TakeField(lines[4], "Note:", result.header.note) || !lines[7].empty() || !lines[8].empty()
        || lines[9] != kColumnHeader)
        return Refused("not a CSV report saved by Ombrel: its header lines differ from the report's");
    result.header.dateTimePane = lines[5];
    result.header.useTimePane = lines[6];

    for (std::size_t index = kHeaderLineCount; index < lines.size(); ++index) {
        const std::size_t row = index - kHeaderLineCount;
        const std::string& line = lines[index];
        std::vector<std::string> cells = line.empty() || line[0] != '\t' ? std::vector<std::string>{}
                                                                          : SplitCells(line.substr(1));
        if (cells.size() != COLUMN_COUNT || cells[COL_NO] != std::to_string(row + 1))
            return Refused("line " + std::to_string(index + 1) + " is not row " + std::to_string(row + 1)
                           + " of the table");
        RowTexts texts;
        std::move(cells.begin(), cells.end(), texts.cells.begin());
        result.rows.push_back(std::move(texts));
    }
    if (split == SplitResult::Truncated)
        return Refused("the report is truncated: its last line is incomplete");
    return result;
}

std::string FormatCsvReport(const ReportHeader& header, const std::vector<RowTexts>& rows)
{
    std::string text;
    const auto line = [&text](const std::string& content) {
        text += content;
        text += kLineEnd;
    };
    line(kTitleLine);
    line("");
    // Typed texts may hold line breaks (pasted, or given on a command line).
    line("Company Name:" + BlankControls(header.companyName));
    line("User Name:" + BlankControls(header.userName));
    line("Note:" + BlankControls(header.note));
    line(BlankControls(header.dateTimePane));
    line(BlankControls(header.useTimePane));
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

std::size_t Utf8CharacterCount(const std::string& text)
{
    // Every byte but the continuation bytes 10xxxxxx starts a character.
    return static_cast<std::size_t>(
        std::count_if(text.begin(), text.end(), [](char byte) { return (static_cast<unsigned char>(byte) & 0xC0) != 0x80; }));
}

std::string ReportDocumentName(const ReportHeader& header)
{
    const std::string company = BlankControls(header.companyName);
    const std::size_t first = company.find_first_not_of(' ');
    if (first == std::string::npos)
        return "Data Report";
    return "Data Report - " + company.substr(first, company.find_last_not_of(' ') + 1 - first);
}

std::string DefaultReportFileName(const std::tm& localDate)
{
    char name[64];
    std::snprintf(name, sizeof name, "Meter Data Report_%d%2d%2d.csv",
                  localDate.tm_year + 1900, localDate.tm_mon + 1, localDate.tm_mday);
    return name;
}
