#pragma once
// An archive file in a folder of its own, and what the tests read back
// from it with SQL of their own.

#include "Archive.h"
#include "ArchiveWriter.h"
#include "SqliteDb.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

// Texts as the decoder writes them, different for every row.
inline std::vector<MeterRecord> SomeRecords(int count)
{
    std::vector<MeterRecord> records;
    for (int i = 0; i < count; ++i) {
        MeterRecord record = MeterRecord::Make(0.001f * static_cast<float>(i + 1), 0.5f, static_cast<std::uint8_t>(i % 3),
                                               static_cast<std::uint8_t>(i % 7), static_cast<std::uint8_t>(i % 4));
        record.bytes[15] = static_cast<std::uint8_t>(i);   // the bytes the decoder ignores are kept too
        records.push_back(record);
    }
    return records;
}

inline const ReportHeader kHeader{"Acme Fibre", "Jo", "span 4", "Date time: 2026-12-07 10:00:05", "Use time: 5 seconds"};

class ArchiveTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string pattern = (fs::temp_directory_path() / "ombrel-archive-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        m_folder = pattern;
        m_path = (m_folder / "archive.sqlite").string();
    }
    void TearDown() override
    {
        std::error_code ignored;
        fs::remove_all(m_folder, ignored);
    }

    static std::string Pragma(const std::string& path, const char* pragma)
    {
        CSqliteDb db(path, SQLITE_OPEN_READONLY);
        return db.QueryText(pragma);
    }

    // Feeds rows first..end-1 of records (all of them unless told) into writer,
    // read or (where unread) not.
    static void FeedRows(CArchiveWriter& writer, const std::vector<MeterRecord>& records,
                         const std::vector<bool>& unread = {}, std::size_t first = 0, std::size_t end = SIZE_MAX)
    {
        for (std::size_t i = first; i < records.size() && i < end; ++i) {
            const int row = static_cast<int>(i);
            const bool read = i >= unread.size() || !unread[i];
            if (read)
                writer.RecordRead(row, records[i]);
            writer.RowRead(row, read ? DecodeRecord(records[i], row) : UnreadRow(row));
        }
    }

    // Whether a reader of the archive sees its latest upload reach rows rows within timeout.
    bool RowsSeen(CArchive& reader, std::size_t rows, std::chrono::seconds timeout) const
    {
        return WaitUntil(
            [&] {
                if (!reader.IsOpen() && !reader.Open(m_path, ArchiveAccess::Read).ok)
                    return false;
                const std::vector<UploadInfo> uploads = reader.ListUploads({});
                return !uploads.empty() && uploads[0].rowCount >= rows;
            },
            timeout);
    }

    fs::path m_folder;
    std::string m_path;
};
