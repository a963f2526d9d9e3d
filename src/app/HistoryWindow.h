#pragma once
// The History window: past uploads from the archive, newest first, found by
// their header texts and dates; the selected one opened into the main
// window's table, exported as its CSV report, or deleted.

#include <QWidget>

#include <cstdint>

class CArchiveSession;
class IOperatorDialogs;
class QCheckBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QPushButton;
class QStandardItemModel;
class QTableView;

// How many uploads the list shows at most; a search finds older ones.
constexpr int kHistoryListLimit = 200;

enum HistoryColumn { HIST_DATE = 0, HIST_RECORDS, HIST_UNREAD, HIST_COMPANY, HIST_USER, HIST_NOTE, HIST_STATE, HIST_COLUMNS };

class CHistoryWindow : public QWidget {
    Q_OBJECT

public:
    CHistoryWindow(CArchiveSession& session, IOperatorDialogs& dialogs, QWidget* parent);

    void Refresh();
    void SelectUpload(std::int64_t id);
    std::int64_t SelectedUpload() const;   // 0 for none

    void OnOpen();
    void OnExport();
    void OnDelete();

    QLineEdit* Search() const { return m_search; }
    QCheckBox* DateFilter() const { return m_dateFilter; }
    QDateEdit* From() const { return m_from; }
    QDateEdit* Until() const { return m_until; }
    QTableView* List() const { return m_list; }
    QPushButton* OpenButton() const { return m_open; }
    QPushButton* ExportButton() const { return m_export; }
    QPushButton* DeleteButton() const { return m_delete; }

private:
    void UpdateButtons();

    CArchiveSession& m_session;
    IOperatorDialogs& m_dialogs;
    QLineEdit* m_search = nullptr;
    QCheckBox* m_dateFilter = nullptr;
    QDateEdit* m_from = nullptr;
    QDateEdit* m_until = nullptr;
    QTableView* m_list = nullptr;
    QStandardItemModel* m_model = nullptr;
    QLabel* m_where = nullptr;
    QPushButton* m_open = nullptr;
    QPushButton* m_export = nullptr;
    QPushButton* m_delete = nullptr;
};
