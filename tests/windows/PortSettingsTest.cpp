// What Open gives a COM port, read back from the system, and the port's
// bounded waits against the simulated meter. run-e2e runs this program on a
// COM port that wine maps to the simulator (OMBREL_TEST_PORT names it).

#include "MeterExchange.h"
#include "SerialPort.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>

#include <windows.h>

namespace {

using namespace std::chrono_literals;

class PortSettingsTest : public ::testing::Test {
protected:
    void SetUp() override {
        const char* name = std::getenv("OMBREL_TEST_PORT");
        ASSERT_NE(name, nullptr) << "OMBREL_TEST_PORT must name a COM port with the simulated meter behind it";
        const int handle = m_port.Open(name);
        ASSERT_GE(handle, 0) << m_port.LastFailureDetail();
        m_handle = reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(handle));
    }

    CRecordingSink m_messages;
    CSerialPort m_port{&m_messages};
    HANDLE m_handle = INVALID_HANDLE_VALUE;
};

}  // namespace

TEST_F(PortSettingsTest, OpenSets9600Raw8N1TimeoutsAndReceiveEvents) {
    DCB line{};
    line.DCBlength = sizeof line;
    ASSERT_TRUE(::GetCommState(m_handle, &line));
    COMMTIMEOUTS timeouts{};
    ASSERT_TRUE(::GetCommTimeouts(m_handle, &timeouts));
    DWORD events = 0;
    ASSERT_TRUE(::GetCommMask(m_handle, &events));
    const struct { const char* setting; DWORD actual; DWORD expected; } rows[] = {
        {"baud rate", line.BaudRate, 9600},
        {"data bits", line.ByteSize, 8},
        {"parity", line.Parity, NOPARITY},
        {"stop bits", line.StopBits, ONESTOPBIT},
        {"end-of-file character", static_cast<BYTE>(line.EofChar), 0xA0},
        {"binary", line.fBinary, TRUE},
        {"CTS flow control", line.fOutxCtsFlow, FALSE},
        {"DSR flow control", line.fOutxDsrFlow, FALSE},
        {"XON/XOFF on output", line.fOutX, FALSE},
        {"XON/XOFF on input", line.fInX, FALSE},
        {"null bytes discarded", line.fNull, FALSE},
        {"DTR", line.fDtrControl, DTR_CONTROL_ENABLE},
        {"RTS", line.fRtsControl, RTS_CONTROL_ENABLE},
        {"read interval time-out", timeouts.ReadIntervalTimeout, 1000},
        {"read time-out per byte", timeouts.ReadTotalTimeoutMultiplier, 1000},
        {"read time-out constant", timeouts.ReadTotalTimeoutConstant, 2000},
        {"write time-out per byte", timeouts.WriteTotalTimeoutMultiplier, 1000},
        {"write time-out constant", timeouts.WriteTotalTimeoutConstant, 2000},
        {"receive events", events, EV_RXCHAR | EV_ERR},
    };
    for (const auto& row : rows)
        EXPECT_EQ(row.actual, row.expected) << row.setting;
    EXPECT_TRUE(m_messages.Messages().empty());
}

TEST_F(PortSettingsTest, ReplyIsReadWholeAndAPurgedLineLooksQuiet) {
    const Frame countRequest{0xAA, 0x22};
    ASSERT_EQ(m_port.Send(countRequest.data(), kFrameSize), kFrameSize);
    Frame reply{};
    std::size_t got = 0;
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (got < kFrameSize && std::chrono::steady_clock::now() < deadline &&
           m_port.WaitForInput(500) == IByteStream::WaitResult::Ready)
        got += m_port.Receive(reply.data() + got, kFrameSize - got);
    ASSERT_EQ(got, kFrameSize);
    EXPECT_EQ(reply[0], 0xAA);
    EXPECT_EQ(reply[1], 0x22);

    // Nothing asked, nothing queued: a read returns at once.
    std::uint8_t bytes[kFrameSize] = {};
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(m_port.Receive(bytes, kFrameSize), 0u);
    EXPECT_LT(Since(start), 500ms);

    // A purge completes the pending receive-event wait with nothing queued:
    // that is no arrival, and the wait runs to its end.
    m_port.Purge();
    start = std::chrono::steady_clock::now();
    EXPECT_EQ(m_port.WaitForInput(500), IByteStream::WaitResult::TimedOut);
    const auto waited = Since(start);
    EXPECT_GE(waited, 490ms);
    EXPECT_LT(waited, 5000ms);

    // So the quiet line before a repeated frame takes its 500 ms, not the
    // 3000 ms limit of a line that never goes quiet.
    CLinkClock clock;
    CMeterExchange exchange(m_port, clock, Pauses{});
    start = std::chrono::steady_clock::now();
    EXPECT_TRUE(exchange.QuietLine());
    EXPECT_LT(Since(start), 2500ms);
}
