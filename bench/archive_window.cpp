// The History window on an archive of 10 000 uploads (2 million records):
// the newest 200 listed, a text search, and Open of a full 3840-record upload
// into the main window's table. Each prints its median and its ratio to its
// target (1 or less meets it).

#include "ArchiveBench.h"
#include "ArchiveSession.h"
#include "BenchDialogs.h"
#include "HistoryWindow.h"
#include "OrvexDlg.h"

#include <QApplication>
#include <QLineEdit>
#include <QTableView>

#include <algorithm>
#include <vector>

namespace {

constexpr int kRuns = 5;

template <typename Work>
double MedianMs(Work work)
{
    std::vector<double> runs;
    for (int run = 0; run < kRuns; ++run) {
        const auto start = std::chrono::steady_clock::now();
        work(run);
        QCoreApplication::processEvents();   // what the change makes the window paint
        runs.push_back(Milliseconds(std::chrono::steady_clock::now() - start));
    }
    std::sort(runs.begin(), runs.end());
    return runs[runs.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    const std::string path = argc > 1 ? argv[1] : "bench-archive.sqlite";
    if (!EnsureBenchArchive(path)) {
        std::fprintf(stderr, "the benchmark archive could not be made\n");
        return 1;
    }
    qputenv("OMBREL_ARCHIVE", QByteArray::fromStdString(path));
    QApplication application(argc, argv);
    CBenchDialogs dialogs;
    COrvexDlg window(dialogs, [] { return std::vector<std::string>{}; });
    window.show();

    const auto opening = std::chrono::steady_clock::now();
    window.Archive().ShowHistory();
    QCoreApplication::processEvents();
    const double firstMs = Milliseconds(std::chrono::steady_clock::now() - opening);
    CHistoryWindow& history = *window.Archive().History();

    const double listMs = MedianMs([&](int) { history.Refresh(); });
    const int listed = history.List()->model()->rowCount();
    const double searchMs = MedianMs([&](int run) {
        history.Search()->setText(run % 2 == 0 ? QString::fromLatin1(kBenchNeedle) : QStringLiteral("Technician 7"));
    });
    const double openMs = MedianMs([&](int) { window.Archive().OpenUpload(kFullUploadId); });
    const int rows = window.Rows().rowCount();

    std::printf("History window first shown   %.1f ms (opening the archive)\n", firstMs);
    std::printf("newest %d listed            %.1f ms, ratio to 100 ms %.3f\n", listed, listMs, listMs / 100);
    std::printf("text search                  %.1f ms, ratio to 200 ms %.3f\n", searchMs, searchMs / 200);
    std::printf("Open of %d rows            %.1f ms, ratio to 150 ms %.3f\n", rows, openMs, openMs / 150);
    return listed == kHistoryListLimit && rows == kFullMeter ? 0 : 1;
}
