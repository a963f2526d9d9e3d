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

struct EvaluateOptions {
    std::optional<std::string> limits;   // a set's name or a set file
    std::optional<double> maxLossDb;
    double lengthKm = 0.0;
    int connections = 0;
    int splices = 0;
    int recordsPerLink = 1;
    std::string labels = "F001";
    double uncertaintyDb = 0.0;
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
// before any work; on a refusal says why and returns the exit code.
std::optional<int> PrepareEvaluation(const EvaluateOptions& options, const char* csvOption,
                                     PreparedEvaluation& prepared);

// Writes the exports asked for and the summary (on stdout, or on stderr when
// an export or another report goes to standard output). Returns the
// evaluation's exit code (0, 6 or 7), or 3 when an export could not be written.
int FinishEvaluation(const EvaluateOptions& options, const PreparedEvaluation& prepared,
                     const EvaluationSource& source, const EvaluationResult& result, bool stdoutTaken = false);
