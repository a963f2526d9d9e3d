// Port discovery against a made-up sysfs tree.

#include "PortDiscovery.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>

namespace fs = std::filesystem;

TEST(PortDiscovery, ListsRealPortsAdaptersFirstInNaturalOrderAfterTheCallersOwn) {
    // One tree holds every case, because order is only visible among several ports.
    const struct { const char* name; bool hasDevice; std::optional<std::string> uartType; const char* why; } tree[] = {
        {"ttyS0", true, "0", "left out: a legacy port with no UART behind it"},
        {"ttyS1", true, "4", "a legacy port with a 16550A"},
        {"ttyS10", true, "4", "natural order: ttyS10 after ttyS2"},
        {"ttyS2", true, "4\n", "the type attribute ends in a line feed"},
        {"ttyUSB10", true, std::nullopt, "natural order: ttyUSB10 after ttyUSB2"},
        {"ttyUSB2", true, std::nullopt, "USB adapters are tried first"},
        {"ttyACM0", true, std::nullopt, "ACM modems belong to the first group"},
        {"ttyAMA0", true, std::nullopt, "other hardware ports come after the adapters"},
        {"tty1", false, std::nullopt, "left out: a virtual console has no device"},
        {"ptmx", false, std::nullopt, "left out: no device"},
        {"ttyUSB7", false, std::nullopt, "left out: an entry without device is no port"},
    };
    std::string pattern = (fs::temp_directory_path() / "ombrel-sysfs-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    const fs::path root = pattern, ttys = root / "class" / "tty";
    fs::create_directories(root / "hardware");
    for (const auto& entry : tree) {
        fs::create_directories(ttys / entry.name);
        if (entry.hasDevice)
            fs::create_directory_symlink(root / "hardware", ttys / entry.name / "device");
        if (entry.uartType)
            std::ofstream(ttys / entry.name / "type") << *entry.uartType;
    }
    std::vector<std::string> ports{"/dev/ttyEarlier"};   // discovery appends to what the caller has
    EnumSerialPorts(ports, ttys.string());
    EXPECT_EQ(ports, (std::vector<std::string>{"/dev/ttyEarlier", "/dev/ttyACM0", "/dev/ttyUSB2", "/dev/ttyUSB10",
                                               "/dev/ttyAMA0", "/dev/ttyS1", "/dev/ttyS2", "/dev/ttyS10"}));
    ports.clear();
    EnumSerialPorts(ports, (root / "nothing-here").string());
    EXPECT_TRUE(ports.empty()) << "a missing tree gives no ports";
    fs::remove_all(root);
}
