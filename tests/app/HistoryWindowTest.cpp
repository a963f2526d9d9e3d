// The archive from the window: every upload kept by itself, the History
// window, opening and exporting past uploads, and Clear refused while the
// latest upload is not safe.

#include "Archive.h"
#include "ArchiveSession.h"
#include "HistoryWindow.h"
#include "SqliteDb.h"
#include "WindowFixture.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>

namespace {

class HistoryWindowTest : public WindowTest {
protected:
    CHistoryWindow* History() { return m_window->Archive().History(); }
    int Listed() { return History()->List()->model()->rowCount(); }

    // Uploads the meter's records and waits until the archive has them.
    void UploadAndArchive()
    {
        ASSERT_TRUE(Upload());
        ASSERT_TRUE(m_window->Archive().Writer()->WaitUntilWritten(std::chrono::seconds(30)));
        QCoreApplication::processEvents();
    }

    QString SaveAs(const QString& name)
    {
        m_dialogs.saveAs = m_archiveFolder.filePath(name);
        m_window->Button(IDC_BUTTON_SAVE)->click();
        return m_dialogs.saveAs;
    }
};

// Closing the window without saving loses nothing: the upload opened from
// History is saved byte for byte as the original Save wrote it.
TEST_F(HistoryWindowTest, OpenFillsTheTableAndSaveWritesTheSameBytes)
{
    CMeterSim& meter = StartMeter(GeneratedRecords(12));
    OpenWindow({meter.SlavePath()}, Pauses{});   // the meter's pace: the timer fills the status texts
    m_window->Edit(IDC_EDIT_COMPANY)->setText(QStringLiteral("Acme"));
    UploadAndArchive();
    m_window->Edit(IDC_EDIT_NOTE)->setText(QStringLiteral("edited after the upload"));
    const std::string original = ReadFile(SaveAs(QStringLiteral("original.csv")).toStdString());
    ASSERT_FALSE(original.empty());
    ASSERT_TRUE(m_window->Archive().Writer()->WaitUntilWritten(std::chrono::seconds(30)));

    m_window.reset();
    OpenWindow({}, kNoPauses);
    m_window->Archive().ShowHistory();
    ASSERT_EQ(Listed(), 1);
    History()->List()->selectRow(0);
    History()->OpenButton()->click();
    EXPECT_EQ(m_window->Rows().Rows(), DecodedRows(GeneratedRecords(12)));
    EXPECT_EQ(m_window->Edit(IDC_EDIT_NOTE)->text(), QStringLiteral("edited after the upload"));
    EXPECT_TRUE(Pane(1).startsWith(QStringLiteral("Date time: "))) << Pane(1).toStdString();
    EXPECT_EQ(ReadFile(SaveAs(QStringLiteral("reopened.csv")).toStdString()), original);

    m_dialogs.saveAs = m_archiveFolder.filePath(QStringLiteral("exported.csv"));
    History()->ExportButton()->click();
    EXPECT_EQ(ReadFile(m_dialogs.saveAs.toStdString()), original);
    EXPECT_EQ(meter.ExchangesServed(), 1 + 2 * 12) << "opening never talks to the meter";
}

// An archive that cannot be written: the upload goes on, the operator is
// told, and Clear waits for a Save.
TEST_F(HistoryWindowTest, ClearRefusedWhileTheUploadIsNotArchived)
{
    QFile blocker(m_archiveFolder.filePath(QStringLiteral("not a folder")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    qputenv("OMBREL_ARCHIVE", (blocker.fileName() + QStringLiteral("/archive.sqlite")).toUtf8());
    CMeterSim& meter = StartMeter(GeneratedRecords(3));
    OpenWindow({meter.SlavePath()}, kQuickClearPauses);
    ASSERT_TRUE(Upload());
    ASSERT_TRUE(ProcessEventsUntil([&] { return Pane(0) == QStringLiteral("Over, archive incomplete"); }));
    EXPECT_EQ(m_window->Rows().Rows(), DecodedRows(GeneratedRecords(3))) << "the table is intact";
    ASSERT_TRUE(ProcessEventsUntil([&] { return !m_dialogs.asked.isEmpty(); }));
    EXPECT_EQ(m_dialogs.asked.size(), 1) << m_dialogs.asked.join('|').toStdString();
    EXPECT_TRUE(m_dialogs.asked.last().startsWith(QStringLiteral("The archive is incomplete: ")))
        << m_dialogs.asked.last().toStdString();

    m_dialogs.asked.clear();
    m_window->Button(IDC_BUTTON_CLEAR)->click();
    ASSERT_EQ(m_dialogs.asked.size(), 1) << m_dialogs.asked.join('|').toStdString();
    EXPECT_TRUE(m_dialogs.asked[0].contains(QStringLiteral("not safely in the archive")));
    EXPECT_TRUE(m_dialogs.asked[0].contains(QStringLiteral("Save it first")));
    EXPECT_EQ(meter.EraseCount(), 0);

    SaveAs(QStringLiteral("saved.csv"));
    m_dialogs.asked.clear();
    m_dialogs.confirmAnswer = false;
    m_window->Button(IDC_BUTTON_CLEAR)->click();
    EXPECT_EQ(m_dialogs.asked, QStringList{QStringLiteral("[confirm]")}) << "saved: Clear goes on to ask";
}

TEST_F(HistoryWindowTest, DeletingTheShownUploadWarnsAndClearThenWaitsForASave)
{
    CMeterSim& meter = StartMeter(GeneratedRecords(2));
    OpenWindow({meter.SlavePath()}, kQuickClearPauses);
    UploadAndArchive();
    m_window->Archive().ShowHistory();
    ASSERT_EQ(Listed(), 1);
    History()->List()->selectRow(0);
    m_dialogs.asked.clear();
    m_dialogs.confirmAnswer = false;
    History()->DeleteButton()->click();
    EXPECT_EQ(Listed(), 1) << "not confirmed";
    ASSERT_EQ(m_dialogs.asked.size(), 1);
    EXPECT_TRUE(m_dialogs.asked[0].contains(QStringLiteral("the upload the main window shows")));

    m_dialogs.confirmAnswer = true;
    History()->DeleteButton()->click();
    EXPECT_EQ(Listed(), 0);
    EXPECT_EQ(m_window->Rows().rowCount(), 2) << "the table stays";
    m_dialogs.asked.clear();
    m_window->Button(IDC_BUTTON_CLEAR)->click();
    ASSERT_EQ(m_dialogs.asked.size(), 1);
    EXPECT_TRUE(m_dialogs.asked[0].contains(QStringLiteral("deleted from the archive")));
}

// Clear waits 2 s for the archive to take the latest upload. Another program
// holding the archive's write lock longer than that (the writer waits up to
// 5 s for it) keeps the meter's records: they are not yet safe anywhere.
TEST_F(HistoryWindowTest, ClearRefusedWhileTheArchiveIsStillWritingTheUpload)
{
    CMeterSim& meter = StartMeter(GeneratedRecords(3));
    OpenWindow({meter.SlavePath()}, kQuickClearPauses);
    UploadAndArchive();
    {
        CSqliteDb otherProgram(ArchivePath().toStdString(), SQLITE_OPEN_READWRITE);
        CTransaction writeLock(otherProgram);
        ASSERT_TRUE(Upload());
        m_dialogs.asked.clear();
        m_window->Button(IDC_BUTTON_CLEAR)->click();
        ASSERT_EQ(m_dialogs.asked.size(), 1) << m_dialogs.asked.join('|').toStdString();
        EXPECT_TRUE(m_dialogs.asked[0].contains(QStringLiteral("(its last rows are still being written)")))
            << m_dialogs.asked[0].toStdString();
        EXPECT_EQ(meter.EraseCount(), 0);
    }
    ASSERT_TRUE(m_window->Archive().Writer()->WaitUntilWritten(std::chrono::seconds(30)));
    m_dialogs.asked.clear();
    m_dialogs.confirmAnswer = false;
    m_window->Button(IDC_BUTTON_CLEAR)->click();
    EXPECT_EQ(m_dialogs.asked, QStringList{QStringLiteral("[confirm]")}) << "archived: Clear goes on to ask";
}

// Ctrl+H opens the History window beside the main window: the uploads
// newest first, found by any header text and bounded by dates.
TEST_F(HistoryWindowTest, OpensWithCtrlHToSearchAndFilterByDate)
{
    {
        CArchive archive;
        ASSERT_TRUE(archive.Open(ArchivePath().toStdString()).ok);
        // 2026-03-05 12:00 and 2026-11-25 12:00 local time, a user and a note to find.
        const std::pair<QDateTime, ReportHeader> uploads[] = {
            {QDateTime(QDate(2026, 3, 5), QTime(12, 0)), {"Acme", "Lee", "span A", "", ""}},
            {QDateTime(QDate(2026, 11, 25), QTime(12, 0)), {"Beta", "Kim", "span B", "", ""}},
        };
        for (const auto& [date, header] : uploads) {
            UploadInfo info;
            info.startedAt = date.toSecsSinceEpoch();
            info.header = header;
            ASSERT_TRUE(archive.BeginUpload(info));
        }
    }
    OpenWindow({});
    QTest::keyClick(m_window->List(), Qt::Key_H, Qt::ControlModifier);   // from anywhere in it
    ASSERT_NE(History(), nullptr);
    EXPECT_TRUE(ProcessEventsUntil([&] { return History()->isVisible(); }));
    EXPECT_FALSE(History()->isModal());
    EXPECT_EQ(Listed(), 2);
    EXPECT_EQ(History()->List()->model()->index(0, HIST_COMPANY).data().toString(), QStringLiteral("Beta"));

    History()->Search()->setText(QStringLiteral("lee"));
    ASSERT_EQ(Listed(), 1);
    EXPECT_EQ(History()->List()->model()->index(0, HIST_COMPANY).data().toString(), QStringLiteral("Acme"));
    History()->Search()->setText(QStringLiteral("span"));
    EXPECT_EQ(Listed(), 2);

    History()->From()->setDate(QDate(2026, 11, 25));
    History()->Until()->setDate(QDate(2026, 11, 25));
    History()->DateFilter()->setChecked(true);
    ASSERT_EQ(Listed(), 1);
    EXPECT_EQ(History()->List()->model()->index(0, HIST_COMPANY).data().toString(), QStringLiteral("Beta"));
}

} // namespace
