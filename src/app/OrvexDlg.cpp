#include "OrvexDlg.h"

#include "ArchiveSession.h"
#include "ButtonST.h"
#include "CsvReport.h"
#include "EvaluationPainter.h"
#include "EvaluationWindow.h"
#include "HelpLocator.h"
#include "HelpWindow.h"
#include "LinkMessages.h"
#include "OperatorDialogs.h"
#include "PrintPreviewWindow.h"
#include "ReportPainter.h"
#include "ReportPrint.h"
#include "ResourceIcons.h"
#include "StatusBarCtrl.h"
#include "StatusTexts.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPrinter>
#include <QProgressBar>
#include <QScrollBar>
#include <QShortcut>
#include <QStandardPaths>
#include <QTableView>
#include <QToolBar>
#include <QUrl>

#include <algorithm>
#include <thread>

namespace {

constexpr int kTimerPeriodMs = 1000;
// Open previews are redrawn once a burst of edits or new rows has settled.
constexpr int kPreviewRefreshDelayMs = 150;
constexpr const char* kNoDataPreviewText = "     No data preview!          ";
constexpr const char* kNoDataPrintText = "     No data print!          ";
constexpr const char* kNoDataCaption = "Information";
constexpr const char* kSearchingText = "Searching for the meter...";
constexpr const char* kStopText = "Stop";
constexpr const char* kStopTip = "Stop reading";
constexpr std::array kCommandButtons{IDC_BUTTON_UPLOAD, IDC_BUTTON_SAVE,  IDC_BUTTON_CLEAR, IDC_BUTTON_PRINT,
                                     IDC_BUTTON_PREVIEW, IDC_BUTTON_HELP, IDC_BUTTON_EXIT};

std::array<QString, COLUMN_COUNT> ColumnTitles()
{
    std::array<QString, COLUMN_COUNT> titles;
    for (std::size_t i = 0; i < titles.size(); ++i)
        titles[i] = QString::fromLatin1(kListColumns[i].title);
    return titles;
}

// A question or message during the port scan takes the ordinary pointer;
// the wait cursor comes back once it is answered.
class CArrowWhileAsking {
public:
    explicit CArrowWhileAsking(bool scanning) : m_scanning(scanning)
    {
        if (m_scanning)
            QApplication::setOverrideCursor(Qt::ArrowCursor);
    }
    ~CArrowWhileAsking()
    {
        if (m_scanning)
            QApplication::restoreOverrideCursor();
    }
    CArrowWhileAsking(const CArrowWhileAsking&) = delete;
    CArrowWhileAsking& operator=(const CArrowWhileAsking&) = delete;

private:
    bool m_scanning;
};

} // namespace

COrvexDlg::COrvexDlg(IOperatorDialogs& dialogs, PortSource portSource, Pauses pauses, QWidget* parent)
    : CTemplateDialog(kMainTemplate, parent),
      m_dialogs(dialogs),
      m_portSource(std::move(portSource)),
      m_clock([] { return std::time(nullptr); }),
      m_rowModel(ColumnTitles()),
      m_events(*this),
      m_archiveFeed(m_events),
      m_link(m_archiveFeed, pauses)
{
    setWindowIcon(ApplicationIcon());
    // Typed text in any script, and the messages' full-width "！", need more than one font.
    setFont(WithScriptFallback(font()));
    CreateControls([this](const ControlTemplate& control, QWidget* owner) { return CreateControl(control, owner); });
    m_listData = qobject_cast<QTableView*>(Item(IDC_LIST_DATA));
    m_progress = qobject_cast<QProgressBar*>(Item(IDC_PROGRESS));

    SetUpList();
    m_aboutAction = new QAction(QString::fromLatin1(kAboutMenuText), this);
    connect(m_aboutAction, &QAction::triggered, this, &COrvexDlg::OnAbout);
    m_archive = new CArchiveSession(*this, m_dialogs, m_archiveFeed);
    m_historyAction = new QAction(QStringLiteral("&History..."), this);
    m_historyAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_H));
    connect(m_historyAction, &QAction::triggered, m_archive, &CArchiveSession::ShowHistory);
    m_evaluation = new CEvaluationWindow(
        m_rowModel, QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation) + QStringLiteral("/limits"), this);
    m_evaluationAction = new QAction(QStringLiteral("&Evaluation..."), this);
    m_evaluationAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_E));
    connect(m_evaluationAction, &QAction::triggered, m_evaluation, [this] {
        m_evaluation->show();
        m_evaluation->raise();
        m_evaluation->activateWindow();
    });
    connect(m_evaluation->IncludeAction(), &QAction::toggled, this, &COrvexDlg::ScheduleRefreshPreviews);
    connect(m_evaluation, &CEvaluationWindow::SettingsEdited, m_archive,
            [this] { m_archive->StoreEvaluation(m_evaluation->Settings()); });
    connect(m_evaluation, &CEvaluationWindow::Evaluated, this, [this] {
        if (m_evaluation->IncludeAction()->isChecked())
            ScheduleRefreshPreviews();
    });
    AddMenuAction(m_historyAction);
    AddMenuAction(m_evaluationAction);
    AddMenuAction(m_aboutAction);
    SkinButtons();
    CreateStatusBar();
    OnCtlColor();

    auto* help = new QShortcut(QKeySequence::HelpContents, this);
    connect(help, &QShortcut::activated, this, &COrvexDlg::OnButtonHelp);
    m_timer.setInterval(kTimerPeriodMs);
    connect(&m_timer, &QTimer::timeout, this, &COrvexDlg::OnTimer);

    // What a preview shows follows the window: header fields and rows.
    m_previewRefresh.setSingleShot(true);
    m_previewRefresh.setInterval(kPreviewRefreshDelayMs);
    connect(&m_previewRefresh, &QTimer::timeout, this, &COrvexDlg::RefreshPreviews);
    for (const int id : {IDC_EDIT_COMPANY, IDC_EDIT_USER, IDC_EDIT_NOTE})
        connect(Edit(id), &QLineEdit::textChanged, this, &COrvexDlg::ScheduleRefreshPreviews);
    connect(&m_rowModel, &QAbstractItemModel::modelReset, this, &COrvexDlg::ScheduleRefreshPreviews);
    connect(&m_rowModel, &QAbstractItemModel::rowsInserted, this, &COrvexDlg::ScheduleRefreshPreviews);
    connect(&m_rowModel, &QAbstractItemModel::dataChanged, this, &COrvexDlg::ScheduleRefreshPreviews);

    // The focus starts on the first tab stop, the Upload button.
    Item(IDC_BUTTON_UPLOAD)->setFocus(Qt::OtherFocusReason);
}

COrvexDlg::~COrvexDlg()
{
    // The worker reports into this window: end it before any member goes.
    Shutdown();
    // The archive's writer is fed through m_archiveFeed: it goes first.
    delete m_archive;
    m_archive = nullptr;
    // Previews draw from this window: none may outlive it, nor call back.
    for (const QPointer<CPrintPreviewWindow>& preview : m_previews) {
        if (preview) {
            preview->disconnect(this);
            delete preview.data();
        }
    }
}

QWidget* COrvexDlg::CreateControl(const ControlTemplate& control, QWidget* parent)
{
    if (control.kind == ControlKind::PushButton)
        return new CButtonST(QString::fromLatin1(control.text), parent);
    return nullptr;
}

void COrvexDlg::SkinButtons()
{
    for (const ButtonSkin& skin : kButtonSkins) {
        CButtonST* button = Button(skin.id);
        button->LoadStateIcons(skin.iconId, skin.iconSize, skin.iconSize, skin.iconId, skin.iconSize, skin.iconSize);
        button->SetStateColor(CButtonST::TextHot, QColor::fromRgb(kTextHotColor), true);
        button->SetStateColor(CButtonST::TextNormal, QColor::fromRgb(kTextNormalColor), true);
        button->SetHoverTip(QString::fromLatin1(skin.tip), true);
        button->UseParentBackground(false);
        button->EnableFlatFrame(true, true);
    }
}

void COrvexDlg::SetUpList()
{
    m_listData->setModel(&m_rowModel);
    m_listData->setShowGrid(true);
    m_listData->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_listData->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_listData->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_listData->setWordWrap(false);
    m_listData->setTabKeyNavigation(false);   // Tab moves on to the next control
    m_listData->verticalHeader()->hide();
    // Uniform rows: the view never measures them, which keeps thousands of rows fast.
    m_listData->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_listData->verticalHeader()->setDefaultSectionSize(m_listData->fontMetrics().height() + 4);

    QHeaderView* header = m_listData->horizontalHeader();
    header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    header->setHighlightSections(false);
    header->setStretchLastSection(false);
    header->setMinimumSectionSize(1);
    for (int column = 0; column < COLUMN_COUNT; ++column)
        header->resizeSection(column, kListColumns[static_cast<std::size_t>(column)].width);
    // The vertical scroll bar takes its width from the columns' room.
    m_listData->verticalScrollBar()->installEventFilter(this);

    // The selection stays visible when the list loses the focus.
    QPalette palette = m_listData->palette();
    palette.setColor(QPalette::Inactive, QPalette::Highlight, palette.color(QPalette::Active, QPalette::Highlight));
    palette.setColor(QPalette::Inactive, QPalette::HighlightedText,
                     palette.color(QPalette::Active, QPalette::HighlightedText));
    m_listData->setPalette(palette);
}

bool COrvexDlg::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_listData->verticalScrollBar()
        && (event->type() == QEvent::Show || event->type() == QEvent::Hide))
        FitColumnsToList(event->type() == QEvent::Show);
    return CTemplateDialog::eventFilter(watched, event);
}

void COrvexDlg::FitColumnsToList(bool scrollBarShown)
{
    // The columns fill the list exactly; the vertical scroll bar would push
    // the last few pixels out and bring a horizontal one for them. Only an
    // overflow the bar itself causes comes off the last column.
    const int scrollBar = scrollBarShown ? m_listData->verticalScrollBar()->sizeHint().width() : 0;
    const int room = m_listData->width() - 2 * m_listData->frameWidth() - scrollBar;
    int columns = 0;
    for (const ListColumn& column : kListColumns)
        columns += column.width;
    const int overflow = columns - room;
    const int last = kListColumns.back().width - (overflow > 0 && overflow <= scrollBar ? overflow : 0);
    m_listData->horizontalHeader()->resizeSection(COLUMN_COUNT - 1, last);
}

void COrvexDlg::OnCtlColor()
{
    for (const LabelColor& entry : kLabelColors) {
        QLabel* label = Label(entry.id);
        QPalette palette = label->palette();
        palette.setColor(QPalette::WindowText, QColor::fromRgb(entry.color));
        label->setPalette(palette);
    }
}

void COrvexDlg::CreateStatusBar()
{
    m_statusBar = new CStatusBarCtrl(this);
    // The status bar takes the system's dialog font, not the window's.
    m_statusBar->setFont(WithScriptFallback(DialogFont(QStringLiteral("MS Shell Dlg"), 8)));
    m_statusBar->FitHeightToFont();
    // The window grows by the bar, which sits below all the template places:
    // the table's last rows and its scroll bar stay in sight.
    const int top = height();
    setFixedSize(width(), top + m_statusBar->height());
    m_statusBar->setGeometry(0, top, width(), m_statusBar->height());
    m_statusBar->SetParts(kStatusPaneEdges);
    m_statusBar->SetText(0, QString::fromLatin1(kStatusReady));
    m_statusBar->raise();
}

CButtonST* COrvexDlg::Button(int id) const
{
    return qobject_cast<CButtonST*>(Item(id));
}

QLineEdit* COrvexDlg::Edit(int id) const
{
    return qobject_cast<QLineEdit*>(Item(id));
}

QLabel* COrvexDlg::Label(int id) const
{
    return qobject_cast<QLabel*>(Item(id));
}

void COrvexDlg::OnCommand(int id)
{
    switch (id) {
    case IDC_BUTTON_UPLOAD:
        OnButtonUpload();
        break;
    case IDC_BUTTON_SAVE:
        OnButtonSave();
        break;
    case IDC_BUTTON_CLEAR:
        OnButtonClear();
        break;
    case IDC_BUTTON_PRINT:
        OnButtonPrint();
        break;
    case IDC_BUTTON_PREVIEW:
        OnButtonPreview();
        break;
    case IDC_BUTTON_HELP:
        OnButtonHelp();
        break;
    case IDC_BUTTON_EXIT:
        OnButtonExit();
        break;
    default:
        CTemplateDialog::OnCommand(id);
        break;
    }
}

void COrvexDlg::DisableButtons(int flag)
{
    for (const int id : kCommandButtons)
        Item(id)->setEnabled(flag != 1);
}

void COrvexDlg::RunHeld(const std::function<void()>& operation)
{
    // The ports are tried off the GUI thread so the window keeps painting and
    // can show the engine's messages; the operator's input waits meanwhile,
    // and the window says so.
    const QString paneBefore = m_statusBar->GetText(0);
    m_statusBar->SetText(0, QString::fromLatin1(kSearchingText));
    QApplication::setOverrideCursor(Qt::WaitCursor);
    QEventLoop loop;
    m_bHolding = true;
    std::thread scan([&] {
        operation();
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    scan.join();
    m_bHolding = false;
    QApplication::restoreOverrideCursor();
    // A transfer that started writes the pane itself; anything else leaves it as it was.
    if (m_statusBar->GetText(0) == QLatin1String(kSearchingText) && !m_bTransferring && !m_link.IsBusy())
        m_statusBar->SetText(0, paneBefore);
    if (m_bCloseRequested) {
        m_bCloseRequested = false;
        close();
    }
}

void COrvexDlg::OnButtonUpload()
{
    if (m_bTransferring) {
        OnButtonStop();
        return;
    }
    if (m_link.IsBusy())
        return;
    m_rowModel.Clear();
    DisableButtons(1);
    m_archive->BeforeUpload(CurrentReportHeader());
    const std::vector<std::string> ports = m_portSource();
    // The buttons come back with OnFinished, whichever way the upload ends.
    RunHeld([this, &ports] { m_link.OnButtonUpload(ports); });
}

void COrvexDlg::OnButtonStop()
{
    if (!m_bTransferring || m_bStopAsked)
        return;
    m_bStopAsked = true;
    Button(IDC_BUTTON_UPLOAD)->setEnabled(false);   // taken: the transfer ends after the exchange in flight
    m_link.RequestStop();
}

void COrvexDlg::ShowStopButton(bool transferring)
{
    // Upload and Stop share the place and the skin; only the text and tip change.
    m_bTransferring = transferring;
    CButtonST* upload = Button(IDC_BUTTON_UPLOAD);
    upload->setText(QString::fromLatin1(transferring ? kStopText : kMainTemplate.controls.front().text));
    upload->SetHoverTip(QString::fromLatin1(transferring ? kStopTip : kButtonSkins.front().tip), true);
    upload->setEnabled(transferring);
}

void COrvexDlg::OnButtonClear()
{
    if (!m_link.ClearAllowed()) {
        ShowMessage(kClearAfterReadingMessage);
        return;
    }
    if (!m_archive->ClearAllowed())
        return;
    if (!m_dialogs.ConfirmClear(this))
        return;
    DisableButtons(1);
    const std::vector<std::string> ports = m_portSource();
    RunHeld([this, &ports] { m_link.OnButtonClear(ports); });
    DisableButtons(0);
}

void COrvexDlg::OnButtonSave()
{
    const std::time_t now = m_clock();
    std::tm local{};
    LocalCalendarTime(now, local);
    const QString path = m_dialogs.GetSaveFileName(this, QString::fromStdString(DefaultReportFileName(local)));
    if (path.isEmpty())
        return;

    // Report paths are UTF-8 on every platform (Qt's file names on Linux are too).
    const FileWriteResult result = WriteCsvReport(path.toStdString(), CurrentReportHeader(), m_rowModel.Rows());
    if (result.error == FileWriteError::Locked)
        ShowOperatorMessage(QString::fromUtf8(kDocumentLockedMessage));
    else if (!result.ok())
        ShowOperatorMessage(QStringLiteral("The report could not be saved: ") + QString::fromStdString(result.reason));
    else
        m_archive->NoteReportWritten(CurrentReportHeader(), true);
}

void COrvexDlg::ShowUpload(const ReportHeader& header, std::vector<RowTexts> rows)
{
    Edit(IDC_EDIT_COMPANY)->setText(QString::fromStdString(header.companyName));
    Edit(IDC_EDIT_USER)->setText(QString::fromStdString(header.userName));
    Edit(IDC_EDIT_NOTE)->setText(QString::fromStdString(header.note));
    m_statusBar->SetText(1, QString::fromStdString(header.dateTimePane));
    m_statusBar->SetText(2, QString::fromStdString(header.useTimePane));
    m_rowModel.SetRows(std::move(rows));
}

ReportHeader COrvexDlg::CurrentReportHeader() const
{
    return ReportHeader{Edit(IDC_EDIT_COMPANY)->text().toStdString(), Edit(IDC_EDIT_USER)->text().toStdString(),
                        Edit(IDC_EDIT_NOTE)->text().toStdString(), m_statusBar->GetText(1).toStdString(),
                        m_statusBar->GetText(2).toStdString()};
}

void COrvexDlg::ShowNoDataNotice(const char* text)
{
    m_dialogs.ShowMessage(this, QString::fromLatin1(kNoDataCaption), QString::fromLatin1(text), {});
    DisableButtons(0);
}

void COrvexDlg::OnButtonPrint()
{
    if (m_rowModel.rowCount() == 0) {
        ShowNoDataNotice(kNoDataPrintText);
        return;
    }
    if (m_bPrinting)
        return;
    m_bPrinting = true;
    QPrinter printer(QPrinter::HighResolution);
    if (m_printLayout)
        printer.setPageLayout(*m_printLayout);
    m_printLayout.reset();
    printer.setDocName(QString::fromStdString(ReportDocumentName(CurrentReportHeader())));
    if (m_dialogs.SetUpPrint(this, printer)) {
        // The print service's answer: a refused job is no printed report.
        const PrintJobResult job = PrintReport(printer, [this] { return CurrentReportHeader(); }, m_rowModel.Rows(),
                                               m_evaluation->PrintedEvaluation());
        if (job.state == PrintJobState::Refused)
            ShowOperatorMessage(QStringLiteral("The report was not printed: ") + QString::fromStdString(job.reason));
        else if (job.state == PrintJobState::Held)
            ShowOperatorMessage(QStringLiteral("The report is ") + QString::fromLatin1(kPrintJobHeldNote) + '.');
        if (job.state != PrintJobState::Refused)
            m_archive->NoteReportWritten(CurrentReportHeader(), false);
    }
    m_bPrinting = false;
}

void COrvexDlg::OnButtonPreview()
{
    if (m_rowModel.rowCount() == 0) {
        ShowNoDataNotice(kNoDataPreviewText);
        return;
    }
    auto* preview = new CPrintPreviewWindow([this](QPrinter& printer) { DrawReport(printer); });
    connect(preview, &CPrintPreviewWindow::PrintRequested, this, [this, preview](const QPageLayout& pageLayout) {
        // Print once the preview is gone, through the same path as the Print button.
        connect(preview, &QObject::destroyed, this, [this, pageLayout] {
            QMetaObject::invokeMethod(this, [this, pageLayout] { PrintFromPreview(pageLayout); }, Qt::QueuedConnection);
        });
        preview->close();
    });
    if (auto* bar = preview->findChild<QToolBar*>())
        bar->addAction(m_evaluation->IncludeAction());
    std::erase_if(m_previews, [](const QPointer<CPrintPreviewWindow>& open) { return open.isNull(); });
    m_previews.emplace_back(preview);
    preview->showMaximized();
}

void COrvexDlg::DrawReport(QPrinter& printer)
{
    const ReportPaintResult result = PaintReportWithEvaluation(printer, [this] { return CurrentReportHeader(); },
                                                               m_rowModel.Rows(), m_evaluation->PrintedEvaluation());
    if (result.ok())
        return;
    // The preview shows why there is no report where the report would be.
    QPainter painter(&printer);
    painter.drawText(QRect(0, 0, printer.width(), printer.height()), Qt::AlignCenter | Qt::TextWordWrap,
                     QString::fromStdString(result.error));
}

void COrvexDlg::PrintFromPreview(const QPageLayout& pageLayout)
{
    if (!isVisible())
        return;
    raise();
    activateWindow();
    if (!Button(IDC_BUTTON_PRINT)->isEnabled()) {
        ShowOperatorMessage(QStringLiteral("The meter is busy: print when the current operation has ended."));
        return;
    }
    m_printLayout = pageLayout;
    OnButtonPrint();
}

std::vector<CPrintPreviewWindow*> COrvexDlg::Previews() const
{
    std::vector<CPrintPreviewWindow*> open;
    for (const QPointer<CPrintPreviewWindow>& preview : m_previews)
        if (preview && preview->isVisible())
            open.push_back(preview.data());
    return open;
}

void COrvexDlg::ScheduleRefreshPreviews()
{
    if (!Previews().empty())
        m_previewRefresh.start();
}

void COrvexDlg::RefreshPreviews()
{
    for (CPrintPreviewWindow* preview : Previews())
        preview->Refresh();
}

void COrvexDlg::ClosePreviews()
{
    for (CPrintPreviewWindow* preview : Previews())
        preview->close();
}

void COrvexDlg::OnButtonHelp()
{
    const QString help = LocateHelp(QCoreApplication::applicationDirPath(),
                                    QStandardPaths::writableLocation(QStandardPaths::TempLocation));
    if (help.isEmpty()) {
        ShowBuiltInHelp();
        return;
    }
    // The desktop's verdict comes later; the window goes on meanwhile.
    m_dialogs.OpenUrl(this, QUrl::fromLocalFile(help), [this](bool opened) {
        if (!opened)
            ShowBuiltInHelp();
    });
}

void COrvexDlg::ShowBuiltInHelp()
{
    if (m_helpWindow == nullptr)
        m_helpWindow = new CHelpWindow(this);
    m_helpWindow->show();
    m_helpWindow->raise();
    m_helpWindow->activateWindow();
}

void COrvexDlg::OnButtonExit()
{
    reject();
}

void COrvexDlg::OnAbout()
{
    m_dialogs.ShowAbout(this);
}

void COrvexDlg::OnTimer()
{
    ++m_nUseSeconds;
    m_statusBar->SetText(1, QString::fromStdString(DateTimePaneText(m_clock())));
    m_statusBar->SetText(2, QString::fromStdString(UseTimePaneText(m_nUseSeconds)));
    ScheduleRefreshPreviews();
}

void COrvexDlg::ShowOperatorMessage(const QString& text, const QString& details)
{
    const CArrowWhileAsking asking(m_bHolding);
    m_dialogs.ShowMessage(this, ApplicationName(), text, details);
}

void COrvexDlg::ShowMessage(const std::string& text)
{
    ShowOperatorMessage(QString::fromStdString(text));
}

void COrvexDlg::OnCountKnown(unsigned recordCount)
{
    // A range of 0..0 would animate as "busy"; an empty bar reads the same as 0 of 0.
    m_progress->setRange(0, static_cast<int>(std::max(recordCount, 1u)));
    Label(IDC_STATIC_RECEIVED)->setText(QStringLiteral("0"));
    Label(IDC_STATIC_TOTAL)->setText(QString::number(recordCount));
    m_progress->setValue(0);
    m_progress->show();
}

void COrvexDlg::OnRowsInserted(unsigned rowCount)
{
    // The transfer's first event: from here until it ends, Upload is Stop
    // (unless it has ended already, its last events still on their way).
    m_rowModel.InsertEmptyRows(rowCount);
    m_bStopAsked = false;
    if (m_link.IsBusy())
        ShowStopButton(true);
}

void COrvexDlg::OnRecordRead(int row, const MeterRecord& record)
{
    m_evaluation->OnRecordRead(row, record);
}

void COrvexDlg::OnRowTexts(int row, const RowTexts& texts)
{
    m_rowModel.SetRow(row, texts);
}

void COrvexDlg::OnProgress(unsigned position, unsigned received)
{
    // A progress bar repaints the whole window's changes at once whenever its
    // bar grows a pixel; it waits for the next frame instead, as the rows do.
    m_progress->setUpdatesEnabled(false);
    m_progress->setValue(static_cast<int>(position));
    m_progress->setUpdatesEnabled(true);
    Label(IDC_STATIC_RECEIVED)->setText(QString::number(received));
}

void COrvexDlg::OnStatusPane0(const std::string& text)
{
    m_statusBar->SetText(0, QString::fromStdString(text));
}

void COrvexDlg::OnTimerStart()
{
    m_timer.start();
    m_nUseSeconds = 0;
}

void COrvexDlg::OnTimerStop()
{
    m_timer.stop();
}

void COrvexDlg::OnFinished(const TransferSummary& summary)
{
    const bool stoppedByOperator = m_bStopAsked && summary.outcome == UploadOutcome::Stopped;
    m_bStopAsked = false;
    if (m_bTransferring)
        ShowStopButton(false);
    DisableButtons(0);
    m_archive->OnUploadFinished(summary.recordCount > 0, CurrentReportHeader());
    // A stop keeps what was read; the rest stays empty and counted, as after any short transfer.
    if (stoppedByOperator && summary.unreadCount > 0)
        ShowOperatorMessage(QString::asprintf(kUnreadRecordsFormat, summary.unreadCount, summary.recordCount));
}

void COrvexDlg::ShowClearDone()
{
    const CArrowWhileAsking asking(m_bHolding);
    m_dialogs.ShowClearDone(this);
}

void COrvexDlg::ShowScanFailure(const std::string& text, const std::vector<PortAttempt>& attempts)
{
    ShowOperatorMessage(QString::fromStdString(text), QString::fromStdString(DescribePortAttempts(attempts)));
}

void COrvexDlg::Shutdown()
{
    m_timer.stop();
    m_previewRefresh.stop();
    ClosePreviews();
    m_events.BeginShutdown();   // a worker held by a message returns at once...
    m_link.Stop();              // ...so joining it cannot wait on the operator
}

void COrvexDlg::done(int result)
{
    // The port scan holds the window; the close takes effect when it ends.
    if (m_bHolding) {
        m_bCloseRequested = true;
        return;
    }
    // Escape and the close box stop a transfer as Stop does; once idle they close.
    if (m_bTransferring) {
        OnButtonStop();
        return;
    }
    Shutdown();
    CTemplateDialog::done(result);
}

void COrvexDlg::closeEvent(QCloseEvent* event)
{
    if (m_bHolding || m_bTransferring) {
        done(Rejected);
        event->ignore();
        return;
    }
    CTemplateDialog::closeEvent(event);
}

void COrvexDlg::AddMenuAction(QAction* action)
{
    m_menuActions.push_back(action);
    addAction(action);   // its shortcut works wherever the focus is in the window
}

void COrvexDlg::contextMenuEvent(QContextMenuEvent* event)
{
    // The window manager owns the title-bar menu, so About and the window's
    // other entries live here.
    QMenu menu(this);
    for (QAction* action : m_menuActions)
        menu.addAction(action);
    menu.exec(event->globalPos());
}
