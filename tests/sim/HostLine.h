#pragma once
// The host's end of the simulated meter's line, with hand-built frames: the
// simulator is checked without the link's own code. A pseudo-terminal is
// read on plain descriptors, a line inside the program through its stream.

#include "MeterSim.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

using Bytes = std::vector<std::uint8_t>;

inline Bytes CommandFrame(std::uint8_t command, unsigned address = 0, std::uint8_t length = 0) {
    return {0xAA, command, static_cast<std::uint8_t>(address & 0xFF), static_cast<std::uint8_t>(address >> 8),
            length, 0, 0, 0, 0, 0, 0, 0, 0};
}
inline const Bytes kReadCount = CommandFrame(0x22), kClearCheck = CommandFrame(0x30), kClearData = CommandFrame(0x10);
inline Bytes ReadData(unsigned address) { return CommandFrame(0x20, address, 8); }

// A reply: the command's first five bytes, then `data`, zero-filled to 13 bytes.
inline Bytes Reply(Bytes command, const Bytes& data = {}) {
    command.resize(5);
    command.insert(command.end(), data.begin(), data.end());
    command.resize(13, 0);
    return command;
}
inline Bytes CountReply(unsigned count) {
    return Reply(kReadCount, {static_cast<std::uint8_t>(count & 0xFF), static_cast<std::uint8_t>(count >> 8)});
}

// Index at the start of both halves, position everywhere else: a read from the wrong address shows.
inline MeterRecord PatternRecord(int index) {
    MeterRecord record;
    for (int i = 0; i < 16; ++i)
        record.bytes[i] = static_cast<std::uint8_t>(i % 8 == 0 ? index : i % 8 == 1 ? index >> 8 : index * 16 + i);
    return record;
}
// A data reply: `stored` bytes of a pattern record from `from` on, the rest erased.
inline Bytes DataReply(unsigned address, int record, std::size_t from, std::size_t stored = 8) {
    const auto& bytes = PatternRecord(record).bytes;
    Bytes block(bytes.begin() + static_cast<long>(from), bytes.begin() + static_cast<long>(from + stored));
    block.resize(8, 0xFF);
    return Reply(ReadData(address), block);
}

// Both lines the simulated meter can be served on.
inline constexpr SimLine kSimLines[] = {SimLine::PseudoTerminal, SimLine::InMemory};
inline std::string LineName(const ::testing::TestParamInfo<SimLine>& line) {
    return line.param == SimLine::InMemory ? "InMemory" : "PseudoTerminal";
}

// A meter holding `records` pattern records, its other options set by `adjust`.
inline std::unique_ptr<CMeterSim> StartSim(SimLine line, int records,
                                           const std::function<void(SimOptions&)>& adjust = {}) {
    SimOptions options;
    options.line = line;
    for (int i = 0; i < records; ++i)
        options.records.push_back(PatternRecord(i));
    if (adjust)
        adjust(options);
    auto sim = std::make_unique<CMeterSim>(std::move(options));
    std::string error;
    EXPECT_TRUE(sim->Start(error)) << error;
    return sim;
}

// A scratch folder, removed with everything in it.
struct CTempDir {
    std::string path = ::testing::TempDir() + "ombrel-sim-XXXXXX";
    CTempDir() { EXPECT_NE(mkdtemp(path.data()), nullptr); }
    ~CTempDir() { std::error_code ignored; std::filesystem::remove_all(path, ignored); }
    std::string operator/(const std::string& name) const { return path + "/" + name; }
};

// The host's side of the line; no wait on it is unbounded.
class CHostLine {
public:
    explicit CHostLine(const std::string& device) : m_fd(open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK)) {
        EXPECT_GE(m_fd, 0) << device;
    }
    explicit CHostLine(CMeterSim& sim) {
        PortAttempt why;
        if (sim.InMemory())
            m_stream = sim.Connect(why);
        else
            m_fd = open(sim.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        EXPECT_TRUE(m_stream != nullptr || m_fd >= 0) << sim.SlavePath() << ": " << why.detail;
    }
    ~CHostLine() {
        if (m_fd >= 0)
            close(m_fd);
    }
    CHostLine(const CHostLine&) = delete;
    CHostLine& operator=(const CHostLine&) = delete;

    // Frames are far smaller than the line's queue, so one write takes them.
    void Send(const Bytes& bytes) {
        EXPECT_EQ(m_stream ? m_stream->Send(bytes.data(), bytes.size())
                           : static_cast<std::size_t>(write(m_fd, bytes.data(), bytes.size())),
                  bytes.size());
    }
    // What arrives until `count` bytes are in, the line ends or time is up.
    Bytes Read(std::size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(2)) {
        Bytes got;
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        std::uint8_t byte = 0;
        while (got.size() < count) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            if (!WaitForByte(static_cast<int>(std::max<long>(0, left.count()))) || !ReadByte(byte))
                break;
            got.push_back(byte);
        }
        return got;
    }
    Bytes Exchange(const Bytes& frame) {
        Send(frame);
        return Read(13);
    }
    bool SeesHangUp() {   // within five seconds
        if (m_stream)
            return m_stream->WaitForInput(5000) == IByteStream::WaitResult::Gone && m_stream->HasHungUp();
        pollfd line{m_fd, POLLIN, 0};
        return poll(&line, 1, 5000) > 0 && (line.revents & POLLHUP) != 0;
    }

private:
    bool WaitForByte(int timeoutMs) {
        if (m_stream)
            return m_stream->WaitForInput(timeoutMs) == IByteStream::WaitResult::Ready;
        pollfd line{m_fd, POLLIN, 0};
        return poll(&line, 1, timeoutMs) > 0;
    }
    bool ReadByte(std::uint8_t& byte) {
        return m_stream ? m_stream->Receive(&byte, 1) == 1 : read(m_fd, &byte, 1) == 1;
    }

    std::unique_ptr<IByteStream> m_stream;
    int m_fd = -1;
};
