// The serial port against a real pseudo-terminal: the test plays the meter
// on the master side.

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

std::chrono::milliseconds Since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
}

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

TEST_F(SerialPortTest, FramesPassUnchangedBothWaysAndAreTraced) {
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
    std::vector<std::pair<bool, Bytes>> traced;
    m_port.SetTraceHook([&](bool outgoing, const std::uint8_t* bytes, std::size_t count) {
        traced.emplace_back(outgoing, Bytes(bytes, bytes + count));
    });
    for (const auto& [why, frame] : rows) {
        traced.clear();
        ASSERT_EQ(m_port.Write(frame.data(), frame.size()), kFrameSize) << why;
        EXPECT_EQ(m_peer.Receive(kFrameSize), ToBytes(frame)) << why << ": host to meter";
        ASSERT_TRUE(m_peer.Send(ToBytes(frame)));
        m_port.ReceiveReply();
        EXPECT_EQ(m_port.RxComplete(), 1) << why;
        EXPECT_EQ(m_port.RxBuffer(), frame) << why << ": meter to host";
        EXPECT_EQ(traced, (std::vector<std::pair<bool, Bytes>>{{true, ToBytes(frame)}, {false, ToBytes(frame)}})) << why;
    }
}

TEST_F(SerialPortTest, SilenceOrAPartialReplyLeavesAZeroedBufferAndReadTakesWhatIsQueued) {
    m_port.ReceiveReply();
    EXPECT_EQ(m_port.RxEvent(), 2) << "silence ends the wait with a time-out";
    EXPECT_EQ(m_port.RxComplete(), 0);
    EXPECT_FALSE(m_port.IsGone());

    m_port.RxBuffer().fill(0xEE);   // a previous reply must not survive
    Queue({0xAA, 0x22, 0x00, 0x00, 0x00});
    auto start = std::chrono::steady_clock::now();
    m_port.ReceiveReply();
    EXPECT_GE(Since(start), 4900ms) << "the rest of a begun reply is awaited for 5000 ms";
    EXPECT_EQ(m_port.RxEvent(), 1);
    EXPECT_EQ(m_port.RxComplete(), 0);
    EXPECT_EQ(m_port.RxBuffer(), Frame{});

    // The partial reply stays queued; a read takes it, and then returns 0 at once.
    std::uint8_t bytes[kFrameSize] = {};
    EXPECT_EQ(m_port.Read(bytes, sizeof bytes), 5u);
    EXPECT_EQ(Bytes(bytes, bytes + 5), (Bytes{0xAA, 0x22, 0x00, 0x00, 0x00}));
    start = std::chrono::steady_clock::now();
    EXPECT_EQ(m_port.Read(bytes, sizeof bytes), 0u);
    EXPECT_LT(Since(start), 2500ms) << "an empty queue gives 0 at once";
}

TEST_F(SerialPortTest, ReplyArrivingInPiecesIsReceivedWholeAndSurplusStaysQueued) {
    Bytes bytes(20);
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<std::uint8_t>(i + 1);
    ASSERT_TRUE(m_peer.Send(Bytes(bytes.begin(), bytes.begin() + 5)));
    std::thread rest([&] {
        std::this_thread::sleep_for(100ms);   // lands during the wait or before it: same result
        m_peer.Send(Bytes(bytes.begin() + 5, bytes.end()));
    });
    m_port.ReceiveReply();
    rest.join();
    EXPECT_EQ(m_port.RxComplete(), 1);
    EXPECT_EQ(ToBytes(m_port.RxBuffer()), Bytes(bytes.begin(), bytes.begin() + 13));
    std::uint8_t surplus[32] = {};
    ASSERT_TRUE(WaitUntil([&] { return m_port.WaitForBytes(7, 0) == 1; }));
    EXPECT_EQ(m_port.Read(surplus, sizeof surplus), 7u);
    EXPECT_EQ(Bytes(surplus, surplus + 7), Bytes(bytes.begin() + 13, bytes.end()));
}

TEST_F(SerialPortTest, WriteDiscardsStaleInput) {
    for (const bool takenByAWait : {false, true}) {   // in the driver, or already in the port's own buffer
        Queue(Bytes(20, 0x5A));
        ASSERT_TRUE(!takenByAWait || m_port.WaitForBytes(20, 1000) == 1);
        ASSERT_EQ(m_port.Write(kCommand.data(), kCommand.size()), kFrameSize);
        EXPECT_EQ(m_peer.Receive(kFrameSize), ToBytes(kCommand));
        std::uint8_t bytes[32] = {};
        EXPECT_EQ(m_port.Read(bytes, sizeof bytes), 0u) << "taken by a wait: " << takenByAWait;
    }
}

TEST_F(SerialPortTest, UnplugEndsAReplyWaitAndEveryOperationAfterAtOnce) {
    Queue({0xAA, 0x20, 0, 0, 0});   // a reply begins, then the cable goes
    std::atomic<bool> done{false};
    std::thread reply([&] { m_port.ReceiveReply(); done = true; });
    m_peer.CloseMaster();
    EXPECT_TRUE(WaitUntil([&] { return done.load(); }, 2500ms)) << "instead of the 5000 ms byte wait";
    reply.join();
    EXPECT_TRUE(m_port.IsGone());
    EXPECT_EQ(m_port.LastFailure(), PortFailure::Gone);
    EXPECT_EQ(m_port.RxComplete(), 0);

    const auto start = std::chrono::steady_clock::now();
    std::uint8_t bytes[kFrameSize] = {};
    EXPECT_EQ(m_port.Write(kCommand.data(), kCommand.size()), 0u);
    EXPECT_EQ(m_port.Read(bytes, sizeof bytes), 0u);
    EXPECT_EQ(m_port.WaitForBytes(kFrameSize, 5000), 0);
    m_port.WaitRxEvent();
    EXPECT_EQ(m_port.RxEvent(), 2);
    m_port.ReceiveReply();
    EXPECT_LT(Since(start), 2500ms) << "the byte waits among these would otherwise take 5000 ms";
    EXPECT_TRUE(m_messages.Messages().empty());
}

TEST_F(SerialPortTest, AbortFlagEndsEveryWait) {
    std::atomic<bool> abort{true};
    m_port.SetAbortFlag(&abort);
    const Bytes flood(1 << 20, 0x55);   // nobody reads the master side, so the write must wait for room
    const std::pair<const char*, std::function<void()>> waits[] = {
        {"the first byte of a reply", [&] { m_port.WaitRxEvent(); }},
        {"the rest of a reply", [&] { Queue({0xAA, 0x20}); m_port.ReceiveReply(); }},
        {"room to write", [&] { EXPECT_LT(m_port.Write(flood.data(), flood.size()), flood.size()); }},
    };
    for (const auto& [why, wait] : waits) {
        const auto start = std::chrono::steady_clock::now();
        wait();
        EXPECT_LT(Since(start), 2500ms) << why << ": instead of a 5000 ms wait";
        EXPECT_FALSE(m_port.IsGone()) << why;
        EXPECT_EQ(m_port.RxComplete(), 0) << why;
    }
}

TEST(SerialPortClosed, EveryOperationFailsQuietlyExceptTheReplyWait) {
    CRecordingSink messages;
    CSerialPort port(&messages);
    std::uint8_t bytes[kFrameSize] = {};
    port.Purge();
    port.Close();
    EXPECT_EQ(port.Write(kCommand.data(), kCommand.size()), 0u);
    EXPECT_EQ(port.Read(bytes, sizeof bytes), 0u);
    EXPECT_EQ(port.WaitForBytes(kFrameSize, 100), 0);
    port.RxBuffer().fill(0xEE);
    port.ReceiveReply();
    EXPECT_EQ(port.RxEvent(), 0);
    EXPECT_EQ(port.RxComplete(), 0);
    EXPECT_EQ(port.RxBuffer(), Frame{});
    EXPECT_EQ(messages.Messages(), std::vector<std::string>{"Serial port not open！"});

    // A reply asked for on a closed port must not stop later replies from being awaited.
    CPtyPeer peer;
    ASSERT_GE(port.Open(peer.SlavePath()), 0);
    const Frame reply{0xAA, 0x22, 0, 0, 0, 0x05, 0x01};
    ASSERT_TRUE(peer.Send(ToBytes(reply)));
    port.ReceiveReply();
    EXPECT_EQ(port.RxComplete(), 1);
    EXPECT_EQ(port.RxBuffer(), reply);
}

// A partly written frame is continued, not begun again, and the rest follows
// its beginning on the line. (A pseudo-terminal hands written bytes on at
// once, so a purge could not be seen here; a real port would lose them.)
TEST_F(SerialPortTest, ContinuingAFrameSendsTheRestAfterItsBeginning) {
    const Bytes head{0xAA, 0x20, 0x08, 0x10, 0x08};
    const Bytes rest(8, 0x00);
    Queue({0x55, 0x55});   // unread input belongs to an earlier exchange either way
    ASSERT_EQ(m_port.Write(head.data(), head.size()), head.size());
    Queue({0x66});
    ASSERT_EQ(m_port.WriteRest(rest.data(), rest.size()), rest.size());
    Bytes whole = head;
    whole.insert(whole.end(), rest.begin(), rest.end());
    EXPECT_EQ(m_peer.Receive(whole.size()), whole);
    Frame buffer{};
    EXPECT_EQ(m_port.Read(buffer.data(), buffer.size()), 1u) << "continuing discards nothing, input included";
}

// After a reply that did not come, the line is let go quiet before the next
// frame: bytes that keep coming are discarded until none came for the quiet
// time, but a line that never stops holds the port only up to the limit.
TEST_F(SerialPortTest, SettlingWaitsForAQuietLineWithinItsLimit) {
    struct Row {
        const char* why;
        int burstCount;        // bytes sent, one every burstEveryMs
        int burstEveryMs;
        int quietMs, limitMs;
        bool quiet;
        std::chrono::milliseconds atLeast;
    };
    const Row rows[] = {
        {"a silent line is quiet after the quiet time", 0, 0, 300, 3000, true, 300ms},
        {"each late byte starts the quiet time again", 3, 150, 300, 3000, true, 600ms},
        {"a chattering line gives up at the limit", 1000, 50, 300, 1000, false, 1000ms},
    };
    for (const Row& row : rows) {
        std::atomic<bool> stop{false};
        std::thread meter([&] {
            for (int i = 0; i < row.burstCount && !stop; ++i) {
                m_peer.Send({0x55});
                std::this_thread::sleep_for(std::chrono::milliseconds(row.burstEveryMs));
            }
        });
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(m_port.SettleLine(row.quietMs, row.limitMs), row.quiet) << row.why;
        const auto took = Since(start);
        stop = true;
        meter.join();
        EXPECT_GE(took, row.atLeast) << row.why;
        EXPECT_LT(took, 10 * row.atLeast + 1s) << row.why;
        if (row.quiet) {
            Frame buffer{};
            EXPECT_EQ(m_port.Read(buffer.data(), buffer.size()), 0u) << row.why << ": nothing left to take";
        }
        m_port.Purge();
    }
}
