// ombrel-cli upload: reads every stored record into the CSV report and the
// printed one, then with --clear-after erases the meter once nothing can be
// lost.

#include "CliCommand.h"
#include "EvaluateOptions.h"
#include "ExitCodes.h"
#include "HistoryArchive.h"
#include "LinkMessages.h"
#include "MeterSession.h"
#include "ReportTargets.h"

#include <cstdio>

namespace {

// Header fields longer than the window's fields can hold would make a report
// that `report` refuses to read back.
CLI::Validator HeaderField() {
    return CLI::Validator(
        [](std::string& text) -> std::string {
            if (Utf8CharacterCount(text) <= kMaxHeaderFieldChars)
                return {};
            return "takes at most " + std::to_string(kMaxHeaderFieldChars) + " characters";
        },
        "");
}

class CUploadCommand : public CCliCommand {
public:
    CLI::App* Declare(CLI::App& program) override {
        CLI::App* upload = program.add_subcommand(
            "upload", "read every stored measurement and write the CSV report (to FILE, or to standard output)");
        AddMeterSessionOptions(*upload, m_session);
        upload->add_option("--company", m_header.companyName, "the report's Company Name")
            ->type_name("TEXT")
            ->check(HeaderField());
        upload->add_option("--user", m_header.userName, "the report's User Name")->type_name("TEXT")->check(HeaderField());
        upload->add_option("--note", m_header.note, "the report's Note")->type_name("TEXT")->check(HeaderField());
        upload->add_flag("--clear-after", m_clearAfter,
                         "then erase the meter, but only if every record was read and every report written "
                         "completely");
        AddReportTargetOptions(*upload, m_targetOptions, true);
        AddUploadArchiveOptions(*upload, m_archive);
        AddEvaluateOptions(*upload, m_evaluation, "--eval-csv");
        return upload;
    }

    int Run(CCliContext& context) override {
        CReportTargets targets(m_targetOptions, true);
        if (targets.Printed())
            context.PrepareReportDrawing();
        // A typing error in a target costs no minutes of transfer.
        if (const std::optional<int> refused = targets.Check())
            return *refused;
        std::optional<PreparedEvaluation> prepared;
        if (m_evaluation.limits) {
            if (const std::optional<int> refused = PrepareEvaluation(m_evaluation, "--eval-csv", prepared.emplace()))
                return *refused;
        }
        CMeterSession session(m_session);
        if (const std::optional<int> failed = session.Start())
            return *failed;
        CUploadArchive archive(m_archive);
        session.ArchiveFeed().SetWriter(archive.Writer());
        session.ArchiveFeed().SetHeader(m_header);

        TransferSummary summary;
        {
            COperationScope operation(context.Signals(), session.Link());
            session.Link().OnButtonUpload(session.Ports());
            summary = session.Events().WaitForFinish();
            session.Link().WaitUntilIdle();
        }
        // An interrupted transfer must not leave a report that looks complete.
        if (summary.outcome == UploadOutcome::Stopped) {
            if (summary.recordCount == 0)
                std::fprintf(stderr, "Upload interrupted while looking for the meter; no report was written.\n");
            else
                std::fprintf(stderr, "Upload interrupted after %u of %u records; no report was written.\n",
                             summary.readCount, summary.recordCount);
        }
        if (summary.outcome == UploadOutcome::NoMeter || summary.outcome == UploadOutcome::NoPorts
            || summary.outcome == UploadOutcome::Stopped)
            return ExitCodeOf(summary.outcome);

        ReportContent content{m_header, session.Events().Rows(), summary.portName};
        content.header.dateTimePane = session.Events().DateTimePane();
        content.header.useTimePane = session.Events().UseTimePane();
        // The records' own floats are evaluated, not their texts.
        EvaluationReport evaluation;
        if (prepared) {
            evaluation.source.name = summary.portName;
            evaluation.set = prepared->set;
            evaluation.parameters = prepared->parameters;
            evaluation.result =
                Evaluate(MeasurementsFromRecords(session.Events().Records()), prepared->set, prepared->parameters);
            content.evaluation = &evaluation;
            archive.StoreEvaluation(prepared->set, prepared->parameters);
        }
        bool written = targets.WriteAll(content);
        const bool archived = archive.Report();
        int verdict = EXIT_DONE;
        if (prepared) {
            const bool csvOnStdout = !m_targetOptions.csvPath && !targets.Printed();
            verdict = FinishEvaluation(m_evaluation, *prepared, evaluation.source, evaluation.result,
                                       csvOnStdout || m_targetOptions.csvPath == std::string(kStandardOutputPath));
            written = verdict != EXIT_WRITE_FAILED && written;
        }
        if (m_clearAfter && written && !archived) {
            std::fprintf(stderr, "The meter was not cleared: the upload is not in the archive.\n");
            return EXIT_WRITE_FAILED;
        }
        if (m_clearAfter)
            return ClearAfterUpload(context, session, summary, written);
        if (!written)
            return EXIT_WRITE_FAILED;
        // Unread records outweigh the verdict on the records that were read.
        const ExitCode transfer = ExitCodeOf(summary.outcome);
        return transfer != EXIT_DONE ? transfer : static_cast<ExitCode>(verdict);
    }

private:
    // Erases the meter that was just read, but only once nothing can be lost;
    // the link decides whether its latest upload read every record.
    int ClearAfterUpload(CCliContext& context, CMeterSession& session, const TransferSummary& summary,
                         bool reportsWritten) {
        if (!reportsWritten) {
            std::fprintf(stderr, "The meter was not cleared: the report was not written.\n");
            return EXIT_WRITE_FAILED;
        }
        if (!session.Link().ClearAllowed()) {
            std::fprintf(stderr, "%s\nThe meter was not cleared: %u of %u records could not be read.\n",
                         kClearAfterReadingMessage, summary.recordCount - summary.readCount, summary.recordCount);
            return EXIT_RECORDS_UNREAD;
        }
        ClearOutcome outcome;
        {
            COperationScope operation(context.Signals(), session.Link());
            outcome = session.Link().OnButtonClear({summary.portName});
        }
        if (outcome == ClearOutcome::Cleared)
            std::fprintf(stderr, "The meter was cleared after all %u records were read and saved.\n",
                         summary.readCount);
        else if (outcome == ClearOutcome::Stopped)
            std::fprintf(stderr, "Clear interrupted; the meter was not erased. The report was written.\n");
        return ExitCodeOf(outcome);
    }

    MeterSessionOptions m_session;
    ReportHeader m_header;
    bool m_clearAfter = false;
    ReportTargetOptions m_targetOptions;
    ArchiveChoice m_archive;
    EvaluateOptions m_evaluation;
};

} // namespace

std::unique_ptr<CCliCommand> MakeUploadCommand() { return std::make_unique<CUploadCommand>(); }
