// Help always opens: through the desktop when it can, else in the built-in
// help window; and the message box whose details Return must not open.

#include "HelpWindow.h"
#include "WindowFixture.h"

#include <QApplication>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QTextEdit>
#include <QTimer>
#include <QToolButton>

#include <optional>

namespace {

using Help = WindowTest;

TEST_F(Help, TheBuiltInWindowOpensOnlyWhenTheDesktopCannotAndWalksItsHistory)
{
    for (const bool desktopOpens : {true, false}) {
        m_dialogs.desktopOpensHelp = desktopOpens;
        COrvexDlg& window = OpenWindow({});
        window.Button(IDC_BUTTON_HELP)->click();
        EXPECT_EQ(m_dialogs.asked, QStringList{"[help]"}) << "the desktop is always asked first";
        const CHelpWindow* help = window.HelpWindow();
        EXPECT_EQ(help != nullptr && help->isVisible(), !desktopOpens) << "desktop opens: " << desktopOpens;
    }
    CHelpWindow* help = m_window->HelpWindow();
    ASSERT_NE(help, nullptr);
    EXPECT_EQ(help->windowTitle(), QStringLiteral("Ombrel V10.1 Help"));
    EXPECT_TRUE(help->Browser()->toPlainText().contains(QStringLiteral("Connecting the meter")));
    EXPECT_TRUE(m_window->isEnabled()) << "the help window does not hold the main window";

    QTextBrowser* browser = help->Browser();
    const QUrl home = CHelpWindow::HomePage();
    const QUrl messages = home.resolved(QUrl(QStringLiteral("#messages")));
    browser->setSource(messages);
    const struct { const char* why; QToolButton* button; QUrl source; bool back, forward; } steps[] = {
        {"back to the first page", help->BackButton(), home, false, true},
        {"forward to the messages again", help->ForwardButton(), messages, true, false},
        {"home from anywhere", help->HomeButton(), home, true, false},
    };
    for (const auto& step : steps) {
        step.button->click();
        EXPECT_EQ(browser->source(), step.source) << step.why;
        EXPECT_EQ(help->BackButton()->isEnabled(), step.back) << step.why;
        EXPECT_EQ(help->ForwardButton()->isEnabled(), step.forward) << step.why;
    }

    QTest::keyClick(m_window->Item(IDC_EDIT_NOTE), Qt::Key_F1);
    EXPECT_EQ(m_window->HelpWindow(), help) << "F1 shows the same window again";
    QTest::keyClick(help->Browser(), Qt::Key_Escape);
    EXPECT_FALSE(help->isVisible()) << "Escape closes it";
    EXPECT_TRUE(m_window->isVisible()) << "and only it";
}

// A stand-in for the desktop's opener, first on PATH for the length of a test.
class CStandInOpener {
public:
    // `script` is the body of the stand-in; without one there is no opener at all.
    explicit CStandInOpener(const QString& script = {}) : m_path(qgetenv("PATH"))
    {
        if (!script.isEmpty()) {
            QFile file(m_dir.filePath(QStringLiteral("xdg-open")));
            EXPECT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(("#!/bin/sh\n" + script + "\n").toUtf8());
            file.close();
            file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        }
        // Without a stand-in, the opener's folders leave PATH altogether.
        qputenv("PATH", script.isEmpty() ? m_dir.path().toUtf8() : m_dir.path().toUtf8() + ':' + m_path);
    }
    ~CStandInOpener() { qputenv("PATH", m_path); }
    QString FilePath(const QString& name) const { return m_dir.filePath(name); }

private:
    QTemporaryDir m_dir;
    QByteArray m_path;
};

TEST(DesktopOpener, TheOpenersExitStatusIsTheVerdict)
{
    const struct { const char* why; QString script; bool opened; } rows[] = {
        {"the opener found a viewer", QStringLiteral("exit 0"), true},
        {"the viewer failed", QStringLiteral("exit 4"), false},
        {"no opener installed", QString(), false},
    };
    for (const auto& row : rows) {
        CStandInOpener opener(row.script);
        CQtOperatorDialogs dialogs;
        QObject context;
        std::optional<bool> verdict;
        dialogs.OpenUrl(&context, QUrl::fromLocalFile(QStringLiteral("/tmp/help.html")),
                        [&](bool opened) { verdict = opened; });
        EXPECT_TRUE(ProcessEventsUntil([&] { return verdict.has_value(); })) << row.why;
        EXPECT_EQ(verdict, row.opened) << row.why;
    }
}

TEST(DesktopOpener, TheWindowGoesOnWhileTheOpenerRunsAndShowsTheHelpWhenItFails)
{
    // The stand-in waits for the test's word (20 s at most), then fails as a bare desktop
    // does: exit 3, no method available.
    CStandInOpener opener(QStringLiteral("i=0; while [ ! -e \"$(dirname \"$0\")/go\" ] && [ $i -lt 1000 ]; do "
                                         "sleep 0.02; i=$((i + 1)); done; exit 3"));
    CQtOperatorDialogs dialogs;
    COrvexDlg window(dialogs, [] { return std::vector<std::string>{}; });
    window.show();
    window.Button(IDC_BUTTON_HELP)->click();
    EXPECT_EQ(window.HelpWindow(), nullptr) << "the verdict is not in yet";
    EXPECT_TRUE(window.Button(IDC_BUTTON_UPLOAD)->isEnabled()) << "nothing waits for the opener";

    QFile(opener.FilePath(QStringLiteral("go"))).open(QIODevice::WriteOnly);
    EXPECT_TRUE(ProcessEventsUntil([&] { return window.HelpWindow() != nullptr && window.HelpWindow()->isVisible(); }));
}

TEST(OperatorMessage, ReturnAnswersTheBoxAndNeverOpensItsDetails)
{
    for (const bool focusOnDetails : {false, true}) {
        CQtOperatorDialogs dialogs;
        bool closed = false, detailsShown = true;
        // Ends a box the test could not answer, so a failure cannot hang the run.
        const QObject guard;
        QTimer::singleShot(10000, &guard, [] {
            if (QWidget* box = QApplication::activeModalWidget())
                box->close();
        });
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            QAbstractButton* details = nullptr;
            for (QAbstractButton* button : box->buttons())
                if (box->buttonRole(button) == QMessageBox::ActionRole)
                    details = button;
            ASSERT_NE(details, nullptr) << "a box with details has a Show Details button";
            QAbstractButton* focus = focusOnDetails ? details : box->button(QMessageBox::Ok);
            focus->setFocus();
            QTest::keyClick(focus, Qt::Key_Return);
            closed = !box->isVisible();
            const auto* text = box->findChild<QTextEdit*>();
            detailsShown = text != nullptr && text->isVisible();
        });
        dialogs.ShowMessage(nullptr, QStringLiteral("ombrel"), QStringLiteral("No meter answered."),
                            QStringLiteral("/dev/ttyUSB0: busy"));
        EXPECT_TRUE(closed) << "focus on Show Details: " << focusOnDetails;
        EXPECT_FALSE(detailsShown) << "focus on Show Details: " << focusOnDetails;
    }
}

} // namespace
