#include "ArchiveWriter.h"

#include <algorithm>
#include <ctime>

CArchiveWriter::CArchiveWriter(std::string path, std::string programVersion, StatusCallback onStatus)
    : m_path(std::move(path)), m_programVersion(std::move(programVersion)), m_onStatus(std::move(onStatus))
{
    m_thread = std::thread([this] { Run(); });
}

CArchiveWriter::~CArchiveWriter()
{
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    m_thread.join();
}

void CArchiveWriter::Post(Item item)
{
    {
        std::lock_guard lock(m_mutex);
        m_items.push_back(std::move(item));
    }
    m_wake.notify_all();
}

void CArchiveWriter::BeginUpload(unsigned recordCount, const ReportHeader& header)
{
    Begin begin;
    begin.info.startedAt = std::time(nullptr);
    begin.info.recordCount = recordCount;
    begin.info.header = header;
    begin.info.programVersion = m_programVersion;
    {
        std::lock_guard lock(m_mutex);
        m_recordRead.reset();
        // The status is the new upload's from now on: not safe until written.
        m_status = {0, false, false, {}, m_status.notice, {}};
    }
    Post(std::move(begin));
}

void CArchiveWriter::RecordRead(int row, const MeterRecord& record)
{
    std::lock_guard lock(m_mutex);
    m_recordRead.emplace(row, record);
}

void CArchiveWriter::RowRead(int row, const RowTexts& texts)
{
    ArchivedRow archived{row, std::nullopt, texts};
    {
        std::lock_guard lock(m_mutex);
        if (m_recordRead && m_recordRead->first == row)
            archived.record = m_recordRead->second;
        m_recordRead.reset();
        m_items.push_back(std::move(archived));
    }
    m_wake.notify_all();
}

void CArchiveWriter::FinishUpload(UploadState state, const std::string& port)
{
    Post(Finish{state, port, std::time(nullptr)});
}

void CArchiveWriter::UpdateHeader(const ReportHeader& header, std::int64_t id)
{
    Post(Header{header, id});
}

void CArchiveWriter::StoreEvaluation(const ArchivedEvaluation& evaluation, std::int64_t id)
{
    Post(Evaluation{evaluation, id});
}

ArchiveWriterStatus CArchiveWriter::Status() const
{
    std::lock_guard lock(m_mutex);
    return m_status;
}

bool CArchiveWriter::WaitUntilWritten(std::chrono::milliseconds timeout)
{
    std::unique_lock lock(m_mutex);
    const std::uint64_t ticket = ++m_flushTickets;
    m_items.push_back(Flush{ticket});
    m_wake.notify_all();
    return m_flushed.wait_for(lock, timeout, [&] { return m_flushedTicket >= ticket; });
}

void CArchiveWriter::Run()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        const auto due = [&] { return !m_batch.empty() && std::chrono::steady_clock::now() >= m_batchDue; };
        if (m_batch.empty())
            m_wake.wait(lock, [&] { return m_stop || !m_items.empty(); });
        else
            m_wake.wait_until(lock, m_batchDue, [&] { return m_stop || !m_items.empty(); });
        std::deque<Item> items;
        items.swap(m_items);
        const bool stopping = m_stop;
        lock.unlock();
        for (std::size_t i = 0; i < items.size(); ++i) {
            // An operator stepping a value hands over an evaluation a step:
            // only the last of those waiting for one upload is written.
            if (const auto* evaluation = std::get_if<Evaluation>(&items[i]);
                evaluation && evaluation->id != 0 && std::any_of(items.begin() + static_cast<std::ptrdiff_t>(i) + 1, items.end(),
                                          [&](const Item& later) {
                                              const auto* next = std::get_if<Evaluation>(&later);
                                              return next && next->id == evaluation->id;
                                          }))
                continue;
            Handle(items[i]);
        }
        if (due() || (stopping && !m_batch.empty()))
            Commit();
        if (stopping && m_uploadOpen) {
            // Whoever ran the transfer never said how it ended.
            Item finish = Finish{UploadState::Interrupted, {}, std::time(nullptr)};
            Handle(finish);
        }
        lock.lock();
        if (stopping && m_items.empty())
            return;
    }
}

void CArchiveWriter::Handle(Item& item)
{
    if (auto* row = std::get_if<ArchivedRow>(&item)) {
        if (!m_uploadOpen || m_uploadFailed)
            return;
        if (m_batch.empty())
            m_batchDue = std::chrono::steady_clock::now() + kArchiveCommitInterval;
        m_batch.push_back(std::move(*row));
        return;
    }
    // Everything else comes after the rows handed over before it.
    Commit();
    if (auto* begin = std::get_if<Begin>(&item)) {
        OnBegin(*begin);
    } else if (auto* finish = std::get_if<Finish>(&item)) {
        if (!m_uploadOpen)
            return;
        m_uploadOpen = false;
        if (!m_uploadFailed && !m_archive.FinishUpload(m_uploadId, finish->state, finish->endedAt, finish->port))
            NoteFailure(m_archive.LastError());
        std::lock_guard lock(m_mutex);
        m_status.finished = true;
    } else if (auto* header = std::get_if<Header>(&item)) {
        const std::int64_t id = header->id != 0 ? header->id : m_uploadId;
        if (id != 0 && EnsureOpen() && !m_archive.UpdateHeader(id, header->header) && id == m_uploadId)
            NoteFailure(m_archive.LastError());
    } else if (const auto* evaluation = std::get_if<Evaluation>(&item)) {
        OnEvaluation(*evaluation);
    } else if (auto* flush = std::get_if<Flush>(&item)) {
        std::lock_guard lock(m_mutex);
        m_flushedTicket = std::max(m_flushedTicket, flush->ticket);
        m_flushed.notify_all();
        return;
    }
    Publish();
}

void CArchiveWriter::OnBegin(Begin& begin)
{
    m_uploadOpen = true;
    m_uploadFailed = false;
    m_uploadId = 0;
    // A failed archive is opened afresh: the disk may have room again.
    if (!m_archive.LastError().empty())
        m_archive.Close();
    if (!EnsureOpen()) {
        NoteFailure(m_archive.IsOpen() ? "the archive is read-only" : m_archive.LastError());
        return;
    }
    if (const std::optional<std::int64_t> id = m_archive.BeginUpload(begin.info)) {
        m_uploadId = *id;
        std::lock_guard lock(m_mutex);
        m_status.uploadId = *id;
    } else {
        NoteFailure(m_archive.LastError());
    }
}

void CArchiveWriter::OnEvaluation(const Evaluation& evaluation)
{
    const std::int64_t id = evaluation.id != 0 ? evaluation.id : m_uploadId;
    std::string why;
    if (id == 0)
        why = "the upload is not in the archive";
    else if (!EnsureOpen())
        why = m_archive.IsOpen() ? "the archive is read-only" : m_archive.LastError();
    else if (!m_archive.StoreEvaluation(id, evaluation.evaluation))
        why = m_archive.LastError();
    std::lock_guard lock(m_mutex);
    m_status.evaluationNotStored = why;
}

// True when the archive is open for writing.
bool CArchiveWriter::EnsureOpen()
{
    if (!m_archive.IsOpen()) {
        const ArchiveOpenResult opened = m_archive.Open(m_path);
        // Why an archive could not be opened is the upload's failure; the
        // notice tells what opening found in a file that did open.
        std::lock_guard lock(m_mutex);
        if (opened.ok && !opened.notice.empty())
            m_status.notice = opened.notice;
    }
    return m_archive.IsOpen() && !m_archive.ReadOnly();
}

void CArchiveWriter::Commit()
{
    if (m_batch.empty())
        return;
    if (!m_uploadFailed && !m_archive.AppendRows(m_uploadId, m_batch))
        NoteFailure(m_archive.LastError());
    m_batch.clear();
    Publish();
}

void CArchiveWriter::NoteFailure(const std::string& what)
{
    m_uploadFailed = true;
    std::lock_guard lock(m_mutex);
    if (!m_status.failed)
        m_status.reason = what;
    m_status.failed = true;
}

void CArchiveWriter::Publish()
{
    if (!m_onStatus)
        return;
    ArchiveWriterStatus status;
    {
        std::lock_guard lock(m_mutex);
        status = m_status;
    }
    m_onStatus(status);
}

UploadState UploadStateOf(bool stopped, bool meterSilent, unsigned unreadCount)
{
    if (stopped)
        return UploadState::Stopped;
    if (meterSilent)
        return UploadState::Failed;
    return unreadCount > 0 ? UploadState::Partial : UploadState::Complete;
}
