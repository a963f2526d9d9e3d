// ombrel-cli history and the archive of upload, as a script sees them.

#include "Archive.h"
#include "CliFixture.h"
#include "CsvReport.h"
#include "Environment.h"
#include "SqliteDb.h"

#include <nlohmann/json.hpp>

namespace {

class HistoryTest : public CliTest {
protected:
    std::string Archive() const { return (m_dir / "archive.sqlite").string(); }

    // An upload of `records` simulated records with these header fields, archived.
    CliRun Upload(int records, const std::string& company, const fs::path& csv) {
        const CliRun run = Run({"upload", "--simulate=" + std::to_string(records), "--csv", csv.string(), "--company",
                                company, "--archive", Archive()});
        EXPECT_EQ(run.exitCode, 0) << run.err;
        return run;
    }
};

TEST_F(HistoryTest, UploadIsArchivedAndListedNewestFirst) {
    const CliRun first = Upload(3, "Acme \"North\"\\ 1", m_dir / "1.csv");
    EXPECT_NE(first.err.find("Archived as upload 1 in " + Archive()), std::string::npos) << first.err;
    Upload(5, "Beta", m_dir / "2.csv");

    const CliRun json = Run({"history", "--json", "--archive", Archive()});
    ASSERT_EQ(json.exitCode, 0) << json.err;
    const nlohmann::json list = nlohmann::json::parse(json.out);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0]["id"], 2);
    EXPECT_EQ(list[0]["records"], 5);
    EXPECT_EQ(list[0]["unread"], 0);
    EXPECT_EQ(list[0]["state"], "complete");
    EXPECT_EQ(list[1]["company"], "Acme \"North\"\\ 1");

    const CliRun limited = Run({"history", "--limit", "1", "--json", "--archive", Archive()});
    EXPECT_EQ(nlohmann::json::parse(limited.out).size(), 1u);

    const CliRun text = Run({"history", "--archive", Archive()});
    ASSERT_EQ(text.exitCode, 0) << text.err;
    EXPECT_LT(text.out.find("Beta"), text.out.find("Acme")) << text.out;
    EXPECT_NE(text.out.find("complete"), std::string::npos);
}

// The archive named in the environment when no --archive is given; none
// at all with --no-archive.
TEST_F(HistoryTest, EnvironmentNamesTheArchiveAndNoArchiveLeavesNoTrace) {
    const fs::path named = m_dir / "named.sqlite";
    SetEnvironment("OMBREL_ARCHIVE", named.c_str());
    const CliRun upload = Run({"upload", "--simulate=1", "--csv", (m_dir / "a.csv").string()});
    ASSERT_EQ(upload.exitCode, 0) << upload.err;
    const CliRun off = Run({"upload", "--simulate=2", "--csv", (m_dir / "a.csv").string(), "--no-archive"});
    ASSERT_EQ(off.exitCode, 0) << off.err;
    EXPECT_EQ(off.err.find("rchive"), std::string::npos) << "nothing said of an archive\n" << off.err;
    EXPECT_EQ(nlohmann::json::parse(Run({"history", "--json"}).out).size(), 1u);
    EXPECT_TRUE(fs::exists(named));
    EXPECT_FALSE(fs::exists(Archive()));
}

// The export is the very report the upload wrote; show prints the table.
TEST_F(HistoryTest, ExportWritesTheSameCsvAndShowPrintsTheTable) {
    Upload(6, "Acme", m_dir / "upload.csv");
    const fs::path exported = m_dir / "exported.csv";
    const CliRun run = Run({"history", "export", "1", "--csv", exported.string(), "--archive", Archive()});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(ReadFile(exported), ReadFile(m_dir / "upload.csv"));

    const CliRun show = Run({"history", "show", "1", "--archive", Archive()});
    ASSERT_EQ(show.exitCode, 0) << show.err;
    EXPECT_EQ(show.out.rfind("Upload 1: complete, 6 of 6 records read", 0), 0u) << show.out;
    const std::vector<RowTexts> rows = DecodedRows(GeneratedRecords(6));
    for (const RowTexts& row : rows)
        EXPECT_NE(show.out.find(row.cells[COL_POWER]), std::string::npos) << row.cells[COL_POWER];
}

TEST_F(HistoryTest, DeleteAndMissingUploads) {
    Upload(1, "Acme", m_dir / "a.csv");
    EXPECT_EQ(Run({"history", "delete", "1", "--archive", Archive()}).exitCode, 0);
    struct Row {
        const char* why;
        std::vector<std::string> args;
        int exitCode;
    };
    const Row rows[] = {
        {"deleted already", {"history", "delete", "1"}, 6},
        {"show of a deleted upload", {"history", "show", "1"}, 6},
        {"export of a missing upload", {"history", "export", "9", "--csv", (m_dir / "x.csv").string()}, 6},
        {"export without a file", {"history", "export", "1"}, 2},
        {"no ID", {"history", "show"}, 2},
        {"an ID that is no number", {"history", "show", "one"}, 2},
        {"a limit of 0", {"history", "--limit", "0"}, 2},
        {"an unknown action", {"history", "rename", "1"}, 2},
    };
    for (const Row& row : rows) {
        std::vector<std::string> args = row.args;
        args.insert(args.end(), {"--archive", Archive()});
        const CliRun run = Run(args);
        EXPECT_EQ(run.exitCode, row.exitCode) << row.why << ": " << run.err;
        EXPECT_FALSE(run.err.empty()) << row.why;
    }
    EXPECT_FALSE(fs::exists(m_dir / "x.csv"));
    EXPECT_EQ(nlohmann::json::parse(Run({"history", "--json", "--archive", Archive()}).out).size(), 0u);
}

// A newer program's archive is listed but not changed, and an upload it
// cannot keep leaves the meter as it was.
TEST_F(HistoryTest, NewerArchiveIsNotChanged) {
    Upload(1, "Acme", m_dir / "a.csv");
    {
        CSqliteDb db(Archive(), SQLITE_OPEN_READWRITE);
        db.Exec("PRAGMA user_version = 99");
    }
    const CliRun list = Run({"history", "--json", "--archive", Archive()});
    EXPECT_EQ(list.exitCode, 0);
    EXPECT_EQ(nlohmann::json::parse(list.out).size(), 1u);
    EXPECT_NE(list.err.find("newer Ombrel"), std::string::npos) << list.err;
    EXPECT_EQ(Run({"history", "delete", "1", "--archive", Archive()}).exitCode, 7);
    const CliRun upload = Run({"upload", "--simulate=1", "--csv", (m_dir / "b.csv").string(), "--archive", Archive()});
    EXPECT_EQ(upload.exitCode, 0) << "the upload goes on";
    EXPECT_NE(upload.err.find("The archive is incomplete"), std::string::npos) << upload.err;
    // An upload the archive does not hold is not erased from the meter either.
    auto sim = StartSim(GeneratedRecords(2));
    const CliRun clear = Run({"upload", "--port", sim->SlavePath(), "--csv", (m_dir / "c.csv").string(), "--archive",
                              Archive(), "--clear-after"});
    EXPECT_EQ(clear.exitCode, 3) << clear.err;
    EXPECT_NE(clear.err.find("The meter was not cleared: the upload is not in the archive."), std::string::npos)
        << clear.err;
    EXPECT_EQ(sim->EraseCount(), 0);
}

} // namespace
