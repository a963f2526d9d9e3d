#pragma once

#include "ArchiveFeed.h"
#include "DialogTemplate.h"
#include "GuiThreadEvents.h"
#include "MainTemplate.h"
#include "MeterLink.h"
#include "CsvReport.h"
#include "RowModel.h"

#include <QPageLayout>
#include <QPointer>
#include <QTimer>

#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class CArchiveSession;
class CEvaluationWindow;
class CButtonST;
class CPrintPreviewWindow;
class CHelpWindow;
class CStatusBarCtrl;
class IOperatorDialogs;
class QAction;
class QLabel;
class QLineEdit;
class QPrinter;
class QProgressBar;
class QTableView;

// The main window: seven command buttons, three header fields, the
// measurement table, progress and counters, and the three-pane status bar.
// It wires the buttons to the meter link and the report writer and shows
// their results; the engine's events arrive here on the GUI thread.
class COrvexDlg : public CTemplateDialog, public ITransferEvents {
    Q_OBJECT

public:
    // The ports Upload and Clear try, in order, asked for afresh each time.
    using PortSource = std::function<std::vector<std::string>()>;
    using Clock = std::function<std::time_t()>;

    COrvexDlg(IOperatorDialogs& dialogs, PortSource portSource, Pauses pauses = {}, QWidget* parent = nullptr);
    ~COrvexDlg() override;

    void OnButtonUpload();   // while a transfer runs, the button is Stop
    void OnButtonStop();
    void OnButtonSave();
    void OnButtonClear();
    void OnButtonPrint();
    void OnButtonPreview();
    void OnButtonHelp();
    void OnButtonExit();
    void OnAbout();
    void OnTimer();

    // Flag 1 disables the seven command buttons; any other value enables them.
    void DisableButtons(int flag);

    CButtonST* Button(int id) const;
    QLineEdit* Edit(int id) const;
    QLabel* Label(int id) const;
    QTableView* List() const { return m_listData; }
    const CRowModel& Rows() const { return m_rowModel; }
    QProgressBar* Progress() const { return m_progress; }
    CStatusBarCtrl* StatusBar() const { return m_statusBar; }
    QAction* AboutAction() const { return m_aboutAction; }
    // Appends an entry to the window's menu (after About), its shortcut
    // working anywhere in the window.
    void AddMenuAction(QAction* action);
    const std::vector<QAction*>& MenuActions() const { return m_menuActions; }
    CHelpWindow* HelpWindow() const { return m_helpWindow; }   // nullptr until first needed
    bool TimerRunning() const { return m_timer.isActive(); }
    int TimerPeriodMs() const { return m_timer.interval(); }
    CMeterLink& Link() { return m_link; }
    void SetClock(Clock clock) { m_clock = std::move(clock); }
    // The preview windows still open, oldest first.
    std::vector<CPrintPreviewWindow*> Previews() const;
    // The header fields and status texts as the reports show them now.
    ReportHeader CurrentReportHeader() const;
    // Shows an upload from the archive as if it had just been read; the meter is not asked.
    void ShowUpload(const ReportHeader& header, std::vector<RowTexts> rows);
    CArchiveSession& Archive() { return *m_archive; }
    CEvaluationWindow* Evaluation() const { return m_evaluation; }
    QAction* EvaluationAction() const { return m_evaluationAction; }

    // The engine's events, on the GUI thread.
    void ShowMessage(const std::string& text) override;
    void OnCountKnown(unsigned recordCount) override;
    void OnRowsInserted(unsigned rowCount) override;
    void OnRecordRead(int row, const MeterRecord& record) override;
    void OnRowTexts(int row, const RowTexts& texts) override;
    void OnProgress(unsigned position, unsigned received) override;
    void OnStatusPane0(const std::string& text) override;
    void OnTimerStart() override;
    void OnTimerStop() override;
    void OnFinished(const TransferSummary& summary) override;
    void ShowClearDone() override;
    void ShowScanFailure(const std::string& text, const std::vector<PortAttempt>& attempts) override;

public slots:
    void done(int result) override;

protected:
    void OnCommand(int id) override;
    void closeEvent(QCloseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* CreateControl(const ControlTemplate& control, QWidget* parent);
    void SkinButtons();
    void SetUpList();
    void OnCtlColor();
    void CreateStatusBar();
    void RunHeld(const std::function<void()>& operation);
    void ShowStopButton(bool transferring);
    void FitColumnsToList(bool scrollBarShown);
    void Shutdown();
    void ShowOperatorMessage(const QString& text, const QString& details = {});
    void ShowNoDataNotice(const char* text);
    void DrawReport(QPrinter& printer);
    void PrintFromPreview(const QPageLayout& pageLayout);
    void ScheduleRefreshPreviews();
    void RefreshPreviews();
    void ClosePreviews();
    void ShowBuiltInHelp();

    IOperatorDialogs& m_dialogs;
    PortSource m_portSource;
    Clock m_clock;
    CRowModel m_rowModel;
    QTableView* m_listData = nullptr;
    QProgressBar* m_progress = nullptr;
    CStatusBarCtrl* m_statusBar = nullptr;
    QAction* m_aboutAction = nullptr;
    QAction* m_historyAction = nullptr;
    CArchiveSession* m_archive = nullptr;   // a child: goes with the window
    CEvaluationWindow* m_evaluation = nullptr;   // a child window: goes with the window
    QAction* m_evaluationAction = nullptr;
    std::vector<QAction*> m_menuActions;
    CHelpWindow* m_helpWindow = nullptr;   // a child: goes with the window
    QTimer m_timer;
    QTimer m_previewRefresh;            // one refresh for a burst of changes
    std::vector<QPointer<CPrintPreviewWindow>> m_previews;
    std::optional<QPageLayout> m_printLayout;   // the page a preview's Print chose
    bool m_bPrinting = false;           // the print dialog or job is running
    int m_nUseSeconds = 0;
    bool m_bHolding = false;          // a scan holds the window
    bool m_bTransferring = false;     // records are read: Upload is Stop
    bool m_bStopAsked = false;        // the operator stopped the transfer
    bool m_bCloseRequested = false;   // closing waits for the scan to end
    // The link reports through the archive's feed to m_events, so these are
    // built in this order and go in the reverse one.
    CGuiThreadEvents m_events;
    CArchiveFeed m_archiveFeed;
    CMeterLink m_link;
};
