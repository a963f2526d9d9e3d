#include "ArchiveFixture.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <thread>

#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;

// A small file system of its own: the only way to run out of room for sure.
class SmallDisk {
public:
    SmallDisk(const fs::path& path, const char* options, unsigned long flags = 0) : m_path(path)
    {
        fs::create_directory(path);
        m_mounted = ::mount("tmpfs", path.c_str(), "tmpfs", flags, options) == 0;
        m_error = errno;
    }
    ~SmallDisk()
    {
        if (m_mounted)
            ::umount2(m_path.c_str(), MNT_DETACH);
    }
    bool Mounted() const { return m_mounted; }
    std::string Why() const { return std::generic_category().message(m_error); }

private:
    fs::path m_path;
    bool m_mounted = false;
    int m_error = 0;
};

// The disk fills up midway: the writer says the upload is not whole, takes
// no time from whoever feeds it, and what was committed before stays intact.
TEST_F(ArchiveTest, FullDiskLeavesTheArchiveIntact)
{
    const fs::path disk = m_folder / "disk";
    const SmallDisk small(disk, "size=512k");
    if (!small.Mounted())
        GTEST_SKIP() << "cannot mount tmpfs (needs root): " << small.Why();
    const std::string path = (disk / "archive.sqlite").string();
    const std::vector<MeterRecord> records = SomeRecords(3840);

    CArchiveWriter writer(path, "v");
    writer.BeginUpload(3840, kHeader);
    FeedRows(writer, {records.begin(), records.begin() + 100});
    ASSERT_TRUE(writer.WaitUntilWritten(10s));
    ASSERT_FALSE(writer.Status().failed) << writer.Status().reason;
    {
        // Leave a few KB: the next batches start but cannot end.
        const auto left = fs::space(disk).available;
        std::ofstream(disk / "filler", std::ios::binary) << std::string(left > 4096 ? left - 4096 : 0, 'f');
    }
    for (int round = 0; round < 20 && !writer.Status().failed; ++round) {
        FeedRows(writer, records);
        ASSERT_TRUE(writer.WaitUntilWritten(30s));
    }
    writer.FinishUpload(UploadState::Complete, "p");
    ASSERT_TRUE(writer.WaitUntilWritten(30s));
    const ArchiveWriterStatus status = writer.Status();
    EXPECT_TRUE(status.failed);
    EXPECT_FALSE(status.Safe());
    EXPECT_EQ(status.reason, "database or disk is full");

    fs::remove(disk / "filler");
    CArchive archive;
    ASSERT_TRUE(archive.Open(path).ok);
    EXPECT_EQ(Pragma(path, "PRAGMA integrity_check"), "ok");
    const std::optional<ArchivedUpload> upload = archive.LoadUpload(status.uploadId);
    ASSERT_TRUE(upload);
    ASSERT_GE(upload->records.size(), 100u);
    EXPECT_EQ(upload->records[99].bytes, records[99].bytes);
}

// A folder that takes no file: every upload says it is not archived.
TEST_F(ArchiveTest, ReadOnlyFolderFailsEveryUpload)
{
    const fs::path folder = m_folder / "read-only";
    const SmallDisk readOnly(folder, "size=16k", MS_RDONLY);
    if (!readOnly.Mounted())
        GTEST_SKIP() << "cannot mount tmpfs (needs root): " << readOnly.Why();

    CArchiveWriter writer((folder / "archive.sqlite").string(), "v");
    for (int upload = 0; upload < 2; ++upload) {
        writer.BeginUpload(5, kHeader);
        FeedRows(writer, SomeRecords(5));
        writer.FinishUpload(UploadState::Complete, "p");
        ASSERT_TRUE(writer.WaitUntilWritten(10s));
        const ArchiveWriterStatus status = writer.Status();
        EXPECT_TRUE(status.failed);
        EXPECT_EQ(status.uploadId, 0);
        EXPECT_NE(status.reason.find("unable to open database file"), std::string::npos) << status.reason;
    }
}

// kill -9 in the middle of an upload: what was committed is there, the
// upload shows as interrupted and the file is sound.
TEST_F(ArchiveTest, WriterKilledMidwayLeavesAnInterruptedUpload)
{
    const std::vector<MeterRecord> records = SomeRecords(3840);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // Rows come as from a meter (if faster) until the kill; should the
        // kill come after the last one, the upload still never ends.
        CArchiveWriter writer(m_path, "v");
        writer.BeginUpload(3840, kHeader);
        for (std::size_t i = 0; i < records.size(); ++i) {
            writer.RecordRead(static_cast<int>(i), records[i]);
            writer.RowRead(static_cast<int>(i), DecodeRecord(records[i], static_cast<int>(i)));
            if (i % 64 == 63)
                writer.WaitUntilWritten(10s);
            std::this_thread::sleep_for(200us);
        }
        for (;;)
            ::pause();
    }
    CArchive reader;
    const bool rowsArrived = RowsSeen(reader, 256, 30s);
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(rowsArrived);
    ASSERT_TRUE(WIFSIGNALED(status));

    CArchive archive;
    ASSERT_TRUE(archive.Open(m_path).ok);
    const std::optional<ArchivedUpload> upload = archive.LoadUpload(1);
    ASSERT_TRUE(upload);
    EXPECT_EQ(upload->info.state, UploadState::Interrupted);
    EXPECT_EQ(Pragma(m_path, "SELECT state FROM uploads WHERE id = 1"), "interrupted");
    ASSERT_GE(upload->records.size(), 256u);
    for (std::size_t i = 0; i < 256; ++i)
        ASSERT_EQ(upload->records[i].bytes, records[i].bytes) << "row " << i;
    EXPECT_EQ(Pragma(m_path, "PRAGMA integrity_check"), "ok");
}

} // namespace
