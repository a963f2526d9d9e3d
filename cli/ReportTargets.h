#pragma once
// Where the reports of upload and report go: a CSV file (or standard output),
// a PDF file, a print queue. Each is a target behind one interface; all are
// checked before any work goes into the content, and every failure is told
// and counted the same way.

#include "CsvReport.h"
#include "EvaluationPage.h"
#include "ReportOutput.h"

#include <CLI/CLI.hpp>

#include <memory>
#include <optional>
#include <string>
#include <vector>

struct ReportContent {
    ReportHeader header;
    std::vector<RowTexts> rows;
    std::string source;   // "/dev/ttyUSB0" or "saved.csv", for the confirmation lines
    const EvaluationReport* evaluation = nullptr;   // with --limits: the PDF's Evaluation pages
};

enum class TargetError {
    None,
    Usage,    // the line asks for something impossible: exit 2
    Locked,   // the file is held or read-only: exit 3, with the locked message
    Failed,   // exit 3
};

struct TargetOutcome {
    TargetError error = TargetError::None;
    std::string reason;   // why not, for the operator
    std::string note;     // after a success, what the operator should know ("held: the queue is paused")
    bool ok() const { return error == TargetError::None; }
};

class IReportTarget {
public:
    virtual ~IReportTarget() = default;
    virtual std::string Name() const = 0;       // "CSV report"
    virtual std::string Option() const = 0;     // "--csv", for refusals of the line
    virtual std::string Place() const = 0;      // "written to out.csv", "sent to print queue Q"
    virtual std::string FilePath() const = 0;   // the file written ("-": standard output); empty for a queue
    // Tells, without writing anything, whether Write could succeed.
    virtual TargetOutcome Check() const = 0;
    virtual TargetOutcome Write(const ReportContent& content) = 0;
};

// The saved CSV report at path, read and checked; none when it is not one,
// after saying why (a usage error).
std::optional<CsvReadResult> ReadSavedReport(const std::string& path);

struct ReportTargetOptions {
    std::optional<std::string> csvPath;
    std::optional<std::string> pdfPath;
    std::optional<std::string> printQueue;
    PageChoice page;
};

// --pdf, --print, --paper, --landscape, and --csv when withCsv.
void AddReportTargetOptions(CLI::App& command, ReportTargetOptions& options, bool withCsv);

class CReportTargets {
public:
    // csvByDefault: with no target named, the CSV goes to standard output.
    CReportTargets(const ReportTargetOptions& options, bool csvByDefault);

    bool Empty() const { return m_targets.empty(); }
    bool Printed() const { return m_printed; }   // a PDF or a print job is among them: drawing is needed

    // Checks every target, that no two are the same file, and that none is
    // the file `input` (the saved report being printed again). Returns the
    // exit code of the first refusal, after saying why.
    std::optional<int> Check(const std::string* input = nullptr) const;

    // Writes every report, each on its own: one that fails does not keep the
    // others from being written. False when any failed (it says why).
    bool WriteAll(const ReportContent& content);

private:
    std::vector<std::unique_ptr<IReportTarget>> m_targets;
    bool m_printed = false;
};
