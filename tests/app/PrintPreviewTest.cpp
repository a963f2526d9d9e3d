// Print and Preview from the main window: the empty-table notices, the
// preview windows beside the main window, the print dialog, and the
// preview's Print that runs the window's own print path once.

#include "WindowFixture.h"

#include "PrintPreviewWindow.h"

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QPrintPreviewWidget>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTimer>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTemporaryDir>

namespace {

using PrintPreview = WindowTest;

// What a host program (pdftotext, pdfinfo) prints about a PDF file.
QString HostToolOutput(const QString& program, const QStringList& arguments)
{
    QProcess tool;
    tool.start(program, arguments);
    if (!tool.waitForFinished(60000) || tool.exitCode() != 0)
        return QStringLiteral("[%1 failed: %2]").arg(program, QString::fromLocal8Bit(tool.readAllStandardError()));
    return QString::fromUtf8(tool.readAllStandardOutput());
}

class PrintPreviewTest : public PrintPreview {
protected:
    COrvexDlg& WindowWithRows(int count)
    {
        COrvexDlg& window = OpenWindow({});
        window.OnRowsInserted(static_cast<unsigned>(count));
        for (int row = 0; row < count; ++row) {
            const std::string n = std::to_string(row + 1);
            window.OnRowTexts(row, RowTexts{{n, "1550 (nm)", "cell-p" + n, "cell-r" + n, "CW"}});
        }
        return window;
    }

    QTemporaryDir m_folder;
};

TEST_F(PrintPreviewTest, EmptyTableGivesTheNoticeAndNothingElse)
{
    struct Case { void (COrvexDlg::*press)(); const char* notice; };
    const Case cases[] = {{&COrvexDlg::OnButtonPreview, "     No data preview!          "},
                          {&COrvexDlg::OnButtonPrint, "     No data print!          "}};
    for (const Case& c : cases) {
        COrvexDlg& window = OpenWindow({});
        window.DisableButtons(1);   // the notice leaves all seven enabled, whatever they were
        (window.*c.press)();
        EXPECT_EQ(m_dialogs.asked, QStringList{QString::fromLatin1(c.notice)}) << "no print dialog, exact blanks";
        EXPECT_EQ(m_dialogs.lastCaption, QStringLiteral("Information"));
        EXPECT_EQ(EnabledButtons(), 7);
        EXPECT_TRUE(window.Previews().empty());
    }
}

TEST_F(PrintPreviewTest, EachPreviewIsAMaximisedWindowBesideTheMainWindowRedrawnOnEdits)
{
    COrvexDlg& window = WindowWithRows(120);
    window.Button(IDC_BUTTON_PREVIEW)->click();
    window.Button(IDC_BUTTON_PREVIEW)->click();
    ASSERT_EQ(window.Previews().size(), 2u) << "each click opens its own window";

    for (CPrintPreviewWindow* preview : window.Previews()) {
        EXPECT_EQ(preview->windowTitle(), QStringLiteral("Print Preview"));
        EXPECT_TRUE(preview->windowState() & Qt::WindowMaximized);
        EXPECT_EQ(preview->parentWidget(), nullptr) << "a window of its own, not owned by the main window";
        ASSERT_TRUE(ProcessEventsUntil([&] { return preview->PageCount() > 0; }));
    }
    EXPECT_TRUE(window.isVisible());
    EXPECT_TRUE(window.isEnabled());
    EXPECT_EQ(EnabledButtons(), 7);
    EXPECT_TRUE(m_dialogs.asked.isEmpty());

    // An edit of the header redraws every open preview.
    QSignalSpy first(window.Previews().front()->Preview(), &QPrintPreviewWidget::paintRequested);
    QSignalSpy second(window.Previews().back()->Preview(), &QPrintPreviewWidget::paintRequested);
    window.Edit(IDC_EDIT_NOTE)->setText(QStringLiteral("span 7"));
    EXPECT_TRUE(ProcessEventsUntil([&] { return !first.isEmpty() && !second.isEmpty(); }));

    window.close();
    EXPECT_TRUE(window.Previews().empty()) << "closing the main window closes every preview";
}

// The page box follows every navigation command; the preview's Print closes
// the preview first, then runs the window's own print path once.
TEST_F(PrintPreviewTest, PageBoxFollowsEveryNavigationCommandAndPrintClosesThePreviewThenPrintsOnce)
{
    COrvexDlg& window = WindowWithRows(300);
    window.OnButtonPreview();
    QPointer<CPrintPreviewWindow> preview = window.Previews().front();
    ASSERT_TRUE(ProcessEventsUntil([&] { return preview->PageCount() > 2; }));
    const int last = preview->PageCount();
    const struct { const char* command; int page; } steps[] = {
        {"Last", last}, {"Previous", last - 1}, {"First", 1}, {"Next", 2}};
    for (const auto& step : steps) {
        const QList<QAction*> actions = preview->findChildren<QAction*>();
        const auto action = std::ranges::find(actions, QString::fromLatin1(step.command), &QAction::text);
        ASSERT_NE(action, actions.end()) << step.command;
        (*action)->trigger();
        EXPECT_EQ(preview->Preview()->currentPage(), step.page) << step.command;
        EXPECT_EQ(preview->PageBox()->value(), step.page) << step.command << ": the box shows the page shown";
    }
    // A landscape page holds fewer rows: the preview counts its pages from the page it draws on.
    preview->Preview()->setLandscapeOrientation();
    EXPECT_GT(preview->PageCount(), last);

    m_dialogs.printTo = m_folder.filePath(QStringLiteral("from-preview.pdf"));
    m_dialogs.onAsk = [&] { EXPECT_TRUE(preview.isNull()) << "the preview closed before the print dialog"; };
    preview->PrintAction()->trigger();
    preview->PrintAction()->trigger();   // a second click before it closes changes nothing
    ASSERT_TRUE(ProcessEventsUntil([&] { return m_dialogs.asked.contains(QStringLiteral("[print dialog]")); }));
    QCoreApplication::processEvents();
    EXPECT_EQ(m_dialogs.asked, QStringList{"[print dialog]"});
    EXPECT_TRUE(window.Previews().empty());
    EXPECT_TRUE(QFileInfo(m_dialogs.printTo).size() > 0);
    m_dialogs.onAsk = nullptr;
}

TEST_F(PrintPreviewTest, PrintDialogDecidesWhetherAnythingPrints)
{
    COrvexDlg& window = WindowWithRows(60);
    window.Edit(IDC_EDIT_COMPANY)->setText(QStringLiteral("Acme Fibre 光纤测试"));   // nothing typed goes missing
    const QString pdf = m_folder.filePath(QStringLiteral("printed.pdf"));

    window.Button(IDC_BUTTON_PRINT)->click();   // cancelled
    EXPECT_EQ(m_dialogs.asked, QStringList{"[print dialog]"});
    EXPECT_FALSE(QFileInfo::exists(pdf));

    m_dialogs.printTo = pdf;
    window.Button(IDC_BUTTON_PRINT)->click();
    EXPECT_EQ(m_dialogs.asked, (QStringList{"[print dialog]", "[print dialog]"})) << "no message: it printed";
    const QString text = HostToolOutput("pdftotext", {"-layout", pdf, "-"});
    EXPECT_TRUE(text.contains(QStringLiteral("Data Report"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("Company Name:   Acme Fibre 光纤测试"))) << text.toStdString();
    for (const char* cell : {"cell-p1", "cell-r1", "cell-p60", "cell-r60"})
        EXPECT_TRUE(text.contains(QLatin1String(cell))) << cell;
    EXPECT_EQ(EnabledButtons(), 7);
    EXPECT_TRUE(HostToolOutput("pdfinfo", {pdf})
                    .contains(QRegularExpression(QStringLiteral("(^|\n)Title: +Data Report - Acme Fibre 光纤测试\n"))))
        << "the document is named after the report";

    // A job the printer does not take is told, never taken for printed.
    m_dialogs.printTo = m_folder.filePath(QStringLiteral("missing/printed.pdf"));
    window.Button(IDC_BUTTON_PRINT)->click();
    ASSERT_EQ(m_dialogs.asked.size(), 4);
    EXPECT_TRUE(m_dialogs.asked.back().startsWith(QStringLiteral("The report was not printed: "))) << m_dialogs.asked.back().toStdString();
}

TEST(PrintDialog, PrintToFileProposesDataReportInTheDocumentsFolder)
{
    CQtOperatorDialogs dialogs;
    QPrinter printer(QPrinter::HighResolution);
    QString proposed = QStringLiteral("[no print dialog]");
    QTimer::singleShot(0, [&proposed] {
        QWidget* dialog = QApplication::activeModalWidget();
        if (dialog == nullptr)
            return;
        if (auto* file = dialog->findChild<QLineEdit*>(QStringLiteral("filename")))
            proposed = file->text();
        dialog->close();
    });
    EXPECT_FALSE(dialogs.SetUpPrint(nullptr, printer));
    EXPECT_EQ(proposed, QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation) + "/Data Report.pdf");
}

} // namespace
