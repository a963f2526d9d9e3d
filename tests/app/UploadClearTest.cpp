// Upload, Clear and Save through the window, against simulated meters on
// real pseudo-terminals.

#include "CsvReport.h"
#include "LinkMessages.h"
#include "OperatorDialogs.h"
#include "WindowFixture.h"

#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QTemporaryDir>
#include <QTimer>

#include <sys/stat.h>

namespace {

using UploadWindow = WindowTest;

std::string ReadFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll().toStdString();
}

TEST_F(UploadWindow, FillsTheTableInOrderAndEndsOver)
{
    CMeterSim& meter = StartMeter(RealisticSession());
    COrvexDlg& window = OpenWindow({meter.SlavePath()});
    // Whatever the window shows while rows arrive, no command button may be usable.
    int enabledWhileFilling = 0;
    QObject::connect(&window.Rows(), &QAbstractItemModel::dataChanged, &window,
                     [&] { enabledWhileFilling += EnabledButtons(); });

    window.Button(IDC_BUTTON_UPLOAD)->click();
    ASSERT_TRUE(WaitForUploadEnd());

    const std::vector<RowTexts> expected = Decoded(meter.Records());
    EXPECT_EQ(window.Rows().Rows(), expected);
    EXPECT_EQ(enabledWhileFilling, 0);
    EXPECT_EQ(Pane(0), QStringLiteral("Over"));
    const QString count = QString::number(expected.size());
    EXPECT_EQ(window.Label(IDC_STATIC_RECEIVED)->text(), count);
    EXPECT_EQ(window.Label(IDC_STATIC_TOTAL)->text(), count);
    EXPECT_EQ(window.Progress()->value(), window.Progress()->maximum());
    EXPECT_FALSE(window.TimerRunning()) << "the timer stops with the transfer";
    EXPECT_TRUE(m_dialogs.messages.empty());
}

TEST_F(UploadWindow, ButtonsStayDisabledWhileAMeterFoundOnALaterPortTransfers)
{
    CMeterSim& silent = StartMeter(GeneratedRecords(3), {SimFault{SimFault::Kind::NoReply, 0, 0, 0}});
    CMeterSim& meter = StartMeter(GeneratedRecords(40));
    COrvexDlg& window =
        OpenWindow({"/nonexistent/ttyOMBREL0", silent.SlavePath(), meter.SlavePath()}, Pauses{0, 0, 0, 0, 0, 0});
    int enabledWhileFilling = 0;
    QObject::connect(&window.Rows(), &QAbstractItemModel::dataChanged, &window,
                     [&] { enabledWhileFilling += EnabledButtons(); });

    window.Button(IDC_BUTTON_UPLOAD)->click();
    ASSERT_TRUE(WaitForUploadEnd());
    EXPECT_EQ(window.Rows().Rows(), Decoded(meter.Records()));
    EXPECT_EQ(enabledWhileFilling, 0) << "an absent or silent port before the meter re-enables nothing";
}

TEST_F(UploadWindow, ANewUploadEmptiesTheTableFirst)
{
    CMeterSim& meter = StartMeter(GeneratedRecords(12));
    COrvexDlg& window = OpenWindow({meter.SlavePath()});
    window.Button(IDC_BUTTON_UPLOAD)->click();
    ASSERT_TRUE(WaitForUploadEnd());
    window.Button(IDC_BUTTON_UPLOAD)->click();
    ASSERT_TRUE(WaitForUploadEnd());
    EXPECT_EQ(window.Rows().Rows(), Decoded(meter.Records())) << "12 rows, not 24";
}

TEST_F(UploadWindow, FailedScanShowsTheMessageWithEachPortsReason)
{
    COrvexDlg& window = OpenWindow({"/nonexistent/ttyOMBREL0", "/nonexistent/ttyOMBREL1"});
    window.Button(IDC_BUTTON_UPLOAD)->click();
    ASSERT_TRUE(WaitForUploadEnd());

    ASSERT_EQ(m_dialogs.messages.size(), 1u);
    const CRecordingDialogs::Message& message = m_dialogs.messages.front();
    EXPECT_EQ(message.text, QString::fromUtf8(kNoMeterMessage));
    EXPECT_EQ(message.caption, ApplicationName());
    EXPECT_EQ(message.caption, QStringLiteral("app_tests")) << "the executable's name without extension";
    EXPECT_TRUE(message.details.contains(QStringLiteral("/nonexistent/ttyOMBREL0")));
    EXPECT_TRUE(message.details.contains(QStringLiteral("/nonexistent/ttyOMBREL1")));
    EXPECT_EQ(Pane(0), QStringLiteral("Ready")) << "no transfer ran";
}

TEST_F(UploadWindow, NoSerialPortAtAllKeepsTheWindowAndItsTable)
{
    CMeterSim& meter = StartMeter(GeneratedRecords(5));
    std::vector<std::string> ports{meter.SlavePath()};
    m_window = std::make_unique<COrvexDlg>(m_dialogs, [&ports] { return ports; }, kNoPauses);
    COrvexDlg& window = *m_window;
    window.show();
    window.Button(IDC_BUTTON_UPLOAD)->click();
    ASSERT_TRUE(WaitForUploadEnd());

    ports.clear();   // the adapter was unplugged
    window.Edit(IDC_EDIT_NOTE)->setText(QStringLiteral("line 4"));
    window.Button(IDC_BUTTON_UPLOAD)->click();
    ASSERT_TRUE(WaitForUploadEnd());
    EXPECT_EQ(m_dialogs.Texts(),
              (QStringList{QString::fromUtf8(kNoSerialPortMessage), QString::fromUtf8(kNoMeterMessage)}));
    EXPECT_TRUE(window.isVisible()) << "the window stays open";
    EXPECT_EQ(window.Edit(IDC_EDIT_NOTE)->text(), QStringLiteral("line 4"));
    EXPECT_EQ(QString::fromUtf8(kNoSerialPortMessage).right(1), QStringLiteral("\uFF01"))
        << "the full-width exclamation mark";
}

struct CloseCase {
    const char* why;
    void (*close)(COrvexDlg& window);
};

void PrintTo(const CloseCase& row, std::ostream* os) { *os << row.why; }

class CloseDuringTransfer : public WindowTest, public ::testing::WithParamInterface<CloseCase> {};

TEST_P(CloseDuringTransfer, StopsAndJoinsTheWorkerFirst)
{
    CMeterSim& meter = StartMeter(GeneratedRecords(kMaxSimRecords));
    COrvexDlg& window = OpenWindow({meter.SlavePath()});
    window.Button(IDC_BUTTON_UPLOAD)->click();
    ASSERT_TRUE(ProcessEventsUntil([&] { return window.Progress()->value() >= 20; }));

    GetParam().close(window);
    EXPECT_FALSE(window.isVisible());
    EXPECT_FALSE(window.Link().IsBusy()) << "the worker was joined before the dialog ended";
    EXPECT_LT(window.Progress()->value(), kMaxSimRecords);
    m_window.reset();   // destroys the window; nothing may touch it afterwards
    QCoreApplication::processEvents();
}

INSTANTIATE_TEST_SUITE_P(
    Rows, CloseDuringTransfer,
    ::testing::Values(CloseCase{"Escape", [](COrvexDlg& w) { QTest::keyClick(&w, Qt::Key_Escape); }},
                      CloseCase{"the close box", [](COrvexDlg& w) { w.close(); }}));

TEST_F(UploadWindow, ClosingWhileTheWorkersMessageIsUpEndsCleanly)
{
    // The first half of record 2 (exchanges 4, 5, 6 with its repeats) is lost three times:
    // the worker gives up on that record, shows a message and waits for the operator.
    CMeterSim& meter = StartMeter(GeneratedRecords(50), {SimFault{SimFault::Kind::NoReply, 4, 0, 0},
                                                         SimFault{SimFault::Kind::NoReply, 5, 0, 0},
                                                         SimFault{SimFault::Kind::NoReply, 6, 0, 0}});
    COrvexDlg& window = OpenWindow({meter.SlavePath()}, Pauses{0, 0, 0, 0, 0, 0});
    m_dialogs.onMessage = [&] { window.reject(); };
    window.Button(IDC_BUTTON_UPLOAD)->click();
    ASSERT_TRUE(ProcessEventsUntil([&] { return !window.isVisible(); }));
    EXPECT_EQ(m_dialogs.Texts(), QStringList{QString::fromUtf8(kReadDataFailMessage)});
    EXPECT_FALSE(window.Link().IsBusy());
    m_window.reset();
}

TEST_F(UploadWindow, ClosingDuringTheScanTakesEffectWhenTheScanEnds)
{
    // A meter that never answers keeps the scan waiting for its reply.
    CMeterSim& silent = StartMeter(GeneratedRecords(3), {SimFault{SimFault::Kind::NoReply, 0, 0, 0}});
    COrvexDlg& window = OpenWindow({silent.SlavePath()});
    bool visibleAfterClose = false;
    QTimer::singleShot(20, &window, [&] {
        window.close();   // arrives while the scan holds the window
        visibleAfterClose = window.isVisible();
    });
    window.Button(IDC_BUTTON_UPLOAD)->click();
    EXPECT_TRUE(visibleAfterClose) << "the scan is not cut short";
    EXPECT_EQ(m_dialogs.Texts(), QStringList{QString::fromUtf8(kNoMeterMessage)});
    EXPECT_FALSE(window.isVisible()) << "then the window closes";
    EXPECT_FALSE(window.Link().IsBusy());
}

TEST(RowModel, RowsBeyondThoseInsertedAreIgnored)
{
    CRowModel model({QStringLiteral("No."), QStringLiteral("WaveLength"), QStringLiteral("Power"),
                     QStringLiteral("Ref"), QStringLiteral("Frequency")});
    model.InsertEmptyRows(3);
    RowTexts texts;
    texts.cells = {"2", "1550 (nm)", "-3.75 (dB)", "-10.15 (dBm)", "CW"};
    EXPECT_TRUE(model.SetRow(1, texts));
    EXPECT_FALSE(model.SetRow(3, texts)) << "one past the end";
    EXPECT_FALSE(model.SetRow(-1, texts));
    ASSERT_EQ(model.rowCount(), 3);
    EXPECT_EQ(model.data(model.index(1, COL_REF), Qt::DisplayRole).toString(), QStringLiteral("-10.15 (dBm)"));
    EXPECT_TRUE(model.data(model.index(0, COL_NO), Qt::DisplayRole).toString().isEmpty()) << "inserted empty";
    model.Clear();
    EXPECT_EQ(model.rowCount(), 0);
}

using ClearWindow = WindowTest;

TEST_F(ClearWindow, ConfirmedClearErasesTheMeterAndKeepsTheTable)
{
    CMeterSim& meter = StartMeter(GeneratedRecords(6));
    COrvexDlg& window = OpenWindow({meter.SlavePath()}, kQuickClearPauses);
    window.Button(IDC_BUTTON_UPLOAD)->click();
    ASSERT_TRUE(WaitForUploadEnd());
    const std::vector<RowTexts> rows = window.Rows().Rows();

    int enabledDuringClear = -1;
    m_dialogs.onClearDone = [&] { enabledDuringClear = EnabledButtons(); };
    window.Button(IDC_BUTTON_CLEAR)->click();

    EXPECT_EQ(m_dialogs.confirmCount, 1);
    EXPECT_EQ(m_dialogs.clearDoneCount, 1);
    // The meter takes the erase command on its own thread.
    EXPECT_TRUE(ProcessEventsUntil([&] { return meter.EraseCount() == 1; }, std::chrono::seconds(2)));
    EXPECT_TRUE(meter.Records().empty());
    EXPECT_EQ(enabledDuringClear, 0) << "buttons disabled while Clear runs";
    EXPECT_EQ(EnabledButtons(), 7) << "and enabled when it ends";
    EXPECT_EQ(window.Rows().Rows(), rows);
}

TEST_F(ClearWindow, CancelledConfirmationLeavesTheMeterAlone)
{
    CMeterSim& meter = StartMeter(GeneratedRecords(6));
    COrvexDlg& window = OpenWindow({meter.SlavePath()}, kQuickClearPauses);
    m_dialogs.confirmAnswer = false;
    window.Button(IDC_BUTTON_CLEAR)->click();
    EXPECT_EQ(m_dialogs.confirmCount, 1);
    EXPECT_EQ(meter.EraseCount(), 0);
    EXPECT_EQ(meter.ExchangesServed(), 0) << "no port was touched";
    EXPECT_EQ(EnabledButtons(), 7);
}

TEST_F(ClearWindow, NoMeterShowsTheClearFailureWithDetails)
{
    COrvexDlg& window = OpenWindow({"/nonexistent/ttyOMBREL0"}, kQuickClearPauses);
    window.Button(IDC_BUTTON_CLEAR)->click();
    ASSERT_EQ(m_dialogs.messages.size(), 1u);
    EXPECT_EQ(m_dialogs.messages.front().text, QString::fromUtf8(kClearFailedMessage));
    EXPECT_TRUE(m_dialogs.messages.front().details.contains(QStringLiteral("/nonexistent/ttyOMBREL0")));
    EXPECT_EQ(m_dialogs.clearDoneCount, 0);
    EXPECT_EQ(EnabledButtons(), 7);
}

TEST_F(ClearWindow, RefusedAfterAnUploadThatStoppedHalfway)
{
    // The meter goes silent after a few records, so the upload ends short of the count.
    CMeterSim& meter = StartMeter(GeneratedRecords(30), {SimFault{SimFault::Kind::Vanish, 9, 0, 0}});
    COrvexDlg& window = OpenWindow({meter.SlavePath()});
    window.Button(IDC_BUTTON_UPLOAD)->click();
    ASSERT_TRUE(WaitForUploadEnd());
    m_dialogs.messages.clear();

    window.Button(IDC_BUTTON_CLEAR)->click();
    EXPECT_EQ(m_dialogs.Texts(), QStringList{QString::fromUtf8(kClearAfterReadingMessage)});
    EXPECT_EQ(m_dialogs.confirmCount, 0) << "refused before the confirmation";
}

using SaveWindow = WindowTest;

std::time_t LocalTime(int year, int month, int day)
{
    std::tm date{};
    date.tm_year = year - 1900;
    date.tm_mon = month - 1;
    date.tm_mday = day;
    date.tm_hour = 12;
    date.tm_isdst = -1;
    return std::mktime(&date);
}

TEST_F(SaveWindow, WritesTheReportOfWhatTheWindowShows)
{
    CMeterSim& meter = StartMeter(GeneratedRecords(8));
    COrvexDlg& window = OpenWindow({meter.SlavePath()});
    window.Button(IDC_BUTTON_UPLOAD)->click();
    ASSERT_TRUE(WaitForUploadEnd());
    window.Edit(IDC_EDIT_COMPANY)->setText(QStringLiteral("ACME Optics"));
    window.Edit(IDC_EDIT_USER)->setText(QStringLiteral("J. Smith"));
    window.Edit(IDC_EDIT_NOTE)->setText(QStringLiteral("span 3"));
    window.SetClock([] { return LocalTime(2026, 3, 5); });
    window.OnTimer();   // panes 1 and 2 go into the report as shown

    QTemporaryDir folder;
    m_dialogs.saveAs = folder.filePath(QStringLiteral("report.csv"));
    window.Button(IDC_BUTTON_SAVE)->click();

    ASSERT_EQ(m_dialogs.offeredNames.size(), 1u);
    EXPECT_EQ(m_dialogs.offeredNames.front(), QStringLiteral("Meter Data Report_2026 3 5.csv"));
    const ReportHeader header{"ACME Optics", "J. Smith", "span 3", Pane(1).toStdString(), Pane(2).toStdString()};
    EXPECT_EQ(ReadFile(m_dialogs.saveAs), FormatCsvReport(header, Decoded(meter.Records())));
    EXPECT_TRUE(m_dialogs.messages.empty()) << "no confirmation is shown";
}

TEST_F(SaveWindow, CancelledDialogWritesNothing)
{
    COrvexDlg& window = OpenWindow({});
    m_dialogs.saveAs.clear();
    window.Button(IDC_BUTTON_SAVE)->click();
    EXPECT_EQ(m_dialogs.offeredNames.size(), 1u);
    EXPECT_TRUE(m_dialogs.messages.empty());
}

TEST_F(SaveWindow, ALockedFileIsKeptAndReported)
{
    COrvexDlg& window = OpenWindow({});
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("locked.csv"));
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("old report\r\n");
    }
    ASSERT_EQ(chmod(QFile::encodeName(path).constData(), 0444), 0);
    m_dialogs.saveAs = path;
    window.Button(IDC_BUTTON_SAVE)->click();
    EXPECT_EQ(m_dialogs.Texts(), QStringList{QString::fromUtf8(kDocumentLockedMessage)});
    EXPECT_EQ(ReadFile(path), "old report\r\n");
}

TEST_F(SaveWindow, OtherFailuresSayWhy)
{
    COrvexDlg& window = OpenWindow({});
    m_dialogs.saveAs = QStringLiteral("/nonexistent/folder/report.csv");
    window.Button(IDC_BUTTON_SAVE)->click();
    ASSERT_EQ(m_dialogs.messages.size(), 1u);
    EXPECT_TRUE(m_dialogs.messages.front().text.startsWith(QStringLiteral("The report could not be saved: ")))
        << m_dialogs.messages.front().text.toStdString();
    EXPECT_GT(m_dialogs.messages.front().text.size(), 31) << "with a reason";
}

} // namespace
