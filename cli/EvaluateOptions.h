#pragma once
// The evaluation on the command line: the options evaluate and upload share,
// the limit set they name, and the exports and summary they write.

#include "CsvReport.h"
#include "Evaluation.h"
#include "EvaluationExport.h"
#include "ReportOutput.h"

#include <CLI/CLI.hpp>

#include <optional>
#include <string>
#include <vector>

// What evaluate's --help says of the values it reads back from the CSV.
extern const char* const kEvaluationHelp;

// Each evaluation option as given; one not given takes the stored
// evaluation's value (evaluate --upload), else the default.
struct EvaluateOptions {
    std::optional<std::string> limits;   // a set's name or a set file
    std::optional<double> maxLossDb;
    std::optional<double> lengthKm;
    std::optional<int> connections;
    std::optional<int> splices;
    std::optional<int> recordsPerLink;
    std::optional<std::string> labels;
    std::optional<double> uncertaintyDb;
    std::optional<std::string> jsonPath;
    std::optional<std::string> csvPath;
};

// --limits and the parameters, --json, and the evaluation's CSV: "--csv" on
// evaluate, "--eval-csv" on upload, whose --csv is the Data Report's.
void AddEvaluateOptions(CLI::App& command, EvaluateOptions& options, const char* csvOption);

// The user's limit sets: the folder the window keeps them in.
std::string UserLimitsFolder();

struct PreparedEvaluation {
    LimitSet set;
    EvaluationParameters parameters;
};

// Resolves the limit set, checks the parameters and the export targets
// before any work; on a refusal says why and returns the exit code. stored:
// what an archived upload was evaluated with, which the options given
// override one by one (a new label pattern or grouping drops its edited labels).
std::optional<int> PrepareEvaluation(const EvaluateOptions& options, const char* csvOption,
                                     PreparedEvaluation& prepared, const PreparedEvaluation* stored = nullptr);

// Writes the exports asked for and the summary (on stdout, or on stderr when
// an export or another report goes to standard output). Returns the
// evaluation's exit code (0, 6 or 7), or 3 when an export could not be written.
int FinishEvaluation(const EvaluateOptions& options, const PreparedEvaluation& prepared,
                     const EvaluationSource& source, const EvaluationResult& result, bool stdoutTaken = false);
