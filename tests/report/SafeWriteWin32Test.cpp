// The report file replace on Windows: a file that another program holds is
// reported as locked and kept; names Windows refuses are refused before any
// work, with the true reason.

#include "SafeWriteFixture.h"

#include "SafeWrite.h"

#include <windows.h>

namespace {

// A report open in a spreadsheet (held without sharing) is locked: the
// message names that, and the file keeps its content.
TEST_F(SafeWriteTest, HeldTargetIsLockedAndKept)
{
    const struct { const char* why; DWORD share; } rows[] = {
        {"held by a program that shares nothing", 0},
        {"held by a program that lets others read only", FILE_SHARE_READ},
    };
    for (const auto& row : rows) {
        std::ofstream(m_target, std::ios::binary) << kOldContent;
        const HANDLE holder = ::CreateFileW(m_target.c_str(), GENERIC_READ, row.share, nullptr, OPEN_EXISTING,
                                            FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(holder, INVALID_HANDLE_VALUE) << row.why;
        const FileWriteResult result = WriteCsvReport(Utf8(m_target), kHeader, {kRow});
        ::CloseHandle(holder);
        EXPECT_EQ(result.error, FileWriteError::Locked) << row.why << ": " << result.reason;
        EXPECT_EQ(result.reason, kDocumentLockedMessage) << row.why;
        EXPECT_EQ(ReadFile(m_target), kOldContent) << row.why;
        EXPECT_EQ(NamesIn(m_folder), Names{"report.csv"}) << row.why;
    }
}

TEST_F(SafeWriteTest, NamesWindowsRefusesAreRefusedWithTheirReason)
{
    const std::string folder = Utf8(m_folder) + "\\";
    const struct { std::string name; const char* reason; } rows[] = {
        {"NUL", "NUL is a name Windows reserves for a device"},
        {"nul.csv", "NUL is a name Windows reserves for a device"},
        {"Aux.pdf", "AUX is a name Windows reserves for a device"},
        {"CON", "CON is a name Windows reserves for a device"},
        {"prn.csv", "PRN is a name Windows reserves for a device"},
        {"COM1.csv", "COM1 is a name Windows reserves for a device"},
        {"lpt9", "LPT9 is a name Windows reserves for a device"},
        {"what?.csv", "Windows file names cannot contain ?"},
        {"all*.csv", "Windows file names cannot contain *"},
        {"report.csv:stream", "Windows file names cannot contain :"},
        {"\"quoted\".csv", "Windows file names cannot contain \""},
        {"a<b.csv", "Windows file names cannot contain <"},
        {"a>b.csv", "Windows file names cannot contain >"},
        {"a|b.csv", "Windows file names cannot contain |"},
    };
    for (const auto& row : rows) {
        const FileWriteResult result = CheckOutputTarget(folder + row.name);
        EXPECT_EQ(result.error, FileWriteError::CannotCreate) << row.name;
        EXPECT_EQ(result.reason, row.reason) << row.name;
    }
    for (const char* allowed : {"COM10.csv", "console.csv", "LPT0.csv", "nul-report.csv"})
        EXPECT_TRUE(CheckOutputTarget(folder + allowed).ok()) << allowed;
    EXPECT_TRUE(fs::is_empty(m_folder));
}

} // namespace
