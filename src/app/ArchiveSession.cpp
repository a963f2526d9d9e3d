#include "ArchiveSession.h"

#include "ArchiveLocation.h"
#include "BuildVersion.h"
#include "EvaluationWindow.h"
#include "HistoryWindow.h"
#include "OperatorDialogs.h"
#include "OrvexDlg.h"
#include "StatusBarCtrl.h"

#include <QDir>
#include <QStandardPaths>

#include <ctime>

namespace {

// How long Clear waits for the latest rows to reach the disk before it refuses.
constexpr std::chrono::seconds kClearWaitForArchive{2};

std::string DataFolderArchive()
{
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (data.isEmpty())
        return {};
    return QDir::toNativeSeparators(data + QStringLiteral("/Ombrel/") + QString::fromLatin1(kArchiveFileName))
        .toStdString();
}

} // namespace

CArchiveSession::CArchiveSession(COrvexDlg& window, IOperatorDialogs& dialogs, CArchiveFeed& feed)
    : QObject(&window), m_window(window), m_dialogs(dialogs), m_feed(feed),
      m_path(ResolveArchivePath(std::nullopt, DataFolderArchive()))
{
}

CArchiveSession::~CArchiveSession()
{
    m_feed.SetWriter(nullptr);
    m_writer.reset();   // its last status calls come before this object goes
}

void CArchiveSession::SetPath(const std::string& path)
{
    m_path = path;
    m_feed.SetWriter(nullptr);
    m_writer.reset();
    m_reader.reset();
}

void CArchiveSession::EnsureWriter()
{
    if (m_writer || m_path.empty())
        return;
    // Status changes come on the writer's thread; the window takes them on its own.
    m_writer = std::make_unique<CArchiveWriter>(
        m_path, std::string(kProductVersion) + " (" + kBuildVersion + ")", [this](const ArchiveWriterStatus& status) {
            QMetaObject::invokeMethod(this, [this, status] { OnStatus(status); }, Qt::QueuedConnection);
        });
}

void CArchiveSession::BeforeUpload(const ReportHeader& header)
{
    EnsureWriter();
    m_feed.SetWriter(m_writer.get());
    m_feed.SetHeader(header);
    m_uploadEnded = false;
    m_openedUpload = 0;   // the table is emptied for the new upload
}

void CArchiveSession::OnUploadFinished(bool recordsRead, const ReportHeader& header)
{
    if (!recordsRead)
        return;
    m_uploadRead = true;
    m_uploadEnded = true;
    m_endReported = false;
    m_savedSinceUpload = false;
    m_latestDeleted = false;
    m_openedUpload = 0;
    // The status texts are final only now.
    if (m_writer) {
        m_writer->UpdateHeader(header);
        // Evaluated while it was read: kept with it, as is every later change.
        if (m_window.Evaluation()->Used())
            StoreEvaluation(m_window.Evaluation()->Settings());
        ReportEndIfKnown();
    } else {
        m_dialogs.ShowMessage(&m_window, ApplicationName(),
                              QStringLiteral("The upload was not archived: no folder for the archive is known. "
                                             "Save the table before you clear the meter."),
                              {});
    }
}

void CArchiveSession::NoteReportWritten(const ReportHeader& header, bool saved)
{
    if (m_openedUpload != 0) {
        EnsureWriter();
        if (m_writer)
            m_writer->UpdateHeader(header, m_openedUpload);
        return;
    }
    if (!m_uploadRead)
        return;
    if (saved)
        m_savedSinceUpload = true;
    if (m_writer)
        m_writer->UpdateHeader(header);
}

bool CArchiveSession::ClearAllowed()
{
    if (!m_uploadRead || m_savedSinceUpload)
        return true;
    std::string why = "no archive is kept";
    if (m_latestDeleted) {
        why = "it was deleted from the archive";
    } else if (m_writer) {
        if (!m_writer->WaitUntilWritten(kClearWaitForArchive))
            why = "its last rows are still being written";
        const ArchiveWriterStatus status = m_writer->Status();
        if (status.Safe())
            return true;
        if (status.failed)
            why = status.reason;
    }
    m_dialogs.ShowMessage(&m_window, ApplicationName(),
                          QStringLiteral("The latest upload is not safely in the archive (%1). Save it first, "
                                         "then clear the meter.")
                              .arg(QString::fromStdString(why)),
                          {});
    return false;
}

void CArchiveSession::StoreEvaluation(const StoredEvaluation& evaluation)
{
    // 0: the latest upload begun on the writer, whose ID it may not have told yet.
    const std::int64_t id = m_openedUpload;
    if (id == 0 && (!m_uploadRead || m_latestDeleted))
        return;
    EnsureWriter();
    // An upload the archive could not take has been said so already.
    if (!m_writer || (id == 0 && m_writer->Status().failed))
        return;
    const StoredEvaluationTexts texts = StoredEvaluationTextsOf(evaluation.set, evaluation.parameters);
    m_writer->StoreEvaluation({texts.parameters, texts.limitSet, texts.labels, std::time(nullptr)}, id);
}

void CArchiveSession::OnStatus(const ArchiveWriterStatus& status)
{
    if (!status.notice.empty())
        ShowNotice(status.notice);
    if (!status.evaluationNotStored.empty())
        ShowNotice("The evaluation was not stored with the upload: " + status.evaluationNotStored + ".");
    ReportEndIfKnown();
}

// Once both the transfer and the writer are done with an upload, whichever
// comes last: an archive that failed it is said, never silent.
void CArchiveSession::ReportEndIfKnown()
{
    if (!m_uploadEnded || m_endReported || !m_writer)
        return;
    const ArchiveWriterStatus status = m_writer->Status();
    if (!status.finished)
        return;
    m_endReported = true;
    if (status.failed) {
        m_window.StatusBar()->SetText(0, QStringLiteral("Over, archive incomplete"));
        m_dialogs.ShowMessage(&m_window, ApplicationName(),
                              QStringLiteral("The archive is incomplete: %1. The table is intact: save it before you "
                                             "clear the meter.")
                                  .arg(QString::fromStdString(status.reason)),
                              QString::fromStdString(m_path));
    }
    emit UploadArchived();
}

void CArchiveSession::ShowNotice(const std::string& notice)
{
    if (notice == m_noticeShown)
        return;
    m_noticeShown = notice;
    m_dialogs.ShowMessage(&m_window, ApplicationName(), QString::fromStdString(notice), {});
}

CArchive* CArchiveSession::Reader()
{
    if (m_path.empty())
        return nullptr;
    if (!m_reader) {
        auto reader = std::make_unique<CArchive>();
        const ArchiveOpenResult opened = reader->Open(m_path);
        if (!opened.notice.empty())
            ShowNotice(opened.notice);
        if (!opened.ok)
            return nullptr;
        m_reader = std::move(reader);
    }
    return m_reader.get();
}

CHistoryWindow* CArchiveSession::History() const
{
    return m_history;
}

void CArchiveSession::ShowHistory()
{
    if (m_history == nullptr) {
        m_history = new CHistoryWindow(*this, m_dialogs, &m_window);
        connect(this, &CArchiveSession::UploadArchived, m_history, &CHistoryWindow::Refresh);
    }
    m_history->Refresh();
    m_history->show();
    m_history->raise();
    m_history->activateWindow();
}

bool CArchiveSession::OpenUpload(std::int64_t id)
{
    CArchive* archive = Reader();
    if (archive == nullptr)
        return false;
    if (m_window.Link().IsBusy()) {
        m_dialogs.ShowMessage(m_history, ApplicationName(),
                              QStringLiteral("An upload is running: open the archived one when it has ended."), {});
        return false;
    }
    const std::optional<ArchivedUpload> upload = archive->LoadUpload(id);
    if (!upload) {
        m_dialogs.ShowMessage(m_history, ApplicationName(),
                              QStringLiteral("The upload cannot be opened: %1")
                                  .arg(QString::fromStdString(archive->LastError())),
                              {});
        return false;
    }
    m_window.ShowUpload(upload->info.header, upload->rows);
    m_openedUpload = id;
    // Judged from the records as read, with what it was last evaluated with.
    std::vector<std::optional<MeterRecord>> records(upload->records.size());
    for (std::size_t i = 0; i < records.size(); ++i) {
        if (i >= upload->unread.size() || !upload->unread[i])
            records[i] = upload->records[i];
    }
    std::optional<StoredEvaluation> stored;
    if (upload->evaluation) {
        const auto& [parameters, limitSet, labels, savedAt] = *upload->evaluation;
        const StoredEvaluationRead read = ReadStoredEvaluation({parameters, limitSet, labels});
        if (read.ok())
            stored = read.evaluation;
        else
            m_dialogs.ShowMessage(m_history, ApplicationName(),
                                  QStringLiteral("The evaluation stored with upload %1 cannot be read (%2). The "
                                                 "Evaluation window keeps its own parameters.")
                                      .arg(id)
                                      .arg(QString::fromStdString(read.error)),
                                  {});
    }
    m_window.Evaluation()->ShowArchived(QStringLiteral("upload %1").arg(id), records, stored);
    return true;
}

void CArchiveSession::NoteDeleted(std::int64_t id)
{
    if (id == m_openedUpload)
        m_openedUpload = 0;
    else if (m_uploadRead && m_writer && id == m_writer->Status().uploadId)
        m_latestDeleted = true;
}

std::int64_t CArchiveSession::ShownUpload() const
{
    if (m_openedUpload != 0)
        return m_openedUpload;
    return m_writer && m_uploadRead ? m_writer->Status().uploadId : 0;
}
