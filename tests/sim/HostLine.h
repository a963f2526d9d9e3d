#pragma once
// The host's end of the simulated meter's line, on plain descriptors, with
// hand-built frames: the simulator is checked without the link's own code.

#include "MeterSim.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <stdlib.h>
#include <memory>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

using Bytes = std::vector<std::uint8_t>;

inline Bytes CommandFrame(std::uint8_t command, unsigned address = 0, std::uint8_t length = 0) {
    Bytes frame(13, 0);
    frame[0] = 0xAA;
    frame[1] = command;
    frame[2] = static_cast<std::uint8_t>(address & 0xFF);
    frame[3] = static_cast<std::uint8_t>((address >> 8) & 0xFF);
    frame[4] = length;
    return frame;
}
inline Bytes ReadCountFrame() { return CommandFrame(0x22); }
inline Bytes ReadDataFrame(unsigned address) { return CommandFrame(0x20, address, 8); }
inline Bytes ClearCheckFrame() { return CommandFrame(0x30); }
inline Bytes ClearDataFrame() { return CommandFrame(0x10); }

inline Bytes CountReply(unsigned count) {
    Bytes reply(13, 0);
    reply[0] = 0xAA;
    reply[1] = 0x22;
    reply[5] = static_cast<std::uint8_t>(count & 0xFF);
    reply[6] = static_cast<std::uint8_t>(count >> 8);
    return reply;
}

// A record whose halves name it, so a read from the wrong address shows.
inline MeterRecord PatternRecord(int index) {
    MeterRecord record;
    for (std::size_t i = 0; i < record.bytes.size(); ++i)
        record.bytes[i] = static_cast<std::uint8_t>(index * 7 + i * 13 + 1);
    record.bytes[0] = static_cast<std::uint8_t>(index & 0xFF);
    record.bytes[1] = static_cast<std::uint8_t>(index >> 8);
    record.bytes[8] = static_cast<std::uint8_t>((index & 0xFF) ^ 0x5A);
    record.bytes[9] = static_cast<std::uint8_t>((index >> 8) ^ 0xA5);
    return record;
}

inline std::vector<MeterRecord> PatternRecords(int count) {
    std::vector<MeterRecord> records;
    for (int i = 0; i < count; ++i)
        records.push_back(PatternRecord(i));
    return records;
}

inline std::unique_ptr<CMeterSim> StartSim(SimOptions options) {
    auto sim = std::make_unique<CMeterSim>(std::move(options));
    std::string error;
    EXPECT_TRUE(sim->Start(error)) << error;
    return sim;
}

inline std::unique_ptr<CMeterSim> StartSim(std::vector<MeterRecord> records,
                                           std::vector<SimFault> faults = {}) {
    SimOptions options;
    options.records = std::move(records);
    options.faults = std::move(faults);
    return StartSim(std::move(options));
}

// A scratch folder for links and images, removed with everything in it.
class CTempDir {
public:
    CTempDir() : m_path(::testing::TempDir() + "ombrel-sim-XXXXXX") {
        EXPECT_NE(mkdtemp(m_path.data()), nullptr);
    }
    ~CTempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    CTempDir(const CTempDir&) = delete;
    CTempDir& operator=(const CTempDir&) = delete;
    std::string operator/(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

class CHostLine {
public:
    explicit CHostLine(const std::string& path)
        : m_fd(open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC)) {
        EXPECT_GE(m_fd, 0) << "cannot open " << path;
    }
    ~CHostLine() {
        if (m_fd >= 0)
            close(m_fd);
    }
    CHostLine(const CHostLine&) = delete;
    CHostLine& operator=(const CHostLine&) = delete;

    void Send(const Bytes& bytes) {
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t count = write(m_fd, bytes.data() + done, bytes.size() - done);
            if (count > 0) {
                done += static_cast<std::size_t>(count);
                continue;
            }
            pollfd writable{m_fd, POLLOUT, 0};
            ASSERT_GT(poll(&writable, 1, 2000), 0) << "the line takes no more bytes";
        }
    }

    // Whatever arrives until `count` bytes are in or `timeout` has passed.
    Bytes Read(std::size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(2)) {
        Bytes received;
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (received.size() < count) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() < 0)
                break;
            pollfd readable{m_fd, POLLIN, 0};
            if (poll(&readable, 1, static_cast<int>(left.count()) + 1) <= 0)
                break;
            if ((readable.revents & POLLIN) == 0)
                break;   // hang-up without data
            std::uint8_t chunk[64];
            const ssize_t got = read(m_fd, chunk, std::min(sizeof chunk, count - received.size()));
            if (got <= 0)
                break;
            received.insert(received.end(), chunk, chunk + got);
        }
        return received;
    }

    Bytes Exchange(const Bytes& frame) {
        Send(frame);
        return Read(13);
    }

    // True when the far end went away within the timeout.
    bool SeesHangUp(std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
        pollfd line{m_fd, POLLIN, 0};
        return poll(&line, 1, static_cast<int>(timeout.count())) > 0 && (line.revents & POLLHUP) != 0;
    }

private:
    int m_fd;
};
