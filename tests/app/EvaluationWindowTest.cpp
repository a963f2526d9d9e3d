// The Evaluation window over the main window: parameters change the results
// at once, an upload fills it as the records arrive, and the printed report
// carries its pages when asked to.

#include "WindowFixture.h"

#include "Archive.h"
#include "ArchiveSession.h"
#include "EvaluationWindow.h"
#include "PrintPreviewWindow.h"

#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QSpinBox>
#include <QTableView>
#include <QToolBar>

#include <gtest/gtest.h>

namespace {

constexpr int kResultColumn = 8;

// Power 0.5 mW against a 1 mW reference: 10 log10(2) = 3.0103 dB of loss.
MeterRecord HalfPower(std::uint8_t wavelengthIndex)
{
    return MeterRecord::Make(0.5f, 1.0f, 1, wavelengthIndex, 0);
}

class EvaluationWindowTest : public WindowTest {
protected:
    CEvaluationWindow& OpenEvaluation()
    {
        m_window->EvaluationAction()->trigger();
        CEvaluationWindow* evaluation = m_window->Evaluation();
        EXPECT_TRUE(evaluation->isVisible());
        return *evaluation;
    }

    static QString Result(CEvaluationWindow& evaluation, int row)
    {
        const QAbstractItemModel* model = evaluation.Table()->model();
        return model->data(model->index(row, kResultColumn)).toString();
    }

    static void ChooseSet(CEvaluationWindow& evaluation, const QString& name)
    {
        const int index = evaluation.LimitSetBox()->findText(name + QStringLiteral(" (built-in)"));
        ASSERT_GE(index, 0) << name.toStdString();
        evaluation.LimitSetBox()->setCurrentIndex(index);
    }
};

// Each parameter changes the results at once; rows shown from elsewhere are judged
// from their texts; the preview adds the Evaluation pages when asked to.
TEST_F(EvaluationWindowTest, ParametersChangeTheResultsAtOnce)
{
    CMeterSim& meter = StartMeter({HalfPower(2), HalfPower(4)});   // 1310 and 1550 nm
    OpenWindow({meter.SlavePath()});
    ASSERT_TRUE(Upload());
    CEvaluationWindow& evaluation = OpenEvaluation();
    ASSERT_EQ(evaluation.Table()->model()->rowCount(), 2);
    EXPECT_FALSE(evaluation.Report().source.fromRowTexts);

    ChooseSet(evaluation, QStringLiteral("Fixed budget"));
    evaluation.MaxLossBox()->setValue(4.0);
    EXPECT_EQ(Result(evaluation, 0), QStringLiteral("PASS"));
    EXPECT_TRUE(evaluation.SummaryLabel()->text().contains(QStringLiteral("PASS: all 2 records pass")));

    evaluation.MaxLossBox()->setValue(3.0);   // 3.0103 dB against 3 dB
    EXPECT_EQ(Result(evaluation, 0), QStringLiteral("FAIL"));
    QAbstractItemModel* model = evaluation.Table()->model();
    EXPECT_NE(model->data(model->index(0, kResultColumn), Qt::BackgroundRole), model->data(model->index(0, 0), Qt::BackgroundRole));

    evaluation.UncertaintyBox()->setValue(0.05);
    EXPECT_EQ(Result(evaluation, 0), QStringLiteral("FAIL*"));

    // 1.0 dB/km x 2 km + 2 x 0.75 dB = 3.5 dB
    ChooseSet(evaluation, QStringLiteral("TIA-568.3-D single-mode inside plant"));
    EXPECT_FALSE(evaluation.MaxLossBox()->isEnabled());
    evaluation.LengthBox()->setValue(2.0);
    evaluation.ConnectionsBox()->setValue(2);
    evaluation.UncertaintyBox()->setValue(0.0);
    EXPECT_EQ(Result(evaluation, 1), QStringLiteral("PASS"));
    EXPECT_EQ(model->data(model->index(1, 6)).toString(), QStringLiteral("3.50"));

    ChooseSet(evaluation, QStringLiteral("TIA-568.3-D multimode"));
    EXPECT_EQ(Result(evaluation, 0), QStringLiteral("NO VERDICT (no limit for 1310 nm)"));

    evaluation.PerLinkBox()->setValue(2);
    EXPECT_EQ(model->data(model->index(1, 1)).toString(), QStringLiteral("F001"));
    EXPECT_TRUE(model->setData(model->index(0, 1), QStringLiteral("Rack A"), Qt::EditRole));
    EXPECT_EQ(model->data(model->index(1, 1)).toString(), QStringLiteral("Rack A"));

    // Other rows shown (as when opened from the archive) are judged from their texts,
    // never from the floats of the upload shown before them: 0.25 mW against 1 mW is 6.02 dB.
    const std::vector<MeterRecord> opened{MeterRecord::Make(0.25f, 1.0f, 1, 2, 0), MeterRecord::Make(0.25f, 1.0f, 1, 4, 0)};
    m_window->ShowUpload({}, DecodedRows(opened));
    ASSERT_TRUE(ProcessEventsUntil([&] { return evaluation.Report().source.fromRowTexts; }));
    for (const RecordResult& record : evaluation.Report().result.records)
        EXPECT_EQ(FormatDb(record.lossDb), "6.02");

    // "Include evaluation" in the preview's tool bar adds the Evaluation section (summary
    // and chart, then the records) after the Data Report.
    m_window->OnButtonPreview();
    ASSERT_EQ(m_window->Previews().size(), 1u);
    CPrintPreviewWindow* preview = m_window->Previews().front();
    ASSERT_TRUE(ProcessEventsUntil([&] { return preview->PageCount() > 0; }));
    const int dataPages = preview->PageCount();
    QAction* include = evaluation.IncludeAction();
    EXPECT_TRUE(preview->findChild<QToolBar*>()->actions().contains(include));
    include->setChecked(true);
    EXPECT_TRUE(ProcessEventsUntil([&] { return preview->PageCount() == dataPages + 2; }));
    include->setChecked(false);
    EXPECT_TRUE(ProcessEventsUntil([&] { return preview->PageCount() == dataPages; }));
}

// The window judges each record as the transfer reads it, from its own floats.
TEST_F(EvaluationWindowTest, AnUploadFillsItLive)
{
    const std::vector<MeterRecord> records = GeneratedRecords(12);
    CMeterSim& meter = StartMeter(records);
    OpenWindow({meter.SlavePath()}, Pauses{});   // the wire's own pace: the upload takes a while
    CEvaluationWindow& evaluation = OpenEvaluation();
    ChooseSet(evaluation, QStringLiteral("Fixed budget"));
    m_window->Button(IDC_BUTTON_UPLOAD)->click();
    const auto losses = [&] {   // row by row, none for a row not judged yet
        std::vector<std::optional<double>> judged;
        for (const RecordResult& record : evaluation.Report().result.records)
            judged.push_back(record.lossDb);
        return judged;
    };
    const auto judged = [&] {
        return std::ranges::count_if(losses(), [](const auto& loss) { return loss.has_value(); });
    };
    EXPECT_TRUE(ProcessEventsUntil([&] { return judged() >= 2 && m_window->Link().IsBusy(); }, std::chrono::seconds(60)))
        << "no record judged while the upload ran";
    ASSERT_TRUE(ProcessEventsUntil([&] { return !m_window->Link().IsBusy() && EnabledButtons() == 7; },
                                   std::chrono::seconds(60)));
    std::vector<std::optional<double>> ofTheFloats;   // exactly: the texts would round them
    for (std::size_t i = 0; i < records.size(); ++i)
        ofTheFloats.push_back(LossOf(MeasurementFromRecord(records[i], static_cast<int>(i))));
    EXPECT_TRUE(ProcessEventsUntil([&] { return losses() == ofTheFloats; }));
}

// What the table's upload is evaluated with goes into the archive as the
// operator changes it, and comes back when the upload is opened again; a
// stored set named as a built-in one but with other numbers shows as stored.
TEST_F(EvaluationWindowTest, AnOpenedUploadComesBackWithItsParametersAndLabels)
{
    CMeterSim& meter = StartMeter({HalfPower(0), HalfPower(2)});   // 850 and 1310 nm
    OpenWindow({meter.SlavePath()});
    CEvaluationWindow& evaluation = OpenEvaluation();
    QAbstractItemModel* model = evaluation.Table()->model();
    const auto cell = [&](int row, int column) { return model->data(model->index(row, column)).toString(); };
    ASSERT_TRUE(Upload());   // upload 1
    ChooseSet(evaluation, QStringLiteral("Fixed budget"));
    evaluation.MaxLossBox()->setValue(4.0);
    evaluation.LabelsEdit()->setText(QStringLiteral("R01"));
    ASSERT_TRUE(model->setData(model->index(0, 1), QStringLiteral("Rack A"), Qt::EditRole));
    ASSERT_TRUE(Upload());   // upload 2
    evaluation.MaxLossBox()->setValue(2.0);
    ASSERT_TRUE(m_window->Archive().Writer()->WaitUntilWritten(std::chrono::seconds(30)));
    {
        // As an earlier program might have stored it: 3.75 dB/km at 850 nm where the built-in set has 3.5.
        LimitSet older = *FindBuiltInLimitSet("TIA-568.3-D multimode");
        older.wavelengths[0].attenuationDbPerKm = 3.75;
        EvaluationParameters oneKm;
        oneKm.lengthKm = 1.0;
        const StoredEvaluationTexts texts = StoredEvaluationTextsOf(older, oneKm);
        CArchive archive;
        ASSERT_TRUE(archive.Open(ArchivePath().toStdString()).ok);
        ASSERT_TRUE(archive.StoreEvaluation(2, {texts.parameters, texts.limitSet, texts.labels, 1}));
    }

    ASSERT_TRUE(m_window->Archive().OpenUpload(1));
    EXPECT_EQ(evaluation.LimitSetBox()->currentText(), QStringLiteral("Fixed budget (built-in)"));
    EXPECT_EQ(evaluation.MaxLossBox()->value(), 4.0);
    EXPECT_EQ(evaluation.LabelsEdit()->text(), QStringLiteral("R01"));
    EXPECT_EQ(cell(0, 1), QStringLiteral("Rack A"));
    EXPECT_EQ(cell(1, 1), QStringLiteral("R02"));
    EXPECT_EQ(evaluation.Report().source.name, "upload 1 of the archive");
    EXPECT_FALSE(evaluation.Report().source.fromRowTexts);

    ASSERT_TRUE(m_window->Archive().OpenUpload(2));
    EXPECT_EQ(evaluation.LimitSetBox()->currentText(), QStringLiteral("TIA-568.3-D multimode (stored with upload 2)"));
    EXPECT_EQ(evaluation.LengthBox()->value(), 1.0);
    EXPECT_EQ(cell(0, 6), QStringLiteral("3.75"));   // 3.75 dB/km x 1 km
    EXPECT_EQ(Result(evaluation, 0), QStringLiteral("PASS"));
    ASSERT_TRUE(model->setData(model->index(1, 1), QStringLiteral("Rack B"), Qt::EditRole));
    ASSERT_TRUE(m_window->Archive().Writer()->WaitUntilWritten(std::chrono::seconds(30)));
    CArchive archive;
    ASSERT_TRUE(archive.Open(ArchivePath().toStdString()).ok);
    const std::optional<ArchivedEvaluation> stored = archive.LoadUpload(2)->evaluation;
    ASSERT_TRUE(stored);
    const StoredEvaluationRead read = ReadStoredEvaluation({stored->parameters, stored->limitSet, stored->labels});
    ASSERT_TRUE(read.ok()) << read.error;
    EXPECT_EQ(read.evaluation.parameters.editedLabels, (std::map<int, std::string>{{1, "Rack B"}}));
    EXPECT_EQ(read.evaluation.set.Find(850)->attenuationDbPerKm, 3.75);
}

} // namespace
