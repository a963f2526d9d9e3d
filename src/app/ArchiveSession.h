#pragma once
// The window's side of the archive: where it is, the writer that takes every
// upload as it is read, the History window, and whether the latest upload is
// safe enough in the archive for the meter to be cleared.

#include "ArchiveFeed.h"
#include "ArchiveWriter.h"
#include "StoredEvaluation.h"

#include <QObject>
#include <QPointer>

#include <memory>
#include <optional>
#include <string>

class COrvexDlg;
class CHistoryWindow;
class IOperatorDialogs;

class CArchiveSession : public QObject {
    Q_OBJECT

public:
    // The archive named by OMBREL_ARCHIVE, else the one in the user's data folder.
    CArchiveSession(COrvexDlg& window, IOperatorDialogs& dialogs, CArchiveFeed& feed);
    ~CArchiveSession() override;   // the writer commits what it holds first

    void SetPath(const std::string& path);   // --archive; before the first upload
    const std::string& Path() const { return m_path; }
    CArchiveWriter* Writer() { return m_writer.get(); }

    // Around an upload, from the window: the header it starts with, how it ended.
    void BeforeUpload(const ReportHeader& header);
    void OnUploadFinished(bool recordsRead, const ReportHeader& header);
    // A report of the table was saved or printed with these header fields.
    void NoteReportWritten(const ReportHeader& header, bool saved);
    // Clear may go on: the latest upload is in the archive, or saved. Says why not.
    bool ClearAllowed();
    // Keeps what the table's upload is evaluated with beside it in the
    // archive, written by the writer's thread: an upload opened from the
    // History, else the latest read in this window.
    void StoreEvaluation(const StoredEvaluation& evaluation);

    void ShowHistory();
    CHistoryWindow* History() const;   // nullptr until first shown
    // Fills the window's table from the archive; false (and said why) when it cannot.
    bool OpenUpload(std::int64_t id);
    void NoteDeleted(std::int64_t id);   // deleted from the archive in the History window
    // The archived upload the window's table shows, 0 for none.
    std::int64_t ShownUpload() const;
    // The archive as the History window reads it; nullptr when it cannot be opened.
    CArchive* Reader();

signals:
    void UploadArchived();   // an upload's last commit is done

private:
    void EnsureWriter();
    void OnStatus(const ArchiveWriterStatus& status);
    void ReportEndIfKnown();
    void ShowNotice(const std::string& notice);

    COrvexDlg& m_window;
    IOperatorDialogs& m_dialogs;
    CArchiveFeed& m_feed;
    std::string m_path;
    std::unique_ptr<CArchiveWriter> m_writer;
    std::unique_ptr<CArchive> m_reader;
    QPointer<CHistoryWindow> m_history;
    std::string m_noticeShown;
    bool m_uploadRead = false;         // an upload in this window read records
    bool m_uploadEnded = false;        // ...and has ended: its end is reported once known
    bool m_endReported = false;
    bool m_savedSinceUpload = false;
    bool m_latestDeleted = false;      // the latest upload was deleted from the archive
    std::int64_t m_openedUpload = 0;   // the table shows this archived upload, not the latest
};
