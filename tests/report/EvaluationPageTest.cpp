#include "EvaluationPage.h"

#include "LimitSetFile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace {

// H = 100 units, 93 cells in 9300 units, L = 40: rows from line 5 to line 48 of a page.
const ReportLayout kLayout{100, 9300, 40, 0};

EvaluationReport ReportOf(int records)
{
    EvaluationReport report;
    report.set = *FindBuiltInLimitSet(kFixedBudgetName);
    report.parameters.maxLossDb = 3.0;
    std::vector<Measurement> measurements;
    for (int i = 0; i < records; ++i)
        measurements.push_back({i + 1, std::pow(10.0, -(i % 50) / 10.0), 1.0, 1310, true});
    report.result = Evaluate(measurements, report.set, report.parameters);
    return report;
}

std::vector<std::string> TextsOf(const std::vector<DrawOperation>& page)
{
    std::vector<std::string> texts;
    for (const DrawOperation& operation : page) {
        if (operation.kind == DrawOperation::Kind::Text)
            texts.push_back(operation.text);
    }
    return texts;
}

// Every record is on exactly one table page, in order, and no line leaves the page.
TEST(EvaluationPageTest, EveryRecordOnceInOrder)
{
    const EvaluationReport report = ReportOf(200);
    const auto pages = LayoutEvaluationPages(kLayout, report);
    ASSERT_GE(pages.size(), 2u);
    EXPECT_EQ(TextsOf(pages[0])[0], "Evaluation");
    int next = 1;
    const int bottom = (kLayout.linesPerPage + 10) * kLayout.lineHeight;
    for (std::size_t p = 1; p < pages.size(); ++p) {
        const std::vector<std::string> texts = TextsOf(pages[p]);
        EXPECT_EQ(texts[0], "Evaluation: records");
        for (std::size_t t = 3; t < texts.size(); ++t) {
            EXPECT_EQ(std::stoi(texts[t]), next) << texts[t];
            ++next;
        }
        for (const DrawOperation& operation : pages[p])
            EXPECT_LT(operation.y1, bottom);
    }
    EXPECT_EQ(next, 201);
}

// The chart: one dash per limit, one marker per loss, two crossing lines for a fail.
TEST(EvaluationPageTest, ChartMarksEachRecord)
{
    const EvaluationReport report = ReportOf(3);   // losses 0, 1 and 2 dB against 3 dB: all pass
    const auto chart = LayoutEvaluationChart(report.result, {0, 0, 10000, 5000}, 100);
    const auto rectangles = std::count_if(chart.begin(), chart.end(), [](const DrawOperation& operation) {
        return operation.kind == DrawOperation::Kind::Rectangle;
    });
    EXPECT_EQ(rectangles, 1 + 3);   // the frame and three squares
    EXPECT_TRUE(LayoutEvaluationChart(report.result, {0, 0, 10, 10}, 100).empty());
}

// Too many records for squares: the limit's dashes touch and make one line
// across the plot. Box 1000 wide, H = 100: the plot starts at 300 and is
// 1000 - 300 - 50 = 650 wide; 400 records: a step of 1.625, markers of no
// width; the dashes reach 2 either side of 300 + 0.8125 and of 300 + 649.1875
// (the axis ticks are 25 long).
TEST(EvaluationPageTest, ChartOfManyRecordsDrawsTheLimitAsOneLine)
{
    const EvaluationReport report = ReportOf(400);
    const auto chart = LayoutEvaluationChart(report.result, {0, 0, 1000, 5000}, 100);
    std::vector<DrawOperation> limitLines;
    for (const DrawOperation& operation : chart) {
        if (operation.kind == DrawOperation::Kind::Line && operation.y1 == operation.y2 && operation.x2 - operation.x1 > 100)
            limitLines.push_back(operation);
    }
    ASSERT_EQ(limitLines.size(), 1u);
    EXPECT_EQ(limitLines[0].x1, 300 - 2);
    EXPECT_EQ(limitLines[0].x2, 949 + 2);
    EXPECT_EQ(std::count(chart.begin(), chart.end(), limitLines[0]), 1);
}

TEST(EvaluationPageTest, WrapText)
{
    EXPECT_EQ(WrapText("one two three", 7), (std::vector<std::string>{"one two", "three"}));
    EXPECT_EQ(WrapText("", 7), (std::vector<std::string>{""}));
    EXPECT_EQ(WrapText("unbreakable", 4), (std::vector<std::string>{"unbreakable"}));
}

} // namespace
