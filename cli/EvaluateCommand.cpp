// ombrel-cli evaluate: the records of a saved report against a limit set,
// with the summary per wavelength on stdout, the exports asked for, and the
// Data Report followed by its Evaluation pages as a PDF.

#include "CliCommand.h"
#include "EvaluateOptions.h"
#include "ExitCodes.h"
#include "ReportTargets.h"
#include "SafeWrite.h"

#include <cstdio>

namespace {

class CEvaluateCommand : public CCliCommand {
public:
    CLI::App* Declare(CLI::App& program) override {
        CLI::App* evaluate = program.add_subcommand(
            "evaluate", "evaluate the records of a CSV report Ombrel saved against a limit set: loss, limit, "
                        "margin and PASS/FAIL per record, a summary per wavelength on standard output");
        evaluate->add_option("SAVED", m_savedReport, "the CSV report, as Ombrel saved it")
            ->type_name("SAVED.csv")
            ->required();
        AddEvaluateOptions(*evaluate, m_options, "--csv");
        evaluate->get_option("--limits")->required();
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
        PreparedEvaluation prepared;
        if (const std::optional<int> refused = PrepareEvaluation(m_options, "--csv", prepared))
            return *refused;
        const std::optional<CsvReadResult> saved = ReadSavedReport(m_savedReport);
        if (!saved)
            return EXIT_USAGE;
        CReportTargets pdf(m_targetOptions, false);
        if (pdf.Printed())
            context.PrepareReportDrawing();
        if (const std::optional<int> refused = pdf.Check(&m_savedReport))
            return *refused;

        std::vector<Measurement> measurements;
        measurements.reserve(saved->rows.size());
        for (const RowTexts& row : saved->rows)
            measurements.push_back(MeasurementFromRowTexts(row));
        EvaluationReport report;
        report.source = {m_savedReport, true};
        report.set = prepared.set;
        report.parameters = prepared.parameters;
        report.result = Evaluate(measurements, prepared.set, prepared.parameters);

        ReportContent content{saved->header, saved->rows, m_savedReport};
        content.evaluation = &report;
        const bool pdfWritten = pdf.WriteAll(content);
        const bool pdfToStdout = m_targetOptions.pdfPath == std::string(kStandardOutputPath);
        const int verdict = FinishEvaluation(m_options, prepared, report.source, report.result, pdfToStdout);
        return pdfWritten ? verdict : EXIT_WRITE_FAILED;
    }

private:
    std::string m_savedReport;
    EvaluateOptions m_options;
    ReportTargetOptions m_targetOptions;
};

} // namespace

std::unique_ptr<CCliCommand> MakeEvaluateCommand() { return std::make_unique<CEvaluateCommand>(); }
