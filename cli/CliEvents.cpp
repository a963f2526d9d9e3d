#include "CliEvents.h"

#include "LinkMessages.h"
#include "StatusTexts.h"

#include <cstdio>

namespace {

std::string FormatDuration(double seconds) {
    const long total = static_cast<long>(seconds + 0.5);
    char text[32];
    std::snprintf(text, sizeof text, "%ld:%02ld", total / 60, total % 60);
    return text;
}

}  // namespace

CCliEvents::CCliEvents(bool progressBar) : m_progressBar(progressBar) {}

void CCliEvents::ShowMessage(const std::string& text) {
    std::lock_guard lock(m_mutex);
    if (m_progressBar)
        std::fputs("\n", stderr);
    std::fprintf(stderr, "%s\n", text.c_str());
}

void CCliEvents::ShowScanFailure(const std::string& text, const std::vector<PortAttempt>& attempts) {
    std::lock_guard lock(m_mutex);
    std::fprintf(stderr, "%s\n", text.c_str());
    if (!attempts.empty())
        std::fprintf(stderr, "Ports tried:\n%s", DescribePortAttempts(attempts).c_str());
}

void CCliEvents::ShowClearDone() {
    std::lock_guard lock(m_mutex);
    std::fprintf(stderr, "%s\n", kClearDoneText);
}

void CCliEvents::OnCountKnown(unsigned recordCount) {
    std::lock_guard lock(m_mutex);
    m_recordCount = recordCount;
}

void CCliEvents::OnRowsInserted(unsigned rowCount) {
    std::lock_guard lock(m_mutex);
    m_rows.assign(rowCount, RowTexts{});
    m_records.assign(rowCount, std::nullopt);
    m_lastTenth = 0;
    m_transferStart = std::chrono::steady_clock::now();
    std::fprintf(stderr, "Meter found: %u records to read.\n", rowCount);
}

void CCliEvents::OnRecordRead(int row, const MeterRecord& record) {
    std::lock_guard lock(m_mutex);
    if (row >= 0 && static_cast<std::size_t>(row) < m_records.size())
        m_records[static_cast<std::size_t>(row)] = record;
}

void CCliEvents::OnRowTexts(int row, const RowTexts& texts) {
    std::lock_guard lock(m_mutex);
    if (row >= 0 && static_cast<std::size_t>(row) < m_rows.size())
        m_rows[static_cast<std::size_t>(row)] = texts;
}

void CCliEvents::OnProgress(unsigned position, unsigned received) {
    std::lock_guard lock(m_mutex);
    DrawProgress(position, received);
}

// The bar follows the records dealt with; the counts say how many were read.
void CCliEvents::DrawProgress(unsigned position, unsigned received) {
    if (m_recordCount == 0)
        return;
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - m_transferStart).count();
    if (m_progressBar) {
        constexpr int kBarWidth = 30;
        const int filled = static_cast<int>(static_cast<double>(position) / m_recordCount * kBarWidth);
        const double rate = elapsed > 0 ? position / elapsed : 0;
        const double left = rate > 0 ? (m_recordCount - position) / rate : 0;
        std::fprintf(stderr, "\r[%s%s] %u/%u  %.1f records/s  %s left ", std::string(filled, '#').c_str(),
                     std::string(kBarWidth - filled, '.').c_str(), received, m_recordCount, rate,
                     FormatDuration(left).c_str());
        if (position == m_recordCount)
            std::fputs("\n", stderr);
        return;
    }
    // Logs and pipes get one line per tenth instead of a redrawn bar.
    const unsigned tenth = position * 10 / m_recordCount;
    if (tenth > m_lastTenth) {
        m_lastTenth = tenth;
        std::fprintf(stderr, "%u%%: %u of %u records (%.1f s)\n", tenth * 10, received, m_recordCount, elapsed);
    }
}

void CCliEvents::OnTimerStart() {
    std::lock_guard lock(m_mutex);
    m_timerRunning = true;
    m_timerStart = std::chrono::steady_clock::now();
    m_timerStartWall = std::time(nullptr);
}

void CCliEvents::OnTimerStop() {
    std::lock_guard lock(m_mutex);
    if (!m_timerRunning)
        return;
    m_timerRunning = false;
    // The window's timer ticks once a second from its start until it is stopped.
    const auto elapsed = std::chrono::steady_clock::now() - m_timerStart;
    m_useSeconds = static_cast<int>(std::chrono::duration_cast<std::chrono::seconds>(elapsed).count());
}

void CCliEvents::OnFinished(const TransferSummary& summary) {
    {
        std::lock_guard lock(m_mutex);
        m_summary = summary;
    }
    m_finishedWake.notify_all();
}

TransferSummary CCliEvents::WaitForFinish() {
    std::unique_lock lock(m_mutex);
    m_finishedWake.wait(lock, [this] { return m_summary.has_value(); });
    return *m_summary;
}

std::vector<RowTexts> CCliEvents::Rows() const {
    std::lock_guard lock(m_mutex);
    return m_rows;
}

std::vector<std::optional<MeterRecord>> CCliEvents::Records() const {
    std::lock_guard lock(m_mutex);
    return m_records;
}

std::string CCliEvents::DateTimePane() const {
    std::lock_guard lock(m_mutex);
    return m_useSeconds > 0 ? DateTimePaneText(m_timerStartWall + m_useSeconds) : std::string();
}

std::string CCliEvents::UseTimePane() const {
    std::lock_guard lock(m_mutex);
    return m_useSeconds > 0 ? UseTimePaneText(m_useSeconds) : std::string();
}
