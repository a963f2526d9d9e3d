// The serial port against a real pseudo-terminal: the test plays the meter
// on the master side.

#include "PtyPeer.h"
#include "SerialPort.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include <sys/ioctl.h>
#include <termios.h>

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

namespace {

Bytes ToBytes(const Frame& frame) { return Bytes(frame.begin(), frame.end()); }

std::chrono::milliseconds Since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
}

int QueuedOnTty(int fd) {
    int queued = 0;
    ::ioctl(fd, FIONREAD, &queued);
    return queued;
}

class SerialPortTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_peer.IsReady());
        ASSERT_GE(m_port.Open(m_peer.SlavePath()), 0) << m_port.LastFailureDetail();
    }

    CPtyPeer m_peer;
    CRecordingSink m_messages;
    CSerialPort m_port{&m_messages};
};

}  // namespace

TEST_F(SerialPortTest, OpenSetsRaw8N1At9600WithoutFlowControl) {
    termios settings{};
    ASSERT_EQ(::tcgetattr(m_peer.SlaveFd(), &settings), 0);
    EXPECT_EQ(::cfgetospeed(&settings), B9600);
    EXPECT_EQ(::cfgetispeed(&settings), B9600);
    EXPECT_EQ(settings.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(settings.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
    EXPECT_EQ(settings.c_cflag & (CLOCAL | CREAD), static_cast<tcflag_t>(CLOCAL | CREAD));
    EXPECT_EQ(settings.c_iflag & (IXON | IXOFF | ICRNL | INLCR | IGNCR | ISTRIP), 0u);
    EXPECT_EQ(settings.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
    EXPECT_EQ(settings.c_oflag & OPOST, 0u);
    EXPECT_TRUE(m_messages.Messages().empty());
}

struct FrameRow {
    const char* why;
    Frame frame;
};
void PrintTo(const FrameRow& row, std::ostream* out) { *out << row.why; }

class FrameRoundTrip : public SerialPortTest, public ::testing::WithParamInterface<FrameRow> {};

TEST_P(FrameRoundTrip, PassesUnchangedBothWays) {
    const Frame& frame = GetParam().frame;

    ASSERT_EQ(m_port.Write(frame.data(), frame.size()), kFrameSize);
    EXPECT_EQ(m_peer.Receive(kFrameSize), ToBytes(frame)) << "host to meter";

    ASSERT_TRUE(m_peer.Send(ToBytes(frame)));
    m_port.ReceiveReply();
    EXPECT_EQ(m_port.RxComplete(), 1) << "meter to host";
    EXPECT_EQ(m_port.RxBuffer(), frame) << "meter to host";
}

INSTANTIATE_TEST_SUITE_P(
    SerialPort, FrameRoundTrip,
    ::testing::Values(
        FrameRow{"zeros are data, not string ends",
                 {0xAA, 0x20, 0x00, 0x10, 0x08, 0, 0, 0, 0, 0, 0, 0, 0}},
        FrameRow{"XON and XOFF must not pause the line",
                 {0xAA, 0x20, 0x11, 0x13, 0x11, 0x13, 0x11, 0x13, 0x11, 0x13, 0x11, 0x13, 0x11}},
        FrameRow{"the old end-of-file byte and 0xFF pass as data",
                 {0xAA, 0x22, 0xA0, 0xFF, 0xA0, 0xFF, 0x00, 0xA0, 0xFF, 0xFF, 0xA0, 0x00, 0xFF}},
        FrameRow{"CR and LF are not translated",
                 {0xAA, 0x20, 0x0D, 0x0A, 0x0D, 0x0D, 0x0A, 0x0A, 0x0D, 0x0A, 0x00, 0x0D, 0x0A}},
        FrameRow{"interrupt, end-of-file, erase and literal-next bytes are not acted on",
                 {0xAA, 0x20, 0x03, 0x04, 0x1A, 0x1C, 0x7F, 0x08, 0x15, 0x16, 0x17, 0x12, 0x0F}},
        FrameRow{"float bytes with the high bit set are not stripped",
                 {0xAA, 0x20, 0x08, 0x10, 0x08, 0x00, 0x00, 0x80, 0xBF, 0xCD, 0xCC, 0x8C, 0xC0}}),
    [](const ::testing::TestParamInfo<FrameRow>& info) { return "Row" + std::to_string(info.index); });

TEST_F(SerialPortTest, EveryByteValuePassesBothWays) {
    for (int first = 0; first < 256; first += static_cast<int>(kFrameSize)) {
        Frame frame{};
        for (std::size_t i = 0; i < kFrameSize; ++i)
            frame[i] = static_cast<std::uint8_t>((first + static_cast<int>(i)) & 0xFF);

        ASSERT_EQ(m_port.Write(frame.data(), frame.size()), kFrameSize);
        ASSERT_EQ(m_peer.Receive(kFrameSize), ToBytes(frame)) << "from byte " << first;
        ASSERT_TRUE(m_peer.Send(ToBytes(frame)));
        m_port.ReceiveReply();
        ASSERT_EQ(m_port.RxBuffer(), frame) << "from byte " << first;
    }
}

TEST_F(SerialPortTest, ReadOnAnEmptyQueueReturnsAtOnceWhateverItsTimeOut) {
    std::uint8_t bytes[kFrameSize] = {};
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(m_port.Read(bytes, sizeof bytes, 5000), 0u);
    EXPECT_LT(Since(start), 1000ms);
}

TEST_F(SerialPortTest, ReadTakesOnlyWhatIsQueued) {
    ASSERT_TRUE(m_peer.Send({1, 2, 3, 4, 5}));
    ASSERT_TRUE(WaitUntil([&] { return QueuedOnTty(m_peer.SlaveFd()) == 5; }, 2s));
    std::uint8_t bytes[kFrameSize] = {};
    EXPECT_EQ(m_port.Read(bytes, sizeof bytes, 5000), 5u);
    EXPECT_EQ(Bytes(bytes, bytes + 5), (Bytes{1, 2, 3, 4, 5}));
    EXPECT_EQ(m_port.RxComplete(), 1);
}

TEST_F(SerialPortTest, PartialReplyLeavesZeroedBufferAfterTheWaitLimit) {
    m_port.RxBuffer().fill(0xEE);   // a previous reply must not survive
    ASSERT_TRUE(m_peer.Send({0xAA, 0x22, 0x00, 0x00, 0x00}));
    ASSERT_TRUE(WaitUntil([&] { return QueuedOnTty(m_peer.SlaveFd()) == 5; }, 2s));

    const auto start = std::chrono::steady_clock::now();
    m_port.ReceiveReply();
    EXPECT_GE(Since(start), 4900ms) << "the rest of a begun reply is awaited for 5000 ms";
    EXPECT_EQ(m_port.RxEvent(), 1);
    EXPECT_EQ(m_port.RxComplete(), 0);
    EXPECT_EQ(m_port.RxBuffer(), Frame{});
}

TEST_F(SerialPortTest, ReplyArrivingInPiecesIsReceivedWhole) {
    const Frame reply{0xAA, 0x22, 0, 0, 0, 0x05, 0x01, 0, 0, 0, 0, 0, 0};
    ASSERT_TRUE(m_peer.Send(Bytes(reply.begin(), reply.begin() + 5)));
    std::thread rest([&] {
        std::this_thread::sleep_for(100ms);   // lands during the wait or before it: same result
        m_peer.Send(Bytes(reply.begin() + 5, reply.end()));
    });
    m_port.ReceiveReply();
    rest.join();
    EXPECT_EQ(m_port.RxComplete(), 1);
    EXPECT_EQ(m_port.RxBuffer(), reply);
}

TEST_F(SerialPortTest, SilenceEndsTheReceiveWaitWithATimeOut) {
    m_port.ReceiveReply();
    EXPECT_EQ(m_port.RxEvent(), 2);
    EXPECT_EQ(m_port.RxComplete(), 0);
    EXPECT_EQ(m_port.RxBuffer(), Frame{});
    EXPECT_FALSE(m_port.IsGone());
}

TEST_F(SerialPortTest, SurplusBytesAfterAReplyStayQueued) {
    Bytes bytes(20);
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<std::uint8_t>(i + 1);
    ASSERT_TRUE(m_peer.Send(bytes));
    ASSERT_TRUE(WaitUntil([&] { return QueuedOnTty(m_peer.SlaveFd()) == 20; }, 2s));
    m_port.ReceiveReply();
    EXPECT_EQ(ToBytes(m_port.RxBuffer()), Bytes(bytes.begin(), bytes.begin() + 13));
    std::uint8_t rest[32] = {};
    EXPECT_EQ(m_port.Read(rest, sizeof rest, 0), 7u);
    EXPECT_EQ(Bytes(rest, rest + 7), Bytes(bytes.begin() + 13, bytes.end()));
}

// Stale input can sit in the driver or already in the port's own buffer
// (taken out by a wait that gave up): a write discards both.
struct StaleInputRow {
    const char* why;
    bool takenByAWait;
};
void PrintTo(const StaleInputRow& row, std::ostream* out) { *out << row.why; }

class WriteDiscardsStaleInput : public SerialPortTest, public ::testing::WithParamInterface<StaleInputRow> {};

TEST_P(WriteDiscardsStaleInput, TwentyWaitingBytesAreGoneAfterAWrite) {
    ASSERT_TRUE(m_peer.Send(Bytes(20, 0x5A)));
    ASSERT_TRUE(WaitUntil([&] { return QueuedOnTty(m_peer.SlaveFd()) == 20; }, 2s));
    if (GetParam().takenByAWait) {
        ASSERT_EQ(m_port.WaitForBytes(20, 1000), 1);
    }

    const Frame command{0xAA, 0x22};
    ASSERT_EQ(m_port.Write(command.data(), command.size()), kFrameSize);
    EXPECT_EQ(m_peer.Receive(kFrameSize), ToBytes(command));
    std::uint8_t bytes[32] = {};
    EXPECT_EQ(m_port.Read(bytes, sizeof bytes, 0), 0u);
    EXPECT_EQ(QueuedOnTty(m_peer.SlaveFd()), 0);
}

INSTANTIATE_TEST_SUITE_P(SerialPort, WriteDiscardsStaleInput,
                         ::testing::Values(StaleInputRow{"still in the driver's queue", false},
                                           StaleInputRow{"already taken out by a wait", true}),
                         [](const ::testing::TestParamInfo<StaleInputRow>& info) {
                             return info.param.takenByAWait ? std::string("TakenByAWait")
                                                            : std::string("InTheDriver");
                         });

TEST_F(SerialPortTest, TraceSeesEveryBlockInItsDirection) {
    struct Traced {
        bool outgoing;
        Bytes bytes;
    };
    std::vector<Traced> traced;
    m_port.SetTraceHook([&](bool outgoing, const std::uint8_t* bytes, std::size_t count) {
        traced.push_back({outgoing, Bytes(bytes, bytes + count)});
    });
    const Frame command{0xAA, 0x20, 0x08, 0x10, 0x08};
    const Frame reply{0xAA, 0x20, 0, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8};
    ASSERT_EQ(m_port.Write(command.data(), command.size()), kFrameSize);
    ASSERT_EQ(m_peer.Receive(kFrameSize).size(), kFrameSize);
    ASSERT_TRUE(m_peer.Send(ToBytes(reply)));
    m_port.ReceiveReply();

    ASSERT_EQ(traced.size(), 2u);
    EXPECT_TRUE(traced[0].outgoing);
    EXPECT_EQ(traced[0].bytes, ToBytes(command));
    EXPECT_FALSE(traced[1].outgoing);
    EXPECT_EQ(traced[1].bytes, ToBytes(reply));
}

TEST_F(SerialPortTest, UnpluggedDeviceIsReportedAtOnceByEveryOperation) {
    m_peer.CloseMaster();
    const auto start = std::chrono::steady_clock::now();
    m_port.ReceiveReply();
    EXPECT_TRUE(m_port.IsGone());
    EXPECT_EQ(m_port.LastFailure(), PortFailure::Gone);
    EXPECT_EQ(m_port.RxComplete(), 0);

    const Frame command{0xAA, 0x22};
    std::uint8_t bytes[kFrameSize] = {};
    EXPECT_EQ(m_port.Write(command.data(), command.size()), 0u);
    EXPECT_EQ(m_port.Read(bytes, sizeof bytes, 5000), 0u);
    EXPECT_EQ(m_port.WaitForBytes(kFrameSize, 5000), 0);
    m_port.WaitRxEvent();
    EXPECT_EQ(m_port.RxEvent(), 2);
    m_port.ReceiveReply();
    // Each of these would otherwise wait 500 to 5500 ms.
    EXPECT_LT(Since(start), 2000ms);
    EXPECT_TRUE(m_messages.Messages().empty());
}

TEST_F(SerialPortTest, UnplugDuringAReplyWaitEndsTheWait) {
    ASSERT_TRUE(m_peer.Send({0xAA, 0x20, 0, 0, 0}));   // a reply begins, then the cable goes
    std::atomic<bool> done{false};
    std::thread reply([&] {
        m_port.ReceiveReply();
        done = true;
    });
    m_peer.CloseMaster();
    EXPECT_TRUE(WaitUntil([&] { return m_port.IsGone(); }, 1s));
    EXPECT_TRUE(WaitUntil([&] { return done.load(); }, 1s)) << "instead of the 5000 ms byte wait";
    reply.join();
    EXPECT_EQ(m_port.RxComplete(), 0);
}

TEST_F(SerialPortTest, AbortFlagEndsTheByteWait) {
    std::atomic<bool> abort{false};
    m_port.SetAbortFlag(&abort);
    ASSERT_TRUE(m_peer.Send({0xAA, 0x20, 0, 0, 0}));
    std::atomic<bool> done{false};
    std::thread reply([&] {
        m_port.ReceiveReply();
        done = true;
    });
    abort = true;
    EXPECT_TRUE(WaitUntil([&] { return done.load(); }, 1s)) << "instead of the 5000 ms byte wait";
    reply.join();
    EXPECT_EQ(m_port.RxComplete(), 0);
    EXPECT_FALSE(m_port.IsGone());
}

TEST_F(SerialPortTest, AbortFlagEndsTheWaitForRoomToWrite) {
    std::atomic<bool> abort{false};
    m_port.SetAbortFlag(&abort);
    // Nobody reads the master side, so the queues fill and the write must wait.
    const Bytes flood(1 << 20, 0x55);
    std::atomic<std::size_t> written{0};
    std::atomic<bool> done{false};
    std::thread writer([&] {
        written = m_port.Write(flood.data(), flood.size());
        done = true;
    });
    abort = true;
    EXPECT_TRUE(WaitUntil([&] { return done.load(); }, 1s)) << "instead of the 5000 ms write wait";
    writer.join();
    EXPECT_LT(written.load(), flood.size());
}

TEST_F(SerialPortTest, AbortFlagEndsTheReceiveEventWait) {
    std::atomic<bool> abort{true};
    m_port.SetAbortFlag(&abort);
    const auto start = std::chrono::steady_clock::now();
    m_port.WaitRxEvent();
    EXPECT_EQ(m_port.RxEvent(), 2);
    EXPECT_LT(Since(start), 400ms);
}

TEST(SerialPortClosed, EveryOperationFailsQuietlyExceptTheReceiveWait) {
    CRecordingSink messages;
    CSerialPort port(&messages);
    const Frame command{0xAA, 0x22};
    std::uint8_t bytes[kFrameSize] = {};
    port.Purge();
    port.Close();
    EXPECT_EQ(port.Write(command.data(), command.size()), 0u);
    EXPECT_EQ(port.Read(bytes, sizeof bytes, 100), 0u);
    EXPECT_EQ(port.WaitForBytes(kFrameSize, 100), 0);
    port.RxBuffer().fill(0xEE);
    port.ReceiveReply();
    EXPECT_EQ(port.RxEvent(), 0);
    EXPECT_EQ(port.RxComplete(), 0);
    EXPECT_EQ(port.RxBuffer(), Frame{});
    EXPECT_EQ(messages.Messages(), std::vector<std::string>{"Serial port not open！"});
}

TEST(SerialPortClosed, ReceiveWaitsAgainAfterReopening) {
    // A reply asked for on a closed port must not stop later replies from being awaited.
    CPtyPeer peer;
    ASSERT_TRUE(peer.IsReady());
    CSerialPort port;
    port.ReceiveReply();
    ASSERT_GE(port.Open(peer.SlavePath()), 0);
    const Frame reply{0xAA, 0x22, 0, 0, 0, 0x05, 0x01};
    std::thread meter([&] {
        std::this_thread::sleep_for(50ms);   // the reply comes while the port waits for it
        peer.Send(ToBytes(reply));
    });
    port.ReceiveReply();
    meter.join();
    EXPECT_EQ(port.RxComplete(), 1);
    EXPECT_EQ(port.RxBuffer(), reply);
}
