// The report file replace on every platform: complete or not at all, a
// read-only file kept, two names of one file told apart, an input file read
// only when it can be a saved report.

#include "SafeWriteFixture.h"

namespace {

// A replaced file loses the tail of the longer old report; a name outside
// ASCII is kept as given, and so is a name of 255 bytes, the longest Linux
// file systems take (the temporary file has a short name of its own). No save leaves a temporary file.
TEST_F(SafeWriteTest, NewThenReplacedFile)
{
    std::vector<std::string> names{"report.csv", "Messwerte \xc3\x9c \xe6\xb8\xac.csv"};
#ifndef _WIN32
    names.push_back(std::string(251, 'n') + ".csv");   // a full path under Windows' 260 would not hold it
#endif
    for (const std::string& name : names) {
        const fs::path target = m_folder / fs::path(std::u8string(name.begin(), name.end()));
        const FileWriteResult created = WriteCsvReport(Utf8(target), kHeader, {kRow, kRow});
        ASSERT_TRUE(created.ok()) << created.reason;
        EXPECT_EQ(ReadFile(target), FormatCsvReport(kHeader, {kRow, kRow}));

        const FileWriteResult replaced = WriteCsvReport(Utf8(target), kHeader, {});
        ASSERT_TRUE(replaced.ok()) << replaced.reason;
        EXPECT_EQ(ReadFile(target), FormatCsvReport(kHeader, {}));
        EXPECT_EQ(NamesIn(m_folder), Names{name});
        fs::remove(target);
    }
}

// A save that cannot be made keeps the old report and leaves no file: root
// may write a read-only file, yet it still counts as locked.
TEST_F(SafeWriteTest, ATargetThatCannotBeWrittenIsKept)
{
    std::ofstream(m_target, std::ios::binary) << kOldContent;
    fs::permissions(m_target, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    fs::create_directory(m_folder / "a folder.csv");
    const struct { fs::path target; FileWriteError error; } rows[] = {
        {m_target, FileWriteError::Locked},
        {m_folder / "no folder" / "report.csv", FileWriteError::CannotCreate},
        {m_folder / "a folder.csv", FileWriteError::CannotCreate},
    };
    for (const auto& row : rows) {
        const FileWriteResult result = WriteCsvReport(Utf8(row.target), kHeader, {kRow});
        EXPECT_EQ(result.error, row.error) << row.target;
        EXPECT_FALSE(result.reason.empty()) << row.target;
        EXPECT_EQ(ReadFile(m_target), kOldContent) << row.target;
        EXPECT_EQ(NamesIn(m_folder), (Names{"a folder.csv", "report.csv"})) << row.target;
    }
    EXPECT_EQ(WriteCsvReport(Utf8(m_target), kHeader, {}).reason, kDocumentLockedMessage) << "its own message";
}

TEST_F(SafeWriteTest, TwoNamesOfOneFileAreTheSameFile)
{
    std::ofstream(m_target) << kOldContent;
    fs::create_directory(m_folder / "sub");
    const std::string target = Utf8(m_target);
    struct Row {
        const char* why;
        std::string first, second;
        bool same;
    };
    std::vector<Row> rows{
        {"the same path", target, target, true},
        {"through a folder and back", target, Utf8(m_folder / "sub" / ".." / "report.csv"), true},
        {"another file", target, Utf8(m_folder / "other.csv"), false},
        {"one file still to be made, twice", Utf8(m_folder / "new.csv"), Utf8(m_folder / "sub" / ".." / "new.csv"),
         true},
        {"two files still to be made", Utf8(m_folder / "new.csv"), Utf8(m_folder / "new.pdf"), false},
        {"standard output twice", "-", "-", true},
    };
#ifdef _WIN32
    rows.push_back({"a name in other letter case", target, Utf8(m_folder / "REPORT.CSV"), true});
#else
    fs::create_symlink(m_target, m_folder / "link.pdf");
    fs::create_symlink(m_folder / "made.csv", m_folder / "dangling.pdf");
    rows.push_back({"a link to the file", target, Utf8(m_folder / "link.pdf"), true});
    rows.push_back({"a dangling link to the file to be made", Utf8(m_folder / "made.csv"),
                    Utf8(m_folder / "dangling.pdf"), true});
    rows.push_back({"a name in other letter case", target, Utf8(m_folder / "REPORT.CSV"), false});
#endif
    for (const Row& row : rows)
        EXPECT_EQ(SameFile(row.first, row.second), row.same) << row.why;
}

TEST_F(SafeWriteTest, OnlyARegularFileWithinTheBoundIsReadAsInput)
{
    std::ofstream(m_target, std::ios::binary) << "0123456789";
    struct Row {
        const char* why;
        std::string path;
        std::size_t maxBytes;
        const char* error;   // nullptr: read
    };
    std::vector<Row> rows{
        {"a file at the bound", Utf8(m_target), 10, nullptr},
        {"a file one byte over", Utf8(m_target), 9, "is larger than"},
        {"a folder", Utf8(m_folder), 100, "is a folder"},
        {"no such file", Utf8(m_folder / "none.csv"), 100, "cannot be read: "},
    };
#ifndef _WIN32
    ASSERT_EQ(::mkfifo((m_folder / "fifo").c_str(), 0600), 0);
    rows.push_back({"a FIFO nobody writes to", Utf8(m_folder / "fifo"), 100, "is a FIFO"});
    rows.push_back({"a device without end", "/dev/zero", 100, "is a device"});
#endif
    for (const Row& row : rows) {
        const FileReadResult read = ReadReportFile(row.path, row.maxBytes);
        if (row.error == nullptr) {
            EXPECT_TRUE(read.ok()) << row.why << ": " << read.error;
            EXPECT_EQ(read.content, "0123456789") << row.why;
        } else {
            EXPECT_EQ(read.error.rfind(row.error, 0), 0u) << row.why << ": " << read.error;
            EXPECT_TRUE(read.content.empty()) << row.why;
        }
    }
}

} // namespace
