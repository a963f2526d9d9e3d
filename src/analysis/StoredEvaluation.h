#pragma once
// What a set of records was evaluated with, as texts to keep beside them
// (the archive stores them with an upload): the parameters, the limit set
// with every number, and the labels with those the operator edited. Read
// back with checks, so that a damaged text is refused with its reason
// rather than judged with.

#include "Evaluation.h"

#include <optional>
#include <string>

// The version the parameters' text carries. A later program adds fields and
// never changes the meaning of these; it reads what it knows of any version.
inline constexpr int kStoredEvaluationVersion = 1;

struct StoredEvaluationTexts {
    std::string parameters;
    std::string limitSet;
    std::string labels;
};

struct StoredEvaluation {
    LimitSet set;                        // as stored; ResolveStoredLimitSet tells how it shows
    EvaluationParameters parameters;     // the labels' pattern and edits included
};

StoredEvaluationTexts StoredEvaluationTextsOf(const LimitSet& set, const EvaluationParameters& parameters);

struct StoredEvaluationRead {
    StoredEvaluation evaluation;
    std::string error;                   // "parameters: length_km: must be a number"; empty when read
    bool ok() const { return error.empty(); }
};
StoredEvaluationRead ReadStoredEvaluation(const StoredEvaluationTexts& texts);
