#pragma once
// The archive: every upload kept in one SQLite file. Pure C++: no widgets,
// no Qt; the front ends choose the file and show what it says. The rest of
// the program sees the values below, never SQL.

#include "CsvReport.h"
#include "MeterRecord.h"
#include "RowTexts.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class CSqliteDb;

constexpr int kArchiveSchemaVersion = 3;
// How long a statement waits for another program that holds the write lock.
constexpr int kArchiveBusyTimeoutMs = 5000;

enum class UploadState { Running, Complete, Partial, Stopped, Failed, Interrupted };

const char* UploadStateName(UploadState state);   // "running", "complete", ...

// One archived upload as a list shows it.
struct UploadInfo {
    std::int64_t id = 0;
    std::int64_t startedAt = 0;   // seconds since the epoch
    std::int64_t endedAt = 0;     // 0 while running or when the writer died
    UploadState state = UploadState::Running;
    unsigned recordCount = 0;     // records the meter reported
    unsigned readCount = 0;       // records read and stored
    unsigned rowCount = 0;        // rows stored, read or not
    ReportHeader header;          // the three fields and the two status texts
    std::string port;
    std::string programVersion;
    unsigned UnreadCount() const { return recordCount - readCount; }
};

// What an upload was last evaluated with: the evaluation's own texts (JSON)
// of its parameters, its limit set with every number, and its labels. The
// archive keeps them as given; the evaluation reads them back.
struct ArchivedEvaluation {
    std::string parameters;
    std::string limitSet;
    std::string labels;
    std::int64_t savedAt = 0;   // seconds since the epoch
    bool operator==(const ArchivedEvaluation&) const = default;
};

// A whole upload: rows in meter order. records[i] is 16 zero bytes where
// row i could not be read (unread[i]).
struct ArchivedUpload {
    UploadInfo info;
    std::vector<MeterRecord> records;
    std::vector<RowTexts> rows;
    std::vector<bool> unread;
    std::optional<ArchivedEvaluation> evaluation;   // none: never evaluated
};

// One row as it arrives from the transfer.
struct ArchivedRow {
    int row = 0;
    std::optional<MeterRecord> record;   // none: the record could not be read
    RowTexts texts;
};

struct UploadFilter {
    std::string text;                   // found in company, user or note; empty: all
    std::optional<std::int64_t> from;   // started at or after (seconds since the epoch)
    std::optional<std::int64_t> until;  // started before
    int limit = 200;
};

enum class ArchiveAccess { Write, Read };

// What opening found. A damaged file is moved aside (setAsidePath) and a
// new archive started; a file from a newer program is opened read-only.
struct ArchiveOpenResult {
    bool ok = false;
    bool readOnly = false;
    std::string setAsidePath;
    std::string notice;   // for the user: set aside, read-only, or why it could not be opened
};

class CArchive {
public:
    CArchive();
    ~CArchive();
    CArchive(const CArchive&) = delete;
    CArchive& operator=(const CArchive&) = delete;

    // Opens or creates the file (and its folder), migrates an older schema,
    // and marks uploads whose writer has died as interrupted.
    ArchiveOpenResult Open(const std::string& path, ArchiveAccess access = ArchiveAccess::Write);
    void Close();
    bool IsOpen() const { return m_db != nullptr; }
    bool ReadOnly() const { return m_readOnly; }
    const std::string& Path() const { return m_path; }

    // Each returns false (or nothing) on failure, with LastError() saying why.
    std::optional<std::int64_t> BeginUpload(const UploadInfo& info);
    bool AppendRows(std::int64_t id, const std::vector<ArchivedRow>& rows);
    // The final commit of an upload, written through to the disk.
    bool FinishUpload(std::int64_t id, UploadState state, std::int64_t endedAt, const std::string& port);
    bool UpdateHeader(std::int64_t id, const ReportHeader& header);
    // Replaces what the upload was evaluated with.
    bool StoreEvaluation(std::int64_t id, const ArchivedEvaluation& evaluation);
    bool DeleteUpload(std::int64_t id);
    std::vector<UploadInfo> ListUploads(const UploadFilter& filter);
    std::optional<ArchivedUpload> LoadUpload(std::int64_t id);

    const std::string& LastError() const { return m_lastError; }
    bool LastErrorWasDiskFull() const { return m_diskFull; }

private:
    void Configure(ArchiveAccess access, ArchiveOpenResult& result);
    void Migrate();
    void MarkInterrupted();
    bool Fail(const std::exception& error);
    std::string SetAside(ArchiveOpenResult& result);

    std::unique_ptr<CSqliteDb> m_db;
    int m_schemaVersion = 0;   // of the open file: an older one read as it is lacks the later tables
    std::string m_path;
    bool m_readOnly = false;
    bool m_diskFull = false;
    std::string m_lastError;
};

// Whether the process with this id still runs (the writer of a running upload).
bool ArchiveWriterAlive(std::int64_t processId);
std::int64_t ArchiveProcessId();
