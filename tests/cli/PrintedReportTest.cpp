// The printed Data Report from the command line: as a PDF file after an
// upload, and again from a saved CSV report.

#include "CliFixture.h"
#include "CsvReport.h"

#include <regex>

namespace {

using PrintedReport = CliTest;

// The text of each page, as pdftotext lays it out.
std::vector<std::string> PdfPages(const fs::path& pdf) {
    const std::string text = ToolOutput("pdftotext -layout '" + pdf.string() + "' -");
    std::vector<std::string> pages;
    std::size_t start = 0;
    for (std::size_t feed; (feed = text.find('\f', start)) != std::string::npos; start = feed + 1)
        pages.push_back(text.substr(start, feed - start));
    return pages;
}

// A line of the page that holds the row's cells in order, No. first.
bool PageHoldsRow(const std::string& page, const RowTexts& row) {
    std::string pattern = R"((^|\n) *)";
    for (const std::string& cell : row.cells) {
        if (cell.empty())
            continue;
        pattern += std::regex_replace(cell, std::regex(R"([.()\[\]+*?^$|\\])"), R"(\$&)") + " +";
    }
    pattern.resize(pattern.size() - 2);
    return std::regex_search(page, std::regex(pattern + "[ ]*(\n|$)"));
}

#ifdef OMBREL_CLI_DRAWS_REPORTS

// pdftotext places words by their position, so the blanks between them are
// approximate: runs of blanks count as one, and none ends a line.
std::string Squeezed(const std::string& text) {
    return std::regex_replace(std::regex_replace(text, std::regex(" +"), " "), std::regex(" +(\n|$)"), "$1");
}

// Every page carries the form; every record is on its page, in order.
void ExpectReportPages(const fs::path& pdf, const ReportHeader& header, const std::vector<RowTexts>& rows) {
    const std::vector<std::string> pages = PdfPages(pdf);
    ASSERT_FALSE(pages.empty()) << pdf;
    for (const std::string& page : pages) {
        for (const std::string& line :
             {std::string("Data Report"), "Company Name:   " + header.companyName, "User Name:   " + header.userName,
              "Note:   " + header.note, header.dateTimePane, header.useTimePane})
            EXPECT_NE(Squeezed(page).find(Squeezed(line)), std::string::npos) << line << " in\n" << page;
        EXPECT_TRUE(std::regex_search(page, std::regex(R"( No\. +Wavelength +Power +Ref +Frequency)"))) << page;
    }
    // Every full page holds as many rows as the first; the last takes the rest.
    std::size_t perPage = 0;
    while (perPage < rows.size() && PageHoldsRow(pages[0], rows[perPage]))
        ++perPage;
    ASSERT_GT(perPage, 0u);
    EXPECT_EQ(pages.size(), rows.empty() ? 1 : (rows.size() + perPage - 1) / perPage);
    for (std::size_t row = 0; row < rows.size(); ++row)
        EXPECT_TRUE(PageHoldsRow(pages[std::min(row / perPage, pages.size() - 1)], rows[row]))
            << "row " << row + 1 << " on page " << row / perPage + 1;
}

// The same report again at the desk, from the saved CSV alone, on the paper
// and in the orientation asked for.
TEST_F(PrintedReport, UploadWritesTheDataReportBesideTheCsv) {
    const fs::path csv = m_dir / "field.csv";
    const fs::path pdf = m_dir / "field.pdf";
    const CliRun run = Run({"upload", "--simulate=130", "--csv", csv, "--pdf", pdf, "--paper", "A4", "--company",
                            "Acme Fibre", "--user", "Jo", "--note", "span 7"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const CsvReadResult saved = ParseCsvReport(ReadFile(csv));
    ASSERT_TRUE(saved.ok()) << saved.error;
    EXPECT_EQ(saved.rows.size(), 130u);
    EXPECT_EQ(saved.header.companyName, "Acme Fibre");
    ExpectReportPages(pdf, saved.header, saved.rows);
    EXPECT_GE(PdfPages(pdf).size(), 2u);
    EXPECT_TRUE(std::regex_search(ToolOutput("pdfinfo '" + pdf.string() + "'"),
                                  std::regex("(^|\n)Title: +Data Report - Acme Fibre\n")))
        << "the document is named after the report";

    struct Case { std::vector<std::string> page; const char* size; };
    const Case cases[] = {
        {{"--paper", "Letter", "--landscape"}, "792 x 612 pts (letter)"},
        {{"--paper", "Legal"}, "612 x 1008 pts"},
        {{"--paper", "A4"}, "595 x 842 pts (A4)"},   // last: compared with the upload's below
    };
    for (const Case& c : cases) {
        const fs::path again = m_dir / "desk.pdf";
        std::vector<std::string> args{"report", csv.string(), "--pdf", again.string()};
        args.insert(args.end(), c.page.begin(), c.page.end());
        const CliRun report = Run(args);
        ASSERT_EQ(report.exitCode, 0) << report.err;
        EXPECT_NE(ToolOutput("pdfinfo '" + again.string() + "'").find(c.size), std::string::npos) << c.size;
        ExpectReportPages(again, saved.header, saved.rows);
    }
    EXPECT_EQ(PdfPages(m_dir / "desk.pdf"), PdfPages(pdf)) << "on A4 as the upload printed it";
}

TEST_F(PrintedReport, BadInputIsRefusedWithItsReasonAndKeepsTheOldPdf) {
    const fs::path good = m_dir / "good.csv";
    ASSERT_EQ(Run({"upload", "--simulate=3", "--csv", good}).exitCode, 0);
    const std::string saved = ReadFile(good);
    const fs::path truncated = m_dir / "truncated.csv";
    { std::ofstream(truncated, std::ios::binary) << saved.substr(0, saved.size() - 5); }
    const fs::path pdf = m_dir / "kept.pdf";
    { std::ofstream(pdf) << "earlier report"; }

    struct Case { const char* why; std::vector<std::string> args; int exitCode; const char* reason; };
    const Case cases[] = {
        {"a truncated report", {"report", truncated, "--pdf", pdf}, 2, "truncated"},
        {"nowhere to put the report", {"report", good}, 2, "report needs --pdf FILE or --print QUEUE"},
        {"a paper it does not know", {"report", good, "--pdf", pdf, "--paper", "A5"}, 2, "--paper"},
        {"a folder that does not exist", {"report", good, "--pdf", m_dir / "no" / "x.pdf"}, 3, "cannot be written to"},
        {"a queue that does not exist", {"report", good, "--print", "ombrel-no-such-queue"}, 3,
         "no print queue named 'ombrel-no-such-queue'"},
    };
    for (const Case& c : cases) {
        const CliRun run = Run(c.args);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.why << ": " << run.err;
        EXPECT_NE(run.err.find(c.reason), std::string::npos) << c.why << ": " << run.err;
        EXPECT_EQ(ReadFile(pdf), "earlier report") << c.why;
    }
}

// Two reports into one file would leave only the last, and a PDF over the
// saved report it is made from would destroy it: refused before any frame.
TEST_F(PrintedReport, TwoReportsIntoOneFileAreRefusedBeforeTheTransfer) {
    auto sim = StartSim(GeneratedRecords(2));
    const fs::path saved = m_dir / "saved.csv";
    ASSERT_EQ(Run({"upload", "--simulate=3", "--csv", saved}).exitCode, 0);
    const std::string savedBytes = ReadFile(saved);
    fs::create_symlink(saved, m_dir / "alias.pdf");
    struct Case { const char* why; std::vector<std::string> args; const char* reason; };
    const std::string port = sim->SlavePath();
    const Case cases[] = {
        {"--csv and --pdf one path", {"upload", "--port", port, "--csv", saved, "--pdf", saved}, "are the same file"},
        {"both on standard output", {"upload", "--port", port, "--csv", "-", "--pdf", "-"}, "are the same file"},
        {"report over its input through a link", {"report", saved, "--pdf", m_dir / "alias.pdf"},
         "is the saved report"},
    };
    for (const Case& c : cases) {
        const CliRun run = Run(c.args);
        EXPECT_EQ(run.exitCode, 2) << c.why << ": " << run.err;
        EXPECT_NE(run.err.find(c.reason), std::string::npos) << c.why << ": " << run.err;
        EXPECT_EQ(ReadFile(saved), savedBytes) << c.why;
    }
    EXPECT_EQ(sim->ExchangesServed(), 0) << "no frame before the targets are known to be two files";
}

#else

TEST_F(PrintedReport, BuildWithoutQtSaysItCannotDrawReports) {
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"upload", "--simulate=1", "--pdf", (m_dir / "x.pdf").string()},
          std::vector<std::string>{"upload", "--simulate=1", "--print", "queue"}}) {
        const CliRun run = Run(args);
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_NE(run.err.find("built without Qt"), std::string::npos) << run.err;
        EXPECT_FALSE(fs::exists(m_dir / "x.pdf"));
    }
}

#endif

} // namespace
