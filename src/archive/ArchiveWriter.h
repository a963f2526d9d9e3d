#pragma once
// Writes uploads into the archive as they are read, on a thread of its own:
// the transfer and the window only hand rows over and never wait for the
// disk. Rows are committed together, at least once a second, so a crash
// keeps what was read before it.

#include "Archive.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <variant>

// Rows wait at most this long before they are committed.
constexpr std::chrono::milliseconds kArchiveCommitInterval{1000};

struct ArchiveWriterStatus {
    std::int64_t uploadId = 0;   // the latest upload's, 0 until it has one
    bool finished = false;       // its last commit is on the disk
    bool failed = false;         // part of it could not be archived
    std::string reason;          // why, for the user
    std::string notice;          // what opening the archive found: set aside, read-only
    // Why the latest evaluation handed over could not be stored; empty once one was.
    std::string evaluationNotStored;
    bool Safe() const { return finished && !failed; }
};

class CArchiveWriter {
public:
    using StatusCallback = std::function<void(const ArchiveWriterStatus&)>;

    // Opens path on its thread when the first upload begins. onStatus is
    // called on that thread whenever the status changes.
    CArchiveWriter(std::string path, std::string programVersion, StatusCallback onStatus = {});
    ~CArchiveWriter();   // writes what it was given, then ends its thread
    CArchiveWriter(const CArchiveWriter&) = delete;
    CArchiveWriter& operator=(const CArchiveWriter&) = delete;

    // From any thread, in the transfer's order; none waits for the disk.
    void BeginUpload(unsigned recordCount, const ReportHeader& header);
    void RecordRead(int row, const MeterRecord& record);   // the next RowRead of this row was read
    void RowRead(int row, const RowTexts& texts);          // read or not, as the table shows it
    void FinishUpload(UploadState state, const std::string& port);
    // The latest edit wins; id 0: the latest upload begun here.
    void UpdateHeader(const ReportHeader& header, std::int64_t id = 0);
    // What an upload was evaluated with, replacing what it had; id 0: the
    // latest upload begun here. Of several waiting for one upload, the last is written.
    void StoreEvaluation(const ArchivedEvaluation& evaluation, std::int64_t id = 0);

    ArchiveWriterStatus Status() const;
    // Commits what has been handed over and waits for it, at most timeout.
    bool WaitUntilWritten(std::chrono::milliseconds timeout);

private:
    struct Begin {
        UploadInfo info;
    };
    struct Finish {
        UploadState state;
        std::string port;
        std::int64_t endedAt;
    };
    struct Header {
        ReportHeader header;
        std::int64_t id;
    };
    struct Evaluation {
        ArchivedEvaluation evaluation;
        std::int64_t id;
    };
    struct Flush {
        std::uint64_t ticket;
    };
    using Item = std::variant<Begin, ArchivedRow, Finish, Header, Evaluation, Flush>;

    void Post(Item item);
    void Run();
    void Handle(Item& item);
    void Commit();
    void OnBegin(Begin& begin);
    void OnEvaluation(const Evaluation& evaluation);
    bool EnsureOpen();
    void NoteFailure(const std::string& what);
    void Publish();

    const std::string m_path;
    const std::string m_programVersion;
    StatusCallback m_onStatus;

    mutable std::mutex m_mutex;            // guards everything down to m_thread
    std::condition_variable m_wake;        // the writer: new items or stop
    std::condition_variable m_flushed;     // WaitUntilWritten
    std::deque<Item> m_items;
    std::optional<std::pair<int, MeterRecord>> m_recordRead;
    ArchiveWriterStatus m_status;
    std::uint64_t m_flushTickets = 0;
    std::uint64_t m_flushedTicket = 0;
    bool m_stop = false;

    // The writer thread's own.
    CArchive m_archive;
    std::vector<ArchivedRow> m_batch;
    std::chrono::steady_clock::time_point m_batchDue;
    std::int64_t m_uploadId = 0;
    bool m_uploadOpen = false;
    bool m_uploadFailed = false;
    std::thread m_thread;
};

// The state an upload ended in, from how the transfer ended.
UploadState UploadStateOf(bool stopped, bool meterSilent, unsigned unreadCount);
