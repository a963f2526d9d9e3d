// Save of a full meter: 3840 rows, from the Save handler (its file chooser
// answering at once) to the report being in place. Target: 50 ms plus what
// the disk itself takes to make a file of that size durable, which is
// measured apart and printed beside it.

#include "BenchDialogs.h"
#include "BenchMeasure.h"
#include "MeterSim.h"
#include "OrvexDlg.h"
#include "RowTexts.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr double kTargetMs = 50.0;
constexpr int kRuns = 7;

// What the disk alone takes: a file of `size` bytes synced, renamed into
// place and its folder synced, as a safe replace does.
double DiskSyncMs(const QString& folder, qint64 size)
{
    const std::string temp = QDir(folder).filePath(QStringLiteral("disk.tmp")).toStdString();
    const std::string target = QDir(folder).filePath(QStringLiteral("disk.csv")).toStdString();
    const std::string bytes(static_cast<std::size_t>(size), 'x');
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0 || ::write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()))
        return 0;
    QElapsedTimer clock;
    clock.start();
    ::fsync(fd);
    ::close(fd);
    ::rename(temp.c_str(), target.c_str());
    const int dir = ::open(folder.toLocal8Bit().constData(), O_RDONLY | O_DIRECTORY);
    ::fsync(dir);
    ::close(dir);
    return Milliseconds(clock);
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    // Beside the build by default, on the disk reports usually go to; a folder may be given.
    QTemporaryDir scratch(argc > 1 ? QDir(QString::fromLocal8Bit(argv[1])).filePath(QStringLiteral("save-XXXXXX"))
                                   : QDir::current().filePath(QStringLiteral("bench-save-XXXXXX")));
    if (!scratch.isValid()) {
        std::fprintf(stderr, "no scratch folder: %s\n", qPrintable(scratch.errorString()));
        return 1;
    }

    CBenchDialogs dialogs;
    dialogs.saveAs = scratch.filePath(QStringLiteral("report.csv"));
    COrvexDlg window(dialogs, [] { return std::vector<std::string>{}; });
    const std::vector<MeterRecord> records = GeneratedRecords(kMaxSimRecords);
    window.OnRowsInserted(static_cast<unsigned>(records.size()));
    for (std::size_t row = 0; row < records.size(); ++row)
        window.OnRowTexts(static_cast<int>(row), DecodeRecord(records[row], static_cast<int>(row)));
    window.show();

    std::vector<double> saves, syncs;
    for (int run = 0; run < kRuns; ++run) {
        QElapsedTimer clock;
        clock.start();
        window.OnButtonSave();
        saves.push_back(Milliseconds(clock));
        syncs.push_back(DiskSyncMs(scratch.path(), QFileInfo(dialogs.saveAs).size()));
    }
    if (QFileInfo(dialogs.saveAs).size() == 0) {
        std::fprintf(stderr, "the report was not written\n");
        return 1;
    }
    const double save = Median(saves), sync = Median(syncs);
    std::printf("save of %d rows (%lld bytes), median of %d\n", kMaxSimRecords,
                static_cast<long long>(QFileInfo(dialogs.saveAs).size()), kRuns);
    std::printf("save handler            %.1f ms\n", save);
    std::printf("disk's own sync         %.1f ms\n", sync);
    std::printf("ratio to target         %.3f (target <= 1: %.0f ms + the disk's sync)\n",
                save / (kTargetMs + sync), kTargetMs);
    return 0;
}
