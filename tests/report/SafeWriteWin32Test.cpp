// The report file replace on Windows: complete or not at all, and a file
// that another program holds is reported as locked and kept.

#include "CsvReport.h"
#include "Win32Text.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>

#include <windows.h>

namespace fs = std::filesystem;

namespace {

using Names = std::set<std::wstring>;

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
        names.insert(entry.path().filename().wstring());
    return names;
}

std::string Utf8(const fs::path& path) { return Utf8FromWide(path.wstring()); }

class SafeWriteTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_folder = fs::temp_directory_path() / ("ombrel-csv-" + std::to_string(::GetCurrentProcessId()));
        fs::remove_all(m_folder);
        fs::create_directory(m_folder);
        m_target = m_folder / "report.csv";
    }
    void TearDown() override
    {
        for (const auto& entry : fs::directory_iterator(m_folder))
            ::SetFileAttributesW(entry.path().c_str(), FILE_ATTRIBUTE_NORMAL);
        std::error_code ignored;
        fs::remove_all(m_folder, ignored);
    }
    void WriteOld() { std::ofstream(m_target, std::ios::binary) << kOldContent; }

    fs::path m_folder;
    fs::path m_target;
};

// A replaced file loses the tail of the longer old report; a name outside
// the ANSI code page is kept as given. Neither save leaves a temporary file.
TEST_F(SafeWriteTest, NewThenReplacedFile)
{
    const fs::path target = m_folder / L"Messwerte \u00dc \u6e2c.csv";
    const FileWriteResult created = WriteCsvReport(Utf8(target), kHeader, {kRow, kRow});
    ASSERT_TRUE(created.ok()) << created.reason;
    EXPECT_EQ(ReadWhole(target), FormatCsvReport(kHeader, {kRow, kRow}));

    const FileWriteResult replaced = WriteCsvReport(Utf8(target), kHeader, {});
    ASSERT_TRUE(replaced.ok()) << replaced.reason;
    EXPECT_EQ(ReadWhole(target), FormatCsvReport(kHeader, {}));
    EXPECT_EQ(NamesIn(m_folder), Names{target.filename().wstring()});
}

// A report open in a spreadsheet (held without sharing) or a read-only one
// is locked: the message names that, and the file keeps its content.
TEST_F(SafeWriteTest, HeldOrReadOnlyTargetIsLockedAndKept)
{
    const struct { const char* why; DWORD share; DWORD attributes; } rows[] = {
        {"held by a program that shares nothing", 0, FILE_ATTRIBUTE_NORMAL},
        {"held by a program that lets others read only", FILE_SHARE_READ, FILE_ATTRIBUTE_NORMAL},
        {"read-only", FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, FILE_ATTRIBUTE_READONLY},
    };
    for (const auto& row : rows) {
        ::SetFileAttributesW(m_target.c_str(), FILE_ATTRIBUTE_NORMAL);
        WriteOld();
        ::SetFileAttributesW(m_target.c_str(), row.attributes);
        const HANDLE holder = ::CreateFileW(m_target.c_str(), GENERIC_READ, row.share, nullptr, OPEN_EXISTING,
                                            FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(holder, INVALID_HANDLE_VALUE) << row.why;

        const FileWriteResult result = WriteCsvReport(Utf8(m_target), kHeader, {kRow});
        ::CloseHandle(holder);
        EXPECT_EQ(result.error, FileWriteError::Locked) << row.why << ": " << result.reason;
        EXPECT_EQ(result.reason, kDocumentLockedMessage) << row.why;
        EXPECT_EQ(ReadWhole(m_target), kOldContent) << row.why;
        EXPECT_EQ(NamesIn(m_folder), Names{L"report.csv"}) << row.why;
    }
}

TEST_F(SafeWriteTest, MissingFolderOrAFolderAsTargetCannotBeCreated)
{
    fs::create_directory(m_folder / "a folder.csv");
    const struct { const char* why; fs::path target; } rows[] = {
        {"the folder does not exist", m_folder / "no folder" / "report.csv"},
        {"the target is a folder", m_folder / "a folder.csv"},
    };
    for (const auto& row : rows) {
        const FileWriteResult result = WriteCsvReport(Utf8(row.target), kHeader, {});
        EXPECT_EQ(result.error, FileWriteError::CannotCreate) << row.why;
        EXPECT_FALSE(result.reason.empty()) << row.why;
        EXPECT_EQ(NamesIn(m_folder), Names{L"a folder.csv"}) << row.why;
    }
}

} // namespace
