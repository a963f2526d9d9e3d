#pragma once
// Evaluation of measured records against a loss budget: pure C++. Files in
// this folder depend on the data folder only: no widgets, no clocks, and no
// files except the limit-set files LimitSetFile reads.

#include "MeterRecord.h"
#include "RowTexts.h"

#include <map>
#include <optional>
#include <string>
#include <vector>

// The wavelengths the meter knows, in the order of its wavelength index.
inline constexpr int kMeterWavelengthsNm[] = {850, 1300, 1310, 1490, 1550, 1625, 1650};

// One record's values as the evaluation takes them: power and reference in
// milliwatts as stored (NaN where there is none), the wavelength in nm.
struct Measurement {
    int no = 0;                          // the table's No.
    double powerMw = 0.0;
    double refMw = 0.0;
    std::optional<int> wavelengthNm;
    bool read = false;                   // false for a record the transfer could not read
};

// From the record's own floats: the exact values the meter stored.
Measurement MeasurementFromRecord(const MeterRecord& record, int rowIndex);
// The records of a transfer in table order; none where a record was not read.
std::vector<Measurement> MeasurementsFromRecords(const std::vector<std::optional<MeterRecord>>& records);
// From the texts of a saved report's row. The texts carry two decimals of the
// dBm values, so the loss comes back to within 0.01 dB of the record's; a
// linear power keeps four decimals of its unit (within 0.03 dB at 0.01 of a unit).
Measurement MeasurementFromRowTexts(const RowTexts& row);

// Loss in dB = 10 log10(ref / power); none where either value is not a
// positive finite number or the record was not read.
std::optional<double> LossOf(const Measurement& measurement);

// The limit of one wavelength: fixed (maxLossDb) or from the link's length
// (attenuation x km + connections + splices + allowance); optionally also a
// window the power itself must lie in.
struct WavelengthLimit {
    int wavelengthNm = 0;
    std::optional<double> maxLossDb;
    std::optional<double> attenuationDbPerKm;
    std::optional<double> minPowerDbm;
    std::optional<double> maxPowerDbm;
    bool operator==(const WavelengthLimit&) const = default;
};

struct LimitSet {
    std::string name;
    bool builtIn = false;
    // "Fixed budget": every wavelength gets the one maximum loss given as a parameter.
    bool maxLossFromParameters = false;
    double connectionLossDb = 0.0;
    double spliceLossDb = 0.0;
    double allowanceDb = 0.0;
    std::vector<WavelengthLimit> wavelengths;
    std::string source;    // where the numbers come from, for the help and the reports

    const WavelengthLimit* Find(int wavelengthNm) const;
    bool operator==(const LimitSet&) const = default;
};

// Labels of links: prefix + number from start, zero-padded to width ("F001").
struct LabelPattern {
    std::string prefix = "F";
    int start = 1;
    int width = 3;
    bool operator==(const LabelPattern&) const = default;
};
// "F001" gives prefix "F", start 1, width 3; a pattern without trailing
// digits numbers from 1 unpadded. Empty when the number is too long.
std::optional<LabelPattern> ParseLabelPattern(const std::string& text);
std::string PatternText(const LabelPattern& pattern);
std::string LinkLabel(const LabelPattern& pattern, int linkIndex);

inline constexpr double kDefaultBendThresholdDb = 0.5;
inline constexpr int kMaxRecordsPerLink = 16;

struct EvaluationParameters {
    std::optional<double> maxLossDb;     // the "Fixed budget"'s one limit
    double lengthKm = 0.0;
    int connections = 0;
    int splices = 0;
    double uncertaintyDb = 0.0;          // > 0: |margin| within it is marginal
    int recordsPerLink = 1;
    LabelPattern labels;
    std::map<int, std::string> editedLabels;   // by link index
    bool bendCheck = true;
    double bendThresholdDb = kDefaultBendThresholdDb;
    bool operator==(const EvaluationParameters&) const = default;
};

// Why parameters cannot be used, for the operator; empty when they can.
std::string CheckParameters(const LimitSet& set, const EvaluationParameters& parameters);

// The limit the set gives a wavelength under the parameters; none where it has none.
std::optional<double> LimitFor(const LimitSet& set, const EvaluationParameters& parameters, int wavelengthNm);

enum class Verdict { Pass, Fail, MarginalPass, MarginalFail, NoVerdict, NoReading, Gain };

// "PASS", "FAIL", "PASS*", "FAIL*", "NO VERDICT", "NO READING", "GAIN".
const char* VerdictText(Verdict verdict);
bool IsPass(Verdict verdict);
bool IsFail(Verdict verdict);
bool IsMarginal(Verdict verdict);

struct RecordResult {
    int no = 0;
    int link = 0;                        // index of its link
    std::string label;                   // its link's label
    std::optional<int> wavelengthNm;
    std::optional<double> powerDbm;
    std::optional<double> refDbm;
    std::optional<double> lossDb;
    std::optional<double> limitDb;
    std::optional<double> marginDb;
    Verdict verdict = Verdict::NoReading;
    std::string note;                    // why there is no verdict, a power outside its window, a bend
};

struct LinkResult {
    std::string label;
    int firstRecord = 0;                 // index into the records
    int recordCount = 0;
    Verdict verdict = Verdict::NoReading;   // its worst record's
    bool possibleBend = false;
};

struct WavelengthSummary {
    std::optional<int> wavelengthNm;     // none: records without a wavelength
    int records = 0;
    int pass = 0;                        // PASS and PASS*
    int fail = 0;                        // FAIL and FAIL*
    int marginal = 0;                    // PASS* and FAIL*
    int noVerdict = 0;                   // NO VERDICT, NO READING and GAIN
    int lossCount = 0;                   // records with a loss, the statistics' sample
    std::optional<double> minLossDb, meanLossDb, maxLossDb, stddevLossDb;   // stddev: sample (n - 1)
    std::optional<double> worstMarginDb;
};

struct EvaluationResult {
    std::vector<RecordResult> records;
    std::vector<LinkResult> links;
    std::vector<WavelengthSummary> summary;   // by wavelength, records without one last
    Verdict overall = Verdict::NoVerdict;     // Fail if any fails, else Pass if all pass, else NoVerdict
    int passCount = 0, failCount = 0, noVerdictCount = 0;
};

// What a record's values give whatever the limits: worked out once per
// table, so that a parameter change only judges again.
struct MeasuredRecord {
    int no = 0;
    std::optional<int> wavelengthNm;
    std::optional<double> powerDbm;
    std::optional<double> refDbm;
    std::optional<double> lossDb;
};
std::vector<MeasuredRecord> MeasureRecords(const std::vector<Measurement>& measurements);

EvaluationResult Judge(const std::vector<MeasuredRecord>& records, const LimitSet& set,
                       const EvaluationParameters& parameters);
// Judge(MeasureRecords(measurements), set, parameters).
EvaluationResult Evaluate(const std::vector<Measurement>& measurements, const LimitSet& set,
                          const EvaluationParameters& parameters);

// Numbers as shown and exported: two decimals, a decimal point in every locale.
std::string FormatDb(double value);
std::string FormatDb(const std::optional<double>& value, const char* none = "");
// "PASS: 12 of 12 records", the overall line.
std::string OverallVerdictLine(const EvaluationResult& result);
