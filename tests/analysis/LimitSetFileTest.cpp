#include "LimitSetFile.h"
#include "StoredEvaluation.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

namespace {

namespace fs = std::filesystem;

constexpr const char* kGoodSet = R"({
  "ombrel_limit_set": 1,
  "name": "Campus backbone",
  "source": "our own budget",
  "connection_loss_db": 0.5,
  "splice_loss_db": 0.1,
  "allowance_db": 1,
  "wavelengths": [
    {"wavelength_nm": 1310, "attenuation_db_per_km": 0.4, "min_power_dbm": -25, "max_power_dbm": -3},
    {"wavelength_nm": 1625, "max_loss_db": 6.5}
  ]
})";

class LimitSetFolder : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_folder = fs::temp_directory_path() / ("ombrel-limits-" + std::to_string(std::random_device{}()));
        fs::create_directories(m_folder);
    }
    void TearDown() override { fs::remove_all(m_folder); }

    std::string Write(const std::string& name, const std::string& bytes)
    {
        const fs::path path = m_folder / name;
        std::ofstream(path, std::ios::binary) << bytes;
        return path.string();
    }

    fs::path m_folder;
};

TEST_F(LimitSetFolder, GoodFileReadsAndWritesBack)
{
    const LimitSetRead read = ReadLimitSetFile(Write("backbone.json", kGoodSet));
    ASSERT_TRUE(read.ok()) << read.error->Message();
    EXPECT_EQ(read.set.name, "Campus backbone");
    EXPECT_FALSE(read.set.builtIn);
    EXPECT_EQ(read.set.allowanceDb, 1.0);
    EXPECT_EQ(read.set.Find(1310)->minPowerDbm, -25.0);
    EXPECT_EQ(read.set.Find(1625)->maxLossDb, 6.5);
    // 0.4 x 2 = 0.8; 2 x 0.5 = 1.0; 1 x 0.1 = 0.1; + 1 allowance = 2.9
    EvaluationParameters parameters;
    parameters.lengthKm = 2.0;
    parameters.connections = 2;
    parameters.splices = 1;
    EXPECT_NEAR(*LimitFor(read.set, parameters, 1310), 2.9, 1e-12);
    EXPECT_EQ(LimitFor(read.set, parameters, 1625), 6.5);

    const LimitSetRead again = ParseLimitSet(LimitSetJson(read.set), "again.json");
    ASSERT_TRUE(again.ok()) << again.error->Message();
    EXPECT_EQ(again.set, read.set);
}

// Every built-in set says so where it is described; exported, it is an
// editable copy that reads back under its own name.
TEST(BuiltInLimitSetTest, CopiesReadBack)
{
    for (const LimitSet& set : BuiltInLimitSets()) {
        EvaluationParameters parameters;
        parameters.maxLossDb = 4.0;
        const LimitSetRead copy = ParseLimitSet(LimitSetJson(set, parameters), "copy.json");
        ASSERT_TRUE(copy.ok()) << set.name << ": " << copy.error->Message();
        EXPECT_EQ(copy.set.name, set.name + " (copy)");
        EXPECT_EQ(DescribeLimitSet(set, parameters)[0], "Limit set: " + set.name + " (built-in)");
        EXPECT_EQ(LimitFor(copy.set, parameters, 1550), LimitFor(set, parameters, 1550)) << set.name;
    }
}

TEST(LimitSetFileTest, BadFilesNameFieldAndReason)
{
    const std::string head = R"({"ombrel_limit_set": 1, "name": "x", )";
    const std::string lengthHead = head + R"("connection_loss_db": 0.75, "splice_loss_db": 0.3, )";
    const struct {
        const char* why;
        std::string bytes;
        const char* field;
        const char* reason;
    } cases[] = {
        {"not JSON", "{\"name\": ", "", "is not valid JSON"},
        {"not an object", "[1, 2]", "", "must hold one JSON object"},
        {"no version", R"({"name": "x", "wavelengths": []})", "ombrel_limit_set", "is missing"},
        {"later version", R"({"ombrel_limit_set": 2, "name": "x"})", "ombrel_limit_set", "must be 1"},
        {"no name", R"({"ombrel_limit_set": 1, "wavelengths": []})", "name", "is missing"},
        {"name a number", R"({"ombrel_limit_set": 1, "name": 5})", "name", "must be a text"},
        {"built-in name", R"({"ombrel_limit_set": 1, "name": "Fixed budget"})", "name", "built-in"},
        {"name too long", R"({"ombrel_limit_set": 1, "name": ")" + std::string(101, 'n') + "\"}", "name", "too long"},
        {"no wavelengths", head + "\"allowance_db\": 0}", "wavelengths", "is missing"},
        {"empty wavelengths", head + "\"wavelengths\": []}", "wavelengths", "at least one"},
        {"unknown wavelength", head + R"("wavelengths": [{"wavelength_nm": 1600, "max_loss_db": 3}]})",
         "wavelengths[0].wavelength_nm", "not a wavelength of the meter"},
        {"wavelength as text", head + R"("wavelengths": [{"wavelength_nm": "1310", "max_loss_db": 3}]})",
         "wavelengths[0].wavelength_nm", "whole number"},
        {"missing wavelength", head + R"("wavelengths": [{"max_loss_db": 3}]})", "wavelengths[0].wavelength_nm",
         "is missing"},
        {"loss as text", head + R"("wavelengths": [{"wavelength_nm": 1310, "max_loss_db": "3"}]})",
         "wavelengths[0].max_loss_db", "must be a number, not string"},
        {"negative loss", head + R"("wavelengths": [{"wavelength_nm": 1310, "max_loss_db": -1}]})",
         "wavelengths[0].max_loss_db", "must not be negative"},
        {"loss too large", head + R"("wavelengths": [{"wavelength_nm": 1310, "max_loss_db": 100.5}]})",
         "wavelengths[0].max_loss_db", "too large: at most 100"},
        {"neither limit", head + R"("wavelengths": [{"wavelength_nm": 1310}]})", "wavelengths[0].max_loss_db",
         "either"},
        {"both limits", head + R"("wavelengths": [{"wavelength_nm": 1310, "max_loss_db": 3, "attenuation_db_per_km": 1}]})",
         "wavelengths[0].max_loss_db", "not both"},
        {"twice", head + R"("wavelengths": [{"wavelength_nm": 1310, "max_loss_db": 3}, {"wavelength_nm": 1310, "max_loss_db": 4}]})",
         "wavelengths[1].wavelength_nm", "appears twice"},
        {"power window upside down",
         head + R"("wavelengths": [{"wavelength_nm": 1310, "max_loss_db": 3, "min_power_dbm": -3, "max_power_dbm": -20}]})",
         "wavelengths[0].min_power_dbm", "above max_power_dbm"},
        {"power too low", head + R"("wavelengths": [{"wavelength_nm": 1310, "max_loss_db": 3, "min_power_dbm": -120}]})",
         "wavelengths[0].min_power_dbm", "too small"},
        {"length-based without connection loss",
         head + R"("splice_loss_db": 0.3, "wavelengths": [{"wavelength_nm": 1310, "attenuation_db_per_km": 1}]})",
         "connection_loss_db", "is missing"},
        {"negative splice loss",
         head + R"("connection_loss_db": 0.75, "splice_loss_db": -0.3, "wavelengths": [{"wavelength_nm": 1310, "attenuation_db_per_km": 1}]})",
         "splice_loss_db", "must not be negative"},
        {"bool allowance", lengthHead + R"("allowance_db": true, "wavelengths": [{"wavelength_nm": 1310, "attenuation_db_per_km": 1}]})",
         "allowance_db", "must be a number, not boolean"},
        {"unknown field", lengthHead + R"("colour": "red", "wavelengths": [{"wavelength_nm": 1310, "max_loss_db": 3}]})",
         "colour", "not a field"},
        {"unknown wavelength field", head + R"("wavelengths": [{"wavelength_nm": 1310, "max_loss": 3}]})",
         "wavelengths[0].max_loss", "not a field"},
        {"file too large", std::string(kMaxLimitSetFileBytes + 1, ' '), "", "too large"},
    };
    for (const auto& c : cases) {
        const LimitSetRead read = ParseLimitSet(c.bytes, "bad.json");
        ASSERT_FALSE(read.ok()) << c.why;
        EXPECT_EQ(read.error->file, "bad.json") << c.why;
        EXPECT_EQ(read.error->field, c.field) << c.why;
        EXPECT_NE(read.error->reason.find(c.reason), std::string::npos) << c.why << ": " << read.error->reason;
        EXPECT_EQ(read.set, LimitSet{}) << c.why;   // nothing of a refused file is taken
    }
}

TEST_F(LimitSetFolder, ListAndResolveUserSets)
{
    const std::string good = Write("b-backbone.json", kGoodSet);
    const std::string bad = Write("a-broken.json", R"({"ombrel_limit_set": 1})");
    Write("notes.txt", "not a set");
    const std::vector<UserLimitSet> sets = ListUserLimitSets(m_folder.string());
    ASSERT_EQ(sets.size(), 2u);
    EXPECT_EQ(sets[0].path, bad);
    EXPECT_EQ(sets[0].read.error->Message(), bad + ": name: is missing");
    EXPECT_TRUE(sets[1].read.ok());

    EXPECT_EQ(ResolveLimitSet("Campus backbone", m_folder.string()).set.name, "Campus backbone");
    EXPECT_EQ(ResolveLimitSet(good, "").set.name, "Campus backbone");
    EXPECT_TRUE(ResolveLimitSet("TIA-568.3-D multimode", m_folder.string()).set.builtIn);
    const LimitSetRead missing = ResolveLimitSet("No such set", m_folder.string());
    ASSERT_FALSE(missing.ok());
    EXPECT_EQ(missing.error->Message(), "No such set: is neither a limit set's name nor a limit set file");
    EXPECT_EQ(ReadLimitSetFile((m_folder / "gone.json").string()).error->reason, "cannot be read");
    EXPECT_TRUE(ListUserLimitSets((m_folder / "none").string()).empty());
}

// Every number of the set is written where the limits are reported.
TEST(LimitSetDescriptionTest, EveryNumber)
{
    EvaluationParameters parameters;
    parameters.lengthKm = 0.842;
    parameters.connections = 2;
    const std::vector<std::string> lines = DescribeLimitSet(*FindBuiltInLimitSet("TIA-568.3-D multimode"), parameters);
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(lines[0], "Limit set: TIA-568.3-D multimode (built-in)");
    EXPECT_EQ(lines[1], "850 nm: 3.5 dB/km x 0.842 km + 2 x 0.75 dB + 0 x 0.3 dB = 4.447 dB");
    // 1.5 x 0.842 = 1.263; + 1.5 = 2.763
    EXPECT_EQ(lines[2], "1300 nm: 1.5 dB/km x 0.842 km + 2 x 0.75 dB + 0 x 0.3 dB = 2.763 dB");
    EXPECT_EQ(lines[3], "no limit (no verdict) for 1310 1490 1550 1625 1650 nm");
}

} // namespace

// What an upload was evaluated with comes back as it was stored: every set,
// its numbers, the parameters and the edited labels.
TEST(StoredEvaluationTest, EverySetAndParameterComeBack)
{
    EvaluationParameters parameters;
    parameters.maxLossDb = 2.75;
    parameters.lengthKm = 0.842;
    parameters.connections = 2;
    parameters.splices = 3;
    parameters.uncertaintyDb = 0.05;
    parameters.recordsPerLink = 2;
    parameters.labels = {"Rack ", 7, 2};
    parameters.editedLabels = {{0, "Patch A"}, {4, "\"quoted\", 1550"}};
    parameters.bendCheck = false;
    parameters.bendThresholdDb = 0.8;
    std::vector<LimitSet> sets = BuiltInLimitSets();
    sets.push_back(ParseLimitSet(kGoodSet, "good.json").set);
    for (const LimitSet& set : sets) {
        const StoredEvaluationRead read = ReadStoredEvaluation(StoredEvaluationTextsOf(set, parameters));
        ASSERT_TRUE(read.ok()) << set.name << ": " << read.error;
        EXPECT_EQ(read.evaluation.parameters, parameters) << set.name;
        EXPECT_EQ(ResolveStoredLimitSet(read.evaluation.set), set) << set.name;
    }
}

// A stored set bearing a built-in set's name is that set only number for
// number; otherwise its own numbers are judged with, never the built-in set's.
TEST(StoredEvaluationTest, StoredNumbersAreNeverReplacedByABuiltInSets)
{
    LimitSet older = *FindBuiltInLimitSet("TIA-568.3-D multimode");
    older.wavelengths[0].attenuationDbPerKm = 3.75;   // as a past edition might have had it
    const StoredEvaluationRead read = ReadStoredEvaluation(StoredEvaluationTextsOf(older, {}));
    ASSERT_TRUE(read.ok()) << read.error;
    const LimitSet shown = ResolveStoredLimitSet(read.evaluation.set);
    EXPECT_EQ(shown.name, "TIA-568.3-D multimode");
    EXPECT_FALSE(shown.builtIn);
    EXPECT_EQ(shown.Find(850)->attenuationDbPerKm, 3.75);
    // 3.75 dB/km x 1 km = 3.75 dB, where the built-in set gives 3.5 dB
    EvaluationParameters oneKm;
    oneKm.lengthKm = 1.0;
    EXPECT_EQ(LimitFor(shown, oneKm, 850), 3.75);
    EXPECT_EQ(DescribeLimitSet(shown, {})[0], "Limit set: TIA-568.3-D multimode");
    EXPECT_EQ(ParseLimitSet(LimitSetJson(shown), "f").set.name, "TIA-568.3-D multimode (copy)");
}

TEST(StoredEvaluationTest, DamagedTextsAreRefusedWithTheirReason)
{
    EvaluationParameters threeDb;
    threeDb.maxLossDb = 3.0;
    const StoredEvaluationTexts good = StoredEvaluationTextsOf(*FindBuiltInLimitSet(kFixedBudgetName), threeDb);
    const auto with = [&](std::string StoredEvaluationTexts::*text, const std::string& value) {
        StoredEvaluationTexts texts = good;
        texts.*text = value;
        return texts;
    };
    const struct {
        StoredEvaluationTexts texts;
        const char* error;
    } cases[] = {
        {with(&StoredEvaluationTexts::parameters, "{"), "parameters: is not valid JSON"},
        {with(&StoredEvaluationTexts::parameters, R"({"ombrel_evaluation": 1})"), "parameters: length_km: is missing"},
        {with(&StoredEvaluationTexts::parameters, "[]"), "parameters: must hold one JSON object"},
        {with(&StoredEvaluationTexts::labels, R"({"prefix": "F", "start": 1, "width": 12, "edited": []})"),
         "labels: width: must be 0 to 9 digits"},
        {with(&StoredEvaluationTexts::labels, R"({"prefix": "F", "start": 1, "width": 3, "edited": [{"link": -1, "label": "x"}]})"),
         "labels: link: must be a whole number from 0 to 999999999"},
        {with(&StoredEvaluationTexts::limitSet, R"({"ombrel_limit_set": 1, "name": "x", "wavelengths": []})"),
         "limit set: wavelengths: must be a list of at least one wavelength"},
        {with(&StoredEvaluationTexts::parameters, R"({"ombrel_evaluation": 1, "length_km": -1, "connections": 0,
           "splices": 0, "uncertainty_db": 0, "records_per_link": 1, "bend_check": true, "bend_threshold_db": 0.5})"),
         "The limit set \"Fixed budget\" needs a maximum loss."},
    };
    for (const auto& c : cases) {
        const StoredEvaluationRead read = ReadStoredEvaluation(c.texts);
        EXPECT_EQ(read.error.rfind(c.error, 0), 0u) << c.error << " / " << read.error;
    }
}
