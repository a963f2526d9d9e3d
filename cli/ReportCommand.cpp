// ombrel-cli report: prints a CSV report that Ombrel saved earlier again, as
// a PDF file or on a print queue.

#include "CliCommand.h"
#include "ExitCodes.h"
#include "ReportTargets.h"
#include "SafeWrite.h"

#include <cstdio>

namespace {

class CReportCommand : public CCliCommand {
public:
    CLI::App* Declare(CLI::App& program) override {
        CLI::App* report = program.add_subcommand(
            "report", "print a CSV report that Ombrel saved earlier again, as a PDF file or on a print queue");
        report->add_option("SAVED", m_savedReport, "the CSV report, as Ombrel saved it")
            ->type_name("SAVED.csv")
            ->required();
        AddReportTargetOptions(*report, m_targetOptions, false);
        return report;
    }

    int Run(CCliContext& context) override {
        CReportTargets targets(m_targetOptions, false);
        if (targets.Empty()) {
            std::fprintf(stderr, "ombrel-cli: report needs --pdf FILE or --print QUEUE\n");
            return EXIT_USAGE;
        }
        const std::optional<CsvReadResult> saved = ReadSavedReport(m_savedReport);
        if (!saved)
            return EXIT_USAGE;
        context.PrepareReportDrawing();
        if (const std::optional<int> refused = targets.Check(&m_savedReport))
            return *refused;
        return targets.WriteAll({saved->header, saved->rows, m_savedReport}) ? EXIT_DONE : EXIT_WRITE_FAILED;
    }

private:
    std::string m_savedReport;
    ReportTargetOptions m_targetOptions;
};

} // namespace

std::unique_ptr<CCliCommand> MakeReportCommand() { return std::make_unique<CReportCommand>(); }
