#include "EvaluationWindow.h"

#include "EvaluationExport.h"
#include "EvaluationPainter.h"
#include "SafeWrite.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QFontDatabase>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QSplitter>
#include <QSpinBox>
#include <QTableView>
#include <QVBoxLayout>

namespace {

constexpr int kLabelColumn = 1;
constexpr int kLimitColumn = 6;
constexpr int kResultColumn = 8;
constexpr int kMaxCount = 1000;          // connections, splices
constexpr double kMaxLengthKm = 1000.0;

// The result's words say it; the colour only helps the eye.
QColor ResultColour(Verdict verdict)
{
    switch (verdict) {
    case Verdict::Pass: return QColor(0xc8, 0xf0, 0xc8);
    case Verdict::Fail: return QColor(0xf4, 0xb8, 0xb8);
    case Verdict::MarginalPass:
    case Verdict::MarginalFail: return QColor(0xff, 0xe8, 0xa0);
    default: return QColor(0xe4, 0xe4, 0xe4);
    }
}

QString Q(const std::string& text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QDoubleSpinBox* DecimalBox(double maximum, int decimals, const QString& suffix)
{
    auto* box = new QDoubleSpinBox;
    box->setRange(0.0, maximum);
    box->setDecimals(decimals);
    box->setSuffix(suffix);
    box->setKeyboardTracking(false);
    return box;
}

QSpinBox* CountBox(int minimum, int maximum)
{
    auto* box = new QSpinBox;
    box->setRange(minimum, maximum);
    box->setKeyboardTracking(false);
    return box;
}

} // namespace

int CEvaluationModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_rows;
}

int CEvaluationModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(kEvaluationColumns.size());
}

QVariant CEvaluationModel::data(const QModelIndex& index, int role) const
{
    if (!m_result || !index.isValid() || index.row() >= m_rows)
        return {};
    const auto row = static_cast<std::size_t>(index.row());
    const RecordResult& record = m_result->records[row];
    if (role == Qt::DisplayRole || role == Qt::EditRole) {
        std::optional<std::array<QString, kEvaluationColumns.size()>>& cells = m_cells[row];
        if (!cells) {
            const std::array<std::string, kEvaluationColumns.size()> texts = RecordCells(record);
            cells.emplace();
            for (std::size_t column = 0; column < texts.size(); ++column)
                (*cells)[column] = Q(texts[column]);
        }
        return (*cells)[static_cast<std::size_t>(index.column())];
    }
    if (role == Qt::BackgroundRole && index.column() == kResultColumn)
        return ResultColour(record.verdict);
    if (role == Qt::TextAlignmentRole && index.column() != kLabelColumn && index.column() != kResultColumn)
        return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
    return {};
}

QVariant CEvaluationModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0
        && section < static_cast<int>(kEvaluationColumns.size()))
        return QString::fromLatin1(kEvaluationColumns[static_cast<std::size_t>(section)]);
    return QAbstractTableModel::headerData(section, orientation, role);
}

Qt::ItemFlags CEvaluationModel::flags(const QModelIndex& index) const
{
    const Qt::ItemFlags flags = QAbstractTableModel::flags(index);
    return index.column() == kLabelColumn ? flags | Qt::ItemIsEditable : flags;
}

bool CEvaluationModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (!m_result || role != Qt::EditRole || index.column() != kLabelColumn || index.row() >= m_rows)
        return false;
    emit LabelEdited(m_result->records[static_cast<std::size_t>(index.row())].link, value.toString());
    return true;
}

void CEvaluationModel::SetResult(const EvaluationResult* result, int firstChanged)
{
    const int rows = result ? static_cast<int>(result->records.size()) : 0;
    m_cells.assign(static_cast<std::size_t>(rows), std::nullopt);
    if (rows != m_rows) {
        beginResetModel();
        m_result = result;
        m_rows = rows;
        endResetModel();
        return;
    }
    // Same rows, new values: the view keeps its place and repaints what it shows.
    m_result = result;
    if (rows > 0)
        emit dataChanged(index(0, firstChanged), index(rows - 1, columnCount() - 1));
}

CEvaluationChart::CEvaluationChart(QWidget* parent) : QWidget(parent)
{
    setMinimumHeight(160);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void CEvaluationChart::SetResult(const EvaluationResult* result)
{
    m_result = result;
    update();
}

void CEvaluationChart::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
    painter.setPen(QPen(Qt::black, 0));
    painter.setBrush(Qt::white);
    if (m_result)
        PaintEvaluationChart(painter, *m_result, rect().adjusted(4, 4, -4, -4));
}

CEvaluationWindow::CEvaluationWindow(const CRowModel& rows, QString limitsFolder, QWidget* parent)
    : QWidget(parent, Qt::Window), m_rows(rows), m_limitsFolder(std::move(limitsFolder))
{
    setWindowTitle(QStringLiteral("Evaluation"));
    m_includeAction = new QAction(QStringLiteral("Include evaluation"), this);
    m_includeAction->setCheckable(true);
    m_includeAction->setToolTip(QStringLiteral("Print the Evaluation pages after the Data Report"));
    CreateControls();
    LoadLimitSets();

    m_followTable.setSingleShot(true);
    m_followTable.setInterval(0);
    connect(&m_followTable, &QTimer::timeout, this, &CEvaluationWindow::Reevaluate);
    // A reset is a new table (cleared, or an archived upload opened): the
    // records read before belong to another; new rows of a transfer come empty.
    connect(&m_rows, &QAbstractItemModel::modelReset, this, [this] {
        m_records.clear();
        m_editedLabels.clear();
        m_sourceName = "the meter";
        OnTableChanged();
    });
    connect(&m_rows, &QAbstractItemModel::rowsInserted, this, &CEvaluationWindow::OnTableChanged);
    connect(&m_rows, &QAbstractItemModel::dataChanged, this, &CEvaluationWindow::OnValuesChanged);
    connect(&m_model, &CEvaluationModel::LabelEdited, this, [this](int link, const QString& label) {
        m_editedLabels[link] = label.toStdString();
        OnEdited();
    });
    resize(980, 720);
}

void CEvaluationWindow::CreateControls()
{
    m_limitSet = new QComboBox;
    m_maxLoss = DecimalBox(kMaxLimitSetDb, 2, QStringLiteral(" dB"));
    m_maxLoss->setValue(3.0);
    m_length = DecimalBox(kMaxLengthKm, 3, QStringLiteral(" km"));
    m_connections = CountBox(0, kMaxCount);
    m_splices = CountBox(0, kMaxCount);
    m_uncertainty = DecimalBox(10.0, 2, QStringLiteral(" dB"));
    m_perLink = CountBox(1, kMaxRecordsPerLink);
    m_labels = new QLineEdit(QStringLiteral("F001"));
    auto* import = new QPushButton(QStringLiteral("Import..."));
    auto* exportSet = new QPushButton(QStringLiteral("Export..."));
    m_problem = new QLabel;
    m_problem->setWordWrap(true);
    m_problem->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* setRow = new QHBoxLayout;
    setRow->addWidget(m_limitSet, 1);
    setRow->addWidget(import);
    setRow->addWidget(exportSet);
    auto* left = new QFormLayout;
    left->addRow(QStringLiteral("Limit set:"), setRow);
    left->addRow(QStringLiteral("&Maximum loss:"), m_maxLoss);
    left->addRow(QStringLiteral("Len&gth:"), m_length);
    left->addRow(QStringLiteral("&Connections:"), m_connections);
    auto* right = new QFormLayout;
    right->addRow(QStringLiteral("&Splices:"), m_splices);
    right->addRow(QStringLiteral("&Uncertainty band:"), m_uncertainty);
    right->addRow(QStringLiteral("&Records per link:"), m_perLink);
    right->addRow(QStringLiteral("La&bels:"), m_labels);
    auto* parameters = new QHBoxLayout;
    parameters->addLayout(left, 3);
    parameters->addLayout(right, 2);

    m_table = new QTableView;
    m_table->setModel(&m_model);
    m_table->verticalHeader()->hide();
    m_table->verticalHeader()->setDefaultSectionSize(m_table->fontMetrics().height() + 6);
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_table->setWordWrap(false);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed);

    m_summary = new QLabel;
    m_summary->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    // Plain text, not selectable: a selectable label lays out a whole text
    // document for each new summary, a stall at every parameter change.
    m_summary->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_chart = new CEvaluationChart;
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(m_summary);
    bottom->addWidget(m_chart, 1);
    auto* bottomWidget = new QWidget;
    bottomWidget->setLayout(bottom);

    auto* splitter = new QSplitter(Qt::Vertical);
    splitter->addWidget(m_table);
    splitter->addWidget(bottomWidget);
    splitter->setStretchFactor(0, 3);
    splitter->setStretchFactor(1, 2);

    auto* include = new QPushButton(QStringLiteral("Include evaluation in the printed report"));
    include->setCheckable(true);
    connect(include, &QPushButton::toggled, m_includeAction, &QAction::setChecked);
    connect(m_includeAction, &QAction::toggled, include, &QPushButton::setChecked);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(parameters);
    layout->addWidget(m_problem);
    layout->addWidget(splitter, 1);
    layout->addWidget(include, 0, Qt::AlignLeft);

    // Every parameter judges again at once.
    connect(m_limitSet, &QComboBox::currentIndexChanged, this, &CEvaluationWindow::OnEdited);
    for (QDoubleSpinBox* box : {m_maxLoss, m_length, m_uncertainty})
        connect(box, &QDoubleSpinBox::valueChanged, this, &CEvaluationWindow::OnEdited);
    for (QSpinBox* box : {m_connections, m_splices, m_perLink})
        connect(box, &QSpinBox::valueChanged, this, &CEvaluationWindow::OnEdited);
    connect(m_labels, &QLineEdit::textChanged, this, &CEvaluationWindow::OnEdited);
    connect(import, &QPushButton::clicked, this, &CEvaluationWindow::OnImport);
    connect(exportSet, &QPushButton::clicked, this, &CEvaluationWindow::OnExport);
}

void CEvaluationWindow::LoadLimitSets()
{
    m_sets = BuiltInLimitSets();
    QStringList refused;
    for (UserLimitSet& user : ListUserLimitSets(m_limitsFolder.toStdString())) {
        if (user.read.ok())
            m_sets.push_back(std::move(user.read.set));
        else
            refused << QStringLiteral("Refused: ") + Q(user.read.error->Message());
    }
    m_refused = refused.join('\n');
    OfferSets();
    Reevaluate();
}

void CEvaluationWindow::OfferSets()
{
    const QString current = m_limitSet->currentText();
    const QSignalBlocker blocker(m_limitSet);
    m_limitSet->clear();
    for (const LimitSet& set : m_sets)
        m_limitSet->addItem(Q(set.name) + (set.builtIn ? QStringLiteral(" (built-in)") : QString()));
    if (m_storedSet)
        m_limitSet->addItem(Q(m_storedSet->name) + QStringLiteral(" (stored with ") + m_storedOrigin + QStringLiteral(")"));
    const int found = m_limitSet->findText(current);
    m_limitSet->setCurrentIndex(found >= 0 ? found : 0);
}

void CEvaluationWindow::OnRecordRead(int row, const MeterRecord& record)
{
    if (row < 0)
        return;
    if (static_cast<std::size_t>(row) >= m_records.size())
        m_records.resize(static_cast<std::size_t>(row) + 1);
    m_records[static_cast<std::size_t>(row)] = record;
    m_measuredStale = true;
}

void CEvaluationWindow::ShowArchived(const QString& origin, const std::vector<std::optional<MeterRecord>>& records,
                                     const std::optional<StoredEvaluation>& stored)
{
    m_records = records;
    m_records.resize(static_cast<std::size_t>(m_rows.rowCount()));
    m_measuredStale = true;
    m_sourceName = origin.toStdString() + " of the archive";
    if (stored) {
        // The set as stored: one of today's where it is that set number for
        // number, else the stored numbers under an entry of their own.
        const LimitSet set = ResolveStoredLimitSet(stored->set);
        const auto today = std::find(m_sets.begin(), m_sets.end(), set);
        m_storedSet.reset();
        if (today == m_sets.end()) {
            m_storedSet = set;
            m_storedOrigin = origin;
        }
        OfferSets();
        const EvaluationParameters& parameters = stored->parameters;
        const QSignalBlocker blockSet(m_limitSet), blockMaxLoss(m_maxLoss), blockLength(m_length),
            blockConnections(m_connections), blockSplices(m_splices), blockUncertainty(m_uncertainty),
            blockPerLink(m_perLink), blockLabels(m_labels);
        m_limitSet->setCurrentIndex(static_cast<int>(today - m_sets.begin()));
        if (parameters.maxLossDb)
            m_maxLoss->setValue(*parameters.maxLossDb);
        m_length->setValue(parameters.lengthKm);
        m_connections->setValue(parameters.connections);
        m_splices->setValue(parameters.splices);
        m_uncertainty->setValue(parameters.uncertaintyDb);
        m_perLink->setValue(parameters.recordsPerLink);
        m_labels->setText(Q(PatternText(parameters.labels)));
        m_editedLabels = parameters.editedLabels;
        m_report.parameters.bendCheck = parameters.bendCheck;
        m_report.parameters.bendThresholdDb = parameters.bendThresholdDb;
    }
    Reevaluate();
}

void CEvaluationWindow::OnEdited()
{
    Reevaluate();
    emit SettingsEdited();
}

void CEvaluationWindow::OnTableChanged()
{
    m_records.resize(static_cast<std::size_t>(m_rows.rowCount()));
    OnValuesChanged();
}

void CEvaluationWindow::OnValuesChanged()
{
    m_measuredStale = true;
    m_followTable.start();
}

std::vector<Measurement> CEvaluationWindow::Measurements() const
{
    const std::vector<RowTexts>& rows = m_rows.Rows();
    std::vector<Measurement> measurements(rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        // The record's own floats where the transfer gave them; an archived
        // upload opened again has its texts only.
        measurements[i] = i < m_records.size() && m_records[i] ? MeasurementFromRecord(*m_records[i], static_cast<int>(i))
                                                               : MeasurementFromRowTexts(rows[i]);
    }
    return measurements;
}

void CEvaluationWindow::Reevaluate()
{
    m_followTable.stop();
    const int index = m_limitSet->currentIndex();
    if (index >= 0 && static_cast<std::size_t>(index) < m_sets.size())
        m_report.set = m_sets[static_cast<std::size_t>(index)];
    else
        m_report.set = m_storedSet && static_cast<std::size_t>(index) == m_sets.size() ? *m_storedSet : LimitSet{};
    m_maxLoss->setEnabled(m_report.set.maxLossFromParameters);
    EvaluationParameters& parameters = m_report.parameters;
    parameters.maxLossDb = m_report.set.maxLossFromParameters ? std::optional<double>(m_maxLoss->value()) : std::nullopt;
    parameters.lengthKm = m_length->value();
    parameters.connections = m_connections->value();
    parameters.splices = m_splices->value();
    parameters.uncertaintyDb = m_uncertainty->value();
    parameters.recordsPerLink = m_perLink->value();
    parameters.editedLabels = m_editedLabels;
    const std::optional<LabelPattern> labels = ParseLabelPattern(m_labels->text().toStdString());
    std::string problem = labels ? CheckParameters(m_report.set, parameters)
                                 : "The label pattern ends in a number too long to count on.";
    if (labels)
        parameters.labels = *labels;
    m_usable = problem.empty();
    const bool fromTexts = m_records.empty() || !m_records.front();
    m_report.source = {fromTexts ? "the table" : m_sourceName, fromTexts};
    // A parameter change leaves the values as they were, and the labels
    // unless their pattern or grouping changed.
    int firstChanged = kLimitColumn;
    if (parameters.labels != m_judged.labels || parameters.recordsPerLink != m_judged.recordsPerLink
        || parameters.editedLabels != m_judged.editedLabels)
        firstChanged = kLabelColumn;
    if (m_measuredStale) {
        m_measured = MeasureRecords(Measurements());
        m_measuredStale = false;
        firstChanged = 0;
    }
    m_judged = parameters;
    m_report.result = Judge(m_measured, m_report.set, parameters);

    m_model.SetResult(&m_report.result, firstChanged);
    m_chart->SetResult(&m_report.result);
    m_summary->setText(Q(SummaryText(m_report.result)));
    m_problem->setText(m_usable ? m_refused : Q(problem));
    emit Evaluated();
}

const EvaluationReport* CEvaluationWindow::PrintedEvaluation() const
{
    return m_includeAction->isChecked() && m_usable ? &m_report : nullptr;
}

void CEvaluationWindow::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    m_used = true;
    Reevaluate();
}

void CEvaluationWindow::OnImport()
{
    const QString path = QFileDialog::getOpenFileName(this, QStringLiteral("Import limit set"), QString(),
                                                      QStringLiteral("Limit sets (*.json)"));
    if (path.isEmpty())
        return;
    const LimitSetRead read = ReadLimitSetFile(path.toStdString());
    if (!read.ok()) {
        m_problem->setText(QStringLiteral("Not imported: ") + Q(read.error->Message()));   // nothing else changes
        return;
    }
    QDir().mkpath(m_limitsFolder);
    const QString target = QDir(m_limitsFolder).filePath(QFileInfo(path).fileName());
    const FileWriteResult written = WriteFileSafely(target.toStdString(), LimitSetJson(read.set));
    if (!written.ok()) {
        m_problem->setText(QStringLiteral("Not imported: ") + target + QStringLiteral(": ") + Q(written.reason));
        return;
    }
    LoadLimitSets();
    m_limitSet->setCurrentText(Q(read.set.name));
}

void CEvaluationWindow::OnExport()
{
    const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Export limit set"),
                                                      Q(m_report.set.name) + QStringLiteral(".json"),
                                                      QStringLiteral("Limit sets (*.json)"));
    if (path.isEmpty())
        return;
    const FileWriteResult written = WriteFileSafely(path.toStdString(), LimitSetJson(m_report.set, m_report.parameters));
    if (!written.ok())
        m_problem->setText(QStringLiteral("Not exported: ") + path + QStringLiteral(": ") + Q(written.reason));
}
