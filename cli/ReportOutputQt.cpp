#include "ReportOutput.h"

#include "ReportPainter.h"
#include "ReportPrint.h"

#include <QGuiApplication>
#include <QLocale>
#include <QPrinter>

#include <cstdio>
#include <memory>

namespace {

// The command line reports in its own words; Qt's notes about the desktop
// session it does not have are no concern of its users.
void KeepQtSeriousMessages(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    if (type == QtCriticalMsg || type == QtFatalMsg)
        std::fprintf(stderr, "%s\n", qPrintable(message));
}

QPageSize::PageSizeId PaperSize(const std::optional<std::string>& paper)
{
    if (paper == "Letter")
        return QPageSize::Letter;
    if (paper == "Legal")
        return QPageSize::Legal;
    if (paper == "A4")
        return QPageSize::A4;
    // The locales that measure in inches use Letter paper.
    return QLocale::system().measurementSystem() == QLocale::ImperialUSSystem ? QPageSize::Letter : QPageSize::A4;
}

QPageLayout::Orientation Orientation(const PageChoice& page)
{
    return page.landscape ? QPageLayout::Landscape : QPageLayout::Portrait;
}

} // namespace

struct CReportOutputContext::Application {
    int argc = 1;
    char name[11] = "ombrel-cli";
    char* argv[2] = {name, nullptr};
    std::unique_ptr<QGuiApplication> application;
};

CReportOutputContext::CReportOutputContext() : m_application(std::make_unique<Application>())
{
    qInstallMessageHandler(KeepQtSeriousMessages);
    // Off screen unless told otherwise: the command line needs no display. On
    // Windows the minimal platform with the system's fonts (the offscreen one
    // there knows only fonts in Qt's own folder).
#ifdef Q_OS_WIN
    constexpr const char* kPlatform = "minimal:enable_fonts";
#else
    constexpr const char* kPlatform = "offscreen";
#endif
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", kPlatform);
    m_application->application = std::make_unique<QGuiApplication>(m_application->argc, m_application->argv);
}

CReportOutputContext::~CReportOutputContext() = default;

std::string ReportOutputUnavailable()
{
    return {};
}

FileWriteResult WriteReportPdf(const std::string& path, const PageChoice& page, const ReportHeader& header,
                               const std::vector<RowTexts>& rows)
{
    const ReportPdf pdf = RenderReportPdf(ReportPageLayout(QPageSize(PaperSize(page.paper)), Orientation(page)),
                                          header, rows);
    if (!pdf.result.ok())
        return {FileWriteError::WriteFailed, pdf.result.error};
    return WriteFileSafely(path, pdf.bytes.toStdString());
}

PrintJobResult PrintReportToQueue(const std::string& queue, const PageChoice& page, const ReportHeader& header,
                                  const std::vector<RowTexts>& rows)
{
    QPrinter printer(QPrinter::HighResolution);
    printer.setPrinterName(QString::fromStdString(queue));
    // The queue's own paper unless one is asked for.
    if (page.paper)
        printer.setPageSize(QPageSize(PaperSize(page.paper)));
    printer.setPageOrientation(Orientation(page));
    return PrintReport(printer, [&header] { return header; }, rows);
}
