// ombrel-cli evaluate: the records of a saved report, or of an archived
// upload, against a limit set, with the summary per wavelength on stdout,
// the exports asked for, and the Data Report followed by its Evaluation
// pages as a PDF.

#include "Archive.h"
#include "CliCommand.h"
#include "EvaluateOptions.h"
#include "ExitCodes.h"
#include "HistoryArchive.h"
#include "LimitSetFile.h"
#include "ReportTargets.h"
#include "SafeWrite.h"
#include "StoredEvaluation.h"

#include <cstdio>

namespace {

// What is judged: the rows for the Data Report, and the values judged.
struct EvaluatedRecords {
    ReportContent content;
    std::vector<Measurement> measurements;
    EvaluationSource source;
    std::optional<PreparedEvaluation> stored;   // what an archived upload was last evaluated with
};

class CEvaluateCommand : public CCliCommand {
public:
    CLI::App* Declare(CLI::App& program) override {
        CLI::App* evaluate = program.add_subcommand(
            "evaluate", "evaluate the records of a CSV report Ombrel saved, or of an archived upload, against a "
                        "limit set: loss, limit, margin and PASS/FAIL per record, a summary per wavelength on "
                        "standard output");
        CLI::Option* saved =
            evaluate->add_option("SAVED", m_savedReport, "the CSV report, as Ombrel saved it")->type_name("SAVED.csv");
        CLI::Option* upload = evaluate->add_option("--upload", m_uploadId,
                                                   "instead of SAVED: the archived upload with this ID (as "
                                                   "'ombrel-cli history' lists it), judged from its records as read "
                                                   "with what it was last evaluated with")
                                  ->type_name("ID")
                                  ->check(CLI::Validator(CLI::PositiveNumber).description(""));
        saved->excludes(upload);
        AddArchiveOption(*evaluate, m_archive);
        AddEvaluateOptions(*evaluate, m_options, "--csv");
        evaluate->add_option("--pdf", m_targetOptions.pdfPath,
                             "write the Data Report followed by its Evaluation pages as a PDF file; an existing "
                             "file is replaced only once the new one is complete")
            ->type_name("FILE");
        evaluate->add_option("--paper", m_targetOptions.page.paper,
                             "paper of the PDF: A4, Letter or Legal (default: the locale's, A4 where it has none)")
            ->type_name("SIZE")
            ->check(CLI::IsMember({"A4", "Letter", "Legal"}));
        evaluate->add_flag("--landscape", m_targetOptions.page.landscape, "draw the PDF across the page");
        evaluate->footer(kEvaluationHelp);
        return evaluate;
    }

    int Run(CCliContext& context) override {
        if (m_savedReport.empty() == !m_uploadId) {
            std::fprintf(stderr, "ombrel-cli: evaluate needs SAVED.csv or --upload ID\n");
            return EXIT_USAGE;
        }
        EvaluatedRecords records;
        if (const std::optional<int> refused = m_uploadId ? ReadUpload(records) : ReadSaved(records))
            return *refused;
        if (!m_options.limits && !records.stored) {
            std::fprintf(stderr, "ombrel-cli: %s: give --limits NAME|FILE\n",
                         m_uploadId ? ("upload " + std::to_string(*m_uploadId) + " was never evaluated").c_str()
                                    : "evaluate needs a limit set");
            return EXIT_USAGE;
        }
        PreparedEvaluation prepared;
        if (const std::optional<int> refused =
                PrepareEvaluation(m_options, "--csv", prepared, records.stored ? &*records.stored : nullptr))
            return *refused;
        CReportTargets pdf(m_targetOptions, false);
        if (pdf.Printed())
            context.PrepareReportDrawing();
        if (const std::optional<int> refused = pdf.Check(m_uploadId ? nullptr : &m_savedReport))
            return *refused;

        EvaluationReport report;
        report.source = records.source;
        report.set = prepared.set;
        report.parameters = prepared.parameters;
        report.result = Evaluate(records.measurements, prepared.set, prepared.parameters);

        records.content.evaluation = &report;
        const bool pdfWritten = pdf.WriteAll(records.content);
        const bool pdfToStdout = m_targetOptions.pdfPath == std::string(kStandardOutputPath);
        const int verdict = FinishEvaluation(m_options, prepared, report.source, report.result, pdfToStdout);
        return pdfWritten ? verdict : EXIT_WRITE_FAILED;
    }

private:
    std::optional<int> ReadSaved(EvaluatedRecords& records) {
        const std::optional<CsvReadResult> saved = ReadSavedReport(m_savedReport);
        if (!saved)
            return EXIT_USAGE;
        records.content = {saved->header, saved->rows, m_savedReport};
        for (const RowTexts& row : saved->rows)
            records.measurements.push_back(MeasurementFromRowTexts(row));
        records.source = {m_savedReport, true};
        return std::nullopt;
    }

    // The archive is only read. Its refusals are usage errors: 6 and 7 are the verdict's.
    std::optional<int> ReadUpload(EvaluatedRecords& records) {
        const std::string path = m_archive.Resolve();
        if (path.empty()) {
            std::fprintf(stderr, "ombrel-cli: no folder for the archive is known: give --archive PATH\n");
            return EXIT_USAGE;
        }
        CArchive archive;
        const ArchiveOpenResult opened = archive.Open(path, ArchiveAccess::Read);
        if (!opened.ok) {
            std::fprintf(stderr, "%s\n", opened.notice.c_str());
            return EXIT_USAGE;
        }
        const std::optional<ArchivedUpload> upload = archive.LoadUpload(*m_uploadId);
        if (!upload) {
            std::fprintf(stderr, "ombrel-cli: %s (%s)\n", archive.LastError().c_str(), path.c_str());
            return EXIT_USAGE;
        }
        const std::string name = "upload " + std::to_string(*m_uploadId);
        records.content = {upload->info.header, upload->rows, name + " of the archive"};
        std::vector<std::optional<MeterRecord>> read(upload->records.size());
        for (std::size_t i = 0; i < read.size(); ++i) {
            if (i >= upload->unread.size() || !upload->unread[i])
                read[i] = upload->records[i];
        }
        records.measurements = MeasurementsFromRecords(read);
        records.source = {name + " of the archive", false};
        if (upload->evaluation) {
            const auto& [parameters, limitSet, labels, savedAt] = *upload->evaluation;
            const StoredEvaluationRead stored = ReadStoredEvaluation({parameters, limitSet, labels});
            if (stored.ok()) {
                records.stored = PreparedEvaluation{ResolveStoredLimitSet(stored.evaluation.set),
                                                    stored.evaluation.parameters};
            } else {
                std::fprintf(stderr, "The evaluation stored with %s cannot be read: %s\n", name.c_str(),
                             stored.error.c_str());
                if (!m_options.limits)
                    return EXIT_USAGE;
            }
        }
        return std::nullopt;
    }

    std::string m_savedReport;
    std::optional<std::int64_t> m_uploadId;
    ArchiveChoice m_archive;
    EvaluateOptions m_options;
    ReportTargetOptions m_targetOptions;
};

} // namespace

std::unique_ptr<CCliCommand> MakeEvaluateCommand() { return std::make_unique<CEvaluateCommand>(); }
