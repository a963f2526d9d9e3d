#include "Evaluation.h"
#include "EvaluationExport.h"
#include "LimitSetFile.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cmath>
#include <limits>

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

Measurement Values(double powerMw, double refMw, std::optional<int> nm = 1310, int no = 1)
{
    return {no, powerMw, refMw, nm, true};
}

// A measurement of the given loss against a 1 mW reference.
Measurement OfLoss(double lossDb, std::optional<int> nm = 1310)
{
    return Values(std::pow(10.0, -lossDb / 10.0), 1.0, nm);
}

LimitSet FixedSet(double maxLossDb)
{
    LimitSet set;
    set.name = "test";
    for (int nm : {1310, 1550})
        set.wavelengths.push_back({nm, maxLossDb, std::nullopt, std::nullopt, std::nullopt});
    return set;
}

const LimitSet& BuiltIn(const char* name)
{
    const LimitSet* set = FindBuiltInLimitSet(name);
    EXPECT_NE(set, nullptr) << name;
    return *set;
}

// The loss comes from the stored milliwatts, whatever unit the meter
// displayed; the texts of a saved report give it back within 0.01 dB. Against
// a 1 mW reference, 0.5 mW is 3.0103 dB (10 log10(2)), 5 uW 23.0103 dB
// (10 log10(200)), 5 nW 53.0103 dB and 5 pW 83.0103 dB.
TEST(EvaluationLossTest, SameLossInEveryDisplayModeAndUnit)
{
    const struct {
        float powerMw;
        std::uint8_t mode;
        double lossDb;
    } cases[] = {{0.5f, 0, 3.0103},   {0.5f, 1, 3.0103},    {0.5f, 2, 3.0103},    {0.5f, 7, 3.0103},
                 {5e-3f, 0, 23.0103}, {5e-6f, 0, 53.0103}, {5e-9f, 0, 83.0103}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.powerMw << " mW in mode " << int(c.mode));
        const MeterRecord record = MeterRecord::Make(c.powerMw, 1.0f, c.mode, 2, 0);
        const std::optional<double> fromRecord = LossOf(MeasurementFromRecord(record, 0));
        ASSERT_TRUE(fromRecord);
        EXPECT_NEAR(*fromRecord, c.lossDb, 1e-4);
        if (c.mode == 7)
            continue;   // an unknown mode leaves the power cell empty
        const Measurement fromTexts = MeasurementFromRowTexts(DecodeRecord(record, 4));
        EXPECT_EQ(fromTexts.no, 5);
        EXPECT_EQ(fromTexts.wavelengthNm, 1310);
        ASSERT_TRUE(LossOf(fromTexts));
        EXPECT_NEAR(*LossOf(fromTexts), c.lossDb, 0.01);
    }
}

TEST(EvaluationLossTest, InvalidValuesHaveNoLoss)
{
    const struct {
        const char* why;
        Measurement measurement;
    } cases[] = {
        {"power 0", Values(0.0, 1.0)},
        {"negative power", Values(-0.5, 1.0)},
        {"power NaN", Values(kNaN, 1.0)},
        {"power infinite", Values(kInf, 1.0)},
        {"reference 0", Values(0.5, 0.0)},
        {"negative reference", Values(0.5, -1.0)},
        {"reference NaN", Values(0.5, kNaN)},
        {"reference infinite", Values(0.5, kInf)},
        {"record not read", {1, 0.5, 1.0, 1310, false}},
        {"unread row of a saved report", MeasurementFromRowTexts(UnreadRow(3))},
        {"mode 0 power out of range", MeasurementFromRowTexts(DecodeRecord(MeterRecord::Make(100.0f, 1.0f, 0, 2, 0), 0))},
        {"zero reference in a saved report", MeasurementFromRowTexts(DecodeRecord(MeterRecord::Make(0.5f, 0.0f, 1, 2, 0), 0))},
    };
    for (const auto& c : cases) {
        EXPECT_FALSE(LossOf(c.measurement)) << c.why;
        const EvaluationResult result = Evaluate({c.measurement}, FixedSet(10.0), {});
        EXPECT_EQ(result.records[0].verdict, Verdict::NoReading) << c.why;
        EXPECT_FALSE(result.records[0].marginDb) << c.why;
    }
}

// More power than the reference: the reference is stale, nothing to judge.
TEST(EvaluationLossTest, GainHasNoVerdict)
{
    const EvaluationResult result = Evaluate({Values(2.0, 1.0)}, FixedSet(10.0), {});
    EXPECT_EQ(result.records[0].verdict, Verdict::Gain);
    EXPECT_EQ(result.records[0].note, "gain: take a new reference");
    EXPECT_EQ(FormatDb(result.records[0].lossDb), "-3.01");
    EXPECT_EQ(result.overall, Verdict::NoVerdict);
}

TEST(EvaluationLimitTest, BuiltInSetsWorkedByHand)
{
    const struct {
        const char* set;
        int nm;
        double km;
        int connections;
        int splices;
        double limitDb;   // worked by hand
    } cases[] = {
        // 3.5 dB/km x 0.842 km = 2.947; 2 x 0.75 = 1.5; 2.947 + 1.5 = 4.447
        {"TIA-568.3-D multimode", 850, 0.842, 2, 0, 4.447},
        // 1.5 x 2 = 3.0; 2 x 0.75 = 1.5; 1 x 0.3 = 0.3; 3.0 + 1.5 + 0.3 = 4.8
        {"TIA-568.3-D multimode", 1300, 2.0, 2, 1, 4.8},
        // 1.0 x 0.3 = 0.3; + 1.5 = 1.8
        {"TIA-568.3-D single-mode inside plant", 1310, 0.3, 2, 0, 1.8},
        // 1.0 x 1.25 = 1.25; 4 x 0.75 = 3.0; 2 x 0.3 = 0.6; = 4.85
        {"TIA-568.3-D single-mode inside plant", 1550, 1.25, 4, 2, 4.85},
        // 0.5 x 10 = 5.0; 2 x 0.75 = 1.5; 3 x 0.3 = 0.9; = 7.4
        {"TIA-568.3-D single-mode outside plant", 1310, 10.0, 2, 3, 7.4},
        {"TIA-568.3-D single-mode outside plant", 1550, 10.0, 2, 3, 7.4},
        // no length, no connection: the budget is nothing at all
        {"TIA-568.3-D single-mode outside plant", 1550, 0.0, 0, 0, 0.0},
    };
    for (const auto& c : cases) {
        EvaluationParameters parameters;
        parameters.lengthKm = c.km;
        parameters.connections = c.connections;
        parameters.splices = c.splices;
        const std::optional<double> limit = LimitFor(BuiltIn(c.set), parameters, c.nm);
        ASSERT_TRUE(limit) << c.set << " " << c.nm;
        EXPECT_NEAR(*limit, c.limitDb, 1e-9) << c.set << " " << c.nm;
    }
}

TEST(EvaluationLimitTest, FixedBudgetCoversEveryWavelengthWithItsParameter)
{
    EvaluationParameters parameters;
    EXPECT_EQ(CheckParameters(BuiltIn("Fixed budget"), parameters), "The limit set \"Fixed budget\" needs a maximum loss.");
    parameters.maxLossDb = 3.0;
    parameters.lengthKm = 5.0;   // no part of a fixed budget
    EXPECT_EQ(CheckParameters(BuiltIn("Fixed budget"), parameters), "");
    for (int nm : {850, 1300, 1310, 1490, 1550, 1625, 1650})
        EXPECT_EQ(LimitFor(BuiltIn("Fixed budget"), parameters, nm), 3.0) << nm;
}

// A wavelength the set has no value for is never a pass: the built-in sets
// have values for 850 and 1300 nm (multimode) or 1310 and 1550 nm (single-mode).
TEST(EvaluationLimitTest, UncoveredWavelengthHasNoVerdict)
{
    const struct {
        const char* set;
        std::vector<int> nms;
    } cases[] = {
        {"TIA-568.3-D multimode", {1310, 1490, 1550, 1625, 1650}},
        {"TIA-568.3-D single-mode inside plant", {850, 1300, 1490, 1625, 1650}},
        {"TIA-568.3-D single-mode outside plant", {850, 1300, 1490, 1625, 1650}},
    };
    EvaluationParameters parameters;
    parameters.lengthKm = 100.0;
    for (const auto& c : cases) {
        for (int nm : c.nms) {
            SCOPED_TRACE(testing::Message() << c.set << " " << nm);
            EXPECT_FALSE(LimitFor(BuiltIn(c.set), parameters, nm));
            const EvaluationResult result = Evaluate({OfLoss(0.1, nm)}, BuiltIn(c.set), parameters);
            EXPECT_EQ(result.records[0].verdict, Verdict::NoVerdict);
            EXPECT_EQ(result.records[0].note, "no limit for " + std::to_string(nm) + " nm");
            EXPECT_EQ(result.overall, Verdict::NoVerdict);
        }
    }
    const EvaluationResult noWavelength = Evaluate({OfLoss(0.1, std::nullopt)}, FixedSet(3.0), {});
    EXPECT_EQ(noWavelength.records[0].verdict, Verdict::NoVerdict);
}

// The loss is 10 log10(1 / 0.1) = 10 dB exactly; the margin is limit - 10.
TEST(EvaluationVerdictTest, MarginBoundaryAndMarginalBand)
{
    const struct {
        double limitDb;
        double uncertaintyDb;
        Verdict verdict;
        const char* margin;
    } cases[] = {
        {10.0, 0.0, Verdict::Pass, "0.00"},            // margin exactly 0 passes
        {9.999, 0.0, Verdict::Fail, "-0.00"},          // shown as 0.00 yet below: compared unrounded
        {10.004, 0.0, Verdict::Pass, "0.00"},
        {10.3, 0.5, Verdict::MarginalPass, "0.30"},
        {10.5, 0.5, Verdict::MarginalPass, "0.50"},    // |margin| = u is marginal
        {10.6, 0.5, Verdict::Pass, "0.60"},
        {9.7, 0.5, Verdict::MarginalFail, "-0.30"},
        {9.5, 0.5, Verdict::MarginalFail, "-0.50"},
        {9.4, 0.5, Verdict::Fail, "-0.60"},
        {10.0, 0.5, Verdict::MarginalPass, "0.00"},
    };
    for (const auto& c : cases) {
        EvaluationParameters parameters;
        parameters.uncertaintyDb = c.uncertaintyDb;
        const EvaluationResult result = Evaluate({Values(0.1, 1.0)}, FixedSet(c.limitDb), parameters);
        EXPECT_EQ(result.records[0].lossDb, 10.0);
        EXPECT_EQ(result.records[0].verdict, c.verdict) << c.limitDb << " u " << c.uncertaintyDb;
        EXPECT_EQ(FormatDb(result.records[0].marginDb), c.margin) << c.limitDb;
    }
    EXPECT_STREQ(VerdictText(Verdict::MarginalPass), "PASS*");
    EXPECT_STREQ(VerdictText(Verdict::MarginalFail), "FAIL*");
}

// Loss 10 dB passes a 12 dB budget, but -30 dBm lies below a -20 dBm receiver.
TEST(EvaluationVerdictTest, PowerWindowFailsOutsideIt)
{
    LimitSet set = FixedSet(12.0);
    set.wavelengths[0].minPowerDbm = -20.0;
    set.wavelengths[0].maxPowerDbm = -3.0;
    const EvaluationResult low = Evaluate({Values(0.001, 0.01)}, set, {});
    EXPECT_EQ(low.records[0].verdict, Verdict::Fail);
    EXPECT_EQ(low.records[0].note, "power below -20.00 dBm");
    EXPECT_EQ(FormatDb(low.records[0].powerDbm), "-30.00");
    const EvaluationResult high = Evaluate({Values(1.0, 10.0)}, set, {});   // 0 dBm
    EXPECT_EQ(high.records[0].note, "power above -3.00 dBm");
    const EvaluationResult inside = Evaluate({Values(0.1, 1.0)}, set, {});   // -10 dBm
    EXPECT_EQ(inside.records[0].verdict, Verdict::Pass);
}

TEST(EvaluationLinkTest, LabelsAndWorstRecordPerLink)
{
    EvaluationParameters parameters;
    parameters.recordsPerLink = 2;
    const std::vector<Measurement> records{OfLoss(1.0), OfLoss(4.0), OfLoss(1.0), OfLoss(1.0, 1625), OfLoss(1.0)};
    EvaluationResult result = Evaluate(records, FixedSet(3.0), parameters);
    ASSERT_EQ(result.links.size(), 3u);
    EXPECT_EQ(result.records[0].label, "F001");
    EXPECT_EQ(result.records[1].label, "F001");
    EXPECT_EQ(result.records[2].label, "F002");
    EXPECT_EQ(result.records[4].label, "F003");
    EXPECT_EQ(result.links[0].verdict, Verdict::Fail);
    EXPECT_EQ(result.links[1].verdict, Verdict::NoVerdict);   // 1625 nm has no limit in the set
    EXPECT_EQ(result.links[2].verdict, Verdict::Pass);
    EXPECT_EQ(result.links[2].recordCount, 1);

    parameters.labels = *ParseLabelPattern("Link-09");
    parameters.editedLabels[1] = "Spare";
    result = Evaluate(records, FixedSet(3.0), parameters);
    EXPECT_EQ(result.records[0].label, "Link-09");
    EXPECT_EQ(result.records[3].label, "Spare");
    EXPECT_EQ(result.records[4].label, "Link-11");
}

TEST(EvaluationLinkTest, LabelPatterns)
{
    const struct {
        const char* pattern;
        const char* first;
        const char* eleventh;
    } cases[] = {
        {"F001", "F001", "F011"},
        {"A-7", "A-7", "A-17"},
        {"Rack 2 port 098", "Rack 2 port 098", "Rack 2 port 108"},
        {"X", "X1", "X11"},
        {"", "1", "11"},
        {"99", "99", "109"},   // the number grows beyond its width
    };
    for (const auto& c : cases) {
        const std::optional<LabelPattern> pattern = ParseLabelPattern(c.pattern);
        ASSERT_TRUE(pattern) << c.pattern;
        EXPECT_EQ(LinkLabel(*pattern, 0), c.first);
        EXPECT_EQ(LinkLabel(*pattern, 10), c.eleventh);
    }
    EXPECT_FALSE(ParseLabelPattern("F0000000001"));   // ten digits: beyond an int's room
}

// 1550 nm losing more than 0.5 dB beyond 1310 nm in the same link hints at a bend.
TEST(EvaluationLinkTest, BendFlag)
{
    const struct {
        double loss1310;
        double loss1550;
        int longNm;
        double thresholdDb;
        bool bend;
    } cases[] = {
        {1.0, 1.55, 1550, 0.5, true},
        {1.0, 1.45, 1550, 0.5, false},
        {1.0, 1.45, 1550, 0.3, true},
        {1.0, 1.6, 1625, 0.5, true},
        {1.0, 1.6, 1490, 0.5, false},   // only 1550 and 1625 are checked
        {1.6, 1.0, 1550, 0.5, false},
    };
    for (const auto& c : cases) {
        EvaluationParameters parameters;
        parameters.recordsPerLink = 2;
        parameters.bendThresholdDb = c.thresholdDb;
        LimitSet set = FixedSet(3.0);
        const EvaluationResult result = Evaluate({OfLoss(c.loss1310, 1310), OfLoss(c.loss1550, c.longNm)}, set, parameters);
        EXPECT_EQ(result.links[0].possibleBend, c.bend) << c.loss1550 << " at " << c.longNm;
        EXPECT_EQ(result.records[1].note.find("possible bend") != std::string::npos, c.bend);
    }
    EvaluationParameters unchecked;
    unchecked.recordsPerLink = 2;
    unchecked.bendCheck = false;
    EXPECT_FALSE(Evaluate({OfLoss(1.0, 1310), OfLoss(3.0, 1550)}, FixedSet(5.0), unchecked).links[0].possibleBend);
}

// One value has no sample deviation, equal values one of 0; no record at all
// is no pass. 0.5 mW against 1 mW: 3.0103 dB, 0.9897 dB within a 4 dB budget.
TEST(EvaluationSummaryTest, SmallSamples)
{
    const EvaluationResult one = Evaluate({Values(0.5, 1.0)}, FixedSet(4.0), {});
    ASSERT_EQ(one.summary.size(), 1u);
    EXPECT_EQ(one.summary[0].pass, 1);
    EXPECT_FALSE(one.summary[0].stddevLossDb);
    EXPECT_NEAR(*one.summary[0].worstMarginDb, 0.9897, 1e-4);
    EXPECT_EQ(one.overall, Verdict::Pass);
    const EvaluationResult equal = Evaluate({Values(0.5, 1.0), Values(0.5, 1.0), Values(0.5, 1.0)}, FixedSet(4.0), {});
    EXPECT_EQ(*equal.summary[0].stddevLossDb, 0.0);
    EXPECT_EQ(Evaluate({}, FixedSet(3.0), {}).overall, Verdict::NoVerdict);
}

// Losses 1, 2, 3 dB and a record without a reading: mean 2, sample
// deviation sqrt((1 + 0 + 1) / 2) = 1; the unread record counts as a record
// without a verdict and stays out of the statistics.
TEST(EvaluationSummaryTest, NoReadingExcludedFromStatistics)
{
    EvaluationParameters parameters;
    parameters.uncertaintyDb = 0.5;
    const EvaluationResult result =
        Evaluate({OfLoss(1.0), OfLoss(2.0), OfLoss(3.0), Values(kNaN, 1.0), OfLoss(2.0, 1550)}, FixedSet(2.8), parameters);
    ASSERT_EQ(result.summary.size(), 2u);
    const WavelengthSummary& row = result.summary[0];
    EXPECT_EQ(row.records, 4);
    EXPECT_EQ(row.lossCount, 3);
    EXPECT_EQ(row.pass, 2);        // 1.0 and 2.0 against 2.8
    EXPECT_EQ(row.fail, 1);        // 3.0: margin -0.2, within the band
    EXPECT_EQ(row.marginal, 1);
    EXPECT_EQ(row.noVerdict, 1);
    EXPECT_NEAR(*row.meanLossDb, 2.0, 1e-9);
    EXPECT_NEAR(*row.stddevLossDb, 1.0, 1e-9);
    EXPECT_NEAR(*row.minLossDb, 1.0, 1e-9);
    EXPECT_NEAR(*row.maxLossDb, 3.0, 1e-9);
    EXPECT_NEAR(*row.worstMarginDb, -0.2, 1e-9);
    EXPECT_EQ(result.summary[1].wavelengthNm, 1550);
    EXPECT_EQ(result.overall, Verdict::Fail);
    EXPECT_EQ(OverallVerdictLine(result), "FAIL: 1 of 5 records fail");
}

// The exports parse back with the fields a script relies on, the CSV with
// the limits it was judged by.
TEST(EvaluationExportTest, JsonAndCsvCarryTheRecordsAndTheirLimits)
{
    EvaluationParameters parameters;
    parameters.lengthKm = 0.842;
    parameters.connections = 2;
    const LimitSet& set = BuiltIn("TIA-568.3-D multimode");
    const EvaluationResult result = Evaluate({Values(0.5, 1.0, 850), Values(0.0, 1.0, 850, 2)}, set, parameters);
    const auto json = nlohmann::json::parse(EvaluationJson({"saved.csv", true}, set, parameters, result));
    EXPECT_EQ(json["version"], 1);
    ASSERT_EQ(json["records"].size(), 2u);
    const auto& first = json["records"][0];
    EXPECT_EQ(first["no"], 1);
    EXPECT_EQ(first["label"], "F001");
    EXPECT_EQ(first["wavelength_nm"], 850);
    EXPECT_EQ(first["power_dbm"], -3.01);
    EXPECT_EQ(first["ref_dbm"], 0.0);
    EXPECT_EQ(first["loss_db"], 3.01);
    EXPECT_EQ(first["limit_db"], 4.45);   // 4.447 to two decimals
    EXPECT_EQ(first["margin_db"], 1.44);  // 4.447 - 3.0103 = 1.4367
    EXPECT_EQ(first["result"], "PASS");
    const auto& second = json["records"][1];
    EXPECT_TRUE(second["power_dbm"].is_null());
    EXPECT_TRUE(second["loss_db"].is_null());
    EXPECT_TRUE(second["margin_db"].is_null());
    EXPECT_EQ(second["result"], "NO READING");
    EXPECT_EQ(json["summary"][0]["wavelength_nm"], 850);
    EXPECT_EQ(json["summary"][0]["records"], 2);
    EXPECT_EQ(json["limit_set"]["name"], "TIA-568.3-D multimode");
    EXPECT_EQ(json["parameters"]["length_km"], 0.842);
    EXPECT_EQ(json["overall"], "NO VERDICT");

    const std::string csv = EvaluationCsv({"meter", false}, set, parameters, result);
    EXPECT_NE(csv.find("850 nm: 3.5 dB/km x 0.842 km + 2 x 0.75 dB + 0 x 0.3 dB = 4.447 dB\r\n"), std::string::npos) << csv;
    EXPECT_NE(csv.find("\r\nNo.,Label,Wavelength,Power dBm,Ref dBm,Loss,Limit,Margin,Result\r\n"
                       "1,F001,850,-3.01,0.00,3.01,4.45,1.44,PASS\r\n"), std::string::npos) << csv;
}

} // namespace
