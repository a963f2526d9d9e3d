// The serial port against a real pseudo-terminal: the test plays the meter
// on the master side.

#include "MeterProtocol.h"
#include "PtyPeer.h"
#include "SerialPort.h"
#include "TestSupport.h"

#include <atomic>
#include <thread>

#include <sys/ioctl.h>
#include <termios.h>

using namespace std::chrono_literals;

namespace {

const Frame kCommand{0xAA, 0x22};

Bytes ToBytes(const Frame& frame) { return Bytes(frame.begin(), frame.end()); }

class SerialPortTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_GE(m_port.Open(m_peer.SlavePath()), 0) << m_port.LastFailureDetail(); }
    // Sends bytes as the meter and waits until the tty holds them all.
    void Queue(const Bytes& bytes) {
        ASSERT_TRUE(m_peer.Send(bytes));
        int queued = 0;
        ASSERT_TRUE(WaitUntil(
            [&] { return ::ioctl(m_peer.SlaveFd(), FIONREAD, &queued) == 0 && queued >= std::ssize(bytes); }, 2s));
    }

    CPtyPeer m_peer;
    CRecordingSink m_messages;
    CSerialPort m_port{&m_messages};
};

}  // namespace

TEST_F(SerialPortTest, OpenSetsRaw8N1At9600WithoutFlowControl) {
    termios settings{};
    ASSERT_EQ(::tcgetattr(m_peer.SlaveFd(), &settings), 0);
    EXPECT_TRUE(::cfgetospeed(&settings) == B9600 && ::cfgetispeed(&settings) == B9600);
    EXPECT_EQ(settings.c_cflag & (CSIZE | PARENB | CSTOPB | CRTSCTS | CLOCAL | CREAD),
              static_cast<tcflag_t>(CS8 | CLOCAL | CREAD));
    EXPECT_EQ(settings.c_iflag & (IXON | IXOFF | ICRNL | INLCR | IGNCR | ISTRIP), 0u);
    EXPECT_EQ(settings.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
    EXPECT_EQ(settings.c_oflag & OPOST, 0u);
}

TEST_F(SerialPortTest, FramesPassUnchangedBothWays) {
    std::vector<std::pair<const char*, Frame>> rows = {
        {"zeros are data, not string ends", {0xAA, 0x20, 0x00, 0x10, 0x08, 0, 0, 0, 0, 0, 0, 0, 0}},
        {"XON and XOFF must not pause the line", {0xAA, 0x20, 0x11, 0x13, 0x11, 0x13, 0x11, 0x13, 0x11, 0x13, 0x11, 0x13}},
        {"the old end-of-file byte and 0xFF are data", {0xAA, 0x22, 0xA0, 0xFF, 0xA0, 0xFF, 0x00, 0xA0, 0xFF, 0xFF, 0xA0}},
    };
    // Then every byte value, which no line discipline may translate, strip or act on.
    for (int first = 0; first < 256; first += static_cast<int>(kFrameSize)) {
        rows.emplace_back("every byte value", Frame{});
        for (std::size_t i = 0; i < kFrameSize; ++i)
            rows.back().second[i] = static_cast<std::uint8_t>(first + static_cast<int>(i));
    }
    for (const auto& [why, frame] : rows) {
        ASSERT_EQ(m_port.Send(frame.data(), frame.size()), kFrameSize) << why;
        EXPECT_EQ(m_peer.Receive(kFrameSize), ToBytes(frame)) << why << ": host to meter";
        Queue(ToBytes(frame));
        EXPECT_EQ(m_port.WaitForInput(2000), IByteStream::WaitResult::Ready) << why;
        Frame got{};
        EXPECT_EQ(m_port.Receive(got.data(), got.size()), kFrameSize) << why;
        EXPECT_EQ(got, frame) << why << ": meter to host";
    }
}

TEST_F(SerialPortTest, SilenceTimesOutAndReceiveTakesOnlyWhatIsQueued) {
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(m_port.WaitForInput(300), IByteStream::WaitResult::TimedOut);
    EXPECT_GE(Since(start), 300ms) << "the wait's own deadline, counted from the call";
    EXPECT_FALSE(m_port.IsGone());

    Queue({0xAA, 0x22, 0x00, 0x00, 0x00});
    EXPECT_EQ(m_port.WaitForInput(0), IByteStream::WaitResult::Ready) << "bytes already queued need no wait";
    std::uint8_t bytes[kFrameSize] = {};
    EXPECT_EQ(m_port.Receive(bytes, sizeof bytes), 5u);
    EXPECT_EQ(Bytes(bytes, bytes + 5), (Bytes{0xAA, 0x22, 0x00, 0x00, 0x00}));
    start = std::chrono::steady_clock::now();
    EXPECT_EQ(m_port.Receive(bytes, sizeof bytes), 0u);
    EXPECT_LT(Since(start), 2500ms) << "an empty queue gives 0 at once";
}

TEST_F(SerialPortTest, PurgeDiscardsUnreadInputAndSendDiscardsNothing) {
    Queue(Bytes(20, 0x5A));
    m_port.Purge();
    std::uint8_t bytes[32] = {};
    EXPECT_EQ(m_port.Receive(bytes, sizeof bytes), 0u) << "the purge took it";

    // A frame continued after a short write follows its beginning, and input stays.
    Queue({0x66});
    const Frame frame{0xAA, 0x20, 0x08, 0x10, 0x08};
    ASSERT_EQ(m_port.Send(frame.data(), 5), 5u);
    ASSERT_EQ(m_port.Send(frame.data() + 5, kFrameSize - 5), kFrameSize - 5);
    EXPECT_EQ(m_peer.Receive(kFrameSize), ToBytes(frame));
    EXPECT_EQ(m_port.Receive(bytes, sizeof bytes), 1u);
}

TEST_F(SerialPortTest, UnplugEndsAWaitAndEveryOperationAfterAtOnce) {
    std::atomic<bool> done{false};
    std::thread wait([&] {
        EXPECT_EQ(m_port.WaitForInput(5000), IByteStream::WaitResult::Gone);
        done = true;
    });
    m_peer.CloseMaster();
    EXPECT_TRUE(WaitUntil([&] { return done.load(); }, 2500ms)) << "instead of the 5000 ms wait";
    wait.join();
    EXPECT_TRUE(m_port.IsGone());
    EXPECT_TRUE(m_port.HasHungUp());
    EXPECT_EQ(m_port.LastFailure(), PortFailure::Gone);

    const auto start = std::chrono::steady_clock::now();
    std::uint8_t bytes[kFrameSize] = {};
    EXPECT_EQ(m_port.Send(kCommand.data(), kCommand.size()), 0u);
    EXPECT_EQ(m_port.Receive(bytes, sizeof bytes), 0u);
    EXPECT_EQ(m_port.WaitForInput(5000), IByteStream::WaitResult::Gone);
    EXPECT_LT(Since(start), 2500ms) << "the wait among these would otherwise take 5000 ms";
    EXPECT_TRUE(m_messages.Messages().empty());
}

TEST_F(SerialPortTest, AbortFlagEndsEveryWait) {
    std::atomic<bool> abort{true};
    m_port.SetAbortFlag(&abort);
    const Bytes flood(1 << 20, 0x55);   // nobody reads the master side, so the write must wait for room
    const std::pair<const char*, std::function<void()>> waits[] = {
        {"for input", [&] { EXPECT_EQ(m_port.WaitForInput(5000), IByteStream::WaitResult::TimedOut); }},
        {"for room to write", [&] { EXPECT_LT(m_port.Send(flood.data(), flood.size()), flood.size()); }},
    };
    for (const auto& [why, wait] : waits) {
        const auto start = std::chrono::steady_clock::now();
        wait();
        EXPECT_LT(Since(start), 2500ms) << why << ": instead of a 5000 ms wait";
        EXPECT_FALSE(m_port.IsGone()) << why;
    }
}

TEST(SerialPortClosed, EveryOperationFailsQuietly) {
    CRecordingSink messages;
    CSerialPort port(&messages);
    std::uint8_t bytes[kFrameSize] = {};
    port.Purge();
    port.Close();
    EXPECT_EQ(port.Send(kCommand.data(), kCommand.size()), 0u);
    EXPECT_EQ(port.Receive(bytes, sizeof bytes), 0u);
    EXPECT_EQ(port.WaitForInput(5000), IByteStream::WaitResult::Gone);
    EXPECT_TRUE(port.HasHungUp());
    EXPECT_TRUE(messages.Messages().empty());
}
