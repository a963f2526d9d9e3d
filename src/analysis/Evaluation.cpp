#include "Evaluation.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

namespace {

constexpr double kNoValue = std::numeric_limits<double>::quiet_NaN();
constexpr int kMaxPatternDigits = 9;   // the number stays within an int

bool IsPositiveFinite(double value)
{
    return std::isfinite(value) && value > 0.0;
}

std::optional<double> DbmOf(double milliwatts)
{
    if (!IsPositiveFinite(milliwatts))
        return std::nullopt;
    return 10.0 * std::log10(milliwatts);
}

double MilliwattsOf(double dbm)
{
    return std::pow(10.0, dbm / 10.0);
}

// The leading number of a cell ("-3.52 (dBm)", "1310 (nm)"), read without a
// locale; "inf" and "nan" as the window writes them are numbers too.
std::optional<double> LeadingNumber(const std::string& cell, std::string* unit = nullptr)
{
    const char* begin = cell.data();
    const char* end = begin + cell.size();
    double value = 0.0;
    const auto [next, error] = std::from_chars(begin, end, value);
    if (unit) {
        const std::size_t open = cell.find('(');
        const std::size_t close = cell.find(')', open == std::string::npos ? 0 : open);
        *unit = open != std::string::npos && close != std::string::npos ? cell.substr(open + 1, close - open - 1)
                                                                        : std::string();
    }
    if (error != std::errc() || next == begin)
        return std::nullopt;
    return value;
}

// The power cell back in milliwatts; the dB cell is relative to the reference.
double PowerFromCell(const std::string& cell, double refDbm)
{
    std::string unit;
    const std::optional<double> number = LeadingNumber(cell, &unit);
    if (!number)
        return kNoValue;
    if (unit == "pW")
        return *number * 1e-9;
    if (unit == "nW")
        return *number * 1e-6;
    if (unit == "uW")
        return *number * 1e-3;
    if (unit == "mW")
        return *number;
    if (unit == "dBm")
        return MilliwattsOf(*number);
    if (unit == "dB")
        return MilliwattsOf(refDbm + *number);
    return kNoValue;
}

// Worst first: a link takes the verdict of its worst record.
int Severity(Verdict verdict)
{
    switch (verdict) {
    case Verdict::Fail: return 6;
    case Verdict::MarginalFail: return 5;
    case Verdict::NoReading: return 4;
    case Verdict::Gain: return 3;
    case Verdict::NoVerdict: return 2;
    case Verdict::MarginalPass: return 1;
    case Verdict::Pass: return 0;
    }
    return 0;
}

void AddNote(std::string& note, const std::string& text)
{
    note += note.empty() ? text : "; " + text;
}

void JudgeRecord(RecordResult& result, const MeasuredRecord& measured, const LimitSet& set,
                 const EvaluationParameters& parameters)
{
    result.lossDb = measured.lossDb;
    if (!result.lossDb) {
        result.verdict = Verdict::NoReading;
        result.note = "no reading";
        return;
    }
    if (*result.lossDb < 0.0) {
        result.verdict = Verdict::Gain;
        result.note = "gain: take a new reference";
        return;
    }
    if (!result.wavelengthNm) {
        result.verdict = Verdict::NoVerdict;
        result.note = "no wavelength";
        return;
    }
    result.limitDb = LimitFor(set, parameters, *result.wavelengthNm);
    if (!result.limitDb) {
        result.verdict = Verdict::NoVerdict;
        result.note = "no limit for " + std::to_string(*result.wavelengthNm) + " nm";
        return;
    }
    // Compared unrounded: a margin that shows as 0.00 may still be a fail.
    const double margin = *result.limitDb - *result.lossDb;
    result.marginDb = margin;
    const bool marginal = parameters.uncertaintyDb > 0.0 && std::fabs(margin) <= parameters.uncertaintyDb;
    if (margin >= 0.0)
        result.verdict = marginal ? Verdict::MarginalPass : Verdict::Pass;
    else
        result.verdict = marginal ? Verdict::MarginalFail : Verdict::Fail;

    const WavelengthLimit* limit = set.maxLossFromParameters ? nullptr : set.Find(*result.wavelengthNm);
    if (limit && result.powerDbm) {
        if (limit->minPowerDbm && *result.powerDbm < *limit->minPowerDbm) {
            result.verdict = Verdict::Fail;
            AddNote(result.note, "power below " + FormatDb(*limit->minPowerDbm) + " dBm");
        }
        if (limit->maxPowerDbm && *result.powerDbm > *limit->maxPowerDbm) {
            result.verdict = Verdict::Fail;
            AddNote(result.note, "power above " + FormatDb(*limit->maxPowerDbm) + " dBm");
        }
    }
}

bool IsLongWavelength(const std::optional<int>& nm)
{
    return nm && (*nm == 1550 || *nm == 1625);
}

// A bend loses more at the longer wavelength than a straight fibre does.
void CheckBend(EvaluationResult& result, LinkResult& link, const EvaluationParameters& parameters)
{
    const auto first = result.records.begin() + link.firstRecord;
    const auto last = first + link.recordCount;
    const auto shortRecord = std::find_if(first, last, [](const RecordResult& record) {
        return record.wavelengthNm == 1310 && record.lossDb;
    });
    if (shortRecord == last)
        return;
    for (auto record = first; record != last; ++record) {
        if (IsLongWavelength(record->wavelengthNm) && record->lossDb
            && *record->lossDb - *shortRecord->lossDb > parameters.bendThresholdDb) {
            link.possibleBend = true;
            AddNote(record->note, "possible bend");
        }
    }
}

void FillStatistics(WavelengthSummary& summary, const std::vector<double>& losses)
{
    summary.lossCount = static_cast<int>(losses.size());
    if (losses.empty())
        return;
    double sum = 0.0;
    for (double loss : losses)
        sum += loss;
    const double mean = sum / static_cast<double>(losses.size());
    summary.meanLossDb = mean;
    summary.minLossDb = *std::min_element(losses.begin(), losses.end());
    summary.maxLossDb = *std::max_element(losses.begin(), losses.end());
    if (losses.size() > 1) {
        double squares = 0.0;
        for (double loss : losses)
            squares += (loss - mean) * (loss - mean);
        summary.stddevLossDb = std::sqrt(squares / static_cast<double>(losses.size() - 1));
    }
}

std::vector<WavelengthSummary> Summarise(const std::vector<RecordResult>& records)
{
    // Key -1 holds the records without a wavelength, shown last.
    std::map<int, std::pair<WavelengthSummary, std::vector<double>>> groups;
    for (const RecordResult& record : records) {
        const int key = record.wavelengthNm ? *record.wavelengthNm : std::numeric_limits<int>::max();
        auto& [summary, losses] = groups[key];
        summary.wavelengthNm = record.wavelengthNm;
        ++summary.records;
        summary.pass += IsPass(record.verdict) ? 1 : 0;
        summary.fail += IsFail(record.verdict) ? 1 : 0;
        summary.marginal += IsMarginal(record.verdict) ? 1 : 0;
        summary.noVerdict += IsPass(record.verdict) || IsFail(record.verdict) ? 0 : 1;
        if (record.lossDb)
            losses.push_back(*record.lossDb);
        if (record.marginDb && (!summary.worstMarginDb || *record.marginDb < *summary.worstMarginDb))
            summary.worstMarginDb = record.marginDb;
    }
    std::vector<WavelengthSummary> summaries;
    for (auto& [key, group] : groups) {
        FillStatistics(group.first, group.second);
        summaries.push_back(group.first);
    }
    return summaries;
}

} // namespace

Measurement MeasurementFromRecord(const MeterRecord& record, int rowIndex)
{
    Measurement measurement;
    measurement.no = rowIndex + 1;
    measurement.powerMw = record.Power();
    measurement.refMw = record.Ref();
    if (record.WavelengthIndex() < std::size(kMeterWavelengthsNm))
        measurement.wavelengthNm = kMeterWavelengthsNm[record.WavelengthIndex()];
    measurement.read = true;
    return measurement;
}

std::vector<Measurement> MeasurementsFromRecords(const std::vector<std::optional<MeterRecord>>& records)
{
    std::vector<Measurement> measurements(records.size());
    for (std::size_t i = 0; i < records.size(); ++i) {
        if (records[i])
            measurements[i] = MeasurementFromRecord(*records[i], static_cast<int>(i));
        else
            measurements[i].no = static_cast<int>(i) + 1;
    }
    return measurements;
}

Measurement MeasurementFromRowTexts(const RowTexts& row)
{
    Measurement measurement;
    measurement.no = static_cast<int>(LeadingNumber(row.cells[COL_NO]).value_or(0));
    if (const std::optional<double> nm = LeadingNumber(row.cells[COL_WAVELENGTH]); nm && *nm > 0)
        measurement.wavelengthNm = static_cast<int>(*nm);
    const std::optional<double> refDbm = LeadingNumber(row.cells[COL_REF]);
    measurement.refMw = refDbm ? MilliwattsOf(*refDbm) : kNoValue;
    measurement.powerMw = PowerFromCell(row.cells[COL_POWER], refDbm.value_or(kNoValue));
    // An unread record's row holds its No. and nothing else.
    measurement.read = !row.cells[COL_WAVELENGTH].empty() || !row.cells[COL_POWER].empty()
                       || !row.cells[COL_REF].empty();
    return measurement;
}

std::optional<double> LossOf(const Measurement& measurement)
{
    if (!measurement.read || !IsPositiveFinite(measurement.powerMw) || !IsPositiveFinite(measurement.refMw))
        return std::nullopt;
    const double loss = 10.0 * std::log10(measurement.refMw / measurement.powerMw);
    if (!std::isfinite(loss))
        return std::nullopt;
    return loss;
}

const WavelengthLimit* LimitSet::Find(int wavelengthNm) const
{
    const auto found = std::find_if(wavelengths.begin(), wavelengths.end(),
                                    [wavelengthNm](const WavelengthLimit& limit) {
                                        return limit.wavelengthNm == wavelengthNm;
                                    });
    return found == wavelengths.end() ? nullptr : &*found;
}

std::optional<LabelPattern> ParseLabelPattern(const std::string& text)
{
    std::size_t digitsBegin = text.size();
    while (digitsBegin > 0 && text[digitsBegin - 1] >= '0' && text[digitsBegin - 1] <= '9')
        --digitsBegin;
    const std::size_t digits = text.size() - digitsBegin;
    if (digits > static_cast<std::size_t>(kMaxPatternDigits))
        return std::nullopt;
    LabelPattern pattern;
    pattern.prefix = text.substr(0, digitsBegin);
    pattern.width = static_cast<int>(digits);
    pattern.start = digits == 0 ? 1 : std::stoi(text.substr(digitsBegin));
    return pattern;
}

std::string PatternText(const LabelPattern& pattern)
{
    return LinkLabel(pattern, 0);
}

std::string LinkLabel(const LabelPattern& pattern, int linkIndex)
{
    std::string number = std::to_string(static_cast<long long>(pattern.start) + linkIndex);
    if (static_cast<int>(number.size()) < pattern.width)
        number.insert(0, static_cast<std::size_t>(pattern.width) - number.size(), '0');
    return pattern.prefix + number;
}

std::string CheckParameters(const LimitSet& set, const EvaluationParameters& parameters)
{
    if (set.maxLossFromParameters && !parameters.maxLossDb)
        return "The limit set \"" + set.name + "\" needs a maximum loss.";
    if (parameters.maxLossDb && !(std::isfinite(*parameters.maxLossDb) && *parameters.maxLossDb >= 0.0))
        return "The maximum loss must be a number of 0 dB or more.";
    if (!(std::isfinite(parameters.lengthKm) && parameters.lengthKm >= 0.0))
        return "The length must be a number of 0 km or more.";
    if (parameters.connections < 0 || parameters.splices < 0)
        return "Connections and splices cannot be negative.";
    if (!(std::isfinite(parameters.uncertaintyDb) && parameters.uncertaintyDb >= 0.0))
        return "The uncertainty band must be a number of 0 dB or more.";
    if (parameters.recordsPerLink < 1 || parameters.recordsPerLink > kMaxRecordsPerLink)
        return "Records per link must be 1 to " + std::to_string(kMaxRecordsPerLink) + ".";
    if (!(std::isfinite(parameters.bendThresholdDb) && parameters.bendThresholdDb >= 0.0))
        return "The bend threshold must be a number of 0 dB or more.";
    return {};
}

std::optional<double> LimitFor(const LimitSet& set, const EvaluationParameters& parameters, int wavelengthNm)
{
    if (set.maxLossFromParameters)
        return parameters.maxLossDb;
    const WavelengthLimit* limit = set.Find(wavelengthNm);
    if (!limit)
        return std::nullopt;
    if (limit->maxLossDb)
        return limit->maxLossDb;
    if (!limit->attenuationDbPerKm)
        return std::nullopt;
    return *limit->attenuationDbPerKm * parameters.lengthKm + parameters.connections * set.connectionLossDb
           + parameters.splices * set.spliceLossDb + set.allowanceDb;
}

const char* VerdictText(Verdict verdict)
{
    switch (verdict) {
    case Verdict::Pass: return "PASS";
    case Verdict::Fail: return "FAIL";
    case Verdict::MarginalPass: return "PASS*";
    case Verdict::MarginalFail: return "FAIL*";
    case Verdict::NoVerdict: return "NO VERDICT";
    case Verdict::NoReading: return "NO READING";
    case Verdict::Gain: return "GAIN";
    }
    return "NO VERDICT";
}

bool IsPass(Verdict verdict)
{
    return verdict == Verdict::Pass || verdict == Verdict::MarginalPass;
}

bool IsFail(Verdict verdict)
{
    return verdict == Verdict::Fail || verdict == Verdict::MarginalFail;
}

bool IsMarginal(Verdict verdict)
{
    return verdict == Verdict::MarginalPass || verdict == Verdict::MarginalFail;
}

std::vector<MeasuredRecord> MeasureRecords(const std::vector<Measurement>& measurements)
{
    std::vector<MeasuredRecord> records(measurements.size());
    for (std::size_t i = 0; i < measurements.size(); ++i) {
        const Measurement& measurement = measurements[i];
        MeasuredRecord& record = records[i];
        record.no = measurement.no;
        record.wavelengthNm = measurement.wavelengthNm;
        if (measurement.read) {
            record.powerDbm = DbmOf(measurement.powerMw);
            record.refDbm = DbmOf(measurement.refMw);
        }
        record.lossDb = LossOf(measurement);
    }
    return records;
}

EvaluationResult Evaluate(const std::vector<Measurement>& measurements, const LimitSet& set,
                          const EvaluationParameters& parameters)
{
    return Judge(MeasureRecords(measurements), set, parameters);
}

EvaluationResult Judge(const std::vector<MeasuredRecord>& records, const LimitSet& set,
                       const EvaluationParameters& parameters)
{
    EvaluationResult result;
    const int perLink = std::clamp(parameters.recordsPerLink, 1, kMaxRecordsPerLink);
    result.records.reserve(records.size());
    for (std::size_t i = 0; i < records.size(); ++i) {
        const MeasuredRecord& measured = records[i];
        RecordResult record;
        record.no = measured.no;
        record.link = static_cast<int>(i) / perLink;
        record.wavelengthNm = measured.wavelengthNm;
        record.powerDbm = measured.powerDbm;
        record.refDbm = measured.refDbm;
        JudgeRecord(record, measured, set, parameters);
        if (IsPass(record.verdict))
            ++result.passCount;
        else if (IsFail(record.verdict))
            ++result.failCount;
        else
            ++result.noVerdictCount;
        result.records.push_back(std::move(record));
    }

    for (int first = 0; first < static_cast<int>(result.records.size()); first += perLink) {
        LinkResult link;
        const int index = first / perLink;
        const auto edited = parameters.editedLabels.find(index);
        link.label = edited != parameters.editedLabels.end() ? edited->second : LinkLabel(parameters.labels, index);
        link.firstRecord = first;
        link.recordCount = std::min(perLink, static_cast<int>(result.records.size()) - first);
        link.verdict = Verdict::Pass;
        for (int i = first; i < first + link.recordCount; ++i) {
            result.records[static_cast<std::size_t>(i)].label = link.label;
            if (Severity(result.records[static_cast<std::size_t>(i)].verdict) > Severity(link.verdict))
                link.verdict = result.records[static_cast<std::size_t>(i)].verdict;
        }
        if (parameters.bendCheck)
            CheckBend(result, link, parameters);
        result.links.push_back(std::move(link));
    }

    result.summary = Summarise(result.records);
    if (result.failCount > 0)
        result.overall = Verdict::Fail;
    else if (result.noVerdictCount == 0 && !result.records.empty())
        result.overall = Verdict::Pass;
    else
        result.overall = Verdict::NoVerdict;
    return result;
}

std::string FormatDb(double value)
{
    if (std::isnan(value))
        return "nan";
    if (std::isinf(value))
        return value < 0 ? "-inf" : "inf";
    char text[128];
    const auto [end, error] = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, 2);
    return error == std::errc() ? std::string(text, end) : std::string("nan");
}

std::string FormatDb(const std::optional<double>& value, const char* none)
{
    return value ? FormatDb(*value) : std::string(none);
}

std::string OverallVerdictLine(const EvaluationResult& result)
{
    const std::string total = std::to_string(result.records.size());
    switch (result.overall) {
    case Verdict::Fail:
        return "FAIL: " + std::to_string(result.failCount) + " of " + total + " records fail";
    case Verdict::Pass:
        return "PASS: all " + total + " records pass";
    default:
        return "NO VERDICT: none of " + total + " records fails, " + std::to_string(result.noVerdictCount)
               + " without a verdict";
    }
}
