#include "ArchiveFeed.h"
#include "ArchiveFixture.h"
#include "SimRun.h"

namespace {

using namespace std::chrono_literals;

// The link, the feed and the writer together against the simulated meter:
// a scan that finds no meter reads nothing and archives nothing; then every
// record lands in the archive as the meter holds it, the table's texts beside
// it, and the front end still sees every event.
TEST_F(ArchiveTest, UploadFromTheMeterArchivedRowByRow)
{
    const std::vector<MeterRecord> records = SomeRecords(40);
    auto sim = StartSim(records);
    CRecordingEvents front;
    CArchiveFeed feed(front);
    CArchiveWriter writer(m_path, "10.1");
    feed.SetWriter(&writer);
    feed.SetHeader({"Acme", "Jo", "note", "", ""});
    CMeterLink link(feed, kNoPauses);
    EXPECT_FALSE(link.OnButtonUpload({(m_folder / "no such port").string()}));
    ASSERT_TRUE(writer.WaitUntilWritten(10s));
    EXPECT_EQ(writer.Status().uploadId, 0);
    EXPECT_FALSE(fs::exists(m_path));

    ASSERT_TRUE(link.OnButtonUpload({sim->SlavePath()}));
    ASSERT_TRUE(WaitUntil([&] { return !link.IsBusy(); }, 60s));
    link.WaitUntilIdle();   // the worker has told its end: the summary is this upload's
    const std::optional<TransferSummary> summary = front.WaitForFinish(0s);
    ASSERT_TRUE(summary);
    ASSERT_EQ(summary->outcome, UploadOutcome::Completed);
    EXPECT_EQ(front.Rows(), DecodedRows(records));
    ASSERT_TRUE(writer.WaitUntilWritten(10s));
    EXPECT_TRUE(writer.Status().Safe()) << writer.Status().reason;

    CArchive archive;
    ASSERT_TRUE(archive.Open(m_path).ok);
    const std::optional<ArchivedUpload> upload = archive.LoadUpload(writer.Status().uploadId);
    ASSERT_TRUE(upload);
    EXPECT_EQ(upload->info.state, UploadState::Complete);
    EXPECT_EQ(upload->info.port, sim->SlavePath());
    EXPECT_EQ(upload->info.header.note, "note");
    ASSERT_EQ(upload->records.size(), records.size());
    for (std::size_t i = 0; i < records.size(); ++i)
        EXPECT_EQ(upload->records[i].bytes, records[i].bytes) << "row " << i;
    EXPECT_EQ(upload->rows, DecodedRows(records));
}

} // namespace
