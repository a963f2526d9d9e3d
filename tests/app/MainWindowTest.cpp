// The main window as the operator meets it: title, size, table, status bar,
// About, timer, keys and Help.

#include "HelpWindow.h"
#include "LinkMessages.h"
#include "WindowFixture.h"

#include <QAction>
#include <QDateTime>
#include <QFontDatabase>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>
#include <QTableView>
#include <QTextBrowser>

namespace {

using MainWindow = WindowTest;

TEST_F(MainWindow, OpensFixedSizeWithTitleColumnsAndStatusBarAndScrollsOnlyDown)
{
    COrvexDlg& window = OpenWindow({});
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Ombrel V10.1 ")) << "the trailing blank is part of it";
    EXPECT_EQ(window.size(), MapDialogSize(401, 316, window.BaseUnits()) + QSize(0, window.StatusBar()->height()))
        << "the template's size and the status bar below it";
    EXPECT_EQ(window.minimumSize(), window.maximumSize());
    EXPECT_FALSE(window.windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
    const int widths[] = {80, 170, 170, 169, 170};
    ASSERT_EQ(window.List()->model()->columnCount(), 5);
    const char* titles[] = {"No.", "WaveLength", "Power", "Ref", "Frequency"};
    for (int column = 0; column < 5; ++column) {
        EXPECT_EQ(window.List()->columnWidth(column), widths[column]) << "column " << column;
        EXPECT_EQ(window.List()->model()->headerData(column, Qt::Horizontal).toString(), titles[column]);
    }
    const QLabel* company = window.Label(IDC_STATIC_COMPANY);   // the longest label, in the fallback font
    EXPECT_GE(company->width(), company->fontMetrics().horizontalAdvance(company->text())) << "not clipped";

    EXPECT_EQ(Pane(0), QStringLiteral("Ready"));
    EXPECT_EQ(window.StatusBar()->PaneRect(2).right(), window.width() - 1) << "the last pane reaches the edge";
    EXPECT_EQ(window.StatusBar()->geometry().bottom(), window.height() - 1) << "along the bottom edge";
    EXPECT_LT(window.List()->geometry().bottom(), window.StatusBar()->geometry().top())
        << "the whole table, its scroll bar included, above the status bar";
    EXPECT_EQ(window.List()->geometry(), MapDialogRect(QRect(7, 128, 386, 181), window.BaseUnits()))
        << "where the template puts it";

    EXPECT_EQ(window.focusWidget(), window.Button(IDC_BUTTON_UPLOAD)) << "the first tab stop has the focus";
    window.AboutAction()->trigger();
    EXPECT_EQ(m_dialogs.asked, QStringList{"[about]"}) << "the About entry of the context menu";

    QStringList entries;
    for (const QAction* action : window.MenuActions())
        entries << action->text() + ' ' + action->shortcut().toString();
    // In the order added; each shortcut works from anywhere in the window (Ctrl+H from the
    // table: HistoryWindowTest).
    EXPECT_EQ(entries, (QStringList{"&History... Ctrl+H", "&Evaluation... Ctrl+E", "&About Ombrel... "}));

    // A full table scrolls down but not sideways: the columns give the bar its room.
    window.OnRowsInserted(200);
    QScrollBar* down = window.List()->verticalScrollBar();
    ASSERT_TRUE(ProcessEventsUntil([&] { return down->isVisible(); }));
    QCoreApplication::processEvents();
    EXPECT_FALSE(window.List()->horizontalScrollBar()->isVisible());
    EXPECT_LE(window.List()->horizontalHeader()->length(), window.List()->viewport()->width());
    EXPECT_EQ(window.List()->columnWidth(3), 169) << "only the last column gives way";
}

// Every character of the program's messages and help has a glyph in one of
// the window's fonts: no empty box, not even for the full-width "！".
TEST_F(MainWindow, EveryCharacterOfTheMessagesHasAGlyph)
{
    m_dialogs.desktopOpensHelp = false;
    COrvexDlg& window = OpenWindow({});
    window.Button(IDC_BUTTON_HELP)->click();
    ASSERT_NE(window.HelpWindow(), nullptr);
    QString texts = window.HelpWindow()->Browser()->toPlainText();
    for (const char* message : {kNoSerialPortMessage, kNoMeterMessage, kClearFailedMessage, kClearAfterReadingMessage,
                                kConfirmClearText, kClearDoneText, kClearNotConfirmedMessage, kReadDataFailMessage,
                                kReadData2FailMessage, kStatusRunning, kStatusOver, kStatusReady, kUnreadRecordsFormat,
                                kMeterSilentFormat, "Serial port not open！", "Open serial port fail！",
                                "Set CommState fail！", "Set serial port's buffer fail！"})
        texts += QString::fromUtf8(message);
    texts += QStringLiteral("光纤测试 株式会社 광섬유");   // typed into a header field

    QString missing;
    for (const char32_t character : texts.toUcs4()) {
        if (character < U' ')
            continue;
        const QStringList families = window.font().families();
        const bool drawn = std::ranges::any_of(families, [&](const QString& family) {
            QFont font(family);
            font.setStyleStrategy(QFont::NoFontMerging);   // this family's own glyphs, no stand-ins
            return QFontDatabase::hasFamily(family) && QFontMetrics(font).inFontUcs4(character);
        });
        if (!drawn && !missing.contains(QString::fromUcs4(&character, 1)))
            missing += QString::fromUcs4(&character, 1);
    }
    EXPECT_TRUE(missing.isEmpty()) << "no glyph for \"" << missing.toStdString() << "\" in "
                                   << window.font().families().join(", ").toStdString();
}

TEST_F(MainWindow, TimerTicksWriteDateAndUseTime)
{
    COrvexDlg& window = OpenWindow({});
    const std::time_t tick = QDateTime(QDate(2015, 3, 7), QTime(9, 5, 2)).toSecsSinceEpoch();
    window.SetClock([tick] { return tick; });
    window.OnTimerStart();
    EXPECT_EQ(window.TimerPeriodMs(), 1000) << "one tick a second";
    window.OnTimer();
    EXPECT_EQ(Pane(1), QStringLiteral("Date time: 2015-03-07 09:05:02"));
    EXPECT_EQ(Pane(2), QStringLiteral("Use time: 1 seconds")) << "no singular form";
    window.OnTimer();
    EXPECT_EQ(Pane(2), QStringLiteral("Use time: 2 seconds"));

    window.OnTimerStart();   // the next transfer counts from zero again, once a second on its own
    EXPECT_TRUE(ProcessEventsUntil([&] { return Pane(2) == QStringLiteral("Use time: 1 seconds"); },
                                   std::chrono::seconds(10)));
}

TEST_F(MainWindow, OnlyEscapeOrExitEndsTheWindowAndHelpOpensOnRequest)
{
    struct Row { const char* why; int focusId; Qt::Key key; bool closes; bool help; };
    const Row rows[] = {{"Enter in an edit keeps the window", IDC_EDIT_COMPANY, Qt::Key_Return, false, false},
                        {"Enter in the list keeps the window", IDC_LIST_DATA, Qt::Key_Enter, false, false},
                        {"Escape ends the window", IDC_EDIT_NOTE, Qt::Key_Escape, true, false},
                        {"Enter on a focused button presses it", IDC_BUTTON_HELP, Qt::Key_Return, false, true},
                        {"F1 opens the help from anywhere", IDC_EDIT_USER, Qt::Key_F1, false, true},
                        {"Enter on Exit presses it and ends the window", IDC_BUTTON_EXIT, Qt::Key_Return, true, false}};
    for (const Row& row : rows) {
        COrvexDlg& window = OpenWindow({});
        window.Item(row.focusId)->setFocus();
        QTest::keyClick(window.Item(row.focusId), row.key);
        EXPECT_EQ(window.isVisible(), !row.closes) << row.why;
        EXPECT_EQ(m_dialogs.asked, row.help ? QStringList{"[help]"} : QStringList()) << row.why;
    }
}

} // namespace
