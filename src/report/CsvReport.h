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

// The window's header fields hold at most this many characters (a line
// edit's own limit); the command line takes no more.
inline constexpr std::size_t kMaxHeaderFieldChars = 32767;
// No line of a saved report is longer: "Company Name:" and a full field of
// four-byte characters.
inline constexpr std::size_t kMaxReportLineBytes = 13 + 4 * kMaxHeaderFieldChars;
// No saved report is larger; 3840 rows take about 300 KB.
inline constexpr std::size_t kMaxReportFileBytes = 16u << 20;

std::size_t Utf8CharacterCount(const std::string& text);

// The name of the printed document (print job, PDF title): "Data Report",
// followed by the company name when there is one.
std::string ReportDocumentName(const ReportHeader& header);

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
