// The meter memories the simulator serves: the demo session, generated sets
// and raw images.

#include "HostLine.h"

#include <cmath>
#include <cstring>
#include <fstream>
#include <set>
#include <tuple>

#include <sys/stat.h>

namespace {

float FloatAt(const MeterRecord& record, std::size_t offset) {
    std::uint32_t bits = 0;
    for (std::size_t i = 0; i < 4; ++i)
        bits |= static_cast<std::uint32_t>(record.bytes[offset + i]) << (8 * i);
    float value = 0;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

double Dbm(float milliwatts) { return 10.0 * std::log10(static_cast<double>(milliwatts)); }

// The unit the window shows a linear reading in, by the decoder's ranges.
std::string LinearUnit(float p) {
    if (p > 1e-11 && p < 9.999e-8) return "pW";
    if (p > 1e-5 && p < 0.09999) return "uW";
    if (p > 1e-8 && p < 9.999e-5) return "nW";
    if (p > 0.01 && p < 99.99) return "mW";
    return "none";
}

std::string WriteImage(const std::string& name, std::size_t size) {
    const std::string path = ::testing::TempDir() + name;
    std::ofstream image(path, std::ios::binary | std::ios::trunc);
    for (std::size_t i = 0; i < size; ++i)
        image.put(static_cast<char>(i * 5));
    return path;
}

}  // namespace

TEST(SimRecords, RealisticSessionCoversEveryModeWavelengthAndModulation) {
    const std::vector<MeterRecord> session = RealisticSession();
    EXPECT_GE(session.size(), 20u);
    EXPECT_LE(session.size(), 30u);
    std::set<int> modes, wavelengths, modulations;
    std::set<std::string> linearUnits;
    for (const MeterRecord& record : session) {
        modes.insert(record.bytes[8]);
        wavelengths.insert(record.bytes[9]);
        modulations.insert(record.bytes[10]);
        const float power = FloatAt(record, 0);
        const float ref = FloatAt(record, 4);
        ASSERT_TRUE(std::isfinite(power) && power > 0);
        EXPECT_NEAR(Dbm(ref), -10.0, 1.0) << "reference far from the source level";
        if (record.bytes[8] == 0) {
            linearUnits.insert(LinearUnit(power));
        } else {
            EXPECT_LE(Dbm(power), -2.99);
            EXPECT_GE(Dbm(power), -40.01);
        }
        if (record.bytes[8] == 2) {
            EXPECT_LT(power, ref) << "a relative reading is a loss against the reference";
        }
    }
    EXPECT_EQ(modes, (std::set<int>{0, 1, 2}));
    EXPECT_EQ(wavelengths, (std::set<int>{0, 1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(modulations, (std::set<int>{0, 1, 2, 3}));
    EXPECT_EQ(linearUnits, (std::set<std::string>{"pW", "nW", "uW", "mW"}));
}

TEST(SimRecords, GeneratedRecordsAreDeterministicVariedAndBounded) {
    const std::vector<MeterRecord> first = GeneratedRecords(84);
    const std::vector<MeterRecord> again = GeneratedRecords(84);
    ASSERT_EQ(first.size(), 84u);
    std::set<std::tuple<int, int, int>> combinations;
    for (std::size_t i = 0; i < first.size(); ++i) {
        EXPECT_EQ(first[i].bytes, again[i].bytes) << "record " << i;
        combinations.insert({first[i].bytes[8], first[i].bytes[9], first[i].bytes[10]});
        const float power = FloatAt(first[i], 0);
        EXPECT_TRUE(std::isfinite(power) && power > 0) << "record " << i;
    }
    EXPECT_EQ(combinations.size(), 3u * 7u * 4u) << "every mode, wavelength and modulation pairing";
    EXPECT_EQ(GeneratedRecords(5000).size(), static_cast<std::size_t>(kMaxSimRecords));
    EXPECT_TRUE(GeneratedRecords(-1).empty());
}

TEST(SimRecords, ImageLoadsByteForByte) {
    const std::string path = WriteImage("ombrel-sim-two.bin", 32);
    std::vector<MeterRecord> records;
    std::string error;
    ASSERT_TRUE(LoadRecordImage(path, records, error)) << error;
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].bytes[1], 5);
    EXPECT_EQ(records[1].bytes[15], static_cast<std::uint8_t>(31 * 5));
    std::remove(path.c_str());
}

TEST(SimRecords, EmptyImageIsAnEmptyMeter) {
    const std::string path = WriteImage("ombrel-sim-empty.bin", 0);
    std::vector<MeterRecord> records = PatternRecords(3);
    std::string error;
    EXPECT_TRUE(LoadRecordImage(path, records, error)) << error;
    EXPECT_TRUE(records.empty());
    std::remove(path.c_str());
}

struct BadImageCase {
    const char* why;
    const char* path;     // used as given when no image is written
    long imageSize;       // bytes of a written image, or -1
    const char* errorMentions;
};

class SimRecordsBadImage : public ::testing::TestWithParam<BadImageCase> {};

TEST_P(SimRecordsBadImage, IsRefusedWithAReason) {
    const BadImageCase& row = GetParam();
    const std::string path =
        row.imageSize < 0 ? row.path : WriteImage(row.path, static_cast<std::size_t>(row.imageSize));
    std::vector<MeterRecord> records = PatternRecords(3);
    std::string error;
    EXPECT_FALSE(LoadRecordImage(path, records, error)) << row.why;
    EXPECT_NE(error.find(row.errorMentions), std::string::npos) << row.why << ": " << error;
    EXPECT_EQ(records.size(), 3u) << "a refused image changed the records";
    if (row.imageSize >= 0)
        std::remove(path.c_str());
}

INSTANTIATE_TEST_SUITE_P(
    Images, SimRecordsBadImage,
    ::testing::Values(
        BadImageCase{"no such file", "/nonexistent/ombrel.bin", -1, "cannot open"},
        BadImageCase{"a directory", "/tmp", -1, "not a regular file"},
        BadImageCase{"a record cut short", "ombrel-sim-17.bin", 17, "16-byte"},
        BadImageCase{"more than the memory holds", "ombrel-sim-3841.bin", 3841 * 16, "at most 3840"}));
