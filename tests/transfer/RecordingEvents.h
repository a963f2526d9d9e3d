#pragma once
// A front end for the link that records every event in order, for tests.

#include "MeterLink.h"

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

class CRecordingEvents : public ITransferEvents {
public:
    // With logRows, each record read and each row's texts are logged as well.
    explicit CRecordingEvents(bool logRows = false) : m_logRows(logRows) {}

    void ShowMessage(const std::string& text) override { Log("message:" + text); }
    void ShowScanFailure(const std::string& text, const std::vector<PortAttempt>& attempts) override {
        std::lock_guard lock(m_mutex);
        m_log.push_back("scan failure:" + text);
        m_attempts = attempts;
    }
    void ShowClearDone() override { Log("clear done"); }
    void OnCountKnown(unsigned recordCount) override { Log("count:" + std::to_string(recordCount)); }
    void OnRowsInserted(unsigned rowCount) override {
        std::lock_guard lock(m_mutex);
        m_log.push_back("rows:" + std::to_string(rowCount));
        m_rows.assign(rowCount, RowTexts{});
    }
    void OnRecordRead(int row, const MeterRecord& record) override {
        std::lock_guard lock(m_mutex);
        m_records[row] = record;
        if (m_logRows)
            m_log.push_back("record:" + std::to_string(row));
    }
    void OnRowTexts(int row, const RowTexts& texts) override {
        std::lock_guard lock(m_mutex);
        m_rows.at(static_cast<std::size_t>(row)) = texts;
        ++m_rowsFilled;
        if (m_logRows)
            m_log.push_back("texts:" + std::to_string(row));
    }
    void OnProgress(unsigned position, unsigned received) override {
        std::lock_guard lock(m_mutex);
        m_progress.push_back(position);
        m_received.push_back(received);
    }
    void OnStatusPane0(const std::string& text) override {
        std::lock_guard lock(m_mutex);
        if (m_log.empty() || m_log.back() != "pane0:" + text)   // "Running..." once per record
            m_log.push_back("pane0:" + text);
    }
    void OnTimerStart() override { Log("timer start"); }
    void OnTimerStop() override { Log("timer stop"); }
    void OnFinished(const TransferSummary& summary) override {
        {
            std::lock_guard lock(m_mutex);
            m_log.push_back("finished");
            m_summary = summary;
        }
        m_wake.notify_all();
    }

    // The summary, once the operation has finished within timeout.
    std::optional<TransferSummary> WaitForFinish(std::chrono::milliseconds timeout) {
        std::unique_lock lock(m_mutex);
        m_wake.wait_for(lock, timeout, [this] { return m_summary.has_value(); });
        return m_summary;
    }

    std::vector<std::string> Log() const { return Locked(m_log); }
    std::vector<std::string> Messages() const {
        std::vector<std::string> messages;
        for (const std::string& entry : Log())
            if (entry.rfind("message:", 0) == 0 || entry.rfind("scan failure:", 0) == 0 || entry == "clear done")
                messages.push_back(entry);
        return messages;
    }
    std::vector<RowTexts> Rows() const { return Locked(m_rows); }
    unsigned RowsFilled() const { return Locked(m_rowsFilled); }
    std::vector<unsigned> Progress() const { return Locked(m_progress); }
    std::vector<unsigned> Received() const { return Locked(m_received); }
    std::map<int, MeterRecord> RecordsRead() const { return Locked(m_records); }
    std::vector<PortAttempt> Attempts() const { return Locked(m_attempts); }

private:
    // A copy of a member, taken under the lock.
    template <typename T>
    T Locked(const T& member) const {
        std::lock_guard lock(m_mutex);
        return member;
    }
    void Log(const std::string& entry) {
        std::lock_guard lock(m_mutex);
        m_log.push_back(entry);
    }

    const bool m_logRows;
    std::map<int, MeterRecord> m_records;   // the latest record read for each row
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::vector<std::string> m_log;
    std::vector<RowTexts> m_rows;
    std::vector<unsigned> m_progress;
    std::vector<unsigned> m_received;
    std::vector<PortAttempt> m_attempts;
    unsigned m_rowsFilled = 0;
    std::optional<TransferSummary> m_summary;
};
