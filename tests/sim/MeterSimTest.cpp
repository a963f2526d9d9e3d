// The simulated meter's side of the protocol, its faults on purpose, its
// timing, its life as a device, the memories it serves and its fault notation.
// What the meter does on its line is checked on both lines it can serve.

#include "HostLine.h"

#include <atomic>
#include <cmath>
#include <fstream>
#include <set>
#include <thread>
#include <tuple>

using namespace std::chrono_literals;
namespace fs = std::filesystem;

class MeterSimOnLine : public ::testing::TestWithParam<SimLine> {};
INSTANTIATE_TEST_SUITE_P(Lines, MeterSimOnLine, ::testing::ValuesIn(kSimLines), LineName);

TEST_P(MeterSimOnLine, CountThenClearHandshakeAndEraseEmptyTheMemory) {
    auto sim = StartSim(GetParam(), 261);
    // Another thread reads the state meanwhile, as the window's status line does.
    std::atomic<bool> done{false};
    std::thread watcher([&] { while (!done) { sim->Records(); sim->EraseCount(); sim->ExchangesServed(); } });
    CHostLine host(*sim);
    EXPECT_EQ(host.Exchange(kReadCount), CountReply(261)) << "a count above 255 needs the high byte";
    EXPECT_EQ(host.Exchange(kClearCheck), Reply(kClearCheck));
    host.Send(kClearData);
    EXPECT_TRUE(WaitUntil([&] { return sim->EraseCount() == 1; }));
    EXPECT_TRUE(sim->Records().empty());
    // The erase is not answered: the next bytes on the line are the count's.
    EXPECT_EQ(host.Exchange(kReadCount), CountReply(0));
    EXPECT_EQ(host.Exchange(ReadData(0x1000)), DataReply(0x1000, 0, 0, 0));
    done = true;
    watcher.join();
    EXPECT_EQ(sim->ExchangesServed(), 5);
}

TEST_P(MeterSimOnLine, DataReadReturnsTheMemoryAtTheAddress) {
    const struct { const char* why; int records; unsigned address; int record; std::size_t from, stored; } rows[] = {
        {"block 0 is the first half of record 0", 5, 0x1000, 0, 0, 8},
        {"block 1 is the second half of record 0", 5, 0x1008, 0, 8, 8},
        {"block 2 starts record 1: 16 bytes a record", 5, 0x1010, 1, 0, 8},
        {"the last block of 3840 records is 0xFFF8", 3840, 0xFFF8, 3839, 8, 8},
        {"a read across the end of the records", 5, 0x104C, 4, 12, 4},
        {"past the records the memory reads as erased", 5, 0x1050, 0, 0, 0},
        {"below the record area nothing is stored", 5, 0x0FF8, 0, 0, 0},
    };
    for (const auto& row : rows) {
        auto sim = StartSim(GetParam(), row.records);
        EXPECT_EQ(CHostLine(*sim).Exchange(ReadData(row.address)),
                  DataReply(row.address, row.record, row.from, row.stored)) << row.why;
    }
}

// Exchange 2 goes wrong, on purpose or by the host; exchange 1 and the data
// read after it show that nothing else was hit and nothing more went out.
TEST_P(MeterSimOnLine, EachFaultAndMalformedInputDoesWhatItSays) {
    const bool pty = GetParam() == SimLine::PseudoTerminal;
    // quietMs: how long nothing more may come after the data read; past the
    // due time of a reply that should have been dropped.
    const struct { const char* why; const char* fault; Bytes frame; std::size_t stray; Bytes line; int minMs;
                   int quietMs = 150; } rows[] = {
        {"a lost frame gets no answer", "noreply@2", kReadCount, 0, {}, 0},
        {"a lost erase frame keeps the memory", "noreply@2", kClearData, 0, {}, 0},
        {"a wrong header changes bytes 0-1 only", "header@2", kReadCount, 0, {0x55, 0x55, 0, 0, 0, 5, 0, 0, 0, 0, 0, 0, 0},
         0},
        {"a short reply stops after k bytes", "short@2:5", kReadCount, 0, {0xAA, 0x22, 0, 0, 0}, 0},
        {"a zero count looks like an empty meter", "zerocount@2", kReadCount, 0, CountReply(0), 0},
        {"stray bytes come before a whole reply", "garbage@2:3", kReadCount, 3, CountReply(5), 0},
        {"a late reply comes no sooner than its delay", "late@2:300", kReadCount, 0, CountReply(5), 300},
        {"a late reply is dropped when the next frame comes first", "late@2:1000", kReadCount, 0, {}, 0, 1500},
        {"without @n every clear handshake is late", "lateclear:300", kClearCheck, 0, Reply(kClearCheck), 300},
        {"an unplugged meter hangs up and its link goes", "vanish@2", kReadCount, 0, {}, 0},
        {"the same reply twice, the second after its delay", "twice@2:100", kReadCount, 0,
         [] { Bytes twice = CountReply(5); const Bytes once = CountReply(5); twice.insert(twice.end(), once.begin(), once.end()); return twice; }(),
         100},
        // Malformed input is skipped a byte at a time, unanswered.
        {"line noise", nullptr, {0x00, 0xFF, 0x13}, 0, {}, 0},
        {"a stray start byte", nullptr, {0xAA}, 0, {}, 0},
        {"an unknown command", nullptr, CommandFrame(0x99), 0, {}, 0},
        {"a frame cut short", nullptr, {0xAA, 0x22, 0, 0, 0}, 0, {}, 0},
        {"a read of other than 8 bytes", nullptr, CommandFrame(0x20, 0x1000, 4), 0, {}, 0},
        {"non-zero filler", nullptr, {0xAA, 0x22, 0, 0, 0, 0, 0, 0x01, 0, 0, 0, 0, 0}, 0, {}, 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.why);
        SimFault fault;
        std::string error;
        ASSERT_TRUE(row.fault == nullptr || ParseSimFault(row.fault, fault, error)) << error;
        CTempDir dir;
        auto sim = StartSim(GetParam(), 5, [&](SimOptions& o) {
            o.faults.assign(row.fault != nullptr, fault);
            o.linkPath = pty ? dir / "meter" : "";
        });
        CHostLine host(*sim);
        EXPECT_EQ(host.Exchange(kReadCount), CountReply(5));

        const auto sent = std::chrono::steady_clock::now();
        host.Send(row.frame);
        const Bytes got = host.Read(row.stray + row.line.size(), 5s);
        EXPECT_GE(std::chrono::steady_clock::now() - sent, std::chrono::milliseconds(row.minMs));
        ASSERT_EQ(got.size(), row.stray + row.line.size());
        for (std::size_t i = 0; i < row.stray; ++i)
            EXPECT_NE(got[i], 0xAA) << "stray byte " << i << " could pass for a frame start";
        EXPECT_EQ(Bytes(got.begin() + static_cast<long>(row.stray), got.end()), row.line);

        if (row.fault != nullptr && std::string(row.fault).starts_with("vanish")) {
            EXPECT_TRUE(host.SeesHangUp());
            PortAttempt why;
            EXPECT_TRUE(pty ? !fs::exists(fs::symlink_status(dir / "meter"))
                            : sim->Connect(why) == nullptr && why.failure == PortFailure::Absent);
            continue;
        }
        EXPECT_EQ(host.Exchange(ReadData(0x1000)), DataReply(0x1000, 0, 0));
        EXPECT_TRUE(host.Read(1, std::chrono::milliseconds(row.quietMs)).empty()) << "a reply came that should not have";
        EXPECT_EQ(sim->Records().size(), 5u);
    }
}

TEST_P(MeterSimOnLine, PacedLineAndLatencyBothDelayEveryReply) {
    auto sim = StartSim(GetParam(), 5, [](SimOptions& o) { o.paced = true; o.latencyMs = 100; });
    CHostLine host(*sim);
    // 13 bytes out and 13 back at 9600 baud, ten bits each, plus the turnaround.
    const auto least = 100ms + 26 * std::chrono::nanoseconds(1'041'667);
    for (const auto& [frame, reply] :
         {std::pair{kReadCount, CountReply(5)}, std::pair{ReadData(0x1008), DataReply(0x1008, 0, 8)}}) {
        const auto sent = std::chrono::steady_clock::now();
        EXPECT_EQ(host.Exchange(frame), reply);
        EXPECT_GE(std::chrono::steady_clock::now() - sent, least);
    }
}

TEST_P(MeterSimOnLine, ServesAgainAfterTheHostReopensAndHangsUpOnStop) {
    auto sim = StartSim(GetParam(), 3);
    EXPECT_EQ(CHostLine(*sim).Exchange(kReadCount), CountReply(3));
    CHostLine host(*sim);
    EXPECT_EQ(host.Exchange(kReadCount), CountReply(3));
    sim->Stop();
    sim->Stop();
    EXPECT_TRUE(host.SeesHangUp());
    std::string error;
    EXPECT_FALSE(sim->Start(error)) << "a stopped meter restarted";
}

// The line inside the program takes one host at a time, and none once the
// meter has stopped; a pseudo-terminal's host opens its device instead.
TEST(MeterSimInMemory, ConnectRefusesWithTheReasonAPortWouldGive) {
    SimOptions options;
    options.line = SimLine::InMemory;
    CMeterSim sim(options);
    const auto refusal = [&] {
        PortAttempt why;
        return sim.Connect(why) == nullptr ? why.failure : PortFailure::None;
    };
    EXPECT_EQ(refusal(), PortFailure::Absent) << "before it was started";
    std::string error;
    ASSERT_TRUE(sim.Start(error)) << error;
    EXPECT_EQ(sim.SlavePath(), "Simulated meter");
    {
        CHostLine host(sim);
        EXPECT_EQ(refusal(), PortFailure::Busy) << "while another host has it";
    }
    sim.Stop();
    EXPECT_EQ(refusal(), PortFailure::Absent) << "once stopped";

    auto pty = StartSim(SimLine::PseudoTerminal, 1);
    PortAttempt why;
    EXPECT_TRUE(pty->Connect(why) == nullptr);
    EXPECT_NE(why.detail.find(pty->SlavePath()), std::string::npos) << why.detail;
    options.linkPath = "meter";
    EXPECT_FALSE(CMeterSim(options).Start(error)) << "a link to a line inside the program";
}

TEST(MeterSimDevice, RefusesToReplaceAFileWithItsLink) {
    CTempDir dir;
    std::ofstream(dir / "notes.txt") << "kept";
    SimOptions options;
    options.linkPath = dir / "notes.txt";
    CMeterSim sim(options);
    std::string error;
    EXPECT_FALSE(sim.Start(error));
    EXPECT_NE(error.find(dir / "notes.txt"), std::string::npos) << error;
    // Checked before reading: a link to the device would block the read.
    ASSERT_TRUE(fs::is_regular_file(fs::symlink_status(dir / "notes.txt"))) << "the file was replaced";
    EXPECT_EQ(ReadFile(dir / "notes.txt"), "kept");
}

TEST(SimRecords, RealisticSessionCoversEveryModeWavelengthModulationAndUnit) {
    std::set<int> modes, wavelengths, modulations;
    std::set<std::string> linearUnits;
    for (const MeterRecord& record : RealisticSession()) {
        modes.insert(record.DisplayMode());
        wavelengths.insert(record.WavelengthIndex());
        modulations.insert(record.ModulationIndex());
        EXPECT_TRUE(std::isfinite(record.Power()) && record.Power() > 0);
        EXPECT_TRUE(record.DisplayMode() != 2 || record.Power() < record.Ref()) << "a relative reading is a loss";
        // The unit the window shows a linear reading in.
        const std::string cell = DecodeRecord(record, 0).cells[COL_POWER];
        if (record.DisplayMode() == 0)
            linearUnits.insert(cell.substr(cell.rfind('(')));
    }
    EXPECT_EQ(modes, (std::set<int>{0, 1, 2}));
    EXPECT_EQ(wavelengths, (std::set<int>{0, 1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(modulations, (std::set<int>{0, 1, 2, 3}));
    EXPECT_EQ(linearUnits, (std::set<std::string>{"(pW)", "(nW)", "(uW)", "(mW)"}));
}

TEST(SimRecords, GeneratedRecordsAreDeterministicVariedAndBounded) {
    const std::vector<MeterRecord> first = GeneratedRecords(84), again = GeneratedRecords(84);
    ASSERT_TRUE(first.size() == 84 && again.size() == 84);
    std::set<std::tuple<int, int, int>> pairings;
    for (std::size_t i = 0; i < first.size(); ++i) {
        EXPECT_TRUE(first[i].bytes == again[i].bytes && std::isfinite(first[i].Power()) && first[i].Power() > 0) << i;
        pairings.insert({first[i].DisplayMode(), first[i].WavelengthIndex(), first[i].ModulationIndex()});
    }
    EXPECT_EQ(pairings.size(), 3u * 7u * 4u) << "every mode, wavelength and modulation pairing";
    EXPECT_EQ(GeneratedRecords(5000).size(), 3840u) << "no more than the memory holds";
    EXPECT_TRUE(GeneratedRecords(-1).empty());
}

TEST(SimRecords, ImagesLoadByteForByteOrAreRefusedWithAReason) {
    CTempDir dir;
    const auto image = [&](const std::string& name, std::size_t size) {
        std::ofstream file(dir / name, std::ios::binary);
        for (std::size_t i = 0; i < size; ++i)
            file.put(static_cast<char>(i * 5));
        return dir / name;
    };
    const struct { const char* why; std::string path; const char* refusal; std::size_t records; } rows[] = {
        {"two whole records", image("two", 32), nullptr, 2},
        {"an empty image is an empty meter", image("empty", 0), nullptr, 0},
        {"a record cut short", image("17", 17), "16-byte", 3},
        {"more than the memory holds", image("3841", 3841 * 16), "at most 3840", 3},
        {"no such file", "/nonexistent/ombrel.bin", "cannot open", 3},
        {"a directory", "/tmp", "not a regular file", 3},
    };
    for (const auto& row : rows) {
        std::vector<MeterRecord> records(3);   // a refused image must leave these
        std::string error;
        EXPECT_EQ(LoadRecordImage(row.path, records, error), row.refusal == nullptr) << row.why << ": " << error;
        EXPECT_NE(error.find(row.refusal ? row.refusal : ""), std::string::npos) << row.why << ": " << error;
        ASSERT_EQ(records.size(), row.records) << row.why;
        if (row.refusal == nullptr && !records.empty()) {   // the last byte of the image, in place
            EXPECT_EQ(records.back().bytes[15], static_cast<std::uint8_t>((row.records * 16 - 1) * 5)) << row.why;
        }
    }
}

TEST(ParseSimFault, ReadsKindExchangeAndValueOrRefusesAndSaysWhy) {
    using K = SimFault::Kind;
    const auto fields = [](const SimFault& f) { return std::tuple(f.kind, f.exchange, f.delayMs, f.byteCount); };
    const SimFault untouched{K::Vanish, 42, 0, 0};
    const struct { const char* text; SimFault parsed; const char* refusal; } rows[] = {
        {"noreply", {K::NoReply, 0, 0, 0}, nullptr},        {"noreply@3", {K::NoReply, 3, 0, 0}, nullptr},
        {"late:800", {K::LateReply, 0, 800, 0}, nullptr},   {"late@2:800", {K::LateReply, 2, 800, 0}, nullptr},
        {"header@5", {K::WrongHeader, 5, 0, 0}, nullptr},   {"short@2:5", {K::ShortReply, 2, 0, 5}, nullptr},
        {"garbage:3", {K::Garbage, 0, 0, 3}, nullptr},      {"zerocount", {K::ZeroCount, 0, 0, 0}, nullptr},
        {"lateclear:700", {K::LateClear, 0, 700, 0}, nullptr}, {"vanish@10", {K::Vanish, 10, 0, 0}, nullptr},
        {"", untouched, "empty"},                    {"slow", untouched, "unknown fault kind 'slow'"},
        {"late", untouched, "needs a delay"},        {"late@2:", untouched, "got ''"},
        {"late:soon", untouched, "got 'soon'"},      {"garbage@2", untouched, "needs a number of bytes"},
        {"late:99999999999", untouched, "got '99999999999'"},   // too large for an int
        {"short:13", untouched, "from 1 to 12"},     {"short:0", untouched, "from 1 to 12"},
        {"noreply:3", untouched, "takes no value"},  {"vanish@0", untouched, "from 1 up"},
        {"header@x", untouched, "from 1 up"},
    };
    for (const auto& row : rows) {
        SimFault fault = untouched;
        std::string error;
        EXPECT_EQ(ParseSimFault(row.text, fault, error), row.refusal == nullptr) << row.text << ": " << error;
        EXPECT_EQ(fields(fault), fields(row.parsed)) << row.text;
        EXPECT_NE(error.find(row.refusal ? row.refusal : ""), std::string::npos) << row.text << ": " << error;
    }
}
