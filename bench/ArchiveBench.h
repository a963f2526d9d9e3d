#pragma once
// The archive the archive benchmarks measure: 10 000 uploads, 2 million
// records, one of them a full meter of 3840. Made once and kept beside the
// benchmarks, since making it takes longer than all the measurements.

#include "Archive.h"
#include "MeterSim.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

inline constexpr int kBenchUploads = 10000;
inline constexpr int kBenchRecords = 2000000;
inline constexpr int kFullMeter = 3840;
// The id of the full upload, and a word a few notes hold.
inline constexpr std::int64_t kFullUploadId = kBenchUploads;
inline constexpr const char* kBenchNeedle = "splice";

inline double Milliseconds(std::chrono::steady_clock::duration duration)
{
    return std::chrono::duration<double, std::milli>(duration).count();
}

// The benchmark archive at path, made when missing (or made by another version).
inline bool EnsureBenchArchive(const std::string& path)
{
    const std::string done = path + ".complete";
    if (std::filesystem::exists(done) && std::filesystem::exists(path))
        return true;
    std::filesystem::remove(path);
    std::filesystem::remove(path + "-wal");
    std::filesystem::remove(path + "-shm");
    std::fprintf(stderr, "making the benchmark archive (%d uploads, %d records) at %s\n", kBenchUploads, kBenchRecords,
                 path.c_str());
    CArchive archive;
    if (!archive.Open(path).ok)
        return false;
    const std::vector<MeterRecord> records = GeneratedRecords(kFullMeter);
    std::vector<ArchivedRow> rows;
    for (int i = 0; i < kFullMeter; ++i)
        rows.push_back({i, records[static_cast<std::size_t>(i)], DecodeRecord(records[static_cast<std::size_t>(i)], i)});
    const std::int64_t firstStart = 1700000000;
    int recordsLeft = kBenchRecords - kFullMeter;
    for (int upload = 1; upload <= kBenchUploads; ++upload) {
        const bool full = upload == kFullUploadId;
        const int uploadsLeft = kBenchUploads - upload;   // besides the full one
        const int count = full ? kFullMeter : recordsLeft / std::max(uploadsLeft, 1);
        if (!full)
            recordsLeft -= count;
        UploadInfo info;
        info.startedAt = firstStart + upload * 9000;
        info.recordCount = static_cast<unsigned>(count);
        info.header = {"Company " + std::to_string(upload % 97), "Technician " + std::to_string(upload % 23),
                       upload % 100 == 7 ? std::string("after the ") + kBenchNeedle + " at span 4" : "span "
                                                                                               + std::to_string(upload % 40),
                       "Date time: 2026-12-07 10:00:05", "Use time: " + std::to_string(count / 9) + " seconds"};
        info.port = "/dev/ttyUSB0";
        info.programVersion = "10.1";
        const std::optional<std::int64_t> id = archive.BeginUpload(info);
        if (!id || !archive.AppendRows(*id, {rows.begin(), rows.begin() + count})
            || !archive.FinishUpload(*id, UploadState::Complete, info.startedAt + count / 9, ""))
            return false;
    }
    std::FILE* mark = std::fopen(done.c_str(), "w");
    if (mark != nullptr)
        std::fclose(mark);
    return true;
}
