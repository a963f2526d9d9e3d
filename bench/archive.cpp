// What the archive costs: the transfer with and without it, the commit after
// an upload's last record, and lists, searches and loads in an archive of
// 10 000 uploads. Each line prints its ratio to its target (1 or less meets it).

#include "ArchiveBench.h"
#include "ArchiveFeed.h"
#include "MeterLink.h"
#include "SqliteDb.h"
#include "TimingEvents.h"

#include <cstdlib>

namespace {

using Clock = std::chrono::steady_clock;

// One upload of `count` records; archived into path unless it is empty.
// Returns the seconds the transfer took, and the commit delay after the last row.
bool RunUpload(int count, bool paced, const std::string& path, double& seconds, double& commitMs)
{
    SimOptions options;
    options.records = GeneratedRecords(count);
    options.paced = paced;
    CMeterSim sim(std::move(options));
    std::string error;
    if (!sim.Start(error)) {
        std::fprintf(stderr, "simulated meter: %s\n", error.c_str());
        return false;
    }
    CTimingEvents events;
    CArchiveFeed feed(events);
    std::unique_ptr<CArchiveWriter> writer;
    if (!path.empty())
        writer = std::make_unique<CArchiveWriter>(path, "bench");
    feed.SetWriter(writer.get());
    CMeterLink link(feed, paced ? Pauses{} : Pauses{0, 0, 0, 0, 0, 0});
    if (!link.OnButtonUpload({sim.SlavePath()}))
        return false;
    const TransferSummary summary = events.Wait();
    link.WaitUntilIdle();
    seconds = events.Seconds();
    if (writer) {
        writer->WaitUntilWritten(std::chrono::seconds(60));
        commitMs = Milliseconds(Clock::now() - events.LastRow());
        if (!writer->Status().Safe())
            std::fprintf(stderr, "archive: %s\n", writer->Status().reason.c_str());
    }
    return summary.outcome == UploadOutcome::Completed;
}

template <typename Work>
double Timed(Work work)
{
    const auto start = Clock::now();
    work();
    return Milliseconds(Clock::now() - start);
}

}  // namespace

int main(int argc, char** argv) {
    const int paced = argc > 1 ? std::atoi(argv[1]) : 100;
    const std::string folder = std::filesystem::temp_directory_path() / "ombrel-bench-archive";
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);

    double plain = 0, archived = 0, commitMs = 0;
    if (!RunUpload(paced, true, {}, plain, commitMs) || !RunUpload(paced, true, folder + "/paced.sqlite", archived, commitMs))
        return 1;
    std::printf("transfer of %d records   %.2f s without the archive, %.2f s with it\n", paced, plain, archived);
    std::printf("ratio with/without         %.3f (target <= 1.03: nothing measurable)\n", archived / plain);

    double fast = 0;
    if (!RunUpload(kFullMeter, false, folder + "/full.sqlite", fast, commitMs))
        return 1;
    std::printf("full upload of %d       committed %.1f ms after its last record\n", kFullMeter, commitMs);
    std::printf("ratio to 100 ms            %.3f\n", commitMs / 100);
    std::filesystem::remove_all(folder);

    const std::string big = argc > 2 ? argv[2] : "bench-archive.sqlite";
    if (!EnsureBenchArchive(big)) {
        std::fprintf(stderr, "the benchmark archive could not be made\n");
        return 1;
    }
    CArchive archive;
    const double openMs = Timed([&] { archive.Open(big); });
    std::size_t listed = 0, found = 0, loaded = 0;
    const double listMs = Timed([&] { listed = archive.ListUploads({}).size(); });
    const double searchMs = Timed([&] { found = archive.ListUploads({kBenchNeedle, {}, {}, 200}).size(); });
    const double loadMs = Timed([&] { loaded = archive.LoadUpload(kFullUploadId)->rows.size(); });
    std::printf("archive of %d uploads opened in %.1f ms (checked whole)\n", kBenchUploads, openMs);
    std::printf("newest %zu listed        %.1f ms, ratio to 100 ms %.3f\n", listed, listMs, listMs / 100);
    std::printf("search found %zu         %.1f ms, ratio to 200 ms %.3f\n", found, searchMs, searchMs / 200);
    std::printf("%zu records loaded     %.1f ms (the window's Open: bench-archive-window)\n", loaded, loadMs);

    // The data: record bytes, row texts and the uploads' own fields; the indexes as stored.
    CSqliteDb db(big, SQLITE_OPEN_READONLY);
    const double data = static_cast<double>(db.QueryInt(
        "SELECT (SELECT sum(length(records) + length(texts) + coalesce(length(unread), 0) + 16) FROM record_batches)"
        " + (SELECT sum(length(company) + length(user_name) + length(note) + length(date_time_text)"
        " + length(use_time_text) + length(port) + length(program_version) + length(state) + 48) FROM uploads)"));
    const double indexes = static_cast<double>(
        db.QueryInt("SELECT sum(pgsize) FROM dbstat WHERE name IN ('record_batches_upload', 'uploads_started')"));
    const double file = static_cast<double>(std::filesystem::file_size(big));
    std::printf("file %.1f MB, data %.1f MB, indexes %.1f MB\n", file / 1e6, data / 1e6, indexes / 1e6);
    std::printf("ratio to 1.2 x (data + indexes) %.3f\n", file / (1.2 * (data + indexes)));
    return 0;
}
