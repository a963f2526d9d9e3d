#pragma once
// Reports: the CSV file and the report page layout. No widgets here.

#include "RowTexts.h"
#include "SafeWrite.h"

#include <ctime>
#include <string>
#include <vector>

struct ReportHeader {
    std::string companyName;
    std::string userName;
    std::string note;
    std::string dateTimePane;   // status pane 1 as shown
    std::string useTimePane;    // status pane 2 as shown
};

// The exact bytes of the report file (CR LF line ends, unquoted fields).
std::string FormatCsvReport(const ReportHeader& header, const std::vector<RowTexts>& rows);

// A report read back from its bytes; error says why the bytes are not a
// complete report as FormatCsvReport writes it.
struct CsvReadResult {
    ReportHeader header;
    std::vector<RowTexts> rows;
    std::string error;
    bool ok() const { return error.empty(); }
};
CsvReadResult ParseCsvReport(const std::string& bytes);

// Writes the report next to path and replaces path only once the new file is complete.
FileWriteResult WriteCsvReport(const std::string& path, const ReportHeader& header,
                               const std::vector<RowTexts>& rows);

// "Meter Data Report_%d%2d%2d.csv" of the given local date (blank-padded month and day).
std::string DefaultReportFileName(const std::tm& localDate);
