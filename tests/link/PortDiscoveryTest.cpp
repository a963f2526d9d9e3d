// Port discovery against a made-up sysfs tree.

#include "PortDiscovery.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>

namespace fs = std::filesystem;

namespace {

struct TtyEntry {
    const char* name;
    bool hasDevice;                  // a `device` link to the hardware behind it
    std::optional<std::string> type; // UART type published by serial_core
    int position;                    // place in the scan order, -1 when left out
    const char* why;
};

// One tree holds every case, because order is only visible among several ports.
const TtyEntry kTree[] = {
    {"ttyS0", true, "0", -1, "legacy port with no UART behind it"},
    {"ttyS1", true, "4", 4, "legacy port with a 16550A"},
    {"ttyS10", true, "4", 6, "natural order: ttyS10 after ttyS2"},
    {"ttyS2", true, "4\n", 5, "the type attribute ends in a line feed"},
    {"ttyUSB10", true, std::nullopt, 2, "natural order: ttyUSB10 after ttyUSB2"},
    {"ttyUSB2", true, std::nullopt, 1, "USB adapters are tried first"},
    {"ttyACM0", true, std::nullopt, 0, "ACM modems belong to the first group"},
    {"ttyAMA0", true, std::nullopt, 3, "other hardware ports come after the adapters"},
    {"tty1", false, std::nullopt, -1, "virtual console, no device"},
    {"console", false, std::nullopt, -1, "no device"},
    {"ptmx", false, std::nullopt, -1, "no device"},
    {"ttyUSB7", false, std::nullopt, -1, "an entry without device is no port"},
};

class PortDiscoveryTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "ombrel-sysfs-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        m_root = pattern;
        fs::create_directories(m_root / "devices" / "hardware");
        fs::create_directories(m_root / "class" / "tty");
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(m_root, ignored);
    }

    void AddEntry(const TtyEntry& entry) {
        const fs::path dir = TtyRoot() / entry.name;
        fs::create_directories(dir);
        if (entry.hasDevice)
            fs::create_directory_symlink(m_root / "devices" / "hardware", dir / "device");
        if (entry.type)
            std::ofstream(dir / "type") << *entry.type;
    }
    fs::path TtyRoot() const { return m_root / "class" / "tty"; }

    fs::path m_root;
};

}  // namespace

TEST_F(PortDiscoveryTest, ListsRealPortsAdaptersFirstInNaturalOrder) {
    std::vector<std::string> expected(std::size(kTree));
    for (const TtyEntry& entry : kTree) {
        AddEntry(entry);
        if (entry.position >= 0)
            expected[static_cast<std::size_t>(entry.position)] = std::string("/dev/") + entry.name;
    }
    expected.erase(std::remove(expected.begin(), expected.end(), std::string()), expected.end());

    std::vector<std::string> ports;
    EnumSerialPorts(ports, TtyRoot().string());
    EXPECT_EQ(ports, expected);
    for (const TtyEntry& entry : kTree) {
        const bool listed = std::find(ports.begin(), ports.end(), std::string("/dev/") + entry.name) != ports.end();
        EXPECT_EQ(listed, entry.position >= 0) << entry.name << ": " << entry.why;
    }
}

TEST_F(PortDiscoveryTest, AppendsToTheCallersList) {
    AddEntry({"ttyUSB0", true, std::nullopt, 0, ""});
    std::vector<std::string> ports{"/dev/ttyEarlier"};
    EnumSerialPorts(ports, TtyRoot().string());
    EXPECT_EQ(ports, (std::vector<std::string>{"/dev/ttyEarlier", "/dev/ttyUSB0"}));
}

TEST_F(PortDiscoveryTest, MissingTreeGivesNoPorts) {
    std::vector<std::string> ports;
    EnumSerialPorts(ports, (m_root / "nothing-here").string());
    EXPECT_TRUE(ports.empty());
}
