#pragma once
// The command line's view of an Upload or Clear: messages and progress on
// stderr, the table kept in memory for the CSV report.

#include "MeterLink.h"

#include <chrono>
#include <condition_variable>
#include <ctime>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

class CCliEvents : public ITransferEvents {
public:
    explicit CCliEvents(bool progressBar);

    void ShowMessage(const std::string& text) override;
    void ShowScanFailure(const std::string& text, const std::vector<PortAttempt>& attempts) override;
    void ShowClearDone() override;
    void OnCountKnown(unsigned recordCount) override;
    void OnRowsInserted(unsigned rowCount) override;
    void OnRecordRead(int row, const MeterRecord& record) override;
    void OnRowTexts(int row, const RowTexts& texts) override;
    void OnProgress(unsigned position, unsigned received) override;
    void OnTimerStart() override;
    void OnTimerStop() override;
    void OnFinished(const TransferSummary& summary) override;

    TransferSummary WaitForFinish();
    std::vector<RowTexts> Rows() const;
    std::vector<std::optional<MeterRecord>> Records() const;   // none where a record was not read
    // Status panes 1 and 2 as the window's one-second timer would have left them.
    std::string DateTimePane() const;
    std::string UseTimePane() const;

private:
    void DrawProgress(unsigned position, unsigned received);

    const bool m_progressBar;
    mutable std::mutex m_mutex;
    std::condition_variable m_finishedWake;
    std::optional<TransferSummary> m_summary;
    std::vector<RowTexts> m_rows;
    std::vector<std::optional<MeterRecord>> m_records;
    unsigned m_recordCount = 0;
    unsigned m_lastTenth = 0;
    std::chrono::steady_clock::time_point m_transferStart;
    std::time_t m_timerStartWall = 0;
    std::chrono::steady_clock::time_point m_timerStart;
    bool m_timerRunning = false;
    int m_useSeconds = 0;     // ticks the timer would have handled
};
