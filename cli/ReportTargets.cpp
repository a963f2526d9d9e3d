#include "ReportTargets.h"

#include "EvaluatePdf.h"
#include "ExitCodes.h"
#include "SafeWrite.h"

#include <cstdio>

namespace {

TargetOutcome FromFileResult(const FileWriteResult& result, const std::string& option) {
    switch (result.error) {
    case FileWriteError::None:
        return {};
    case FileWriteError::NoPath:
        return {TargetError::Usage, option + " needs a file name ('-' for standard output)", {}};
    case FileWriteError::Locked:
        return {TargetError::Locked, result.reason, {}};
    default:
        return {TargetError::Failed, result.reason, {}};
    }
}

TargetOutcome Unavailable() {
    if (std::string why = ReportOutputUnavailable(); !why.empty())
        return {TargetError::Usage, std::move(why), {}};
    return {};
}

class CCsvTarget : public IReportTarget {
public:
    explicit CCsvTarget(std::string path) : m_path(std::move(path)) {}
    std::string Name() const override { return "CSV report"; }
    std::string Option() const override { return "--csv"; }
    std::string Place() const override {
        return "written to " + (m_path == kStandardOutputPath ? std::string("standard output") : m_path);
    }
    std::string FilePath() const override { return m_path; }
    TargetOutcome Check() const override { return FromFileResult(CheckOutputTarget(m_path), Option()); }
    TargetOutcome Write(const ReportContent& content) override {
        return FromFileResult(WriteCsvReport(m_path, content.header, content.rows), Option());
    }

private:
    std::string m_path;
};

class CPdfTarget : public IReportTarget {
public:
    CPdfTarget(std::string path, const PageChoice& page) : m_path(std::move(path)), m_page(page) {}
    std::string Name() const override { return "PDF report"; }
    std::string Option() const override { return "--pdf"; }
    std::string Place() const override { return "written to " + m_path; }
    std::string FilePath() const override { return m_path; }
    TargetOutcome Check() const override {
        if (TargetOutcome unavailable = Unavailable(); !unavailable.ok())
            return unavailable;
        return FromFileResult(CheckOutputTarget(m_path), Option());
    }
    TargetOutcome Write(const ReportContent& content) override {
        return FromFileResult(content.evaluation ? WriteEvaluationPdf(m_path, m_page, content.header, content.rows,
                                                                      *content.evaluation)
                                                 : WriteReportPdf(m_path, m_page, content.header, content.rows),
                              Option());
    }

private:
    std::string m_path;
    PageChoice m_page;
};

class CPrintTarget : public IReportTarget {
public:
    CPrintTarget(std::string queue, const PageChoice& page) : m_queue(std::move(queue)), m_page(page) {}
    std::string Name() const override { return "Data Report"; }
    std::string Option() const override { return "--print"; }
    std::string Place() const override { return "sent to print queue " + m_queue; }
    std::string FilePath() const override { return {}; }
    TargetOutcome Check() const override {
        if (TargetOutcome unavailable = Unavailable(); !unavailable.ok())
            return unavailable;
        if (std::string why = CheckPrintQueue(m_queue); !why.empty())
            return {TargetError::Failed, std::move(why), {}};
        return {};
    }
    TargetOutcome Write(const ReportContent& content) override {
        const PrintJobResult job = PrintReportToQueue(m_queue, m_page, content.header, content.rows);
        switch (job.state) {
        case PrintJobState::Accepted:
            return {TargetError::None, {}, "job " + std::to_string(job.jobId)};
        case PrintJobState::Held:
            return {TargetError::None, {}, "job " + std::to_string(job.jobId) + ", " + kPrintJobHeldNote};
        default:
            return {TargetError::Failed, job.reason, {}};
        }
    }

private:
    std::string m_queue;
    PageChoice m_page;
};

void SayLocked(const TargetOutcome& outcome) {
    if (outcome.error == TargetError::Locked)
        std::fprintf(stderr, "%s\n", kDocumentLockedMessage);
}

} // namespace

std::optional<CsvReadResult> ReadSavedReport(const std::string& path) {
    // Only a regular file of a saved report's size is read: a FIFO would
    // block, a device or a huge file would fill the memory.
    const FileReadResult bytes = ReadReportFile(path, kMaxReportFileBytes);
    if (!bytes.ok()) {
        std::fprintf(stderr, "ombrel-cli: %s %s\n", path.c_str(), bytes.error.c_str());
        return std::nullopt;
    }
    CsvReadResult saved = ParseCsvReport(bytes.content);
    if (!saved.ok()) {
        std::fprintf(stderr, "ombrel-cli: %s: %s\n", path.c_str(), saved.error.c_str());
        return std::nullopt;
    }
    return saved;
}

void AddReportTargetOptions(CLI::App& command, ReportTargetOptions& options, bool withCsv) {
    if (withCsv)
        command
            .add_option("--csv", options.csvPath,
                        "where the CSV report goes ('-': standard output); an existing file is replaced only "
                        "once the new one is complete")
            ->type_name("FILE");
    command
        .add_option("--pdf", options.pdfPath,
                    "write the printed Data Report as a PDF file; an existing file is replaced only once the new "
                    "one is complete")
        ->type_name("FILE");
    command
        .add_option("--print", options.printQueue,
                    "print the Data Report on this print queue, without a dialog; it counts as printed once the "
                    "queue has accepted the job (a paused queue holds it)")
        ->type_name("QUEUE");
    command
        .add_option("--paper", options.page.paper,
                    "paper of the printed report: A4, Letter or Legal (default: the locale's, A4 where it has "
                    "none; on a print queue, the queue's)")
        ->type_name("SIZE")
        ->check(CLI::IsMember({"A4", "Letter", "Legal"}));
    command.add_flag("--landscape", options.page.landscape, "print the report across the page");
}

CReportTargets::CReportTargets(const ReportTargetOptions& options, bool csvByDefault) {
    if (options.csvPath || (csvByDefault && !options.pdfPath && !options.printQueue))
        m_targets.push_back(std::make_unique<CCsvTarget>(options.csvPath.value_or(kStandardOutputPath)));
    m_printed = options.pdfPath || options.printQueue;
    if (options.pdfPath)
        m_targets.push_back(std::make_unique<CPdfTarget>(*options.pdfPath, options.page));
    if (options.printQueue)
        m_targets.push_back(std::make_unique<CPrintTarget>(*options.printQueue, options.page));
}

std::optional<int> CReportTargets::Check(const std::string* input) const {
    for (const auto& target : m_targets) {
        const TargetOutcome outcome = target->Check();
        if (outcome.ok())
            continue;
        if (outcome.error == TargetError::Usage) {
            std::fprintf(stderr, "ombrel-cli: %s\n", outcome.reason.c_str());
            return EXIT_USAGE;
        }
        SayLocked(outcome);
        std::fprintf(stderr, "The %s cannot be %s: %s\n", target->Name().c_str(), target->Place().c_str(),
                     outcome.reason.c_str());
        return EXIT_WRITE_FAILED;
    }
    // Two reports into one file would leave only the last; a PDF over the
    // saved report it is made from would destroy the only copy.
    for (std::size_t i = 0; i < m_targets.size(); ++i) {
        const std::string path = m_targets[i]->FilePath();
        if (path.empty())
            continue;
        if (input != nullptr && SameFile(path, *input)) {
            std::fprintf(stderr, "ombrel-cli: %s %s is the saved report %s itself: it would be replaced\n",
                         m_targets[i]->Option().c_str(), path.c_str(), input->c_str());
            return EXIT_USAGE;
        }
        for (std::size_t j = i + 1; j < m_targets.size(); ++j) {
            if (!m_targets[j]->FilePath().empty() && SameFile(path, m_targets[j]->FilePath())) {
                std::fprintf(stderr, "ombrel-cli: %s %s and %s %s are the same file: one report would replace "
                                     "the other\n",
                             m_targets[i]->Option().c_str(), path.c_str(), m_targets[j]->Option().c_str(),
                             m_targets[j]->FilePath().c_str());
                return EXIT_USAGE;
            }
        }
    }
    return std::nullopt;
}

bool CReportTargets::WriteAll(const ReportContent& content) {
    bool written = true;
    for (const auto& target : m_targets) {
        const TargetOutcome outcome = target->Write(content);
        if (!outcome.ok()) {
            SayLocked(outcome);
            std::fprintf(stderr, "The %s was not %s: %s\n", target->Name().c_str(), target->Place().c_str(),
                         outcome.reason.c_str());
            written = false;
            continue;
        }
        const std::string note = outcome.note.empty() ? std::string() : " (" + outcome.note + ")";
        std::fprintf(stderr, "%s of %zu records from %s %s%s\n", target->Name().c_str(), content.rows.size(),
                     content.source.c_str(), target->Place().c_str(), note.c_str());
    }
    return written;
}
