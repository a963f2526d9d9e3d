#include "HistoryWindow.h"

#include "Archive.h"
#include "ArchiveSession.h"
#include "CsvReport.h"
#include "OperatorDialogs.h"
#include "StatusTexts.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QDateTime>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QStandardItemModel>
#include <QTableView>
#include <QVBoxLayout>

namespace {

constexpr int kIdRole = Qt::UserRole + 1;

QString DateText(std::int64_t seconds)
{
    return QDateTime::fromSecsSinceEpoch(seconds).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QStandardItem* Cell(const QString& text, Qt::Alignment alignment = Qt::AlignLeft)
{
    auto* item = new QStandardItem(text);
    item->setEditable(false);
    item->setTextAlignment(alignment | Qt::AlignVCenter);
    return item;
}

} // namespace

CHistoryWindow::CHistoryWindow(CArchiveSession& session, IOperatorDialogs& dialogs, QWidget* parent)
    : QWidget(parent, Qt::Window), m_session(session), m_dialogs(dialogs)
{
    setWindowTitle(QStringLiteral("History"));
    resize(760, 420);

    m_search = new QLineEdit(this);
    m_search->setPlaceholderText(QStringLiteral("Search company, user and note"));
    m_search->setClearButtonEnabled(true);
    m_dateFilter = new QCheckBox(QStringLiteral("&From"), this);
    m_from = new QDateEdit(QDate::currentDate().addMonths(-1), this);
    m_until = new QDateEdit(QDate::currentDate(), this);
    for (QDateEdit* date : {m_from, m_until}) {
        date->setCalendarPopup(true);
        date->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
        date->setEnabled(false);
    }
    auto* filters = new QHBoxLayout;
    filters->addWidget(m_search, 1);
    filters->addWidget(m_dateFilter);
    filters->addWidget(m_from);
    filters->addWidget(new QLabel(QStringLiteral("to"), this));
    filters->addWidget(m_until);

    m_model = new QStandardItemModel(0, HIST_COLUMNS, this);
    m_model->setHorizontalHeaderLabels({QStringLiteral("Date"), QStringLiteral("Records"), QStringLiteral("Unread"),
                                        QStringLiteral("Company"), QStringLiteral("User"), QStringLiteral("Note"),
                                        QStringLiteral("State")});
    m_list = new QTableView(this);
    m_list->setModel(m_model);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->verticalHeader()->hide();
    m_list->horizontalHeader()->setStretchLastSection(true);
    m_list->setWordWrap(false);

    m_where = new QLabel(this);
    m_where->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_open = new QPushButton(QStringLiteral("&Open"), this);
    m_export = new QPushButton(QStringLiteral("&Export CSV..."), this);
    m_delete = new QPushButton(QStringLiteral("&Delete"), this);
    auto* close = new QPushButton(QStringLiteral("Close"), this);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_where, 1);
    for (QPushButton* button : {m_open, m_export, m_delete, close})
        buttons->addWidget(button);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(filters);
    layout->addWidget(m_list, 1);
    layout->addLayout(buttons);

    connect(m_search, &QLineEdit::textChanged, this, &CHistoryWindow::Refresh);
    connect(m_dateFilter, &QCheckBox::toggled, this, [this](bool on) {
        m_from->setEnabled(on);
        m_until->setEnabled(on);
        Refresh();
    });
    connect(m_from, &QDateEdit::dateChanged, this, &CHistoryWindow::Refresh);
    connect(m_until, &QDateEdit::dateChanged, this, &CHistoryWindow::Refresh);
    connect(m_list->selectionModel(), &QItemSelectionModel::selectionChanged, this, &CHistoryWindow::UpdateButtons);
    connect(m_list, &QTableView::doubleClicked, this, &CHistoryWindow::OnOpen);
    connect(m_open, &QPushButton::clicked, this, &CHistoryWindow::OnOpen);
    connect(m_export, &QPushButton::clicked, this, &CHistoryWindow::OnExport);
    connect(m_delete, &QPushButton::clicked, this, &CHistoryWindow::OnDelete);
    connect(close, &QPushButton::clicked, this, &QWidget::close);
    connect(new QShortcut(QKeySequence::Delete, m_list), &QShortcut::activated, this, &CHistoryWindow::OnDelete);
    UpdateButtons();
}

void CHistoryWindow::Refresh()
{
    const std::int64_t selected = SelectedUpload();
    m_model->removeRows(0, m_model->rowCount());
    CArchive* archive = m_session.Reader();
    m_where->setText(QString::fromStdString(m_session.Path()));
    if (archive == nullptr) {
        UpdateButtons();
        return;
    }
    UploadFilter filter;
    filter.text = m_search->text().toStdString();
    filter.limit = kHistoryListLimit;
    if (m_dateFilter->isChecked()) {
        filter.from = QDateTime(m_from->date(), QTime(0, 0)).toSecsSinceEpoch();
        filter.until = QDateTime(m_until->date().addDays(1), QTime(0, 0)).toSecsSinceEpoch();
    }
    for (const UploadInfo& info : archive->ListUploads(filter)) {
        QList<QStandardItem*> row{Cell(DateText(info.startedAt)),
                                  Cell(QString::number(info.recordCount), Qt::AlignRight),
                                  Cell(QString::number(info.UnreadCount()), Qt::AlignRight),
                                  Cell(QString::fromStdString(info.header.companyName)),
                                  Cell(QString::fromStdString(info.header.userName)),
                                  Cell(QString::fromStdString(info.header.note)),
                                  Cell(QString::fromLatin1(UploadStateName(info.state)))};
        row[HIST_DATE]->setData(QVariant::fromValue<qint64>(info.id), kIdRole);
        m_model->appendRow(row);
    }
    m_list->resizeColumnsToContents();
    SelectUpload(selected);
    UpdateButtons();
}

void CHistoryWindow::SelectUpload(std::int64_t id)
{
    for (int row = 0; row < m_model->rowCount(); ++row) {
        if (m_model->item(row, HIST_DATE)->data(kIdRole).toLongLong() == id) {
            m_list->selectRow(row);
            return;
        }
    }
}

std::int64_t CHistoryWindow::SelectedUpload() const
{
    const QModelIndexList rows = m_list->selectionModel()->selectedRows();
    return rows.isEmpty() ? 0 : m_model->item(rows.front().row(), HIST_DATE)->data(kIdRole).toLongLong();
}

void CHistoryWindow::UpdateButtons()
{
    const bool selected = SelectedUpload() != 0;
    for (QPushButton* button : {m_open, m_export, m_delete})
        button->setEnabled(selected);
}

void CHistoryWindow::OnOpen()
{
    if (const std::int64_t id = SelectedUpload(); id != 0)
        m_session.OpenUpload(id);
}

void CHistoryWindow::OnExport()
{
    const std::int64_t id = SelectedUpload();
    CArchive* archive = m_session.Reader();
    if (id == 0 || archive == nullptr)
        return;
    const std::optional<ArchivedUpload> upload = archive->LoadUpload(id);
    if (!upload) {
        m_dialogs.ShowMessage(this, ApplicationName(),
                              QStringLiteral("The upload cannot be read: %1")
                                  .arg(QString::fromStdString(archive->LastError())),
                              {});
        return;
    }
    // Named after the day of the upload, as Save names it after the day it runs.
    std::tm local{};
    LocalCalendarTime(static_cast<std::time_t>(upload->info.startedAt), local);
    const QString path = m_dialogs.GetSaveFileName(this, QString::fromStdString(DefaultReportFileName(local)));
    if (path.isEmpty())
        return;
    const FileWriteResult result = WriteCsvReport(path.toStdString(), upload->info.header, upload->rows);
    if (result.error == FileWriteError::Locked)
        m_dialogs.ShowMessage(this, ApplicationName(), QString::fromUtf8(kDocumentLockedMessage), {});
    else if (!result.ok())
        m_dialogs.ShowMessage(this, ApplicationName(),
                              QStringLiteral("The report could not be saved: ") + QString::fromStdString(result.reason),
                              {});
}

void CHistoryWindow::OnDelete()
{
    const std::int64_t id = SelectedUpload();
    CArchive* archive = m_session.Reader();
    if (id == 0 || archive == nullptr)
        return;
    QString question = QStringLiteral("Delete the upload of %1 from the archive?")
                           .arg(m_model->item(m_list->selectionModel()->selectedRows().front().row(), HIST_DATE)->text());
    if (id == m_session.ShownUpload())
        question += QStringLiteral(" It is the upload the main window shows; the table stays as it is, but it is "
                                   "then no longer archived.");
    if (!m_dialogs.Confirm(this, question))
        return;
    if (archive->DeleteUpload(id))
        m_session.NoteDeleted(id);
    else
        m_dialogs.ShowMessage(this, ApplicationName(),
                              QStringLiteral("The upload was not deleted: %1")
                                  .arg(QString::fromStdString(archive->LastError())),
                              {});
    Refresh();
}
