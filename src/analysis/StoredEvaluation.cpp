#include "StoredEvaluation.h"

#include "LimitSetFile.h"

#include <nlohmann/json.hpp>

namespace {

using Json = nlohmann::ordered_json;

const char* const kVersionKey = "ombrel_evaluation";

struct Refusal {
    std::string field;
    std::string reason;
};

const Json& Field(const Json& object, const char* key)
{
    if (!object.contains(key))
        throw Refusal{key, "is missing"};
    return object.at(key);
}

double Number(const Json& object, const char* key)
{
    const Json& value = Field(object, key);
    if (!value.is_number())
        throw Refusal{key, "must be a number"};
    return value.get<double>();
}

// A label's number has at most nine digits, as a pattern gives it.
constexpr long long kMaxWhole = 999'999'999;

int Count(const Json& object, const char* key)
{
    const Json& value = Field(object, key);
    if (!value.is_number_integer() || value.get<long long>() < 0 || value.get<long long>() > kMaxWhole)
        throw Refusal{key, "must be a whole number from 0 to " + std::to_string(kMaxWhole)};
    return value.get<int>();
}

std::string Text(const Json& object, const char* key)
{
    const Json& value = Field(object, key);
    if (!value.is_string())
        throw Refusal{key, "must be a text"};
    return value.get<std::string>();
}

Json Object(const std::string& text)
{
    Json document = Json::parse(text);
    if (!document.is_object())
        throw Refusal{"", "must hold one JSON object"};
    return document;
}

void ReadParameters(const std::string& text, EvaluationParameters& parameters)
{
    const Json document = Object(text);
    if (Count(document, kVersionKey) < 1)
        throw Refusal{kVersionKey, "must be 1 or more"};
    if (document.contains("max_loss_db") && !document.at("max_loss_db").is_null())
        parameters.maxLossDb = Number(document, "max_loss_db");
    parameters.lengthKm = Number(document, "length_km");
    parameters.connections = Count(document, "connections");
    parameters.splices = Count(document, "splices");
    parameters.uncertaintyDb = Number(document, "uncertainty_db");
    parameters.recordsPerLink = Count(document, "records_per_link");
    const Json& bendCheck = Field(document, "bend_check");
    if (!bendCheck.is_boolean())
        throw Refusal{"bend_check", "must be true or false"};
    parameters.bendCheck = bendCheck.get<bool>();
    parameters.bendThresholdDb = Number(document, "bend_threshold_db");
}

void ReadLabels(const std::string& text, EvaluationParameters& parameters)
{
    const Json document = Object(text);
    parameters.labels.prefix = Text(document, "prefix");
    parameters.labels.start = Count(document, "start");
    parameters.labels.width = Count(document, "width");
    if (parameters.labels.width > 9)
        throw Refusal{"width", "must be 0 to 9 digits"};
    const Json& edited = Field(document, "edited");
    if (!edited.is_array())
        throw Refusal{"edited", "must be a list"};
    for (const Json& entry : edited) {
        if (!entry.is_object())
            throw Refusal{"edited", "must hold objects with link and label"};
        parameters.editedLabels[Count(entry, "link")] = Text(entry, "label");
    }
}

// Runs one reader; a refusal comes back as "what: field: reason".
template <typename Reader>
std::string Read(const char* what, const std::string& text, Reader reader)
{
    try {
        reader(text);
        return {};
    } catch (const Json::exception&) {
        return std::string(what) + ": is not valid JSON";
    } catch (const Refusal& refusal) {
        return std::string(what) + ": " + (refusal.field.empty() ? "" : refusal.field + ": ") + refusal.reason;
    }
}

} // namespace

StoredEvaluationTexts StoredEvaluationTextsOf(const LimitSet& set, const EvaluationParameters& parameters)
{
    Json values;
    values[kVersionKey] = kStoredEvaluationVersion;
    values["max_loss_db"] = parameters.maxLossDb ? Json(*parameters.maxLossDb) : Json();
    values["length_km"] = parameters.lengthKm;
    values["connections"] = parameters.connections;
    values["splices"] = parameters.splices;
    values["uncertainty_db"] = parameters.uncertaintyDb;
    values["records_per_link"] = parameters.recordsPerLink;
    values["bend_check"] = parameters.bendCheck;
    values["bend_threshold_db"] = parameters.bendThresholdDb;

    Json labels;
    labels["prefix"] = parameters.labels.prefix;
    labels["start"] = parameters.labels.start;
    labels["width"] = parameters.labels.width;
    labels["edited"] = Json::array();
    for (const auto& [link, label] : parameters.editedLabels)
        labels["edited"].push_back({{"link", link}, {"label", label}});
    return {values.dump(), StoredLimitSetJson(set), labels.dump()};
}

StoredEvaluationRead ReadStoredEvaluation(const StoredEvaluationTexts& texts)
{
    StoredEvaluationRead read;
    EvaluationParameters& parameters = read.evaluation.parameters;
    read.error = Read("parameters", texts.parameters, [&](const std::string& text) { ReadParameters(text, parameters); });
    if (read.error.empty())
        read.error = Read("labels", texts.labels, [&](const std::string& text) { ReadLabels(text, parameters); });
    if (read.error.empty()) {
        const LimitSetRead set = ParseStoredLimitSet(texts.limitSet, "limit set");
        if (set.ok())
            read.evaluation.set = set.set;
        else
            read.error = set.error->Message();
    }
    if (read.error.empty())
        read.error = CheckParameters(read.evaluation.set, parameters);
    if (!read.error.empty())
        read.evaluation = {};
    return read;
}
