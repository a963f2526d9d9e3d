#pragma once
// A main window wired to a recording operator and, when asked, to simulated
// meters: on real pseudo-terminals, or on Windows on lines inside the program.

#include "ButtonST.h"
#include "MeterSim.h"
#include "OperatorDialogs.h"
#include "OrvexDlg.h"
#include "QtWait.h"
#include "StatusBarCtrl.h"
#include "TestSupport.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <QPrinter>
#include <QStringList>
#include <QUrl>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>

// Clear takes only the answer that arrives within the handshake pause, and the
// erase command needs its pause to leave the line before the port is purged
// and closed: those two keep their real length, the others may go.
inline constexpr Pauses kQuickClearPauses{0, 0, 0, 1000, 500, 0};
inline constexpr std::array kAllButtons{IDC_BUTTON_UPLOAD, IDC_BUTTON_SAVE,  IDC_BUTTON_CLEAR, IDC_BUTTON_PRINT,
                                        IDC_BUTTON_PREVIEW, IDC_BUTTON_HELP, IDC_BUTTON_EXIT};

// Stands in for the operator: notes each question and message in order,
// answers as told, and runs onAsk after each.
class CRecordingDialogs : public IOperatorDialogs {
public:
    void ShowMessage(QWidget*, const QString& caption, const QString& text, const QString& details) override
    {
        lastCaption = caption;
        lastDetails = details;
        Note(text);
    }
    QString GetSaveFileName(QWidget*, const QString& defaultName) override
    {
        Note("[save as " + defaultName + "]");
        return saveAs;
    }
    bool ConfirmClear(QWidget*) override
    {
        Note(QStringLiteral("[confirm]"));
        return confirmAnswer;
    }
    void ShowClearDone(QWidget*) override { Note(QStringLiteral("[clear done]")); }
    void ShowAbout(QWidget*) override { Note(QStringLiteral("[about]")); }
    bool SetUpPrint(QWidget*, QPrinter& printer) override
    {
        Note(QStringLiteral("[print dialog]"));
        if (printTo.isEmpty())
            return false;
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(printTo);
        return true;
    }
    void OpenUrl(QObject*, const QUrl& url, std::function<void(bool)> verdict) override
    {
        Note(QFileInfo::exists(url.toLocalFile()) ? QStringLiteral("[help]") : "[missing " + url.toString() + "]");
        verdict(desktopOpensHelp);
    }
    bool Confirm(QWidget*, const QString& text) override
    {
        Note("[question] " + text);
        return confirmAnswer;
    }

    QStringList asked;
    QString lastCaption, lastDetails;
    std::function<void()> onAsk;
    QString saveAs;   // what the save-as dialog answers; empty = cancelled
    QString printTo;  // the PDF file the print dialog chooses; empty = cancelled
    bool confirmAnswer = true;
    bool desktopOpensHelp = true;   // what the desktop's opener answers

private:
    void Note(const QString& entry)
    {
        asked << entry;
        if (onAsk)
            onAsk();
    }
};

class WindowTest : public ::testing::Test {
protected:
    // Uploads are archived into the test's own folder, never the user's.
    void SetUp() override
    {
        ASSERT_TRUE(m_archiveFolder.isValid());
        qputenv("OMBREL_ARCHIVE", ArchivePath().toUtf8());
    }
    QString ArchivePath() const { return m_archiveFolder.filePath(QStringLiteral("archive.sqlite")); }

    CMeterSim& StartMeter(std::vector<MeterRecord> records, std::vector<SimFault> faults = {})
    {
        SimOptions options;
        options.records = std::move(records);
        options.faults = std::move(faults);
        options.lineName = "Simulated meter " + std::to_string(m_meters.size() + 1);
        auto& sim = m_meters.emplace_back(std::make_unique<CMeterSim>(std::move(options)));
        std::string error;
        EXPECT_TRUE(sim->Start(error)) << error;
        return *sim;
    }

    COrvexDlg& OpenWindow(std::vector<std::string> ports, Pauses pauses = kNoPauses)
    {
        return OpenWindowOn([ports] { return ports; }, pauses);
    }
    // The ports asked for at each operation. The new window starts a fresh record
    // of what the operator is asked.
    COrvexDlg& OpenWindowOn(COrvexDlg::PortSource ports, Pauses pauses)
    {
        m_dialogs.asked.clear();
        m_window = std::make_unique<COrvexDlg>(m_dialogs, std::move(ports), pauses);
        // Each meter inside the program has a port name of its own.
        for (const auto& meter : m_meters) {
            if (meter->InMemory())
                m_window->Link().RoutePort(meter->SlavePath(),
                                           [sim = meter.get()](PortAttempt& why) { return sim->Connect(why); });
        }
        m_window->show();
        m_window->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(m_window.get()));
        return *m_window;
    }

    int EnabledButtons() const
    {
        const auto enabled = [&](int id) { return m_window->Item(id)->isEnabled(); };
        return static_cast<int>(std::ranges::count_if(kAllButtons, enabled));
    }

    QString Pane(int pane) const { return m_window->StatusBar()->GetText(pane); }

    // Presses Upload and waits until the transfer, if any, has ended.
    bool Upload()
    {
        m_window->Button(IDC_BUTTON_UPLOAD)->click();
        return ProcessEventsUntil([&] { return !m_window->Link().IsBusy() && EnabledButtons() == 7; },
                                  std::chrono::seconds(60));
    }

    QTemporaryDir m_archiveFolder;
    // The meters outlive the window, which joins its transfer when it goes.
    std::vector<std::unique_ptr<CMeterSim>> m_meters;
    CRecordingDialogs m_dialogs;
    std::unique_ptr<COrvexDlg> m_window;
};
