// The main window as the operator meets it: layout, colours, status bar,
// timer, keys, Help and About.

#include "StatusTexts.h"
#include "WindowFixture.h"

#include <QAction>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QTableView>

namespace {

using MainWindow = WindowTest;

TEST_F(MainWindow, OpensFixedSizeWithItsTitle)
{
    COrvexDlg& window = OpenWindow({});
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Ombrel V10.1 ")) << "the trailing blank is part of it";
    EXPECT_EQ(window.size(), MapDialogSize(401, 316, window.BaseUnits()));
    EXPECT_EQ(window.minimumSize(), window.maximumSize());
    EXPECT_FALSE(window.windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(window.windowFlags() & Qt::WindowMaximizeButtonHint);
    const QList<QSize> iconSizes = window.windowIcon().availableSizes();
    for (const int size : {16, 32, 48})
        EXPECT_TRUE(iconSizes.contains(QSize(size, size))) << "application icon at " << size;
}

TEST_F(MainWindow, EveryControlSitsAtItsTemplateRectangle)
{
    COrvexDlg& window = OpenWindow({});
    for (const ControlTemplate& control : kMainTemplate.controls) {
        if (control.id == IDC_STATIC || control.kind == ControlKind::Static)
            continue;   // statics may grow to their text
        const QRect expected = MapDialogRect({control.x, control.y, control.cx, control.cy}, window.BaseUnits());
        EXPECT_EQ(window.Item(control.id)->geometry(), expected) << control.id;
    }
}

struct ButtonCase {
    int id;
    const char* caption;
    const char* tip;
};

TEST_F(MainWindow, SevenSkinnedButtonsInTabOrder)
{
    COrvexDlg& window = OpenWindow({});
    const ButtonCase buttons[] = {{IDC_BUTTON_UPLOAD, "Upload", "Read Data"}, {IDC_BUTTON_SAVE, "Save", "Save Data"},
                                  {IDC_BUTTON_CLEAR, "Clear", "Clear Data"},  {IDC_BUTTON_PRINT, "Print", "Print"},
                                  {IDC_BUTTON_PREVIEW, "Preview", "Print Preview"}, {IDC_BUTTON_HELP, "Help", "Help"},
                                  {IDC_BUTTON_EXIT, "Exit", "Exit"}};
    QWidget* previous = nullptr;
    for (const ButtonCase& row : buttons) {
        CButtonST* button = window.Button(row.id);
        ASSERT_NE(button, nullptr) << row.caption;
        EXPECT_EQ(button->text(), QString::fromLatin1(row.caption));
        EXPECT_EQ(button->toolTip(), QString::fromLatin1(row.tip));
        EXPECT_EQ(button->GetStateColor(CButtonST::TextHot), QColor(255, 0, 0)) << row.caption;
        EXPECT_EQ(button->GetStateColor(CButtonST::TextNormal), QColor(0, 64, 128)) << row.caption;
        EXPECT_TRUE(button->isEnabled());
        if (previous != nullptr) {
            EXPECT_EQ(previous->nextInFocusChain(), button) << row.caption;
        }
        previous = button;
    }
    EXPECT_EQ(window.focusWidget(), window.Button(IDC_BUTTON_UPLOAD)) << "the first tab stop has the focus";
}

TEST_F(MainWindow, ListIsAGridOfFiveColumnsSelectingWholeRows)
{
    COrvexDlg& window = OpenWindow({});
    QTableView* list = window.List();
    const int widths[] = {80, 170, 170, 169, 170};
    const char* titles[] = {"No.", "WaveLength", "Power", "Ref", "Frequency"};
    ASSERT_EQ(list->model()->columnCount(), 5);
    for (int column = 0; column < 5; ++column) {
        EXPECT_EQ(list->columnWidth(column), widths[column]) << titles[column];
        EXPECT_EQ(list->model()->headerData(column, Qt::Horizontal).toString(), QString::fromLatin1(titles[column]));
    }
    EXPECT_TRUE(list->showGrid());
    EXPECT_EQ(list->selectionBehavior(), QAbstractItemView::SelectRows);
    EXPECT_FALSE(list->verticalHeader()->isVisible());
    EXPECT_EQ(list->verticalHeader()->sectionResizeMode(0), QHeaderView::Fixed) << "uniform rows stay fast";
}

TEST_F(MainWindow, LabelsTakeTheirColours)
{
    COrvexDlg& window = OpenWindow({});
    const std::pair<int, QColor> colours[] = {{IDC_STATIC_TOTAL, QColor(255, 0, 0)},
                                              {IDC_STATIC_RECEIVED, QColor(0, 0, 255)},
                                              {IDC_STATIC_COMPANY, QColor(0, 0, 255)},
                                              {IDC_STATIC_USER, QColor(0, 0, 255)},
                                              {IDC_STATIC_NOTE, QColor(0, 0, 255)},
                                              {IDC_STATIC_DATA, QColor(0, 0, 255)}};
    for (const auto& [id, colour] : colours)
        EXPECT_EQ(window.Label(id)->palette().color(QPalette::WindowText), colour) << id;
    EXPECT_EQ(window.Label(IDC_STATIC_COMPANY)->text(), QStringLiteral("Company Name:"));
    EXPECT_GE(window.Label(IDC_STATIC_COMPANY)->width(),
              window.Label(IDC_STATIC_COMPANY)->fontMetrics().horizontalAdvance(QStringLiteral("Company Name:")))
        << "a label shows its whole text in the fallback font";
}

TEST_F(MainWindow, StatusBarHasThreePanesReadingReady)
{
    COrvexDlg& window = OpenWindow({});
    CStatusBarCtrl* status = window.StatusBar();
    EXPECT_EQ(Pane(0), QStringLiteral("Ready"));
    EXPECT_TRUE(Pane(1).isEmpty());
    EXPECT_TRUE(Pane(2).isEmpty());
    EXPECT_LE(status->PaneRect(0).right(), 450);
    EXPECT_EQ(status->PaneRect(1).left(), 450);
    EXPECT_LE(status->PaneRect(1).right(), 650);
    EXPECT_EQ(status->PaneRect(2).left(), 650);
    EXPECT_EQ(status->PaneRect(2).right(), window.width() - 1) << "the last pane reaches the edge";
    EXPECT_EQ(status->geometry().bottom(), window.height() - 1) << "along the bottom edge";
    EXPECT_FALSE(window.TimerRunning());
}

TEST_F(MainWindow, TimerTicksWriteDateAndUseTime)
{
    COrvexDlg& window = OpenWindow({});
    std::tm date{};
    date.tm_year = 2015 - 1900;
    date.tm_mon = 2;
    date.tm_mday = 7;
    date.tm_hour = 9;
    date.tm_min = 5;
    date.tm_sec = 2;
    date.tm_isdst = -1;
    const std::time_t tick = std::mktime(&date);
    window.SetClock([tick] { return tick; });

    window.OnTimerStart();
    EXPECT_TRUE(window.TimerRunning());
    window.OnTimer();
    EXPECT_EQ(Pane(1), QStringLiteral("Date time: 2015-03-07 09:05:02"));
    EXPECT_EQ(Pane(2), QStringLiteral("Use time: 1 seconds")) << "no singular form";
    window.OnTimer();
    EXPECT_EQ(Pane(2), QStringLiteral("Use time: 2 seconds"));

    window.OnTimerStart();   // the next transfer counts from zero again
    EXPECT_EQ(Pane(2), QStringLiteral("Use time: 2 seconds")) << "the old text stays until the first tick";
    ASSERT_TRUE(ProcessEventsUntil([&] { return Pane(2) == QStringLiteral("Use time: 1 seconds"); },
                                   std::chrono::seconds(5)))
        << "timer 1 ticks on its own once a second";
    window.OnTimerStop();
    EXPECT_FALSE(window.TimerRunning());
}

struct KeyCase {
    const char* why;
    int focusId;
    Qt::Key key;
    bool closes;
    int result;
};

void PrintTo(const KeyCase& row, std::ostream* os) { *os << row.why; }

class MainWindowKeys : public WindowTest, public ::testing::WithParamInterface<KeyCase> {};

TEST_P(MainWindowKeys, OnlyEscapeEndsTheDialog)
{
    const KeyCase& row = GetParam();
    COrvexDlg& window = OpenWindow({});
    QWidget* focus = window.Item(row.focusId);
    focus->setFocus();
    QTest::keyClick(focus, row.key);
    EXPECT_EQ(!window.isVisible(), row.closes) << row.why;
    if (row.closes) {
        EXPECT_EQ(window.result(), row.result) << row.why;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, MainWindowKeys,
    ::testing::Values(
        KeyCase{"Enter in an edit keeps the window and its table", IDC_EDIT_COMPANY, Qt::Key_Return, false, 0},
        KeyCase{"Enter in the list keeps the window", IDC_LIST_DATA, Qt::Key_Enter, false, 0},
        KeyCase{"Escape ends the dialog as Cancel", IDC_EDIT_NOTE, Qt::Key_Escape, true, QDialog::Rejected},
        KeyCase{"Enter on a command button presses that button", IDC_BUTTON_HELP, Qt::Key_Return, false, 0}));

TEST_F(MainWindow, ExitButtonEndsTheDialog)
{
    COrvexDlg& window = OpenWindow({});
    window.Button(IDC_BUTTON_EXIT)->click();
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(window.result(), QDialog::Rejected);
}

TEST_F(MainWindow, HelpButtonAndF1OpenTheHelp)
{
    COrvexDlg& window = OpenWindow({});
    window.Button(IDC_BUTTON_HELP)->click();
    QTest::keyClick(&window, Qt::Key_F1);
    ASSERT_EQ(m_dialogs.openedUrls.size(), 2u);
    for (const QUrl& url : m_dialogs.openedUrls) {
        EXPECT_TRUE(url.isLocalFile());
        EXPECT_TRUE(QFileInfo::exists(url.toLocalFile())) << url.toString().toStdString();
    }
}

TEST_F(MainWindow, AboutEntryShowsTheAboutBox)
{
    COrvexDlg& window = OpenWindow({});
    EXPECT_EQ(window.AboutAction()->text(), QStringLiteral("&About Ombrel..."));
    window.AboutAction()->trigger();
    EXPECT_EQ(m_dialogs.aboutCount, 1);
}

TEST_F(MainWindow, DisablingAndEnablingLeaveTheFieldsAlone)
{
    COrvexDlg& window = OpenWindow({});
    window.Edit(IDC_EDIT_COMPANY)->setText(QStringLiteral("ACME Optics"));
    window.OnCountKnown(4);
    window.OnProgress(2);
    window.DisableButtons(1);
    EXPECT_EQ(EnabledButtons(), 0);
    EXPECT_TRUE(window.Edit(IDC_EDIT_COMPANY)->isEnabled()) << "only the seven command buttons";
    EXPECT_TRUE(window.List()->isEnabled());
    window.DisableButtons(0);
    EXPECT_EQ(EnabledButtons(), 7);
    EXPECT_EQ(window.Edit(IDC_EDIT_COMPANY)->text(), QStringLiteral("ACME Optics"));
    EXPECT_EQ(window.Progress()->value(), 2);
    EXPECT_EQ(window.Label(IDC_STATIC_RECEIVED)->text(), QStringLiteral("2"));
    EXPECT_EQ(window.Label(IDC_STATIC_TOTAL)->text(), QStringLiteral("4"));
}

} // namespace
