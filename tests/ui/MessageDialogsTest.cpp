// The clear confirmation, the clear notice and the About box.

#include "MessageDialogs.h"
#include "QtWait.h"

#include <QLabel>
#include <QPushButton>

#include <gtest/gtest.h>

#include <vector>

namespace {

enum class Answer { Ok, Cancel, Escape, Enter, CloseBox };

// Shows the dialog the way DoModal does (without blocking) and answers it.
void AnswerOnce(CTemplateDialog& dialog, Answer answer)
{
    dialog.show();
    ASSERT_TRUE(ProcessEventsUntil([&] { return dialog.isVisible(); }));
    if (answer == Answer::Ok || answer == Answer::Cancel)
        static_cast<QPushButton*>(dialog.Item(answer == Answer::Ok ? IDOK : IDCANCEL))->click();
    else if (answer == Answer::CloseBox)
        dialog.close();
    else
        QTest::keyClick(&dialog, answer == Answer::Escape ? Qt::Key_Escape : Qt::Key_Return);
    EXPECT_FALSE(dialog.isVisible()) << "every answer ends the dialog";
}

TEST(ConfirmClear, FlagHoldsTheLatestAnswer)
{
    struct Row { const char* why; std::vector<Answer> answers; int confirm; };   // answers: one per Clear run
    const Row rows[] = {{"OK confirms", {Answer::Ok}, 1},
                        {"Cancel refuses", {Answer::Cancel}, 0},
                        {"Escape refuses", {Answer::Escape}, 0},
                        {"the close box refuses", {Answer::CloseBox}, 0},
                        {"Enter presses the default OK", {Answer::Enter}, 1},
                        {"OK twice, then Cancel: the third run sees 0", {Answer::Ok, Answer::Ok, Answer::Cancel}, 0},
                        {"a refusal does not stick", {Answer::Cancel, Answer::Ok}, 1}};
    for (const Row& row : rows) {
        CDlgMessage dialog;   // the same member dialog for every run of a row
        for (const Answer answer : row.answers)
            AnswerOnce(dialog, answer);
        EXPECT_EQ(dialog.Confirm(), row.confirm) << row.why;
    }
}

// Title, each label's text ("[icon]" for a picture), each button ("[OK]" when default).
QStringList Contents(const QDialog& dialog)
{
    QStringList shown{dialog.windowTitle()};
    for (const QLabel* label : dialog.findChildren<QLabel*>())
        shown << (label->pixmap().isNull() ? label->text() : QStringLiteral("[icon]"));
    for (const QPushButton* button : dialog.findChildren<QPushButton*>())
        shown << (button->isDefault() ? '[' + button->text() + ']' : button->text());
    return shown;
}

// Licences... asks for the notices and leaves the About box open.
TEST(SmallDialogs, ShowExactlyTheirContentsAndAboutAsksForTheLicences)
{
    CAboutDlg about;
    EXPECT_EQ(Contents(about), (QStringList{"About Ombrel", "[icon]", "VXN7D52 V10.1 Ombrel", "[OK]", "Licences..."}));
    EXPECT_EQ(Contents(CDlgMessage()), (QStringList{"Message", "Are you sure to clear the data?", "[OK]", "Cancel"}));
    EXPECT_EQ(Contents(CDlgClearDataOk()), (QStringList{"Message", "Clear data successful!", "[icon]", "[OK]"}));

    int asked = 0;
    QObject::connect(&about, &CAboutDlg::LicencesRequested, [&] { ++asked; });
    about.show();
    ASSERT_TRUE(ProcessEventsUntil([&] { return about.isVisible(); }));
    static_cast<QPushButton*>(about.Item(IDC_BUTTON_LICENCES))->click();
    EXPECT_EQ(asked, 1);
    EXPECT_TRUE(about.isVisible());
    static_cast<QPushButton*>(about.Item(IDOK))->click();
    EXPECT_FALSE(about.isVisible());
}

} // namespace
