#include "OrvexApp.h"

#include "ArchiveSession.h"
#include "CommandLine.h"
#include "MeterSim.h"
#include "OperatorDialogs.h"
#include "OrvexDlg.h"
#include "PortDiscovery.h"
#include "ReportPainter.h"
#include "ResourceIcons.h"

#include <QApplication>
#include <QClipboard>
#include <QMessageBox>

#include <iostream>
#include <memory>

namespace {

COrvexDlg::PortSource MakePortSource(const CommandLine& commandLine, const CMeterSim* simulator)
{
    if (!commandLine.meter.ports.empty())
        return [ports = commandLine.meter.ports] { return ports; };
    if (simulator != nullptr)
        return [path = simulator->SlavePath()] { return std::vector<std::string>{path}; };
    return [] {
        std::vector<std::string> names;
        EnumSerialPorts(names);
        return names;
    };
}

int Report(const ParseOutcome& outcome)
{
    std::cout << outcome.output << std::flush;
    std::cerr << outcome.errors << std::flush;
    return *outcome.exitCode;
}

} // namespace

int OmbrelMain(int argc, char** argv)
{
    CommandLine commandLine;
    if (const ParseOutcome outcome = ParseCommandLine({argv + 1, argv + argc}, commandLine); outcome.exitCode)
        return Report(outcome);

    // QApplication keeps argc and argv for its lifetime and takes its own options out of them.
    std::vector<char*> toolkitArgv{argv[0]};
    for (std::string& argument : commandLine.passedOn)
        toolkitArgv.push_back(argument.data());
    int toolkitArgc = static_cast<int>(toolkitArgv.size());
    toolkitArgv.push_back(nullptr);
    QApplication application(toolkitArgc, toolkitArgv.data());

    std::vector<std::string> leftOvers;
    for (const QString& argument : QApplication::arguments().mid(1))
        leftOvers.push_back(argument.toStdString());   // UTF-8, as every command line is taken
    if (const ParseOutcome outcome = RefuseLeftOvers(leftOvers); outcome.exitCode)
        return Report(outcome);

    COrvexApp theApp;
    return theApp.InitInstance(commandLine);
}

int COrvexApp::InitInstance(const CommandLine& commandLine)
{
    QApplication::setWindowIcon(ApplicationIcon());
    // Message boxes and file dialogs show the full-width "！" and typed CJK text too.
    QApplication::setFont(WithScriptFallback(QApplication::font()));
    // Wayland desktops match the window to its menu entry, and take its icon
    // from there, by this name.
    QGuiApplication::setDesktopFileName(QStringLiteral("ombrel"));

    // The simulated meter outlives the window, which joins its transfer on the way out.
    std::unique_ptr<CMeterSim> simulator;
    if (commandLine.meter.simulate) {
        SimOptions options;
        options.records = commandLine.meter.simulatedCount ? GeneratedRecords(*commandLine.meter.simulatedCount)
                                                           : RealisticSession();
        simulator = std::make_unique<CMeterSim>(std::move(options));
        std::string error;
        if (!simulator->Start(error)) {
            QMessageBox::warning(nullptr, ApplicationName(),
                                 QStringLiteral("The simulated meter could not be started: %1")
                                     .arg(QString::fromStdString(error)));
            return 1;
        }
    }

    CQtOperatorDialogs dialogs;
    COrvexDlg dialog(dialogs, MakePortSource(commandLine, simulator.get()));
    if (simulator && simulator->InMemory())
        dialog.Link().RoutePort(simulator->SlavePath(),
                                [sim = simulator.get()](PortAttempt& why) { return sim->Connect(why); });
    if (commandLine.archivePath)
        dialog.Archive().SetPath(*commandLine.archivePath);
    // Not modal: print previews are windows of their own beside it, which a
    // modal main window would block. The program ends with the main window.
    QObject::connect(&dialog, &QDialog::finished, qApp, &QCoreApplication::quit, Qt::QueuedConnection);
    dialog.show();
    QApplication::exec();
    // Text selected in a field is the desktop's primary selection while we
    // own it, and on the way out the toolkit hands what we own to the
    // desktop's clipboard manager and waits for it to take it (seconds).
    // Only an explicit copy is worth that wait; a mere selection is let go.
    if (QClipboard* clipboard = QGuiApplication::clipboard(); clipboard->ownsSelection())
        clipboard->clear(QClipboard::Selection);
    return 0;
}
