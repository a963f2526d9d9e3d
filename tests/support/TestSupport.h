#pragma once
// Helpers shared by the test folders: bounded waits and a message recorder.

#include "MessageSink.h"
#include "MeterProtocol.h"
#include "RowTexts.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// The whole of a file, byte for byte; empty when it cannot be read.
inline std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The link without its pauses, for tests whose subject is not the meter's pace.
inline constexpr Pauses kNoPauses{0, 0, 0, 0, 0, 0};

// Time passed since start, in whole milliseconds.
inline std::chrono::milliseconds Since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
}

// Polls condition until it holds or timeout passes; returns whether it held.
inline bool WaitUntil(const std::function<bool()>& condition,
                      std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

// Records the messages the link shows instead of asking an operator.
class CRecordingSink : public IMessageSink {
public:
    void ShowMessage(const std::string& text) override {
        std::lock_guard lock(m_mutex);
        m_messages.push_back(text);
    }
    std::vector<std::string> Messages() const {
        std::lock_guard lock(m_mutex);
        return m_messages;
    }

private:
    mutable std::mutex m_mutex;
    std::vector<std::string> m_messages;
};

// The rows a complete upload of these records shows.
inline std::vector<RowTexts> DecodedRows(const std::vector<MeterRecord>& records) {
    std::vector<RowTexts> rows;
    for (std::size_t i = 0; i < records.size(); ++i)
        rows.push_back(DecodeRecord(records[i], static_cast<int>(i)));
    return rows;
}
