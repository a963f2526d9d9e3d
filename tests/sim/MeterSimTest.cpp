// The simulated meter's side of the protocol: counts, memory reads, clearing,
// resynchronisation, and its life as a device (link, reopen, stop).

#include "HostLine.h"
#include "TestSupport.h"

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <thread>

#include <sys/stat.h>

using namespace std::chrono_literals;

namespace {

Bytes Slice(const MeterRecord& record, std::size_t from, std::size_t count) {
    return Bytes(record.bytes.begin() + static_cast<std::ptrdiff_t>(from),
                 record.bytes.begin() + static_cast<std::ptrdiff_t>(from + count));
}

Bytes Erased(std::size_t count) { return Bytes(count, 0xFF); }

Bytes Concat(Bytes first, const Bytes& second) {
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

Bytes DataReply(unsigned address, const Bytes& memory) {
    return Concat({0xAA, 0x20, static_cast<std::uint8_t>(address & 0xFF),
                   static_cast<std::uint8_t>(address >> 8), 0x08},
                  memory);
}

}  // namespace

TEST(MeterSimProtocol, CountOfFiveRecords) {
    auto sim = StartSim(PatternRecords(5));
    CHostLine host(sim->SlavePath());
    EXPECT_EQ(host.Exchange(ReadCountFrame()), CountReply(5));
    EXPECT_EQ(sim->ExchangesServed(), 1);
}

TEST(MeterSimProtocol, CountAboveTwoHundredFiftyFiveUsesTheHighByte) {
    auto sim = StartSim(PatternRecords(261));
    CHostLine host(sim->SlavePath());
    const Bytes reply = host.Exchange(ReadCountFrame());
    ASSERT_EQ(reply.size(), 13u);
    EXPECT_EQ(reply[5], 0x05);
    EXPECT_EQ(reply[6], 0x01);
}

struct DataReadCase {
    const char* why;
    int recordCount;
    unsigned address;
    Bytes (*expected)(const std::vector<MeterRecord>&);
};

class MeterSimDataRead : public ::testing::TestWithParam<DataReadCase> {};

TEST_P(MeterSimDataRead, ReturnsTheMemoryAtTheAddress) {
    const DataReadCase& row = GetParam();
    const std::vector<MeterRecord> records = PatternRecords(row.recordCount);
    auto sim = StartSim(records);
    CHostLine host(sim->SlavePath());
    EXPECT_EQ(host.Exchange(ReadDataFrame(row.address)), DataReply(row.address, row.expected(records)))
        << row.why;
}

INSTANTIATE_TEST_SUITE_P(
    Addresses, MeterSimDataRead,
    ::testing::Values(
        DataReadCase{"block 0 is the first half of record 0", 5, 0x1000,
                     [](const auto& r) { return Slice(r[0], 0, 8); }},
        DataReadCase{"block 1 is the second half of record 0", 5, 0x1008,
                     [](const auto& r) { return Slice(r[0], 8, 8); }},
        DataReadCase{"block 2 starts record 1: 16 bytes per record", 5, 0x1010,
                     [](const auto& r) { return Slice(r[1], 0, 8); }},
        DataReadCase{"the last of 3840 records starts at 0xFFF0", 3840, 0xFFF0,
                     [](const auto& r) { return Slice(r[3839], 0, 8); }},
        DataReadCase{"the last block of a full memory is 0xFFF8", 3840, 0xFFF8,
                     [](const auto& r) { return Slice(r[3839], 8, 8); }},
        DataReadCase{"past the stored records the memory reads as erased", 5, 0x1050,
                     [](const auto&) { return Erased(8); }},
        DataReadCase{"below the record area nothing is stored", 5, 0x0FF8,
                     [](const auto&) { return Erased(8); }},
        DataReadCase{"a read across the end of the records", 5, 0x104C,
                     [](const auto& r) { return Concat(Slice(r[4], 12, 4), Erased(4)); }}));

TEST(MeterSimProtocol, ClearHandshakeThenEraseEmptiesTheMemory) {
    auto sim = StartSim(PatternRecords(5));
    CHostLine host(sim->SlavePath());
    Bytes handshake(13, 0);
    handshake[0] = 0xAA;
    handshake[1] = 0x30;
    EXPECT_EQ(host.Exchange(ClearCheckFrame()), handshake);

    host.Send(ClearDataFrame());
    ASSERT_TRUE(WaitUntil([&] { return sim->EraseCount() == 1; }));
    EXPECT_TRUE(sim->Records().empty());
    // The erase is not answered: the next bytes on the line are the count.
    EXPECT_EQ(host.Exchange(ReadCountFrame()), CountReply(0));
    EXPECT_EQ(host.Exchange(ReadDataFrame(0x1000)), DataReply(0x1000, Erased(8)));
    EXPECT_EQ(sim->ExchangesServed(), 4);
}

struct ResyncCase {
    const char* why;
    Bytes before;
};

class MeterSimResync : public ::testing::TestWithParam<ResyncCase> {};

TEST_P(MeterSimResync, SkipsToTheNextFrameWithoutAnswering) {
    const ResyncCase& row = GetParam();
    auto sim = StartSim(PatternRecords(5));
    CHostLine host(sim->SlavePath());
    host.Send(row.before);
    EXPECT_EQ(host.Exchange(ReadCountFrame()), CountReply(5)) << row.why;
    EXPECT_TRUE(host.Read(1, 100ms).empty()) << row.why;
    EXPECT_EQ(sim->ExchangesServed(), 1) << row.why;
}

INSTANTIATE_TEST_SUITE_P(
    Malformed, MeterSimResync,
    ::testing::Values(
        ResyncCase{"line noise before a frame", {0x00, 0xFF, 0x13}},
        ResyncCase{"a stray start byte", {0xAA}},
        ResyncCase{"an unknown command", CommandFrame(0x99)},
        ResyncCase{"a frame cut short, then a whole one", {0xAA, 0x22, 0x00, 0x00, 0x00}},
        ResyncCase{"a read of other than 8 bytes", CommandFrame(0x20, 0x1000, 4)},
        ResyncCase{"non-zero filler", {0xAA, 0x22, 0, 0, 0, 0, 0, 0x01, 0, 0, 0, 0, 0}}));

TEST(MeterSimProtocol, FrameArrivingInPiecesIsAnsweredOnceComplete) {
    auto sim = StartSim(PatternRecords(5));
    CHostLine host(sim->SlavePath());
    const Bytes frame = ReadCountFrame();
    host.Send(Bytes(frame.begin(), frame.begin() + 6));
    EXPECT_TRUE(host.Read(1, 100ms).empty());
    host.Send(Bytes(frame.begin() + 6, frame.end()));
    EXPECT_EQ(host.Read(13), CountReply(5));
}

TEST(MeterSimDevice, AnswersAgainAfterTheHostClosedAndReopened) {
    auto sim = StartSim(PatternRecords(3));
    {
        CHostLine host(sim->SlavePath());
        EXPECT_EQ(host.Exchange(ReadCountFrame()), CountReply(3));
    }
    CHostLine host(sim->SlavePath());
    EXPECT_EQ(host.Exchange(ReadCountFrame()), CountReply(3));
}

TEST(MeterSimDevice, LinkPointsAtTheDeviceAndGoesWithIt) {
    CTempDir dir;
    const std::string link = dir / "meter";
    SimOptions options;
    options.records = PatternRecords(2);
    options.linkPath = link;
    auto sim = StartSim(std::move(options));

    CHostLine host(link);
    EXPECT_EQ(host.Exchange(ReadCountFrame()), CountReply(2));
    sim->Stop();
    struct stat status{};
    EXPECT_NE(lstat(link.c_str(), &status), 0) << "the link outlived the simulator";
}

TEST(MeterSimDevice, RefusesToReplaceAFileWithItsLink) {
    CTempDir dir;
    const std::string path = dir / "notes.txt";
    std::ofstream(path) << "kept";
    SimOptions options;
    options.linkPath = path;
    CMeterSim sim(std::move(options));
    std::string error;
    EXPECT_FALSE(sim.Start(error));
    EXPECT_NE(error.find(path), std::string::npos) << error;
    std::string content;
    std::ifstream(path) >> content;
    EXPECT_EQ(content, "kept");
}

TEST(MeterSimDevice, StopIsIdempotentAndTheHostSeesTheDeviceGo) {
    auto sim = StartSim(PatternRecords(1));
    CHostLine host(sim->SlavePath());
    sim->Stop();
    sim->Stop();
    EXPECT_TRUE(host.SeesHangUp());
    std::string error;
    EXPECT_FALSE(sim->Start(error)) << "a stopped meter restarted";
}

TEST(MeterSimDevice, ServesWhileAnotherThreadWatches) {
    auto sim = StartSim(PatternRecords(200));
    std::atomic<bool> done{false};
    std::thread watcher([&] {
        while (!done) {
            EXPECT_LE(sim->Records().size(), 200u);
            EXPECT_GE(sim->ExchangesServed(), 0);
            EXPECT_EQ(sim->EraseCount(), 0);
        }
    });
    CHostLine host(sim->SlavePath());
    for (unsigned block = 0; block < 400; ++block) {
        const Bytes reply = host.Exchange(ReadDataFrame(0x1000 + 8 * block));
        ASSERT_EQ(reply.size(), 13u) << "block " << block;
    }
    done = true;
    watcher.join();
    EXPECT_EQ(sim->ExchangesServed(), 400);
}
