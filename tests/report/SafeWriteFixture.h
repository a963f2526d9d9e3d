#pragma once
// A folder of its own for each safe-replace test, on every platform.

#include "CsvReport.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <string>

namespace fs = std::filesystem;

using Names = std::set<std::string>;

inline const std::string kOldContent = "old report that must survive a failed save\r\n";
inline const ReportHeader kHeader{"Acme", "Jo", "", "Date time: 2015-03-07 09:05:02", "Use time: 5 seconds"};
inline const RowTexts kRow{{"1", "1550 (nm)", "12.3456 (uW)", "-10.00 (dBm)", "270Hz"}};

// Report paths are UTF-8 on every platform.
inline std::string Utf8(const fs::path& path)
{
    const std::u8string text = path.u8string();
    return {text.begin(), text.end()};
}

inline Names NamesIn(const fs::path& folder)
{
    Names names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.insert(Utf8(entry.path().filename()));
    return names;
}

class SafeWriteTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_folder = fs::temp_directory_path() / ("ombrel-safe-write-" + std::to_string(std::random_device{}()));
        ASSERT_TRUE(fs::create_directory(m_folder));
        m_target = m_folder / "report.csv";
    }
    void TearDown() override
    {
        std::error_code ignored;
        for (const auto& entry : fs::recursive_directory_iterator(m_folder, ignored))
            fs::permissions(entry.path(), fs::perms::owner_write, fs::perm_options::add | fs::perm_options::nofollow,
                            ignored);
        fs::remove_all(m_folder, ignored);
    }

    fs::path m_folder;
    fs::path m_target;
};
