#include "ArchiveFixture.h"

#include <chrono>
#include <thread>

namespace {

using namespace std::chrono_literals;

// The first release's schema, as it shipped: the test's own copy, so that a
// change to the program's cannot make both agree.
constexpr const char* kVersion1Schema =
    "CREATE TABLE uploads (id INTEGER PRIMARY KEY, started_at INTEGER NOT NULL, ended_at INTEGER,"
    " state TEXT NOT NULL CHECK (state IN ('running', 'complete', 'partial', 'stopped', 'failed', 'interrupted')),"
    " record_count INTEGER NOT NULL, read_count INTEGER NOT NULL DEFAULT 0, row_count INTEGER NOT NULL DEFAULT 0,"
    " company TEXT NOT NULL DEFAULT '', user_name TEXT NOT NULL DEFAULT '', note TEXT NOT NULL DEFAULT '',"
    " date_time_text TEXT NOT NULL DEFAULT '', use_time_text TEXT NOT NULL DEFAULT '',"
    " port TEXT NOT NULL DEFAULT '', program_version TEXT NOT NULL DEFAULT '');"
    "CREATE TABLE record_batches (id INTEGER PRIMARY KEY,"
    " upload_id INTEGER NOT NULL REFERENCES uploads(id) ON DELETE CASCADE, first_row INTEGER NOT NULL,"
    " records BLOB NOT NULL, texts TEXT NOT NULL, unread BLOB);"
    "CREATE INDEX record_batches_upload ON record_batches(upload_id, first_row);"
    "PRAGMA user_version = 1;";

// An archive of the first release: its uploads survive the migration, and
// one that was running when that program ended shows as interrupted.
TEST_F(ArchiveTest, MigratesFromVersion1)
{
    {
        CSqliteDb db(m_path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
        db.Exec(kVersion1Schema);
        // Two rows: "1" and "2" with their cells; 32 record bytes, the second record unread.
        db.Exec("INSERT INTO uploads VALUES (7, 1765000000, NULL, 'running', 3, 1, 2, 'Old Co', 'Al', 'n',"
                " 'Date time: x', 'Use time: 1 seconds', '/dev/ttyS0', '10.0')");
        db.Exec("INSERT INTO record_batches VALUES (1, 7, 0, zeroblob(32),"
                " '1\x1f" "a\x1f" "b\x1f" "c\x1f" "d\x1f\x1e" "2\x1f\x1f\x1f\x1f\x1f\x1e', x'0001')");
    }
    CArchive archive;
    ASSERT_TRUE(archive.Open(m_path).ok);
    EXPECT_EQ(Pragma(m_path, "PRAGMA user_version"), "3");

    const std::optional<ArchivedUpload> upload = archive.LoadUpload(7);
    ASSERT_TRUE(upload);
    EXPECT_EQ(upload->info.state, UploadState::Interrupted);
    EXPECT_EQ(upload->info.header.companyName, "Old Co");
    EXPECT_EQ(upload->info.UnreadCount(), 2u);   // 3 reported, 1 read
    EXPECT_EQ(upload->rows, (std::vector<RowTexts>{{{"1", "a", "b", "c", "d"}}, {{"2", "", "", "", ""}}}));
    EXPECT_EQ(upload->unread, (std::vector<bool>{false, true}));
    EXPECT_EQ(Pragma(m_path, "SELECT state FROM uploads WHERE id = 7"), "interrupted");
}

// What a program of the second release reads, in its own words: a later
// schema must leave it working on a newer file it opens read-only.
constexpr const char* kVersion2Reads[] = {
    "SELECT id, started_at, coalesce(ended_at, 0), state, record_count, read_count, row_count, company, user_name,"
    " note, date_time_text, use_time_text, port, program_version, writer_pid FROM uploads"
    " ORDER BY started_at DESC, id DESC",
    "SELECT first_row, records, texts, unread FROM record_batches ORDER BY upload_id, first_row",
};

const ArchivedEvaluation kEvaluation{R"({"length_km":2})", R"({"name":"Campus"})", R"({"prefix":"F"})", 1796600000};

// A file the second release wrote (two uploads from the simulated meter,
// the first with its CSV report beside it): migrated with every upload kept.
TEST_F(ArchiveTest, MigratesARealVersion2File)
{
    const fs::path samples = OMBREL_ARCHIVE_SAMPLES;
    fs::copy_file(samples / "archive-v2.sqlite", m_path);
    CArchive archive;
    ASSERT_TRUE(archive.Open(m_path).ok);
    EXPECT_EQ(Pragma(m_path, "PRAGMA user_version"), "3");
    EXPECT_EQ(Pragma(m_path, "PRAGMA integrity_check"), "ok");
    EXPECT_EQ(archive.ListUploads({}).size(), 2u);
    const std::optional<ArchivedUpload> upload = archive.LoadUpload(1);
    ASSERT_TRUE(upload);
    EXPECT_EQ(upload->info.state, UploadState::Complete);
    EXPECT_EQ(upload->info.programVersion, "10.1 (eaecc0c)");
    EXPECT_EQ(FormatCsvReport(upload->info.header, upload->rows), ReadFile(samples / "archive-v2-upload-1.csv"));
    ASSERT_EQ(upload->records.size(), 4u);
    for (std::size_t i = 0; i < upload->records.size(); ++i)
        EXPECT_EQ(DecodeRecord(upload->records[i], static_cast<int>(i)), upload->rows[i]) << "row " << i;
    EXPECT_FALSE(upload->evaluation);

    ASSERT_TRUE(archive.StoreEvaluation(1, kEvaluation)) << archive.LastError();
    EXPECT_EQ(archive.LoadUpload(1)->evaluation, kEvaluation);
    archive.Close();
    CSqliteDb asVersion2(m_path, SQLITE_OPEN_READONLY);
    for (const char* sql : kVersion2Reads) {
        CStatement read(asVersion2, sql);
        EXPECT_TRUE(read.Step()) << sql;
    }
}

// The header edited after the upload and its evaluation are kept with it,
// each replaced by the next (the last of several waiting for the writer wins);
// an evaluation is refused for an upload that is not there, and deleted with it.
TEST_F(ArchiveTest, LatestHeaderAndEvaluationAreKeptWithTheirUpload)
{
    ArchivedEvaluation later = kEvaluation;
    later.parameters = R"({"length_km":3})";
    {
        CArchiveWriter writer(m_path, "v");
        writer.BeginUpload(1, kHeader);
        FeedRows(writer, SomeRecords(1));
        writer.FinishUpload(UploadState::Complete, "p");
        ReportHeader edited = kHeader;
        edited.note = "first edit";
        writer.UpdateHeader(edited);
        edited.note = "saved again";
        writer.UpdateHeader(edited);
        writer.StoreEvaluation(kEvaluation);   // the latest upload begun here
        ASSERT_TRUE(writer.WaitUntilWritten(10s));
        EXPECT_EQ(writer.Status().evaluationNotStored, "");
        for (int step = 0; step < 20; ++step)
            writer.StoreEvaluation(step == 19 ? later : kEvaluation, 1);
        writer.StoreEvaluation(kEvaluation, 5);
        ASSERT_TRUE(writer.WaitUntilWritten(10s));
        EXPECT_EQ(writer.Status().evaluationNotStored, "no upload 5 in the archive");
    }
    CArchive archive;
    ASSERT_TRUE(archive.Open(m_path).ok);
    EXPECT_EQ(archive.LoadUpload(1)->info.header.note, "saved again");
    EXPECT_EQ(archive.LoadUpload(1)->evaluation, later);
    EXPECT_EQ(Pragma(m_path, "SELECT count(*) FROM upload_evaluations"), "1");
    EXPECT_TRUE(archive.DeleteUpload(1));
    EXPECT_EQ(Pragma(m_path, "SELECT count(*) FROM upload_evaluations"), "0");
}

// Rows reach the file while the upload still runs, without waiting for its
// end; the finished upload reads back byte for byte, unread rows as unread.
TEST_F(ArchiveTest, UploadCommittedWhileItRunsAndReadBackByteForByte)
{
    const std::vector<MeterRecord> records = SomeRecords(50);
    std::vector<bool> unread(50, false);
    unread[10] = unread[49] = true;
    {
        CArchiveWriter writer(m_path, "10.1 (build test)");
        writer.BeginUpload(50, kHeader);
        FeedRows(writer, records, unread, 0, 4);
        CArchive reader;
        EXPECT_TRUE(RowsSeen(reader, 4, 10s));
        EXPECT_EQ(reader.ListUploads({}).at(0).state, UploadState::Running);
        FeedRows(writer, records, unread, 4);
        writer.FinishUpload(UploadState::Partial, "/dev/pts/9");
        ASSERT_TRUE(writer.WaitUntilWritten(10s));
        EXPECT_TRUE(writer.Status().Safe()) << writer.Status().reason;
        EXPECT_EQ(writer.Status().uploadId, 1);
    }
    CArchive archive;
    ASSERT_TRUE(archive.Open(m_path).ok);
    const std::optional<ArchivedUpload> upload = archive.LoadUpload(1);
    ASSERT_TRUE(upload);
    EXPECT_EQ(upload->info.state, UploadState::Partial);
    EXPECT_EQ(upload->info.recordCount, 50u);
    EXPECT_EQ(upload->info.readCount, 48u);
    EXPECT_EQ(upload->info.header.companyName, kHeader.companyName);
    EXPECT_EQ(upload->info.header.useTimePane, kHeader.useTimePane);
    EXPECT_EQ(upload->info.port, "/dev/pts/9");
    EXPECT_EQ(upload->info.programVersion, "10.1 (build test)");
    EXPECT_NE(upload->info.endedAt, 0);
    ASSERT_EQ(upload->records.size(), 50u);
    for (std::size_t i = 0; i < records.size(); ++i) {
        const int row = static_cast<int>(i);
        EXPECT_EQ(upload->records[i].bytes, unread[i] ? MeterRecord{}.bytes : records[i].bytes) << "row " << i;
        EXPECT_EQ(upload->rows[i], unread[i] ? UnreadRow(row) : DecodeRecord(records[i], row)) << "row " << i;
    }
    EXPECT_EQ(upload->unread, unread);
}

// Rows stored apart or twice each end up in their own place: a gap reads
// as unread, the later copy of a row wins.
TEST_F(ArchiveTest, RowsTakeTheirOwnPlaces)
{
    const std::vector<MeterRecord> records = SomeRecords(4);
    const auto row = [&](int index) { return ArchivedRow{index, records[static_cast<std::size_t>(index)], DecodeRecord(records[static_cast<std::size_t>(index)], index)}; };
    CArchive archive;
    ASSERT_TRUE(archive.Open(m_path).ok);
    const std::optional<std::int64_t> id = archive.BeginUpload(UploadInfo{});
    ASSERT_TRUE(id);
    ArchivedRow stale = row(1);
    stale.record = records[0];
    ASSERT_TRUE(archive.AppendRows(*id, {row(0), stale}));
    ASSERT_TRUE(archive.AppendRows(*id, {row(3)}));
    ASSERT_TRUE(archive.AppendRows(*id, {row(1)}));
    const std::optional<ArchivedUpload> upload = archive.LoadUpload(*id);
    ASSERT_TRUE(upload);
    ASSERT_EQ(upload->rows.size(), 4u);
    EXPECT_EQ(upload->records[1].bytes, records[1].bytes);
    EXPECT_EQ(upload->rows[2], UnreadRow(2));
    EXPECT_EQ(upload->unread, (std::vector<bool>{false, false, true, false}));
    EXPECT_EQ(upload->records[3].bytes, records[3].bytes);
}

// Several programs may share one archive: each writes its own upload whole.
TEST_F(ArchiveTest, TwoWritersOnOneFile)
{
    const std::vector<MeterRecord> records = SomeRecords(300);
    {
        CArchiveWriter first(m_path, "first");
        CArchiveWriter second(m_path, "second");
        first.BeginUpload(300, kHeader);
        second.BeginUpload(300, kHeader);
        std::thread feeding([&] { FeedRows(first, records); });
        for (std::size_t from = 0; from < records.size(); from += 50) {
            FeedRows(second, records, {}, from, from + 50);
            ASSERT_TRUE(second.WaitUntilWritten(30s));   // commits while the other writes
        }
        feeding.join();
        first.FinishUpload(UploadState::Complete, "a");
        second.FinishUpload(UploadState::Complete, "b");
        ASSERT_TRUE(first.WaitUntilWritten(30s));
        ASSERT_TRUE(second.WaitUntilWritten(30s));
        EXPECT_TRUE(first.Status().Safe()) << first.Status().reason;
        EXPECT_TRUE(second.Status().Safe()) << second.Status().reason;
    }
    CArchive archive;
    ASSERT_TRUE(archive.Open(m_path).ok);
    const std::vector<UploadInfo> uploads = archive.ListUploads({});
    ASSERT_EQ(uploads.size(), 2u);
    for (const UploadInfo& info : uploads) {
        const std::optional<ArchivedUpload> upload = archive.LoadUpload(info.id);
        ASSERT_TRUE(upload);
        EXPECT_EQ(upload->info.state, UploadState::Complete);
        ASSERT_EQ(upload->records.size(), records.size()) << info.programVersion;
        EXPECT_EQ(upload->records.back().bytes, records.back().bytes);
    }
    EXPECT_EQ(Pragma(m_path, "PRAGMA integrity_check"), "ok");
}

// A new archive (its folder made as needed) has the schema version and the
// journal. Newest first; the text is found in any header field and taken
// literally; the dates bound the start; a deleted upload takes its rows with it.
TEST_F(ArchiveTest, NewArchiveListsSearchesFiltersAndDeletes)
{
    const std::string path = (m_folder / "new folder" / "archive.sqlite").string();
    CArchive archive;
    const ArchiveOpenResult opened = archive.Open(path);
    ASSERT_TRUE(opened.ok) << opened.notice;
    EXPECT_TRUE(opened.notice.empty());
    EXPECT_EQ(Pragma(path, "PRAGMA user_version"), "3");
    EXPECT_EQ(Pragma(path, "PRAGMA journal_mode"), "wal");
    EXPECT_TRUE(archive.ListUploads({}).empty());
    const std::vector<std::pair<std::int64_t, ReportHeader>> uploads{
        {1000, {"Alpha", "Ann", "", "", ""}},
        {3000, {"Beta", "Bob", "100% done", "", ""}},
        {2000, {"Gamma", "alpha team", "", "", ""}},
    };
    for (const auto& [startedAt, header] : uploads) {
        UploadInfo info;
        info.startedAt = startedAt;
        info.recordCount = 1;
        info.header = header;
        const std::optional<std::int64_t> id = archive.BeginUpload(info);
        ASSERT_TRUE(id);
        ASSERT_TRUE(archive.AppendRows(*id, {{0, SomeRecords(1)[0], DecodeRecord(SomeRecords(1)[0], 0)}}));
        ASSERT_TRUE(archive.FinishUpload(*id, UploadState::Complete, startedAt + 1, ""));
    }
    const auto ids = [&](const UploadFilter& filter) {
        std::vector<std::int64_t> found;
        for (const UploadInfo& info : archive.ListUploads(filter))
            found.push_back(info.id);
        return found;
    };
    EXPECT_EQ(ids({}), (std::vector<std::int64_t>{2, 3, 1}));
    EXPECT_EQ(ids({"ALPHA", {}, {}, 200}), (std::vector<std::int64_t>{3, 1}));
    EXPECT_EQ(ids({"0%", {}, {}, 200}), (std::vector<std::int64_t>{2}));
    EXPECT_EQ(ids({"_", {}, {}, 200}), (std::vector<std::int64_t>{}));
    EXPECT_EQ(ids({"", 2000, 3000, 200}), (std::vector<std::int64_t>{3}));
    EXPECT_EQ(ids({"", {}, {}, 1}), (std::vector<std::int64_t>{2}));

    EXPECT_TRUE(archive.DeleteUpload(2));
    EXPECT_FALSE(archive.DeleteUpload(2));
    EXPECT_EQ(ids({}), (std::vector<std::int64_t>{3, 1}));
    EXPECT_EQ(Pragma(path, "SELECT count(*) FROM record_batches"), "2");
}

TEST_F(ArchiveTest, NewerSchemaIsOpenedReadOnly)
{
    {
        CArchiveWriter writer(m_path, "v");
        writer.BeginUpload(1, kHeader);
        FeedRows(writer, SomeRecords(1));
        writer.FinishUpload(UploadState::Complete, "p");
    }
    {
        CSqliteDb db(m_path, SQLITE_OPEN_READWRITE);
        db.Exec("PRAGMA user_version = 4");
    }
    const std::string before = ReadFile(m_path);

    CArchive archive;
    const ArchiveOpenResult opened = archive.Open(m_path);
    ASSERT_TRUE(opened.ok);
    EXPECT_TRUE(opened.readOnly);
    EXPECT_NE(opened.notice.find("newer Ombrel (schema version 4)"), std::string::npos) << opened.notice;
    EXPECT_EQ(archive.ListUploads({}).size(), 1u);
    EXPECT_FALSE(archive.BeginUpload(UploadInfo{}));
    EXPECT_FALSE(archive.DeleteUpload(1));
    EXPECT_FALSE(archive.StoreEvaluation(1, kEvaluation));

    CArchiveWriter writer(m_path, "v");
    writer.BeginUpload(1, kHeader);
    ASSERT_TRUE(writer.WaitUntilWritten(10s));
    EXPECT_TRUE(writer.Status().failed);
    EXPECT_NE(writer.Status().notice.find("read-only"), std::string::npos);
    writer.StoreEvaluation(kEvaluation, 1);
    ASSERT_TRUE(writer.WaitUntilWritten(10s));
    EXPECT_EQ(writer.Status().evaluationNotStored, "the archive is read-only");
    EXPECT_EQ(Pragma(m_path, "PRAGMA user_version"), "4");
    EXPECT_EQ(ReadFile(m_path), before);
}

// A damaged file is kept as it was under a new name, and a new archive starts.
TEST_F(ArchiveTest, DamagedFileIsSetAside)
{
    struct Damage {
        const char* why;
        std::function<void(const fs::path&)> damage;
    };
    const Damage damages[] = {
        {"overwritten with bytes that are no database", [](const fs::path& file) {
             std::ofstream(file, std::ios::binary | std::ios::trunc) << std::string(8192, 'Z');
         }},
        {"truncated to a third", [](const fs::path& file) { fs::resize_file(file, fs::file_size(file) / 3); }},
    };
    for (const Damage& damage : damages) {
        fs::remove_all(m_folder);
        fs::create_directory(m_folder);
        {
            CArchiveWriter writer(m_path, "v");
            writer.BeginUpload(400, kHeader);
            FeedRows(writer, SomeRecords(400));
            writer.FinishUpload(UploadState::Complete, "p");
        }
        {
            CSqliteDb db(m_path, SQLITE_OPEN_READWRITE);   // everything into the main file
            db.Exec("PRAGMA wal_checkpoint(TRUNCATE)");
        }
        damage.damage(m_path);
        const std::string damagedBytes = ReadFile(m_path);

        CArchive archive;
        const ArchiveOpenResult opened = archive.Open(m_path);
        ASSERT_TRUE(opened.ok) << damage.why << ": " << opened.notice;
        ASSERT_FALSE(opened.setAsidePath.empty()) << damage.why;
        EXPECT_EQ(fs::path(opened.setAsidePath).parent_path(), m_folder) << damage.why;
        EXPECT_EQ(fs::path(opened.setAsidePath).filename().string().rfind("archive.damaged-", 0), 0u)
            << opened.setAsidePath;
        EXPECT_EQ(ReadFile(opened.setAsidePath), damagedBytes) << damage.why;
        EXPECT_NE(opened.notice.find(opened.setAsidePath), std::string::npos) << opened.notice;
        EXPECT_TRUE(archive.ListUploads({}).empty()) << damage.why;
        EXPECT_TRUE(archive.BeginUpload(UploadInfo{})) << damage.why << ": " << archive.LastError();
    }
}

} // namespace
