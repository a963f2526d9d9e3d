// The printed report's speed with a full meter of 3840 records: from the
// Preview click to the first page painted on screen (target 300 ms), and a
// PDF file of the report from the command line (target 1.5 s). Each prints
// its ratio to the target.

#include "BenchDialogs.h"
#include "BenchMeasure.h"
#include "CsvReport.h"
#include "OrvexDlg.h"
#include "PrintPreviewWindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QGraphicsView>
#include <QPrintPreviewWidget>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>
#include <ctime>
#include <fstream>

namespace {

constexpr int kRecords = 3840;
constexpr double kPreviewTargetMs = 300;
constexpr double kPdfTargetMs = 1500;

std::vector<RowTexts> FullMeter()
{
    std::vector<RowTexts> rows;
    for (int row = 0; row < kRecords; ++row)
        rows.push_back(RowTexts{{std::to_string(row + 1), "1550 (nm)", "-12.34 (dBm)", "-10.00 (dBm)", "270Hz"}});
    return rows;
}

// Processor time of this thread: what the work costs, whatever else the
// machine is doing meanwhile.
double ThreadCpuMilliseconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

struct Timing {
    double wallMs = 0;
    double cpuMs = 0;
};

Timing PreviewTiming(COrvexDlg& window)
{
    const double cpuStart = ThreadCpuMilliseconds();
    QElapsedTimer clock;
    clock.start();
    window.OnButtonPreview();
    CPrintPreviewWindow* preview = window.Previews().front();
    auto* view = preview->Preview()->findChild<QGraphicsView*>();
    CPaintWatch watch;
    view->viewport()->installEventFilter(&watch);
    while (!(watch.painted && preview->PageCount() > 0) && clock.elapsed() < 60000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    const Timing timing{Milliseconds(clock), ThreadCpuMilliseconds() - cpuStart};
    preview->close();
    return timing;
}

double PdfMilliseconds(const QString& cli, const QTemporaryDir& folder)
{
    const std::string csv = folder.filePath(QStringLiteral("full.csv")).toStdString();
    std::ofstream(csv, std::ios::binary) << FormatCsvReport({"Acme", "Jo", "", "", ""}, FullMeter());
    QElapsedTimer clock;
    clock.start();
    QProcess report;
    report.start(cli, {QStringLiteral("report"), QString::fromStdString(csv), QStringLiteral("--pdf"),
                       folder.filePath(QStringLiteral("full.pdf")), QStringLiteral("--paper"), QStringLiteral("A4")});
    if (!report.waitForFinished(120000) || report.exitCode() != 0) {
        std::fprintf(stderr, "ombrel-cli report failed: %s\n", report.readAllStandardError().constData());
        return -1;
    }
    return Milliseconds(clock);
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    CBenchDialogs dialogs;   // the preview needs no operator
    COrvexDlg window(dialogs, [] { return std::vector<std::string>{}; });
    window.show();
    window.OnRowsInserted(kRecords);
    const std::vector<RowTexts> rows = FullMeter();
    for (int row = 0; row < kRecords; ++row)
        window.OnRowTexts(row, rows[static_cast<std::size_t>(row)]);

    PreviewTiming(window);   // the first one also loads fonts and the print system
    const Timing preview = PreviewTiming(window);
    std::printf("preview of %d rows, click to first page   %.0f ms (%.0f ms of processor time)\n", kRecords,
                preview.wallMs, preview.cpuMs);
    std::printf("ratio to target                           %.3f (target %.0f ms)\n", preview.wallMs / kPreviewTargetMs,
                kPreviewTargetMs);

    const QTemporaryDir folder;
    const QString cli = QCoreApplication::applicationDirPath() + QStringLiteral("/ombrel-cli");
    const double pdfMs = PdfMilliseconds(cli, folder);
    if (pdfMs < 0)
        return 1;
    std::printf("PDF of %d rows (ombrel-cli report --pdf)  %.0f ms\n", kRecords, pdfMs);
    std::printf("ratio to target                           %.3f (target %.0f ms)\n", pdfMs / kPdfTargetMs,
                kPdfTargetMs);
    return 0;
}
