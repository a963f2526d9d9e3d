#pragma once
// The transfer's events as the benchmarks time them: from the first empty row
// to the end, and when the last row arrived. Messages go to stderr.

#include "MeterLink.h"

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>

class CTimingEvents : public ITransferEvents {
public:
    using Clock = std::chrono::steady_clock;

    void ShowMessage(const std::string& text) override { std::fprintf(stderr, "%s\n", text.c_str()); }
    void ShowScanFailure(const std::string& text, const std::vector<PortAttempt>&) override { ShowMessage(text); }
    void ShowClearDone() override {}
    void OnCountKnown(unsigned) override {}
    void OnRowsInserted(unsigned) override { m_start = Clock::now(); }
    void OnRowTexts(int, const RowTexts&) override { m_lastRow = Clock::now(); }
    void OnProgress(unsigned, unsigned) override {}
    void OnTimerStart() override {}
    void OnTimerStop() override {}
    void OnFinished(const TransferSummary& summary) override {
        std::lock_guard lock(m_mutex);
        m_end = Clock::now();
        m_summary = summary;
        m_done = true;
        m_wake.notify_all();
    }

    TransferSummary Wait() {
        std::unique_lock lock(m_mutex);
        m_wake.wait(lock, [this] { return m_done; });
        return m_summary;
    }
    double Seconds() const { return std::chrono::duration<double>(m_end - m_start).count(); }
    Clock::time_point LastRow() const { return m_lastRow; }

private:
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_done = false;
    TransferSummary m_summary;
    Clock::time_point m_start, m_end, m_lastRow;
};
