#include "EvaluationExport.h"

#include "LimitSetFile.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>

namespace {

using Json = nlohmann::ordered_json;

// Exported numbers carry the two decimals they are shown with.
Json Rounded(const std::optional<double>& value)
{
    if (!value)
        return nullptr;
    const double rounded = std::round(*value * 100.0) / 100.0;
    return rounded == 0.0 ? 0.0 : rounded;   // never "-0.0"
}

Json Optional(const std::optional<double>& value)
{
    return value ? Json(*value) : Json(nullptr);
}

Json ParametersJson(const EvaluationParameters& parameters)
{
    Json labels = Json::object();
    for (const auto& [link, label] : parameters.editedLabels)
        labels[std::to_string(link)] = label;
    return {{"max_loss_db", Optional(parameters.maxLossDb)},
            {"length_km", parameters.lengthKm},
            {"connections", parameters.connections},
            {"splices", parameters.splices},
            {"uncertainty_db", parameters.uncertaintyDb},
            {"records_per_link", parameters.recordsPerLink},
            {"label_pattern", PatternText(parameters.labels)},
            {"edited_labels", labels},
            {"bend_check", parameters.bendCheck},
            {"bend_threshold_db", parameters.bendThresholdDb}};
}

Json LimitSetJsonOf(const LimitSet& set, const EvaluationParameters& parameters)
{
    Json wavelengths = Json::array();
    for (int nm : kMeterWavelengthsNm) {
        const WavelengthLimit* limit = set.Find(nm);
        if (!limit && !set.maxLossFromParameters)
            continue;
        Json entry{{"wavelength_nm", nm}, {"limit_db", Optional(LimitFor(set, parameters, nm))}};
        if (limit) {
            entry["max_loss_db"] = Optional(limit->maxLossDb);
            entry["attenuation_db_per_km"] = Optional(limit->attenuationDbPerKm);
            entry["min_power_dbm"] = Optional(limit->minPowerDbm);
            entry["max_power_dbm"] = Optional(limit->maxPowerDbm);
        }
        wavelengths.push_back(entry);
    }
    return {{"name", set.name},
            {"built_in", set.builtIn},
            {"connection_loss_db", set.connectionLossDb},
            {"splice_loss_db", set.spliceLossDb},
            {"allowance_db", set.allowanceDb},
            {"source", set.source},
            {"wavelengths", wavelengths}};
}

std::string WavelengthText(const std::optional<int>& nm)
{
    return nm ? std::to_string(*nm) : std::string();
}

// A CSV field, quoted only where it has to be.
std::string CsvField(const std::string& text)
{
    if (text.find_first_of(",\"\r\n") == std::string::npos)
        return text;
    std::string quoted = "\"";
    for (char c : text) {
        quoted += c;
        if (c == '"')
            quoted += '"';
    }
    return quoted + "\"";
}

} // namespace

std::string ResultText(const RecordResult& record)
{
    std::string text = VerdictText(record.verdict);
    if (!record.note.empty() && record.verdict != Verdict::NoReading)
        text += " (" + record.note + ")";
    return text;
}

std::array<std::string, kEvaluationColumns.size()> RecordCells(const RecordResult& record)
{
    return {std::to_string(record.no),
            record.label,
            WavelengthText(record.wavelengthNm),
            FormatDb(record.powerDbm),
            FormatDb(record.refDbm),
            FormatDb(record.lossDb),
            FormatDb(record.limitDb),
            FormatDb(record.marginDb),
            ResultText(record)};
}

std::string EvaluationJson(const EvaluationSource& source, const LimitSet& set,
                           const EvaluationParameters& parameters, const EvaluationResult& result)
{
    Json records = Json::array();
    for (const RecordResult& record : result.records) {
        records.push_back({{"no", record.no},
                           {"label", record.label},
                           {"wavelength_nm", record.wavelengthNm ? Json(*record.wavelengthNm) : Json(nullptr)},
                           {"power_dbm", Rounded(record.powerDbm)},
                           {"ref_dbm", Rounded(record.refDbm)},
                           {"loss_db", Rounded(record.lossDb)},
                           {"limit_db", Rounded(record.limitDb)},
                           {"margin_db", Rounded(record.marginDb)},
                           {"result", VerdictText(record.verdict)},
                           {"note", record.note}});
    }
    Json links = Json::array();
    for (const LinkResult& link : result.links) {
        Json numbers = Json::array();
        for (int i = link.firstRecord; i < link.firstRecord + link.recordCount; ++i)
            numbers.push_back(result.records[static_cast<std::size_t>(i)].no);
        links.push_back({{"label", link.label},
                         {"records", numbers},
                         {"result", VerdictText(link.verdict)},
                         {"possible_bend", link.possibleBend}});
    }
    Json summary = Json::array();
    for (const WavelengthSummary& row : result.summary) {
        summary.push_back({{"wavelength_nm", row.wavelengthNm ? Json(*row.wavelengthNm) : Json(nullptr)},
                           {"records", row.records},
                           {"pass", row.pass},
                           {"fail", row.fail},
                           {"marginal", row.marginal},
                           {"no_verdict", row.noVerdict},
                           {"min_loss_db", Rounded(row.minLossDb)},
                           {"mean_loss_db", Rounded(row.meanLossDb)},
                           {"max_loss_db", Rounded(row.maxLossDb)},
                           {"stddev_loss_db", Rounded(row.stddevLossDb)},
                           {"worst_margin_db", Rounded(row.worstMarginDb)}});
    }
    const Json document{{"schema", "ombrel-evaluation"},
                        {"version", kEvaluationJsonVersion},
                        {"source", {{"name", source.name},
                                    {"values", source.fromRowTexts ? "row texts" : "records"}}},
                        {"parameters", ParametersJson(parameters)},
                        {"limit_set", LimitSetJsonOf(set, parameters)},
                        {"records", records},
                        {"links", links},
                        {"summary", summary},
                        {"overall", VerdictText(result.overall)},
                        {"overall_text", OverallVerdictLine(result)}};
    return document.dump(2) + "\n";
}

std::string EvaluationCsv(const EvaluationSource& source, const LimitSet& set,
                          const EvaluationParameters& parameters, const EvaluationResult& result)
{
    std::vector<std::string> lines{"Evaluation", CsvField("Source: " + source.name
                                                          + (source.fromRowTexts ? " (values from the row texts)" : ""))};
    for (const std::string& line : DescribeLimitSet(set, parameters))
        lines.push_back(CsvField(line));
    lines.push_back(CsvField("Parameters: " + DescribeParameters(set, parameters)));
    lines.push_back(CsvField("Overall: " + OverallVerdictLine(result)));
    lines.push_back("");
    lines.push_back("No.,Label,Wavelength,Power dBm,Ref dBm,Loss,Limit,Margin,Result");
    for (const RecordResult& record : result.records) {
        std::string line;
        const auto cells = RecordCells(record);
        for (std::size_t i = 0; i < cells.size(); ++i) {
            if (i > 0)
                line += ',';
            line += CsvField(i == cells.size() - 1 ? VerdictText(record.verdict) : cells[i]);
        }
        lines.push_back(line);
    }
    std::string text;
    for (const std::string& line : lines)
        text += line + "\r\n";
    return text;
}

std::vector<std::array<std::string, kSummaryColumnCount>> SummaryTable(const EvaluationResult& result)
{
    std::vector<std::array<std::string, kSummaryColumnCount>> table;
    table.push_back({"Wavelength", "Records", "PASS", "FAIL", "Marginal", "No verdict", "Min loss", "Mean loss",
                     "Max loss", "Std dev", "Worst margin"});
    for (const WavelengthSummary& row : result.summary) {
        table.push_back({row.wavelengthNm ? std::to_string(*row.wavelengthNm) + " nm" : std::string("unknown"),
                         std::to_string(row.records), std::to_string(row.pass), std::to_string(row.fail),
                         std::to_string(row.marginal), std::to_string(row.noVerdict), FormatDb(row.minLossDb, "-"),
                         FormatDb(row.meanLossDb, "-"), FormatDb(row.maxLossDb, "-"), FormatDb(row.stddevLossDb, "-"),
                         FormatDb(row.worstMarginDb, "-")});
    }
    return table;
}

namespace {

// Right-aligned columns two blanks apart (the first left-aligned), each as
// wide as its widest cell; every row has the same number of cells.
std::vector<std::string> AlignedLines(const std::vector<std::vector<std::string>>& rows, std::size_t leftColumns)
{
    std::vector<std::size_t> widths(rows.empty() ? 0 : rows[0].size(), 0);
    for (const auto& row : rows) {
        for (std::size_t i = 0; i < row.size(); ++i)
            widths[i] = std::max(widths[i], row[i].size());
    }
    std::vector<std::string> lines;
    for (const auto& row : rows) {
        std::string line;
        for (std::size_t i = 0; i < row.size(); ++i) {
            const std::string pad(widths[i] - row[i].size(), ' ');
            if (i)
                line += "  ";
            line += i < leftColumns ? row[i] + (i + 1 < row.size() ? pad : "") : pad + row[i];
        }
        lines.push_back(line);
    }
    return lines;
}

} // namespace

std::vector<std::string> SummaryTextLines(const EvaluationResult& result)
{
    std::vector<std::vector<std::string>> rows{
        {"", "", "", "", "", "No", "Min", "Mean", "Max", "Std", "Worst"},
        {"Wavelength", "Records", "PASS", "FAIL", "Marginal", "verdict", "loss", "loss", "loss", "dev", "margin"}};
    const auto table = SummaryTable(result);
    for (std::size_t i = 1; i < table.size(); ++i)
        rows.emplace_back(table[i].begin(), table[i].end());
    return AlignedLines(rows, 1);
}

std::vector<std::string> RecordTextLines(const EvaluationResult& result)
{
    std::vector<std::vector<std::string>> rows{
        {"", "", "Wave-", "Power", "Ref", "Loss", "Limit", "Margin", ""},
        {"No.", "Label", "length", "(dBm)", "(dBm)", "(dB)", "(dB)", "(dB)", "Result"}};
    for (const RecordResult& record : result.records) {
        const auto cells = RecordCells(record);
        rows.emplace_back(cells.begin(), cells.end());
    }
    // The result, as long as its note makes it, is left-aligned last.
    std::vector<std::string> lines = AlignedLines(rows, 0);
    std::size_t resultWidth = 0;
    for (const auto& row : rows)
        resultWidth = std::max(resultWidth, row.back().size());
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string& cell = rows[i].back();
        lines[i] = lines[i].substr(0, lines[i].size() - resultWidth) + cell;
    }
    return lines;
}

std::string SummaryText(const EvaluationResult& result)
{
    std::string text;
    for (const std::string& line : SummaryTextLines(result))
        text += line + "\n";
    return text + OverallVerdictLine(result) + "\n";
}
