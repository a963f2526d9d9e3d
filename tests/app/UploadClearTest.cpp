// Upload, Clear and Save through the window, against simulated meters on
// real pseudo-terminals (on Windows, on lines inside the program).

#include "CommandLine.h"
#include "CsvReport.h"
#include "LinkMessages.h"
#include "OrvexApp.h"
#include "WindowFixture.h"

#include <QApplication>
#include <QDateTime>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QRegularExpression>
#include <QTimer>

#include <sys/stat.h>

#include <tuple>

namespace {

using UploadWindow = WindowTest;

TEST_F(UploadWindow, FillsTheTableInOrderFromTheFirstPortWithAMeter)
{
    CMeterSim& silent = StartMeter(GeneratedRecords(3), {SimFault{SimFault::Kind::NoReply, 0, 0, 0}});
    CMeterSim& meter = StartMeter(RealisticSession());
    COrvexDlg& window = OpenWindow({"/nonexistent/ttyOMBREL0", silent.SlavePath(), meter.SlavePath()});
    int enabledWhileFilling = 0;   // but Stop
    QObject::connect(&window.Rows(), &QAbstractItemModel::dataChanged, &window, [&] {
        enabledWhileFilling += EnabledButtons() - int(window.Button(IDC_BUTTON_UPLOAD)->isEnabled());
    });
    for (int upload = 0; upload < 2; ++upload)   // the second replaces the rows, it does not add to them
        ASSERT_TRUE(Upload());

    const std::vector<RowTexts> expected = DecodedRows(meter.Records());
    EXPECT_EQ(window.Rows().Rows(), expected);
    EXPECT_EQ(enabledWhileFilling, 0) << "no button but Stop usable while rows arrive, not even after the ports that failed";
    EXPECT_EQ(Pane(0), QStringLiteral("Over"));
    EXPECT_EQ(window.Label(IDC_STATIC_RECEIVED)->text(), QString::number(expected.size()));
    EXPECT_EQ(window.Label(IDC_STATIC_TOTAL)->text(), QString::number(expected.size()));
    EXPECT_EQ(window.Progress()->value(), window.Progress()->maximum());
    EXPECT_FALSE(window.TimerRunning()) << "the timer stops with the transfer";
    EXPECT_TRUE(m_dialogs.asked.isEmpty());
}

TEST_F(UploadWindow, SimulateGivesTheProgramsWindowItsOwnMeter)
{
    // The program as started with --simulate: its meter (on Windows inside
    // the program, elsewhere on a pseudo-terminal) fills the table on Upload.
    CommandLine commandLine;
    ASSERT_FALSE(ParseCommandLine({"--simulate"}, commandLine).exitCode);
    const QFont font = QApplication::font();   // start-up sets the program's own
    const QObject watchdog;   // a message box the program shows instead must not hold the test
    QTimer::singleShot(std::chrono::seconds(60), &watchdog, [] {
        if (QWidget* modal = QApplication::activeModalWidget())
            modal->close();
    });
    std::vector<RowTexts> rows;
    QString pane;
    QTimer::singleShot(0, [&] {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            auto* window = qobject_cast<COrvexDlg*>(widget);
            if (window == nullptr || !window->isVisible())
                continue;
            window->Button(IDC_BUTTON_UPLOAD)->click();
            EXPECT_TRUE(ProcessEventsUntil(
                [&] { return !window->Link().IsBusy() && window->Button(IDC_BUTTON_SAVE)->isEnabled(); },
                std::chrono::seconds(50)));
            rows = window->Rows().Rows();
            pane = window->StatusBar()->GetText(0);
            window->close();
            return;
        }
        ADD_FAILURE() << "no main window";
        QCoreApplication::quit();
    });
    EXPECT_EQ(COrvexApp().InitInstance(commandLine), 0);
    QApplication::setFont(font);
    EXPECT_EQ(rows, DecodedRows(RealisticSession()));
    EXPECT_EQ(pane, QStringLiteral("Over"));
}

// A scan that finds no meter says it is searching, under a wait cursor, until
// the no-meter message (which gets the pointer) names each port's reason; then
// all is as it was and the window stays. A meter that never answers holds the
// scan for its reply wait.
TEST_F(UploadWindow, AFailedScanSearchesUnderAWaitCursorThenShowsEachPortsReasonAndKeepsTheWindow)
{
    CMeterSim& silent = StartMeter(GeneratedRecords(3), {SimFault{SimFault::Kind::NoReply, 0, 0, 0}});
    const std::vector<std::string> ports{"/nonexistent/ttyOMBREL0", silent.SlavePath()};
    COrvexDlg& window = OpenWindow(ports);
    const auto seen = [&] {
        const QCursor* cursor = QApplication::overrideCursor();
        return Pane(0) + (cursor == nullptr ? QStringLiteral(" / no cursor") : QStringLiteral(" / %1").arg(cursor->shape()));
    };
    QStringList whileScanning;
    QTimer sampler;
    QObject::connect(&sampler, &QTimer::timeout, [&] {
        if (m_dialogs.asked.isEmpty())
            whileScanning << seen();
    });
    sampler.start(20);
    QString whileAsking;
    m_dialogs.onAsk = [&] { whileAsking = seen(); };
    ASSERT_TRUE(Upload());
    sampler.stop();
    whileScanning.removeDuplicates();
    const QString searching = QStringLiteral("Searching for the meter...");
    EXPECT_EQ(whileScanning, QStringList{searching + QStringLiteral(" / %1").arg(Qt::WaitCursor)});
    EXPECT_EQ(whileAsking, searching + QStringLiteral(" / %1").arg(Qt::ArrowCursor)) << "its message gets the pointer";
    EXPECT_EQ(seen(), QStringLiteral("Ready / no cursor")) << "after the scan, all as it was: no transfer ran";
    EXPECT_EQ(m_dialogs.asked, QStringList{QString::fromUtf8(kNoMeterMessage)});
    EXPECT_EQ(m_dialogs.lastCaption, QStringLiteral("app_tests")) << "the executable's name";
    for (const std::string& port : ports)
        EXPECT_TRUE(m_dialogs.lastDetails.contains(QString::fromStdString(port))) << port;
    EXPECT_TRUE(window.isVisible());
}

// Record 0's first half (exchanges 2, 3, 4 with its repeats) gets a wrong header three
// times: the worker says so and goes on to the end, the row stays empty and is not counted
// as received, and Clear is refused. 50 ms before each of the 58 frames of the other 29
// records make the rest last 2.9 s or more: the use time keeps counting past the failure.
TEST_F(UploadWindow, AFailedRecordIsToldLeftEmptyAndUncountedWhileTheUseTimeGoesOn)
{
    CMeterSim& meter = StartMeter(GeneratedRecords(30), {SimFault{SimFault::Kind::WrongHeader, 2, 0, 0},
                                                         SimFault{SimFault::Kind::WrongHeader, 3, 0, 0},
                                                         SimFault{SimFault::Kind::WrongHeader, 4, 0, 0}});
    COrvexDlg& window = OpenWindow({meter.SlavePath()}, Pauses{50, 0, 0, 0, 0, 0});
    const auto useSeconds = [&] { return Pane(2).section(QLatin1Char(' '), 2, 2).toInt(); };   // "Use time: N seconds"
    int atFailure = -1;
    m_dialogs.onAsk = [&] {
        if (m_dialogs.asked.size() == 1)
            atFailure = useSeconds();
    };
    ASSERT_TRUE(Upload());
    EXPECT_EQ(m_dialogs.asked, (QStringList{QString::fromUtf8(kReadDataFailMessage),
                                            "1 of 30 records could not be read; their rows are left empty."}));
    std::vector<RowTexts> expected = DecodedRows(GeneratedRecords(30));
    expected[0] = UnreadRow(0);
    EXPECT_EQ(window.Rows().Rows(), expected);
    EXPECT_EQ(window.Label(IDC_STATIC_RECEIVED)->text(), QStringLiteral("29")) << "records read, as the message says";
    EXPECT_EQ(window.Progress()->value(), window.Progress()->maximum());
    EXPECT_EQ(Pane(0), QStringLiteral("Over"));
    ASSERT_GE(atFailure, 0);
    EXPECT_GE(useSeconds(), atFailure + 2) << Pane(2).toStdString() << ": the ticks went on after the failure";
    EXPECT_FALSE(window.TimerRunning());

    m_dialogs.asked.clear();
    window.Button(IDC_BUTTON_CLEAR)->click();
    EXPECT_EQ(m_dialogs.asked, QStringList{QString::fromUtf8(kClearAfterReadingMessage)}) << "before any confirmation";
    EXPECT_EQ(meter.EraseCount(), 0);
}

TEST_F(UploadWindow, StopEscapeAndTheCloseBoxEndTheTransferKeepingWhatWasRead)
{
    const std::pair<const char*, void (*)(COrvexDlg&)> stops[] = {
        {"Stop", [](COrvexDlg& window) { window.Button(IDC_BUTTON_UPLOAD)->click(); }},
        {"Escape", [](COrvexDlg& window) { QTest::keyClick(&window, Qt::Key_Escape); }},
        {"the close box", [](COrvexDlg& window) { window.close(); }}};
    for (const auto& [why, stop] : stops) {
        CMeterSim& meter = StartMeter(GeneratedRecords(kMaxSimRecords));
        COrvexDlg& window = OpenWindow({meter.SlavePath()});
        CButtonST* upload = window.Button(IDC_BUTTON_UPLOAD);
        upload->click();
        ASSERT_TRUE(ProcessEventsUntil([&] { return window.Progress()->value() >= 20; })) << why;
        EXPECT_EQ(std::tuple(upload->text(), upload->toolTip(), upload->isEnabled(), EnabledButtons()),
                  std::tuple(QStringLiteral("Stop"), QStringLiteral("Stop reading"), true, 1))
            << why << ": Upload is Stop, the other six stay disabled";
        stop(window);
        EXPECT_TRUE(!upload->isEnabled() || !window.Link().IsBusy()) << why << ": Stop is taken until the end";
        ASSERT_TRUE(ProcessEventsUntil([&] { return !window.Link().IsBusy() && EnabledButtons() == 7; })) << why;
        EXPECT_TRUE(window.isVisible()) << why;
        EXPECT_EQ(std::tuple(upload->text(), upload->toolTip()), std::tuple(QStringLiteral("Upload"), QStringLiteral("Read Data")));

        // Every row read is kept, the rest stays empty and is counted.
        const std::size_t read = window.Label(IDC_STATIC_RECEIVED)->text().toUInt();
        ASSERT_GE(read, 20u) << why;
        ASSERT_LT(read, std::size_t{kMaxSimRecords}) << why;
        std::vector<RowTexts> expected = DecodedRows(GeneratedRecords(read));
        expected.resize(kMaxSimRecords);
        EXPECT_EQ(window.Rows().Rows(), expected) << why;
        EXPECT_EQ(m_dialogs.asked, QStringList{QString::asprintf(kUnreadRecordsFormat, kMaxSimRecords - unsigned(read),
                                                                 unsigned{kMaxSimRecords})}) << why;
        m_window.reset();
    }
}

TEST_F(UploadWindow, StoppingWhileTheWorkersMessageIsUpEndsCleanly)
{
    // The first half of record 2 (exchanges 4, 5, 6 with its repeats) gets a wrong header three times:
    // the worker gives up on that record, shows a message and waits for the operator.
    CMeterSim& meter = StartMeter(GeneratedRecords(50), {SimFault{SimFault::Kind::WrongHeader, 4, 0, 0},
                                                         SimFault{SimFault::Kind::WrongHeader, 5, 0, 0},
                                                         SimFault{SimFault::Kind::WrongHeader, 6, 0, 0}});
    COrvexDlg& window = OpenWindow({meter.SlavePath()});
    bool escaped = false;
    m_dialogs.onAsk = [&] {
        if (!std::exchange(escaped, true))
            window.reject();
    };
    ASSERT_TRUE(Upload());
    ASSERT_EQ(m_dialogs.asked.size(), 2);
    EXPECT_EQ(m_dialogs.asked.front(), QString::fromUtf8(kReadDataFailMessage));
    EXPECT_TRUE(m_dialogs.asked.back().endsWith(QStringLiteral(" of 50 records could not be read; their rows are left empty.")));
    EXPECT_TRUE(window.isVisible());
    m_window.reset();
}

using ClearWindow = WindowTest;

// Records nobody has read in this session are not erased: Clear comes only
// after an upload that read everything.
TEST_F(ClearWindow, ConfirmedAfterAnUploadItErasesTheMeterAndKeepsTheTable)
{
    CMeterSim& meter = StartMeter(GeneratedRecords(6));
    COrvexDlg& window = OpenWindow({meter.SlavePath()}, kQuickClearPauses);
    window.Button(IDC_BUTTON_CLEAR)->click();
    EXPECT_EQ(m_dialogs.asked, QStringList{QString::fromUtf8(kClearAfterReadingMessage)})
        << "before any upload: refused before any confirmation";
    ASSERT_TRUE(Upload());
    window.Edit(IDC_EDIT_NOTE)->setText(QStringLiteral("span 3"));
    const auto shown = [&] {
        return std::tuple(window.Edit(IDC_EDIT_NOTE)->text(), window.Rows().Rows(), window.Progress()->value(),
                          window.Label(IDC_STATIC_RECEIVED)->text(), window.Label(IDC_STATIC_TOTAL)->text());
    };
    const auto before = shown();
    std::vector<std::pair<int, bool>> enabledWhenAsked;   // buttons, the note field
    m_dialogs.onAsk = [&] { enabledWhenAsked.emplace_back(EnabledButtons(), window.Edit(IDC_EDIT_NOTE)->isEnabled()); };
    m_dialogs.asked.clear();
    window.Button(IDC_BUTTON_CLEAR)->click();

    EXPECT_EQ(m_dialogs.asked, (QStringList{"[confirm]", "[clear done]"}));
    EXPECT_EQ(enabledWhenAsked, (std::vector<std::pair<int, bool>>{{7, true}, {0, true}}))
        << "the buttons go after the confirmation, until the end; the fields stay usable";
    EXPECT_EQ(EnabledButtons(), 7);
    // The meter takes the erase command on its own thread.
    EXPECT_TRUE(ProcessEventsUntil([&] { return meter.EraseCount() == 1; }));
    EXPECT_TRUE(meter.Records().empty());
    EXPECT_EQ(shown(), before) << "the table, the fields and the counters stay as they were";
}

// Cancelled, Clear tries no port; no meter at the handshake, and a meter that
// goes away as it takes the erase command, each have a message of their own.
TEST_F(ClearWindow, CancelledTriesNoPortAndEachFailureIsToldItsOwnWay)
{
    // The upload takes exchanges 1-5 (the count, two per record), the handshake 6, the erase command 7.
    CMeterSim& meter = StartMeter(GeneratedRecords(2), {SimFault{SimFault::Kind::Vanish, 7, 0, 0}});
    std::vector<std::string> ports{meter.SlavePath()};
    OpenWindowOn([&ports] { return ports; }, kQuickClearPauses);
    ASSERT_TRUE(Upload());
    ports = {"/nonexistent/ttyOMBREL0"};
    m_dialogs.confirmAnswer = false;
    m_window->Button(IDC_BUTTON_CLEAR)->click();
    EXPECT_EQ(m_dialogs.asked, QStringList{"[confirm]"}) << "cancelled: no port was tried, so none failed";

    m_dialogs.confirmAnswer = true;
    m_window->Button(IDC_BUTTON_CLEAR)->click();
    EXPECT_EQ(m_dialogs.asked, (QStringList{"[confirm]", "[confirm]", QString::fromUtf8(kClearFailedMessage)}));
    EXPECT_TRUE(m_dialogs.lastDetails.contains(QStringLiteral("/nonexistent/ttyOMBREL0")));
    EXPECT_EQ(EnabledButtons(), 7);

    ports = {meter.SlavePath()};
    m_dialogs.asked.clear();
    m_window->Button(IDC_BUTTON_CLEAR)->click();
    EXPECT_EQ(m_dialogs.asked, (QStringList{"[confirm]", QString::fromUtf8(kClearNotConfirmedMessage)}));
    EXPECT_EQ(EnabledButtons(), 7);
}

using SaveWindow = WindowTest;

TEST_F(SaveWindow, WritesTheReportOfWhatTheWindowShowsOrSaysWhyNot)
{
    CMeterSim& meter = StartMeter(GeneratedRecords(8));
    COrvexDlg& window = OpenWindow({meter.SlavePath()});
    ASSERT_TRUE(Upload());
    window.Edit(IDC_EDIT_COMPANY)->setText(QStringLiteral("ACME Optics"));
    window.Edit(IDC_EDIT_USER)->setText(QStringLiteral("J. Smith"));
    window.Edit(IDC_EDIT_NOTE)->setText(QStringLiteral("span 3"));
    window.SetClock([] { return QDateTime(QDate(2026, 3, 5), QTime(12, 0)).toSecsSinceEpoch(); });
    window.OnTimer();   // panes 1 and 2 go into the report as shown

    const QString saved = m_archiveFolder.filePath(QStringLiteral("report.csv"));
    const QString locked = m_archiveFolder.filePath(QStringLiteral("locked.csv"));
    QFile file(locked);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write("old report\r\n") == 12);
    file.close();
    ASSERT_EQ(chmod(QFile::encodeName(locked).constData(), 0444), 0);

    struct Row { const char* why; QString saveAs; QString told; };   // told: a pattern, empty for nothing
    const Row rows[] = {
        {"written without a confirmation", saved, {}},
        {"a cancelled dialog writes nothing and says nothing", {}, {}},
        {"a locked file is kept and reported", locked, '^' + QRegularExpression::escape(kDocumentLockedMessage) + '$'},
        {"any other failure says why", "/nonexistent/folder/report.csv", "^The report could not be saved: .+"}};
    for (const Row& row : rows) {
        m_dialogs.asked.clear();
        m_dialogs.saveAs = row.saveAs;
        window.Button(IDC_BUTTON_SAVE)->click();
        ASSERT_EQ(m_dialogs.asked.size(), row.told.isEmpty() ? 1 : 2) << row.why;
        EXPECT_EQ(m_dialogs.asked.front(), QStringLiteral("[save as Meter Data Report_2026 3 5.csv]")) << row.why;
        if (!row.told.isEmpty()) {
            EXPECT_TRUE(QRegularExpression(row.told).match(m_dialogs.asked.back()).hasMatch())
                << row.why << ": " << m_dialogs.asked.back().toStdString();
        }
    }
    const ReportHeader header{"ACME Optics", "J. Smith", "span 3", Pane(1).toStdString(), Pane(2).toStdString()};
    EXPECT_EQ(ReadFile(saved.toStdString()), FormatCsvReport(header, DecodedRows(meter.Records())));
    EXPECT_EQ(ReadFile(locked.toStdString()), "old report\r\n");
}

} // namespace
