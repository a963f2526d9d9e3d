#include "EvaluateOptions.h"

#include "ExitCodes.h"
#include "LimitSetFile.h"
#include "SafeWrite.h"

#include <cstdio>
#include <cstdlib>

namespace {

// Targets are checked before minutes of transfer or reading go into them.
std::optional<int> CheckTarget(const char* option, const std::optional<std::string>& path)
{
    if (!path)
        return std::nullopt;
    const FileWriteResult result = CheckOutputTarget(*path);
    if (result.error == FileWriteError::NoPath) {
        std::fprintf(stderr, "ombrel-cli: %s needs a file name ('-' for standard output)\n", option);
        return EXIT_USAGE;
    }
    if (!result.ok()) {
        std::fprintf(stderr, "The evaluation cannot be written to %s: %s\n", path->c_str(), result.reason.c_str());
        return EXIT_WRITE_FAILED;
    }
    return std::nullopt;
}

bool WriteExport(const char* what, const std::string& path, const std::string& content)
{
    const FileWriteResult result = WriteFileSafely(path, content);
    if (!result.ok()) {
        std::fprintf(stderr, "The %s was not written to %s: %s\n", what, path.c_str(), result.reason.c_str());
        return false;
    }
    if (path != kStandardOutputPath)
        std::fprintf(stderr, "%s written to %s\n", what, path.c_str());
    return true;
}

bool ToStandardOutput(const std::optional<std::string>& path)
{
    return path && *path == kStandardOutputPath;
}

} // namespace

const char* const kEvaluationHelp =
    "evaluate SAVED.csv reads the values back from the saved report's row texts, which keep two decimals\n"
    "of each dBm value: a loss within 0.01 dB of the one the record's own floats give (a linear power\n"
    "keeps four decimals of its unit: within 0.03 dB near the bottom of a unit's range). upload --limits\n"
    "evaluates the records' own floats, as read, and keeps the limit set (every number), the parameters\n"
    "and the labels with the archived upload. evaluate --upload ID judges an archived upload's own floats\n"
    "with what it was last evaluated with (by upload --limits or in the window's Evaluation window, edited\n"
    "labels included); each option given replaces the stored value, and --labels or --per-link drops the\n"
    "edited labels. A stored set that is no longer one of today's, number for number, is used as stored.\n"
    "The archive is only read; a missing upload or archive is exit 2. Limit sets: 'ombrel-cli limits'.";

void AddEvaluateOptions(CLI::App& command, EvaluateOptions& options, const char* csvOption)
{
    command.add_option("--limits", options.limits,
                       "evaluate against this limit set: a built-in set's or user set's name, or a set file "
                       "(see 'ombrel-cli limits')")
        ->type_name("NAME|FILE");
    command.add_option("--max-loss", options.maxLossDb, "the one maximum loss of the \"Fixed budget\" set")
        ->type_name("DB")
        ->check(CLI::NonNegativeNumber);
    command.add_option("--length", options.lengthKm, "the link's length for a length-based set (default 0)")
        ->type_name("KM")
        ->check(CLI::NonNegativeNumber);
    command.add_option("--connections", options.connections, "mated connections in the link (default 0)")
        ->type_name("N")
        ->check(CLI::NonNegativeNumber);
    command.add_option("--splices", options.splices, "splices in the link (default 0)")
        ->type_name("N")
        ->check(CLI::NonNegativeNumber);
    command.add_option("--per-link", options.recordsPerLink,
                       "consecutive records that make one link, e.g. 2 for a 1310/1550 pair (default 1)")
        ->type_name("N")
        ->check(CLI::Range(1, kMaxRecordsPerLink));
    command.add_option("--labels", options.labels,
                       "the links' labels: prefix and first number with its width (default F001)")
        ->type_name("PATTERN");
    command.add_option("--uncertainty", options.uncertaintyDb,
                       "a margin within this many dB either side of 0 is marginal: PASS* or FAIL* (default 0)")
        ->type_name("DB")
        ->check(CLI::NonNegativeNumber);
    command.add_option("--json", options.jsonPath, "write the evaluation as JSON ('-': standard output)")
        ->type_name("FILE");
    command.add_option(csvOption, options.csvPath, "write the evaluation as CSV ('-': standard output)")
        ->type_name("FILE");
}

std::string UserLimitsFolder()
{
#ifdef _WIN32
    const char* base = std::getenv("LOCALAPPDATA");
    return base && *base ? std::string(base) + "\\ombrel\\limits" : std::string();
#else
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && *config == '/')
        return std::string(config) + "/ombrel/limits";
    const char* home = std::getenv("HOME");
    return home && *home ? std::string(home) + "/.config/ombrel/limits" : std::string();
#endif
}

std::optional<int> PrepareEvaluation(const EvaluateOptions& options, const char* csvOption,
                                     PreparedEvaluation& prepared, const PreparedEvaluation* stored)
{
    if (stored)
        prepared = *stored;
    if (options.limits) {
        const LimitSetRead read = ResolveLimitSet(*options.limits, UserLimitsFolder());
        if (!read.ok()) {
            std::fprintf(stderr, "ombrel-cli: --limits: %s\n", read.error->Message().c_str());
            return EXIT_USAGE;
        }
        prepared.set = read.set;
    }
    EvaluationParameters& parameters = prepared.parameters;
    const auto take = [](auto& value, const auto& given) {
        if (given)
            value = *given;
    };
    if (options.maxLossDb)
        parameters.maxLossDb = options.maxLossDb;
    take(parameters.lengthKm, options.lengthKm);
    take(parameters.connections, options.connections);
    take(parameters.splices, options.splices);
    take(parameters.recordsPerLink, options.recordsPerLink);
    take(parameters.uncertaintyDb, options.uncertaintyDb);
    if (options.labels) {
        const std::optional<LabelPattern> labels = ParseLabelPattern(*options.labels);
        if (!labels) {
            std::fprintf(stderr, "ombrel-cli: --labels: %s ends in a number too long to count on\n",
                         options.labels->c_str());
            return EXIT_USAGE;
        }
        parameters.labels = *labels;
    }
    // Edited labels name links of the stored pattern and grouping.
    if (options.labels || options.recordsPerLink)
        parameters.editedLabels.clear();
    if (const std::string why = CheckParameters(prepared.set, parameters); !why.empty()) {
        std::fprintf(stderr, "ombrel-cli: %s%s\n", why.c_str(),
                     prepared.set.maxLossFromParameters && !parameters.maxLossDb ? " Add --max-loss DB." : "");
        return EXIT_USAGE;
    }
    if (ToStandardOutput(options.jsonPath) && ToStandardOutput(options.csvPath)) {
        std::fprintf(stderr, "ombrel-cli: --json and %s cannot both go to standard output\n", csvOption);
        return EXIT_USAGE;
    }
    if (const std::optional<int> refused = CheckTarget("--json", options.jsonPath))
        return refused;
    return CheckTarget(csvOption, options.csvPath);
}

int FinishEvaluation(const EvaluateOptions& options, const PreparedEvaluation& prepared,
                     const EvaluationSource& source, const EvaluationResult& result, bool stdoutTaken)
{
    bool written = true;
    if (options.jsonPath)
        written = WriteExport("Evaluation JSON", *options.jsonPath,
                              EvaluationJson(source, prepared.set, prepared.parameters, result)) && written;
    if (options.csvPath)
        written = WriteExport("Evaluation CSV", *options.csvPath,
                              EvaluationCsv(source, prepared.set, prepared.parameters, result)) && written;
    // Standard output belongs to an export sent there; the summary then goes to stderr.
    FILE* summary = stdoutTaken || ToStandardOutput(options.jsonPath) || ToStandardOutput(options.csvPath) ? stderr : stdout;
    std::fputs(SummaryText(result).c_str(), summary);
    std::fflush(summary);
    if (!written)
        return EXIT_WRITE_FAILED;
    switch (result.overall) {
    case Verdict::Pass:
        return EXIT_DONE;
    case Verdict::Fail:
        return EXIT_EVALUATION_FAILED;
    default:
        return EXIT_EVALUATION_INCOMPLETE;
    }
}
