#include "CsvReport.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

const std::string kOldContent = "old report that must not survive a replacement\r\n"
                                "second line of the old report\r\n";

std::string ReadWhole(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteWhole(const fs::path& path, const std::string& content)
{
    std::ofstream(path, std::ios::binary) << content;
}

std::set<std::string> NamesIn(const fs::path& folder)
{
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.insert(entry.path().filename().string());
    return names;
}

mode_t PermissionsOf(const fs::path& path)
{
    struct stat info{};
    EXPECT_EQ(::stat(path.c_str(), &info), 0);
    return info.st_mode & 07777;
}

std::vector<RowTexts> SampleRows(int count)
{
    std::vector<RowTexts> rows;
    for (int i = 0; i < count; ++i)
        rows.push_back(RowTexts{{std::to_string(i + 1), "1550 (nm)", "12.3456 (uW)",
                                 "-10.00 (dBm)", "270Hz"}});
    return rows;
}

const ReportHeader kHeader{"Acme", "Jo", "", "Date time: 2015-03-07 09:05:02",
                           "Use time: 5 seconds"};

class SafeWriteTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string pattern = (fs::temp_directory_path() / "ombrel-csv-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        m_folder = pattern;
    }
    void TearDown() override
    {
        std::error_code ignored;
        fs::remove_all(m_folder, ignored);
    }

    fs::path m_folder;
};

TEST_F(SafeWriteTest, NewFileGetsTheReportAndTheUsualPermissions)
{
    const mode_t oldMask = ::umask(027);
    const fs::path target = m_folder / "report.csv";
    const CsvWriteResult result = WriteCsvReport(target, kHeader, SampleRows(3));
    ::umask(oldMask);

    ASSERT_TRUE(result.ok()) << result.reason;
    EXPECT_EQ(ReadWhole(target), FormatCsvReport(kHeader, SampleRows(3)));
    EXPECT_EQ(PermissionsOf(target), 0640u);
    EXPECT_EQ(NamesIn(m_folder), std::set<std::string>{"report.csv"});
}

// A longer old file must leave no tail behind, the permissions stay, and no
// temporary file is left beside the report.
TEST_F(SafeWriteTest, ReplacingKeepsNothingOfTheOldFile)
{
    const fs::path target = m_folder / "report.csv";
    WriteWhole(target, kOldContent + std::string(10000, 'x'));
    ASSERT_EQ(::chmod(target.c_str(), 0604), 0);

    const CsvWriteResult result = WriteCsvReport(target, kHeader, {});
    ASSERT_TRUE(result.ok()) << result.reason;
    EXPECT_EQ(ReadWhole(target), FormatCsvReport(kHeader, {}));
    EXPECT_EQ(PermissionsOf(target), 0604u);
    EXPECT_EQ(NamesIn(m_folder), std::set<std::string>{"report.csv"});
}

TEST_F(SafeWriteTest, ReadOnlyTargetIsLockedAndKept)
{
    const fs::path target = m_folder / "report.csv";
    WriteWhole(target, kOldContent);
    ASSERT_EQ(::chmod(target.c_str(), 0444), 0);

    const CsvWriteResult result = WriteCsvReport(target, kHeader, SampleRows(2));
    EXPECT_EQ(result.error, CsvWriteError::Locked);
    EXPECT_EQ(result.reason, kDocumentLockedMessage);
    EXPECT_EQ(ReadWhole(target), kOldContent);
    EXPECT_EQ(PermissionsOf(target), 0444u);
    EXPECT_EQ(NamesIn(m_folder), std::set<std::string>{"report.csv"});
}

TEST_F(SafeWriteTest, MissingFolderCannotBeCreated)
{
    const fs::path target = m_folder / "no such folder" / "report.csv";
    const CsvWriteResult result = WriteCsvReport(target, kHeader, {});
    EXPECT_EQ(result.error, CsvWriteError::CannotCreate);
    EXPECT_EQ(result.reason, std::generic_category().message(ENOENT));
    EXPECT_FALSE(fs::exists(target));
    EXPECT_TRUE(NamesIn(m_folder).empty());
}

TEST_F(SafeWriteTest, FolderAsTargetCannotBeReplaced)
{
    fs::create_directory(m_folder / "report.csv");
    const CsvWriteResult result = WriteCsvReport(m_folder / "report.csv", kHeader, {});
    EXPECT_EQ(result.error, CsvWriteError::CannotCreate);
    EXPECT_TRUE(fs::is_directory(m_folder / "report.csv"));
    EXPECT_EQ(NamesIn(m_folder), std::set<std::string>{"report.csv"});
}

// Saving through a link replaces the file it names and keeps the link.
TEST_F(SafeWriteTest, LinkKeepsPointingAtTheReplacedFile)
{
    const fs::path real = m_folder / "real.csv";
    const fs::path link = m_folder / "link.csv";
    WriteWhole(real, kOldContent);
    fs::create_symlink(real, link);

    const CsvWriteResult result = WriteCsvReport(link, kHeader, {});
    ASSERT_TRUE(result.ok()) << result.reason;
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(ReadWhole(real), FormatCsvReport(kHeader, {}));
    EXPECT_EQ(NamesIn(m_folder), (std::set<std::string>{"link.csv", "real.csv"}));
}

// A full disk must neither cost the previous report nor leave a partial
// file: only a small file system of its own gives that condition reliably.
TEST_F(SafeWriteTest, FullDiskKeepsTheOldFile)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "mounting a small file system needs root";
    const fs::path disk = m_folder / "disk";
    fs::create_directory(disk);
    if (::mount("tmpfs", disk.c_str(), "tmpfs", 0, "size=64k") != 0)
        GTEST_SKIP() << "cannot mount tmpfs: " << std::generic_category().message(errno);

    const fs::path target = disk / "report.csv";
    WriteWhole(target, kOldContent);
    // Fill the disk, then free a little, so the report starts but cannot end.
    const fs::path filler = disk / "filler";
    {
        const int fd = ::open(filler.c_str(), O_WRONLY | O_CREAT, 0600);
        ASSERT_GE(fd, 0);
        const std::string block(4096, 'f');
        while (::write(fd, block.data(), block.size()) > 0) {
        }
        EXPECT_EQ(errno, ENOSPC);
        ::close(fd);
    }
    const auto filled = fs::file_size(filler);
    fs::resize_file(filler, filled >= 8192 ? filled - 8192 : 0);

    const std::vector<RowTexts> rows = SampleRows(1000);   // about 60 KB
    const CsvWriteResult result = WriteCsvReport(target, kHeader, rows);
    const std::string kept = ReadWhole(target);
    const std::set<std::string> names = NamesIn(disk);
    ::umount(disk.c_str());

    EXPECT_EQ(result.error, CsvWriteError::WriteFailed);
    EXPECT_EQ(result.reason, std::generic_category().message(ENOSPC));
    EXPECT_EQ(kept, kOldContent);
    EXPECT_EQ(names, (std::set<std::string>{"filler", "report.csv"}));
}

} // namespace
