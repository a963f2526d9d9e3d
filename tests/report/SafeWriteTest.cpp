#include "CsvReport.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>

#include <sys/mount.h>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace {

using Names = std::set<std::string>;

const std::string kOldContent = "old report that must survive a failed save\r\n";
const ReportHeader kHeader{"Acme", "Jo", "", "Date time: 2015-03-07 09:05:02", "Use time: 5 seconds"};
const RowTexts kRow{{"1", "1550 (nm)", "12.3456 (uW)", "-10.00 (dBm)", "270Hz"}};

std::string ReadWhole(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

Names NamesIn(const fs::path& folder)
{
    Names names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.insert(entry.path().filename().string());
    return names;
}

class SafeWriteTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string pattern = (fs::temp_directory_path() / "ombrel-csv-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        m_folder = pattern;
        m_target = m_folder / "report.csv";
    }
    void TearDown() override { std::error_code ignored; fs::remove_all(m_folder, ignored); }

    fs::path m_folder;
    fs::path m_target;
};

// A new file gets the umask's permissions (not the 0600 of a temporary
// file); a replaced one keeps its own and no tail of the longer old report.
// Neither save leaves a temporary file beside the report.
TEST_F(SafeWriteTest, NewThenReplacedFile)
{
    const mode_t oldMask = ::umask(027);
    const FileWriteResult created = WriteCsvReport(m_target, kHeader, {kRow, kRow});
    ::umask(oldMask);
    ASSERT_TRUE(created.ok()) << created.reason;
    EXPECT_EQ(ReadWhole(m_target), FormatCsvReport(kHeader, {kRow, kRow}));
    EXPECT_EQ(fs::status(m_target).permissions(), fs::perms{0640});

    ASSERT_EQ(::chmod(m_target.c_str(), 0604), 0);
    const FileWriteResult replaced = WriteCsvReport(m_target, kHeader, {});
    ASSERT_TRUE(replaced.ok()) << replaced.reason;
    EXPECT_EQ(ReadWhole(m_target), FormatCsvReport(kHeader, {}));
    EXPECT_EQ(fs::status(m_target).permissions(), fs::perms{0604});
    EXPECT_EQ(NamesIn(m_folder), Names{"report.csv"});
}

// Root may write a read-only file; it still counts as locked.
TEST_F(SafeWriteTest, ReadOnlyTargetIsLockedAndKept)
{
    std::ofstream(m_target, std::ios::binary) << kOldContent;
    ASSERT_EQ(::chmod(m_target.c_str(), 0444), 0);

    const FileWriteResult result = WriteCsvReport(m_target, kHeader, {kRow});
    EXPECT_EQ(result.error, FileWriteError::Locked);
    EXPECT_EQ(result.reason, kDocumentLockedMessage);
    EXPECT_EQ(ReadWhole(m_target), kOldContent);
    EXPECT_EQ(NamesIn(m_folder), Names{"report.csv"});
}

TEST_F(SafeWriteTest, MissingFolderCannotBeCreated)
{
    const FileWriteResult result = WriteCsvReport(m_folder / "no folder" / "report.csv", kHeader, {});
    EXPECT_EQ(result.error, FileWriteError::CannotCreate);
    EXPECT_EQ(result.reason, std::generic_category().message(ENOENT));
    EXPECT_TRUE(fs::is_empty(m_folder));
}

// Saving through a link replaces the file it names and keeps the link.
TEST_F(SafeWriteTest, LinkKeepsPointingAtTheReplacedFile)
{
    const fs::path link = m_folder / "link.csv";
    std::ofstream(m_target, std::ios::binary) << kOldContent;
    fs::create_symlink(m_target, link);

    const FileWriteResult result = WriteCsvReport(link, kHeader, {});
    ASSERT_TRUE(result.ok()) << result.reason;
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(ReadWhole(m_target), FormatCsvReport(kHeader, {}));
    EXPECT_EQ(NamesIn(m_folder), (Names{"link.csv", "report.csv"}));
}

// A full disk must neither cost the previous report nor leave a partial
// file; only a small file system of its own gives that condition reliably.
TEST_F(SafeWriteTest, FullDiskKeepsTheOldFile)
{
    const fs::path disk = m_folder / "disk";
    fs::create_directory(disk);
    if (::mount("tmpfs", disk.c_str(), "tmpfs", 0, "size=64k") != 0)
        GTEST_SKIP() << "cannot mount tmpfs (needs root): " << std::generic_category().message(errno);

    const fs::path target = disk / "report.csv";
    std::ofstream(target, std::ios::binary) << kOldContent;
    // Leave 8 KB free, so the report starts but cannot end.
    const std::string filler(fs::space(disk).available - 8192, 'f');
    std::ofstream(disk / "filler", std::ios::binary) << filler;

    const std::vector<RowTexts> rows(1000, kRow);   // about 60 KB
    const FileWriteResult result = WriteCsvReport(target, kHeader, rows);
    const std::string kept = ReadWhole(target);
    const Names names = NamesIn(disk);
    ::umount(disk.c_str());

    EXPECT_EQ(result.error, FileWriteError::WriteFailed);
    EXPECT_EQ(result.reason, std::generic_category().message(ENOSPC));
    EXPECT_EQ(kept, kOldContent);
    EXPECT_EQ(names, (Names{"filler", "report.csv"}));
}

} // namespace
