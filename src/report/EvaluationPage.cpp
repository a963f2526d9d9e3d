#include "EvaluationPage.h"

#include "LimitSetFile.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>

namespace {

constexpr int kTextIndent = 50;        // as the Data Report's header lines
constexpr int kTitleOffset = 250;      // as the Data Report's title
constexpr int kMinChartLines = 10;     // a chart lower than this goes to a page of its own
constexpr std::size_t kLineCells = kReportTextCells - 3;

DrawOperation Text(int x, int y, std::string text)
{
    return {DrawOperation::Kind::Text, x, y, 0, 0, std::move(text)};
}

DrawOperation Line(int x1, int y1, int x2, int y2)
{
    return {DrawOperation::Kind::Line, x1, y1, x2, y2, {}};
}

DrawOperation Box(int left, int top, int right, int bottom)
{
    return {DrawOperation::Kind::Rectangle, left, top, right, bottom, {}};
}

// The section's pages are filled line by line from below the title.
class CPageWriter {
public:
    CPageWriter(const ReportLayout& layout, std::vector<std::vector<DrawOperation>>& pages)
        : m_layout(layout), m_pages(pages) {}

    void NewPage(const std::string& title)
    {
        const int H = m_layout.lineHeight;
        m_pages.emplace_back();
        m_pages.back().push_back(Text(m_layout.marginLeft + m_layout.textWidth / 2 - kTitleOffset, 3 * H, title));
        m_nextLine = 5;
    }
    int LinesLeft() const { return m_layout.linesPerPage + 9 - m_nextLine; }
    int NextY() const { return m_nextLine * m_layout.lineHeight; }
    void Write(const std::string& text)
    {
        m_pages.back().push_back(Text(m_layout.marginLeft + kTextIndent, NextY(), text));
        ++m_nextLine;
    }
    void Skip(int lines) { m_nextLine += lines; }
    std::vector<DrawOperation>& Page() { return m_pages.back(); }

private:
    const ReportLayout& m_layout;
    std::vector<std::vector<DrawOperation>>& m_pages;
    int m_nextLine = 0;
};

double ChartTop(const EvaluationResult& result)
{
    double top = 0.0;
    for (const RecordResult& record : result.records) {
        if (record.lossDb)
            top = std::max(top, *record.lossDb);
        if (record.limitDb)
            top = std::max(top, *record.limitDb);
    }
    // A round number of dB above the highest value, at least 1.
    return std::max(1.0, std::ceil(top * 1.1));
}

} // namespace

std::vector<std::string> WrapText(const std::string& text, std::size_t cells)
{
    std::vector<std::string> lines;
    std::string line;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find(' ', start);
        if (end == std::string::npos)
            end = text.size();
        const std::string word = text.substr(start, end - start);
        if (!line.empty() && line.size() + 1 + word.size() > cells) {
            lines.push_back(line);
            line.clear();
        }
        line += (line.empty() ? "" : " ") + word;
        start = end + 1;
    }
    if (!line.empty() || lines.empty())
        lines.push_back(line);
    return lines;
}

std::vector<DrawOperation> LayoutEvaluationChart(const EvaluationResult& result, const ChartBox& box, int lineHeight)
{
    std::vector<DrawOperation> chart;
    // Room on the left for the axis values (about six characters), above
    // for the caption, below for the record numbers.
    const int axisWidth = std::max(box.width / 10, 3 * lineHeight);
    const int plotLeft = box.left + axisWidth;
    const int plotTop = box.top + lineHeight + lineHeight / 2;
    const int plotWidth = box.width - axisWidth - lineHeight / 2;
    const int plotHeight = box.height - 3 * lineHeight;
    if (plotWidth <= 0 || plotHeight <= 0)
        return chart;
    const int plotBottom = plotTop + plotHeight;
    chart.push_back(Box(plotLeft, plotTop, plotLeft + plotWidth, plotBottom));

    const double top = ChartTop(result);
    const auto yOf = [&](double db) {
        const double clamped = std::clamp(db, 0.0, top);
        return plotBottom - static_cast<int>(std::lround(clamped / top * plotHeight));
    };
    for (int tick = 0; tick <= 4; ++tick) {
        const double db = top * tick / 4;
        const int y = yOf(db);
        chart.push_back(Line(plotLeft - lineHeight / 4, y, plotLeft, y));
        chart.push_back(Text(box.left, y - lineHeight / 2, FormatDb(db)));
    }
    const std::size_t count = result.records.size();
    chart.push_back(Text(plotLeft, plotBottom + lineHeight / 4, "1"));
    if (count > 1) {
        const std::string last = std::to_string(result.records.back().no);
        chart.push_back(Text(plotLeft + plotWidth - lineHeight / 2 * static_cast<int>(last.size()),
                             plotBottom + lineHeight / 4, last));
    }
    chart.push_back(Text(plotLeft, box.top, "Loss (dB); dash: limit; x: fails"));

    // A marker no wider than its share of the width, and at most a third of a line.
    const double step = static_cast<double>(plotWidth) / static_cast<double>(std::max<std::size_t>(count, 1));
    const int half = std::max(0, std::min(lineHeight / 6, static_cast<int>(step / 2.5)));
    // Markers one unit wide leave only lines of one ink, whose order does
    // not show: dashes at one height that touch are drawn as one line, and a
    // marker already drawn in its column is not drawn again. Thousands of
    // records then cost a few lines more than their columns.
    const bool linesOnly = half == 0;
    std::map<int, std::pair<int, int>> openDashes;   // by height: from, to
    int column = std::numeric_limits<int>::min();
    std::vector<std::pair<int, bool>> columnMarks;   // height, fail
    for (std::size_t i = 0; i < count; ++i) {
        const RecordResult& record = result.records[i];
        const int x = plotLeft + static_cast<int>((static_cast<double>(i) + 0.5) * step);
        if (record.limitDb) {
            const int y = yOf(*record.limitDb);
            const int reach = std::max(half, 1) * 2;
            const auto open = openDashes.find(y);
            if (!linesOnly) {
                chart.push_back(Line(x - reach, y, x + reach, y));
            } else if (open != openDashes.end() && x - reach <= open->second.second + 1) {
                open->second.second = x + reach;
            } else {
                if (open != openDashes.end())
                    chart.push_back(Line(open->second.first, y, open->second.second, y));
                openDashes[y] = {x - reach, x + reach};
            }
        }
        if (!record.lossDb)
            continue;
        const int y = yOf(*record.lossDb);
        if (linesOnly) {
            if (x != column) {
                column = x;
                columnMarks.clear();
            }
            const std::pair<int, bool> mark{y, IsFail(record.verdict)};
            if (std::find(columnMarks.begin(), columnMarks.end(), mark) != columnMarks.end())
                continue;
            columnMarks.push_back(mark);
        }
        if (IsFail(record.verdict)) {
            chart.push_back(Line(x - half, y - half, x + half, y + half));
            chart.push_back(Line(x - half, y + half, x + half, y - half));
        } else if (half > 0) {
            chart.push_back(Box(x - half, y - half, x + half + 1, y + half + 1));
        } else {
            chart.push_back(Line(x, y, x, y + 1));
        }
    }
    for (const auto& [y, dash] : openDashes)
        chart.push_back(Line(dash.first, y, dash.second, y));
    return chart;
}

std::vector<std::vector<DrawOperation>> LayoutEvaluationPages(const ReportLayout& layout, const EvaluationReport& report)
{
    std::vector<std::vector<DrawOperation>> pages;
    if (layout.lineHeight <= 0 || layout.linesPerPage < 2)
        return pages;
    CPageWriter writer(layout, pages);
    writer.NewPage("Evaluation");

    std::vector<std::string> head{"Values: " + report.source.name
                                  + (report.source.fromRowTexts ? " (read back from the row texts, two decimals)"
                                                                : " (the records as read)"),
                                  "Parameters: " + DescribeParameters(report.set, report.parameters)};
    for (const std::string& line : DescribeLimitSet(report.set, report.parameters))
        head.push_back(line);
    std::vector<std::string> lines;
    for (const std::string& line : head) {
        for (std::string& part : WrapText(line, kLineCells))
            lines.push_back(std::move(part));
    }
    // The summary's columns are aligned with blanks: never wrapped.
    lines.push_back("");
    for (const std::string& line : SummaryTextLines(report.result))
        lines.push_back(line);
    lines.push_back(OverallVerdictLine(report.result));
    for (const std::string& line : lines) {
        if (writer.LinesLeft() < 1)
            writer.NewPage("Evaluation");
        writer.Write(line);
    }

    writer.Skip(1);
    if (writer.LinesLeft() < kMinChartLines)
        writer.NewPage("Evaluation");
    const int H = layout.lineHeight;
    const ChartBox box{layout.marginLeft, writer.NextY(), layout.textWidth, writer.LinesLeft() * H};
    for (DrawOperation& operation : LayoutEvaluationChart(report.result, box, H))
        writer.Page().push_back(std::move(operation));

    const std::vector<std::string> table = RecordTextLines(report.result);
    const auto newTablePage = [&] {
        writer.NewPage("Evaluation: records");
        writer.Write(table[0]);
        writer.Write(table[1]);
        const int y = writer.NextY();
        writer.Page().push_back(Line(layout.marginLeft, y, layout.marginLeft + layout.textWidth, y));
    };
    newTablePage();
    for (std::size_t i = 2; i < table.size(); ++i) {
        if (writer.LinesLeft() < 1)
            newTablePage();
        writer.Write(table[i].substr(0, kReportTextCells - 1));
    }
    return pages;
}
