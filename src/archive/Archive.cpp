#include "Archive.h"

#include "SqliteDb.h"
#include "StatusTexts.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <ctime>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

// Each step brings the schema from the version of its index to the next one;
// a step once released never changes, later needs get a step of their own.
constexpr std::array<const char*, kArchiveSchemaVersion> kMigrations{
    // 0 -> 1: the first release.
    "CREATE TABLE uploads ("
    "  id INTEGER PRIMARY KEY,"
    "  started_at INTEGER NOT NULL,"
    "  ended_at INTEGER,"
    "  state TEXT NOT NULL CHECK (state IN"
    "    ('running', 'complete', 'partial', 'stopped', 'failed', 'interrupted')),"
    "  record_count INTEGER NOT NULL,"
    "  read_count INTEGER NOT NULL DEFAULT 0,"
    "  row_count INTEGER NOT NULL DEFAULT 0,"
    "  company TEXT NOT NULL DEFAULT '',"
    "  user_name TEXT NOT NULL DEFAULT '',"
    "  note TEXT NOT NULL DEFAULT '',"
    "  date_time_text TEXT NOT NULL DEFAULT '',"
    "  use_time_text TEXT NOT NULL DEFAULT '',"
    "  port TEXT NOT NULL DEFAULT '',"
    "  program_version TEXT NOT NULL DEFAULT '');"
    // Rows as committed together: 16 bytes a record in meter order, the five
    // cell texts of each row (0x1F between cells, 0x1E after each row), and
    // one byte a row, 1 where the record could not be read (NULL: all read).
    "CREATE TABLE record_batches ("
    "  id INTEGER PRIMARY KEY,"
    "  upload_id INTEGER NOT NULL REFERENCES uploads(id) ON DELETE CASCADE,"
    "  first_row INTEGER NOT NULL,"
    "  records BLOB NOT NULL,"
    "  texts TEXT NOT NULL,"
    "  unread BLOB);"
    "CREATE INDEX record_batches_upload ON record_batches(upload_id, first_row);"
    "PRAGMA user_version = 1;",
    // 1 -> 2: which process writes a running upload, so that one whose writer
    // died shows as interrupted; the list's order by date from an index.
    "ALTER TABLE uploads ADD COLUMN writer_pid INTEGER;"
    "CREATE INDEX uploads_started ON uploads(started_at);"
    "PRAGMA user_version = 2;",
    // 2 -> 3: what each upload was last evaluated with, as the evaluation's
    // own JSON texts. A table of its own: a program of version 2 reading this
    // file (read-only, as it reads any newer one) finds its tables unchanged.
    "CREATE TABLE upload_evaluations ("
    "  upload_id INTEGER PRIMARY KEY REFERENCES uploads(id) ON DELETE CASCADE,"
    "  saved_at INTEGER NOT NULL,"
    "  parameters TEXT NOT NULL,"
    "  limit_set TEXT NOT NULL,"
    "  labels TEXT NOT NULL);"
    "PRAGMA user_version = 3;",
};

constexpr char kCellEnd = '\x1f';
constexpr char kRowEnd = '\x1e';

constexpr std::array<const char*, 6> kStateNames{"running", "complete", "partial", "stopped", "failed", "interrupted"};

UploadState StateFromName(const std::string& name)
{
    for (std::size_t i = 0; i < kStateNames.size(); ++i)
        if (name == kStateNames[i])
            return static_cast<UploadState>(i);
    return UploadState::Interrupted;
}

fs::path FsPath(const std::string& utf8)
{
    return fs::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string Utf8(const fs::path& path)
{
    const std::u8string text = path.u8string();
    return {text.begin(), text.end()};
}

// The decoder's texts hold no control characters; a stray one becomes a
// blank so that it cannot split the stored row.
void AppendCell(std::string& texts, const std::string& cell)
{
    for (const char c : cell)
        texts += c == kCellEnd || c == kRowEnd ? ' ' : c;
    texts += kCellEnd;
}

std::vector<RowTexts> SplitRows(const std::string& texts)
{
    std::vector<RowTexts> rows;
    RowTexts row;
    std::size_t cell = 0;
    std::string current;
    for (const char c : texts) {
        if (c == kCellEnd) {
            if (cell < row.cells.size())
                row.cells[cell] = std::move(current);
            ++cell;
            current.clear();
        } else if (c == kRowEnd) {
            rows.push_back(std::move(row));
            row = {};
            cell = 0;
        } else {
            current += c;
        }
    }
    return rows;
}

// "archive.sqlite" -> "archive.damaged-20261207-173000.sqlite" beside it.
fs::path SetAsideName(const fs::path& file)
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    LocalCalendarTime(now, local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
    for (int n = 1;; ++n) {
        // Appended piece by piece: GCC takes a literal added to a temporary string for an overlapping copy.
        std::string name = stamp;
        if (n > 1)
            name.append("-").append(std::to_string(n));
        std::u8string filename = file.stem().u8string();
        filename.append(u8".damaged-").append(fs::path(name).u8string()).append(file.extension().u8string());
        fs::path candidate = file;
        candidate.replace_filename(filename);
        std::error_code error;
        if (!fs::exists(candidate, error))
            return candidate;
    }
}

UploadInfo InfoFrom(const CStatement& row)
{
    UploadInfo info;
    info.id = row.Int(0);
    info.startedAt = row.Int(1);
    info.endedAt = row.Int(2);
    info.state = StateFromName(row.Text(3));
    info.recordCount = static_cast<unsigned>(row.Int(4));
    info.readCount = static_cast<unsigned>(row.Int(5));
    info.rowCount = static_cast<unsigned>(row.Int(6));
    info.header = {row.Text(7), row.Text(8), row.Text(9), row.Text(10), row.Text(11)};
    info.port = row.Text(12);
    info.programVersion = row.Text(13);
    // A running upload whose writer is gone will never end.
    if (info.state == UploadState::Running && (row.IsNull(14) || !ArchiveWriterAlive(row.Int(14))))
        info.state = UploadState::Interrupted;
    return info;
}

constexpr const char* kInfoColumns =
    "SELECT id, started_at, coalesce(ended_at, 0), state, record_count, read_count, row_count, company, user_name, "
    "note, date_time_text, use_time_text, port, program_version, writer_pid FROM uploads ";

std::string LikePattern(const std::string& text)
{
    std::string pattern = "%";
    for (const char c : text) {
        if (c == '%' || c == '_' || c == '\\')
            pattern += '\\';
        pattern += c;
    }
    return pattern + "%";
}

} // namespace

const char* UploadStateName(UploadState state)
{
    return kStateNames[static_cast<std::size_t>(state)];
}

CArchive::CArchive() = default;
CArchive::~CArchive() = default;

void CArchive::Close()
{
    m_db.reset();
    m_lastError.clear();
    m_diskFull = false;
}

bool CArchive::Fail(const std::exception& error)
{
    m_lastError = error.what();
    const auto* sqlite = dynamic_cast<const CSqliteError*>(&error);
    m_diskFull = sqlite != nullptr && sqlite->Code() == SQLITE_FULL;
    return false;
}

ArchiveOpenResult CArchive::Open(const std::string& path, ArchiveAccess access)
{
    m_db.reset();
    m_path = path;
    m_readOnly = false;
    ArchiveOpenResult result;
    const fs::path file = FsPath(path);
    if (access == ArchiveAccess::Write && file.has_parent_path()) {
        std::error_code ignored;   // a folder that cannot be made fails the open below, with its reason
        fs::create_directories(file.parent_path(), ignored);
    }
    try {
        try {
            Configure(access, result);
        } catch (const CSqliteError& error) {
            // A damaged file is never written to: it goes aside whole and a new one starts.
            if (!error.Damaged() || access != ArchiveAccess::Write)
                throw;
            const std::string aside = SetAside(result);
            Configure(access, result);
            result.notice = "The archive " + path + " was damaged (" + error.what() + "). It was kept as " + aside
                            + " and a new archive was started.";
        }
        result.ok = true;
    } catch (const std::exception& error) {
        m_db.reset();
        Fail(error);
        result.ok = false;
        result.readOnly = false;
        result.notice = "The archive " + path + " cannot be opened: " + error.what();
    }
    return result;
}

void CArchive::Configure(ArchiveAccess access, ArchiveOpenResult& result)
{
    m_db.reset();
    const int writeFlags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
    m_db = std::make_unique<CSqliteDb>(m_path, access == ArchiveAccess::Write ? writeFlags : SQLITE_OPEN_READONLY);
    sqlite3_busy_timeout(m_db->Handle(), kArchiveBusyTimeoutMs);
    m_db->Exec("PRAGMA foreign_keys = ON");
    const int version = static_cast<int>(m_db->QueryInt("PRAGMA user_version"));
    m_schemaVersion = version;
    if (version > kArchiveSchemaVersion) {
        // A newer program's archive: read what this one understands, never migrate it down.
        m_db = std::make_unique<CSqliteDb>(m_path, SQLITE_OPEN_READONLY);
        sqlite3_busy_timeout(m_db->Handle(), kArchiveBusyTimeoutMs);
        m_readOnly = result.readOnly = true;
        result.notice = "The archive " + m_path + " was written by a newer Ombrel (schema version "
                        + std::to_string(version) + "). It is opened read-only: uploads are not archived.";
        return;
    }
    m_readOnly = access == ArchiveAccess::Read;
    if (const std::string check = m_db->QueryText("PRAGMA quick_check"); check != "ok")
        throw CSqliteError(SQLITE_CORRUPT, check);
    if (m_readOnly)
        return;
    m_db->Exec("PRAGMA journal_mode = WAL");
    // Batches may wait for the next checkpoint; the commit that ends an upload is synced (FinishUpload).
    m_db->Exec("PRAGMA synchronous = NORMAL");
    if (version < kArchiveSchemaVersion)
        Migrate();
    m_schemaVersion = static_cast<int>(m_db->QueryInt("PRAGMA user_version"));
    MarkInterrupted();
}

void CArchive::Migrate()
{
    CTransaction transaction(*m_db);
    // Another program may have migrated meanwhile.
    for (auto version = static_cast<std::size_t>(m_db->QueryInt("PRAGMA user_version"));
         version < kMigrations.size(); ++version)
        m_db->Exec(kMigrations[version]);
    transaction.Commit();
}

void CArchive::MarkInterrupted()
{
    std::vector<std::int64_t> orphans;
    {
        CStatement running(*m_db, "SELECT id, writer_pid FROM uploads WHERE state = 'running'");
        while (running.Step())
            if (running.IsNull(1) || !ArchiveWriterAlive(running.Int(1)))
                orphans.push_back(running.Int(0));
    }
    if (orphans.empty())
        return;
    CTransaction transaction(*m_db);
    CStatement mark(*m_db, "UPDATE uploads SET state = 'interrupted' WHERE id = ? AND state = 'running'");
    for (const std::int64_t id : orphans) {
        mark.Bind(1, id).Run();
        mark.Reset();
    }
    transaction.Commit();
}

std::string CArchive::SetAside(ArchiveOpenResult& result)
{
    m_db.reset();
    const fs::path file = FsPath(m_path);
    const fs::path aside = SetAsideName(file);
    fs::rename(file, aside);
    // The log belongs to the damaged file and goes with it; the index is rebuilt.
    std::error_code ignored;
    fs::path wal = file, walAside = aside, shm = file;
    wal += "-wal";
    walAside += "-wal";
    shm += "-shm";
    if (fs::exists(wal, ignored))
        fs::rename(wal, walAside, ignored);
    fs::remove(shm, ignored);
    result.setAsidePath = Utf8(aside);
    return result.setAsidePath;
}

std::optional<std::int64_t> CArchive::BeginUpload(const UploadInfo& info)
{
    try {
        CTransaction transaction(*m_db);
        CStatement insert(*m_db,
                          "INSERT INTO uploads (started_at, state, record_count, company, user_name, note, "
                          "date_time_text, use_time_text, port, program_version, writer_pid) "
                          "VALUES (?, 'running', ?, ?, ?, ?, ?, ?, ?, ?, ?)");
        insert.Bind(1, info.startedAt).Bind(2, std::int64_t{info.recordCount});
        insert.Bind(3, info.header.companyName).Bind(4, info.header.userName).Bind(5, info.header.note);
        insert.Bind(6, info.header.dateTimePane).Bind(7, info.header.useTimePane);
        insert.Bind(8, info.port).Bind(9, info.programVersion).Bind(10, ArchiveProcessId());
        insert.Run();
        const std::int64_t id = m_db->LastInsertId();
        transaction.Commit();
        return id;
    } catch (const std::exception& error) {
        Fail(error);
        return std::nullopt;
    }
}

bool CArchive::AppendRows(std::int64_t id, const std::vector<ArchivedRow>& rows)
{
    if (rows.empty())
        return true;
    try {
        CTransaction transaction(*m_db);
        CStatement insert(*m_db,
                          "INSERT INTO record_batches (upload_id, first_row, records, texts, unread) VALUES (?, ?, ?, ?, ?)");
        std::int64_t read = 0;
        // One batch per run of consecutive rows.
        for (std::size_t start = 0; start < rows.size();) {
            std::size_t end = start + 1;
            while (end < rows.size() && rows[end].row == rows[end - 1].row + 1)
                ++end;
            std::string records, texts, unread;
            bool anyUnread = false;
            for (std::size_t i = start; i < end; ++i) {
                const MeterRecord record = rows[i].record.value_or(MeterRecord{});
                records.append(reinterpret_cast<const char*>(record.bytes.data()), record.bytes.size());
                for (const std::string& cell : rows[i].texts.cells)
                    AppendCell(texts, cell);
                texts += kRowEnd;
                unread += rows[i].record ? '\0' : '\1';
                anyUnread = anyUnread || !rows[i].record;
                read += rows[i].record ? 1 : 0;
            }
            insert.Bind(1, id).Bind(2, std::int64_t{rows[start].row});
            insert.BindBlob(3, records.data(), records.size()).Bind(4, texts);
            if (anyUnread)
                insert.BindBlob(5, unread.data(), unread.size());
            insert.Run();
            insert.Reset();
            start = end;
        }
        CStatement count(*m_db, "UPDATE uploads SET read_count = read_count + ?, row_count = max(row_count, ?) "
                                "WHERE id = ?");
        count.Bind(1, read).Bind(2, std::int64_t{rows.back().row} + 1).Bind(3, id).Run();
        transaction.Commit();
        return true;
    } catch (const std::exception& error) {
        return Fail(error);
    }
}

bool CArchive::FinishUpload(std::int64_t id, UploadState state, std::int64_t endedAt, const std::string& port)
{
    try {
        // The commit that says an upload is whole reaches the disk before anyone relies on it.
        m_db->Exec("PRAGMA synchronous = FULL");
        struct Restore {
            CSqliteDb& db;
            ~Restore() { sqlite3_exec(db.Handle(), "PRAGMA synchronous = NORMAL", nullptr, nullptr, nullptr); }
        } restore{*m_db};
        CTransaction transaction(*m_db);
        CStatement finish(*m_db, "UPDATE uploads SET state = ?, ended_at = ?, port = CASE WHEN ? = '' THEN port "
                                 "ELSE ? END WHERE id = ?");
        finish.Bind(1, UploadStateName(state)).Bind(2, endedAt).Bind(3, port).Bind(4, port).Bind(5, id).Run();
        transaction.Commit();
        return true;
    } catch (const std::exception& error) {
        return Fail(error);
    }
}

bool CArchive::UpdateHeader(std::int64_t id, const ReportHeader& header)
{
    try {
        CTransaction transaction(*m_db);
        CStatement update(*m_db, "UPDATE uploads SET company = ?, user_name = ?, note = ?, date_time_text = ?, "
                                 "use_time_text = ? WHERE id = ?");
        update.Bind(1, header.companyName).Bind(2, header.userName).Bind(3, header.note);
        update.Bind(4, header.dateTimePane).Bind(5, header.useTimePane).Bind(6, id).Run();
        transaction.Commit();
        return true;
    } catch (const std::exception& error) {
        return Fail(error);
    }
}

bool CArchive::StoreEvaluation(std::int64_t id, const ArchivedEvaluation& evaluation)
{
    try {
        CTransaction transaction(*m_db);
        CStatement exists(*m_db, "SELECT 1 FROM uploads WHERE id = ?");
        if (!exists.Bind(1, id).Step()) {
            m_lastError = "no upload " + std::to_string(id) + " in the archive";
            return false;
        }
        CStatement store(*m_db, "INSERT OR REPLACE INTO upload_evaluations (upload_id, saved_at, parameters, "
                                "limit_set, labels) VALUES (?, ?, ?, ?, ?)");
        store.Bind(1, id).Bind(2, evaluation.savedAt).Bind(3, evaluation.parameters);
        store.Bind(4, evaluation.limitSet).Bind(5, evaluation.labels).Run();
        transaction.Commit();
        return true;
    } catch (const std::exception& error) {
        return Fail(error);
    }
}

bool CArchive::DeleteUpload(std::int64_t id)
{
    try {
        CTransaction transaction(*m_db);
        CStatement erase(*m_db, "DELETE FROM uploads WHERE id = ?");
        erase.Bind(1, id).Run();
        const bool found = sqlite3_changes(m_db->Handle()) > 0;
        transaction.Commit();
        if (!found)
            m_lastError = "no upload " + std::to_string(id) + " in the archive";
        return found;
    } catch (const std::exception& error) {
        return Fail(error);
    }
}

std::vector<UploadInfo> CArchive::ListUploads(const UploadFilter& filter)
{
    std::vector<UploadInfo> uploads;
    try {
        const std::string sql = std::string(kInfoColumns)
                                + "WHERE (?1 = '' OR company LIKE ?2 ESCAPE '\\' OR user_name LIKE ?2 ESCAPE '\\' "
                                  "OR note LIKE ?2 ESCAPE '\\') AND started_at >= ?3 AND started_at < ?4 "
                                  "ORDER BY started_at DESC, id DESC LIMIT ?5";
        CStatement list(*m_db, sql.c_str());
        list.Bind(1, filter.text).Bind(2, LikePattern(filter.text));
        list.Bind(3, filter.from.value_or(INT64_MIN)).Bind(4, filter.until.value_or(INT64_MAX));
        list.Bind(5, std::int64_t{filter.limit});
        while (list.Step())
            uploads.push_back(InfoFrom(list));
        m_lastError.clear();
    } catch (const std::exception& error) {
        Fail(error);
    }
    return uploads;
}

std::optional<ArchivedUpload> CArchive::LoadUpload(std::int64_t id)
{
    try {
        const std::string sql = std::string(kInfoColumns) + "WHERE id = ?";
        CStatement info(*m_db, sql.c_str());
        info.Bind(1, id);
        if (!info.Step()) {
            m_lastError = "no upload " + std::to_string(id) + " in the archive";
            return std::nullopt;
        }
        ArchivedUpload upload;
        upload.info = InfoFrom(info);
        CStatement batches(*m_db, "SELECT first_row, records, texts, unread FROM record_batches "
                                  "WHERE upload_id = ? ORDER BY first_row");
        batches.Bind(1, id);
        upload.records.reserve(upload.info.rowCount);
        upload.rows.reserve(upload.info.rowCount);
        upload.unread.reserve(upload.info.rowCount);
        while (batches.Step()) {
            const auto firstRow = static_cast<std::size_t>(std::max<std::int64_t>(batches.Int(0), 0));
            const std::string records = batches.Blob(1);
            std::vector<RowTexts> rows = SplitRows(batches.Text(2));
            const std::string unread = batches.Blob(3);
            for (std::size_t i = 0; i < rows.size() && (i + 1) * kRecordSize <= records.size(); ++i) {
                // Each row goes to its own place: a row missing between
                // batches stays unread, a row stored twice keeps its last copy.
                const std::size_t row = firstRow + i;
                while (upload.rows.size() <= row) {
                    upload.rows.push_back(UnreadRow(static_cast<int>(upload.rows.size())));
                    upload.records.emplace_back();
                    upload.unread.push_back(true);
                }
                std::copy_n(records.begin() + static_cast<std::ptrdiff_t>(i * kRecordSize), kRecordSize,
                            upload.records[row].bytes.begin());
                upload.rows[row] = std::move(rows[i]);
                upload.unread[row] = i < unread.size() && unread[i] != 0;
            }
        }
        if (m_schemaVersion >= 3) {
            CStatement evaluation(*m_db, "SELECT parameters, limit_set, labels, saved_at FROM upload_evaluations "
                                         "WHERE upload_id = ?");
            if (evaluation.Bind(1, id).Step())
                upload.evaluation = ArchivedEvaluation{evaluation.Text(0), evaluation.Text(1), evaluation.Text(2),
                                                       evaluation.Int(3)};
        }
        return upload;
    } catch (const std::exception& error) {
        Fail(error);
        return std::nullopt;
    }
}
