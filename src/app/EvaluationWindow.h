#pragma once
// The "Evaluation" window: the limit set and link parameters, the records of
// the main table judged against them, the summary per wavelength and the
// chart. It follows the main table as rows arrive and judges again at once
// when a parameter changes; the judging itself is the analysis library's.

#include "EvaluationExport.h"
#include "EvaluationPage.h"
#include "LimitSetFile.h"
#include "RowModel.h"
#include "StoredEvaluation.h"

#include <QAbstractTableModel>
#include <QTimer>
#include <QWidget>

#include <array>
#include <optional>
#include <vector>

class QAction;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QSpinBox;
class QTableView;

// The per-record results as a table: texts, and the result's colour.
class CEvaluationModel : public QAbstractTableModel {
    Q_OBJECT

public:
    using QAbstractTableModel::QAbstractTableModel;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;

    // The columns before firstChanged show what they showed: only the rest is painted again.
    void SetResult(const EvaluationResult* result, int firstChanged = 0);

signals:
    void LabelEdited(int link, const QString& label);

private:
    const EvaluationResult* m_result = nullptr;
    int m_rows = 0;
    // A row's texts once shown, until the next result: a repaint formats nothing again.
    mutable std::vector<std::optional<std::array<QString, kEvaluationColumns.size()>>> m_cells;
};

// Loss per record against the limit, drawn as the printed page draws it.
class CEvaluationChart : public QWidget {
public:
    explicit CEvaluationChart(QWidget* parent = nullptr);
    void SetResult(const EvaluationResult* result);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    const EvaluationResult* m_result = nullptr;
};

class CEvaluationWindow : public QWidget {
    Q_OBJECT

public:
    // rows: the main table; limitsFolder: where the user's set files are.
    CEvaluationWindow(const CRowModel& rows, QString limitsFolder, QWidget* parent = nullptr);

    // A record as the transfer read it; its own floats are judged, not its texts.
    void OnRecordRead(int row, const MeterRecord& record);
    // The table now shows an archived upload (origin: "upload 12"): its
    // records as read, none where unread, and what it was last evaluated
    // with, which comes back into the controls. Without one they stay.
    void ShowArchived(const QString& origin, const std::vector<std::optional<MeterRecord>>& records,
                      const std::optional<StoredEvaluation>& stored);
    // The limit set and parameters the table is judged with, labels included.
    StoredEvaluation Settings() const { return {m_report.set, m_report.parameters}; }
    // The operator has opened the window since the program started.
    bool Used() const { return m_used; }

    const EvaluationReport& Report() const { return m_report; }
    // The evaluation the printed report carries: none unless "Include
    // evaluation" is on and the parameters can be used.
    const EvaluationReport* PrintedEvaluation() const;
    QAction* IncludeAction() const { return m_includeAction; }

    QComboBox* LimitSetBox() const { return m_limitSet; }
    QDoubleSpinBox* MaxLossBox() const { return m_maxLoss; }
    QDoubleSpinBox* LengthBox() const { return m_length; }
    QSpinBox* ConnectionsBox() const { return m_connections; }
    QSpinBox* SplicesBox() const { return m_splices; }
    QDoubleSpinBox* UncertaintyBox() const { return m_uncertainty; }
    QSpinBox* PerLinkBox() const { return m_perLink; }
    QLineEdit* LabelsEdit() const { return m_labels; }
    QTableView* Table() const { return m_table; }
    QLabel* SummaryLabel() const { return m_summary; }
    QLabel* ProblemLabel() const { return m_problem; }

public slots:
    // Judges the table's records under the parameters shown, now.
    void Reevaluate();
    void LoadLimitSets();

signals:
    void Evaluated();
    // The operator changed the limit set, a parameter or a label.
    void SettingsEdited();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void CreateControls();
    void OnTableChanged();
    void OnValuesChanged();
    void OnEdited();
    void OfferSets();   // m_sets and the stored set into the box, the choice kept by its text
    void OnImport();
    void OnExport();
    std::vector<Measurement> Measurements() const;

    const CRowModel& m_rows;
    QString m_limitsFolder;
    std::vector<LimitSet> m_sets;           // today's sets, as offered first in m_limitSet
    // A set an archived upload was evaluated with that is none of today's
    // sets number for number: offered last, as stored.
    std::optional<LimitSet> m_storedSet;
    QString m_storedOrigin;
    std::string m_sourceName = "the meter";  // where the records judged come from
    bool m_used = false;
    std::vector<std::optional<MeterRecord>> m_records;   // by row, as read
    std::vector<MeasuredRecord> m_measured;  // the table's values, judged again on a parameter change
    bool m_measuredStale = true;
    EvaluationParameters m_judged;           // the parameters of the result shown
    std::map<int, std::string> m_editedLabels;
    EvaluationReport m_report;
    bool m_usable = false;                   // the parameters could be used
    QString m_refused;                       // set files refused, shown while nothing else is wrong
    QTimer m_followTable;                    // one evaluation per burst of new rows

    QComboBox* m_limitSet = nullptr;
    QDoubleSpinBox* m_maxLoss = nullptr;
    QDoubleSpinBox* m_length = nullptr;
    QSpinBox* m_connections = nullptr;
    QSpinBox* m_splices = nullptr;
    QDoubleSpinBox* m_uncertainty = nullptr;
    QSpinBox* m_perLink = nullptr;
    QLineEdit* m_labels = nullptr;
    QLabel* m_problem = nullptr;
    QTableView* m_table = nullptr;
    CEvaluationModel m_model;
    QLabel* m_summary = nullptr;
    CEvaluationChart* m_chart = nullptr;
    QAction* m_includeAction = nullptr;
};
