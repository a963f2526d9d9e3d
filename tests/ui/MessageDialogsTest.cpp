// The clear confirmation, the clear notice and the About box.

#include "MessageDialogs.h"
#include "QtWait.h"

#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

enum class Answer { Ok, Cancel, Escape, Enter, CloseBox };

// Shows the dialog the way DoModal does (without blocking) and answers it.
void AnswerOnce(CTemplateDialog& dialog, Answer answer)
{
    dialog.show();
    ASSERT_TRUE(ProcessEventsUntil([&] { return dialog.isVisible(); }));
    switch (answer) {
    case Answer::Ok:
        static_cast<QPushButton*>(dialog.Item(IDOK))->click();
        break;
    case Answer::Cancel:
        static_cast<QPushButton*>(dialog.Item(IDCANCEL))->click();
        break;
    case Answer::Escape:
        QTest::keyClick(&dialog, Qt::Key_Escape);
        break;
    case Answer::Enter:
        QTest::keyClick(&dialog, Qt::Key_Return);
        break;
    case Answer::CloseBox:
        dialog.close();
        break;
    }
    EXPECT_FALSE(dialog.isVisible()) << "every answer ends the dialog";
}

struct ConfirmCase {
    const char* why;
    std::vector<Answer> answers;   // one per Clear run, on the same member dialog
    int expectedConfirm;
};

void PrintTo(const ConfirmCase& row, std::ostream* os) { *os << row.why; }

class ConfirmFlagTest : public ::testing::TestWithParam<ConfirmCase> {};

TEST_P(ConfirmFlagTest, HoldsTheLatestAnswer)
{
    const ConfirmCase& row = GetParam();
    CDlgMessage dialog;
    for (const Answer answer : row.answers)
        AnswerOnce(dialog, answer);
    EXPECT_EQ(dialog.Confirm(), row.expectedConfirm) << row.why;
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ConfirmFlagTest,
    ::testing::Values(ConfirmCase{"OK confirms", {Answer::Ok}, 1},
                      ConfirmCase{"Cancel refuses", {Answer::Cancel}, 0},
                      ConfirmCase{"Escape refuses", {Answer::Escape}, 0},
                      ConfirmCase{"the close box refuses", {Answer::CloseBox}, 0},
                      ConfirmCase{"Enter presses the default OK", {Answer::Enter}, 1},
                      ConfirmCase{"OK twice, then Cancel: the third run sees 0",
                                  {Answer::Ok, Answer::Ok, Answer::Cancel}, 0},
                      ConfirmCase{"a refusal does not stick", {Answer::Cancel, Answer::Ok}, 1}));

TEST(ConfirmClear, ShowsTheQuestionWithOkAndCancel)
{
    CDlgMessage dialog;
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Message"));
    const auto labels = dialog.findChildren<QLabel*>();
    ASSERT_EQ(labels.size(), 1);
    EXPECT_EQ(labels.front()->text(), QStringLiteral("Are you sure to clear the data?"));
    EXPECT_TRUE(static_cast<QPushButton*>(dialog.Item(IDOK))->isDefault());
    EXPECT_EQ(static_cast<QPushButton*>(dialog.Item(IDCANCEL))->text(), QStringLiteral("Cancel"));
}

TEST(ConfirmClear, DoModalReturnsOkAfterOk)
{
    CDlgMessage dialog;
    QTimer::singleShot(0, &dialog, [&] { static_cast<QPushButton*>(dialog.Item(IDOK))->click(); });
    EXPECT_EQ(dialog.DoModal(), IDOK);
    EXPECT_EQ(dialog.Confirm(), 1);
}

class ClearDoneCloseTest : public ::testing::TestWithParam<Answer> {};

TEST_P(ClearDoneCloseTest, EveryWayOfClosingEndsTheNotice)
{
    CDlgClearDataOk dialog;
    AnswerOnce(dialog, GetParam());
}

INSTANTIATE_TEST_SUITE_P(Rows, ClearDoneCloseTest,
                         ::testing::Values(Answer::Ok, Answer::Enter, Answer::Escape, Answer::CloseBox));

TEST(ClearDone, ShowsTheTickAndTheText)
{
    CDlgClearDataOk dialog;
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Message"));
    bool text = false;
    bool icon = false;
    for (const QLabel* label : dialog.findChildren<QLabel*>()) {
        text = text || label->text() == QStringLiteral("Clear data successful!");
        icon = icon || !label->pixmap().isNull();
    }
    EXPECT_TRUE(text);
    EXPECT_TRUE(icon) << "the green tick is compiled in";
}

TEST(AboutBox, ShowsExactlyIconProductLineAndOk)
{
    CAboutDlg dialog;
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("About Ombrel"));
    const auto labels = dialog.findChildren<QLabel*>();
    ASSERT_EQ(labels.size(), 2);
    QStringList texts;
    int icons = 0;
    for (const QLabel* label : labels) {
        if (!label->pixmap().isNull())
            ++icons;
        else
            texts << label->text();
    }
    EXPECT_EQ(icons, 1);
    EXPECT_EQ(texts, QStringList{QStringLiteral("VXN7D52 V10.1 Ombrel")});
    const auto buttons = dialog.findChildren<QPushButton*>();
    ASSERT_EQ(buttons.size(), 1);
    EXPECT_EQ(buttons.front()->text(), QStringLiteral("OK"));
    EXPECT_TRUE(buttons.front()->isDefault());
}

} // namespace
