// ombrel-cli evaluate, upload --limits and limits, black-box: exit codes,
// stdout and stderr, the JSON parsed back and the PDF read with pdftotext.

#include "CliFixture.h"
#include "CsvReport.h"

#include <nlohmann/json.hpp>

#include <regex>

namespace {

constexpr std::uint8_t kDbm = 1;
constexpr std::uint8_t k1310 = 2, k1550 = 4, k1625 = 5;

// Power 0.5 mW against a 1 mW reference: 10 log10(2) = 3.0103 dB of loss.
MeterRecord HalfPower(std::uint8_t wavelength) {
    return MeterRecord::Make(0.5f, 1.0f, kDbm, wavelength, 0);
}

class EvaluateCliTest : public CliTest {
protected:
    std::string Saved(const std::vector<MeterRecord>& records) {
        const fs::path path = m_dir / "saved.csv";
        std::ofstream(path, std::ios::binary) << FormatCsvReport({"Acme", "Tech", "", "", ""}, DecodedRows(records));
        return path.string();
    }
    std::string Path(const char* name) const { return (m_dir / name).string(); }
};

// The options reach the evaluation and both exports; the fields' formats are
// the exports' own tests.
TEST_F(EvaluateCliTest, JsonParsesBackWithEveryRecord) {
    const std::string saved = Saved({HalfPower(k1310), MeterRecord::Make(0.0f, 1.0f, kDbm, k1550, 0), HalfPower(k1625)});
    const CliRun run = Run({"evaluate", saved, "--limits", "TIA-568.3-D single-mode outside plant", "--length", "2",
                            "--connections", "2", "--labels", "L07", "--json", Path("out.json"), "--csv", Path("out.csv")});
    EXPECT_EQ(run.exitCode, 6) << run.err;   // a fail outweighs the records without a verdict
    const auto json = nlohmann::json::parse(ReadFile(m_dir / "out.json"));
    ASSERT_EQ(json["records"].size(), 3u);
    EXPECT_EQ(json["records"][0]["limit_db"], 2.5);    // 0.5 x 2 + 2 x 0.75 = 2.5
    EXPECT_EQ(json["records"][0]["result"], "FAIL");
    EXPECT_EQ(json["records"][1]["label"], "L08");
    EXPECT_EQ(json["records"][1]["result"], "NO READING");
    EXPECT_EQ(json["records"][2]["result"], "NO VERDICT");
    EXPECT_EQ(json["summary"][0]["fail"], 1);
    EXPECT_EQ(json["source"]["values"], "row texts");
    const std::string csv = ReadFile(m_dir / "out.csv");
    EXPECT_NE(csv.find("1310 nm: 0.5 dB/km x 2 km + 2 x 0.75 dB + 0 x 0.3 dB = 2.5 dB\r\n"), std::string::npos) << csv;
    EXPECT_NE(csv.find("\r\n1,L07,1310,-3.01,0.00,3.01,2.50,-0.51,FAIL\r\n"), std::string::npos) << csv;
}

// With the JSON on standard output, the summary moves to stderr.
TEST_F(EvaluateCliTest, JsonToStandardOutput) {
    const CliRun run = Run({"evaluate", Saved({HalfPower(k1310)}), "--limits", "Fixed budget", "--max-loss", "4",
                            "--json", "-"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(nlohmann::json::parse(run.out)["overall"], "PASS");
    EXPECT_NE(run.err.find("PASS: all 1 records pass"), std::string::npos) << run.err;
}

TEST_F(EvaluateCliTest, RefusalsBeforeAnyWork) {
    const std::string saved = Saved({HalfPower(k1310)});
    std::ofstream(m_dir / "bad.json") << R"({"ombrel_limit_set": 1, "name": "x", "wavelengths": [{"wavelength_nm": 1310, "max_loss_db": -2}]})";
    const struct {
        const char* why;
        std::vector<std::string> args;
        int exitCode;
        std::string err;
    } cases[] = {
        {"no limits", {"evaluate", saved}, 2, "--limits"},
        {"fixed budget without its number", {"evaluate", saved, "--limits", "Fixed budget"}, 2, "Add --max-loss DB."},
        {"unknown set", {"evaluate", saved, "--limits", "Nope"}, 2, "Nope: is neither a limit set's name nor a limit set file"},
        {"bad set file", {"evaluate", saved, "--limits", Path("bad.json")}, 2,
         Path("bad.json") + ": wavelengths[0].max_loss_db: must not be negative"},
        {"negative length", {"evaluate", saved, "--limits", "Fixed budget", "--max-loss", "3", "--length", "-1"}, 2, "--length"},
        {"missing folder", {"evaluate", saved, "--limits", "Fixed budget", "--max-loss", "3", "--json", Path("no/x.json")}, 3,
         "cannot be written"},
        {"not a saved report", {"evaluate", Path("bad.json"), "--limits", "Fixed budget", "--max-loss", "3"}, 2, "bad.json"},
    };
    for (const auto& c : cases) {
        const CliRun run = Run(c.args);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.why << "\n" << run.err;
        EXPECT_NE(run.err.find(c.err), std::string::npos) << c.why << "\n" << run.err;
        EXPECT_EQ(run.out, "") << c.why;
    }
}

TEST_F(EvaluateCliTest, LimitsListsBuiltInAndUserSets) {
    const fs::path folder = m_dir / "config" / "ombrel" / "limits";
    fs::create_directories(folder);
    std::ofstream(folder / "campus.json") << R"({"ombrel_limit_set": 1, "name": "Campus", "wavelengths": [{"wavelength_nm": 1310, "max_loss_db": 2.5}]})";
    std::ofstream(folder / "broken.json") << "{";
    setenv("XDG_CONFIG_HOME", (m_dir / "config").c_str(), 1);
    const CliRun list = Run({"limits"});
    const CliRun byName = Run({"evaluate", Saved({HalfPower(k1310)}), "--limits", "Campus"});
    const CliRun shown = Run({"limits", "TIA-568.3-D multimode"});
    unsetenv("XDG_CONFIG_HOME");   // the folder goes with the test

    EXPECT_EQ(list.exitCode, 0) << list.err;
    EXPECT_EQ(list.out, "TIA-568.3-D multimode\tbuilt-in\n"
                        "TIA-568.3-D single-mode inside plant\tbuilt-in\n"
                        "TIA-568.3-D single-mode outside plant\tbuilt-in\n"
                        "Fixed budget\tbuilt-in\n"
                        "Campus\t" + (folder / "campus.json").string() + "\n");
    EXPECT_NE(list.err.find("Refused: " + (folder / "broken.json").string() + ": is not valid JSON"), std::string::npos)
        << list.err;
    EXPECT_EQ(byName.exitCode, 6) << byName.err;   // 3.01 dB against 2.5 dB
    EXPECT_EQ(shown.exitCode, 0);
    EXPECT_EQ(nlohmann::json::parse(shown.out)["wavelengths"][0]["attenuation_db_per_km"], 3.5);
}

// The exit code tells the verdict. upload --limits evaluates the records' own
// floats and keeps what it evaluated with beside the archived upload; evaluate --upload judges the
// records as read again with it, each option given replacing its stored value;
// evaluate of the saved report gives the same results within the 0.01 dB its
// texts keep.
TEST_F(EvaluateCliTest, AnArchivedUploadIsJudgedWithWhatItWasEvaluatedWith) {
    auto sim = StartSim({HalfPower(k1310), HalfPower(k1550)});
    const CliRun evaluated = Run({"upload", "--port", sim->SlavePath(), "--csv", Path("1.csv"), "--limits",
                                  "Fixed budget", "--max-loss", "3", "--labels", "R01", "--per-link", "2", "--json",
                                  Path("upload.json"), "--eval-csv", Path("upload-eval.csv")});
    // 3.0103 dB against 3 dB
    ASSERT_EQ(evaluated.exitCode, 6) << evaluated.err;
    EXPECT_NE(evaluated.out.find("FAIL: 2 of 2 records fail"), std::string::npos) << evaluated.out;
    EXPECT_NE(evaluated.out.find("Wavelength"), std::string::npos) << "the summary table\n" << evaluated.out;
    EXPECT_NE(ReadFile(m_dir / "upload-eval.csv").find("No.,Label,Wavelength,Power dBm,Ref dBm,Loss,Limit,Margin,Result"),
              std::string::npos);
    const CliRun plain = Run({"upload", "--port", sim->SlavePath(), "--csv", Path("2.csv")});
    ASSERT_EQ(plain.exitCode, 0) << plain.err;
    const struct {
        const char* why;
        std::vector<std::string> args;
        int exitCode;
        const char* said;   // on stdout for a verdict, on stderr for a refusal
    } cases[] = {
        {"as stored", {"--upload", "1", "--json", Path("stored.json")}, 6, "FAIL: 2 of 2 records fail"},
        {"the saved report", {Path("1.csv"), "--limits", "Fixed budget", "--max-loss", "3", "--labels", "R01",
                              "--per-link", "2", "--json", Path("saved.json")}, 6, "FAIL: 2 of 2 records fail"},
        {"a stored value replaced", {"--upload", "1", "--max-loss", "4"}, 0, "PASS: all 2 records pass"},
        // The multimode set has no limit for 1310 and 1550 nm.
        {"another set", {"--upload", "1", "--limits", "TIA-568.3-D multimode"}, 7,
         "NO VERDICT: none of 2 records fails, 2 without a verdict"},
        {"never evaluated", {"--upload", "2"}, 2, "upload 2 was never evaluated: give --limits"},
        {"never evaluated, with a set", {"--upload", "2", "--limits", "Fixed budget", "--max-loss", "4"}, 0, "PASS"},
        {"no such upload", {"--upload", "9"}, 2, "no upload 9 in the archive"},
        {"a report and an upload", {Path("1.csv"), "--upload", "1"}, 2, "excludes"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args{"evaluate"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const CliRun run = Run(args);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.why << "\n" << run.err;
        EXPECT_NE((c.exitCode == 2 ? run.err : run.out).find(c.said), std::string::npos) << c.why << "\n" << run.out << run.err;
    }
    // The same floats, the same set, parameters and labels: the same results.
    const auto stored = nlohmann::json::parse(ReadFile(m_dir / "stored.json"));
    const auto upload = nlohmann::json::parse(ReadFile(m_dir / "upload.json"));
    EXPECT_EQ(stored["records"], upload["records"]);
    EXPECT_EQ(stored["parameters"], upload["parameters"]);
    EXPECT_EQ(stored["records"][1]["label"], "R01");   // two records a link
    EXPECT_EQ(stored["source"]["name"], "upload 1 of the archive");
    EXPECT_EQ(upload["source"]["values"], "records");
    const auto saved = nlohmann::json::parse(ReadFile(m_dir / "saved.json"));
    for (std::size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(saved["records"][i]["result"], upload["records"][i]["result"]) << i;
        EXPECT_NEAR(saved["records"][i]["loss_db"].get<double>(), 3.0103, 0.01) << i;
    }
    EXPECT_NE(Run({"history", "show", "1"}).out.find("evaluate --upload 1'): Fixed budget, Maximum loss 3 dB"),
              std::string::npos);
}

#ifdef OMBREL_CLI_DRAWS_REPORTS
// The Evaluation pages follow the Data Report pages, which stay as `report` prints them.
TEST_F(EvaluateCliTest, PdfCarriesTheEvaluationAfterTheDataReport) {
    const std::string saved = Saved({MeterRecord::Make(0.5f, 1.0f, kDbm, 0, 0), HalfPower(k1625)});
    const CliRun report = Run({"report", saved, "--pdf", Path("data.pdf")});
    ASSERT_EQ(report.exitCode, 0) << report.err;
    const CliRun run = Run({"evaluate", saved, "--limits", "TIA-568.3-D multimode", "--length", "0.842",
                            "--connections", "2", "--pdf", Path("eval.pdf")});
    EXPECT_EQ(run.exitCode, 7) << run.err;
    const std::string text = ToolOutput("pdftotext -layout '" + Path("eval.pdf") + "' -");
    const std::string data = ToolOutput("pdftotext -layout '" + Path("data.pdf") + "' -");
    EXPECT_EQ(text.substr(0, data.size()), data);   // the Data Report's page, unchanged
    const std::string evaluation = text.substr(data.size());
    for (const char* line : {"Evaluation", "Limit set: TIA-568.3-D multimode (built-in)",
                             "850 nm: 3.5 dB/km x 0.842 km + 2 x 0.75 dB + 0 x 0.3 dB = 4.447 dB",
                             "1300 nm: 1.5 dB/km x 0.842 km + 2 x 0.75 dB + 0 x 0.3 dB = 2.763 dB",
                             "no limit (no verdict) for 1310 1490 1550 1625 1650 nm",
                             "NO VERDICT: none of 2 records fails, 1 without a verdict", "Evaluation: records",
                             "NO VERDICT (no limit for 1625 nm)"})
        EXPECT_NE(evaluation.find(line), std::string::npos) << line << "\n" << evaluation;
    // No. 1: 850 nm, -3.01 dBm against 0.00 dBm, limit 4.447, margin 4.447 - 3.0103 = 1.4367
    // pdftotext places words by their position: runs of blanks count as one.
    EXPECT_NE(std::regex_replace(evaluation, std::regex(" +"), " ").find(" 1 F001 850 -3.01 0.00 3.01 4.45 1.44 PASS\n"),
              std::string::npos) << evaluation;
}
#endif

} // namespace
