// The Win32 serial port's names and refusals. Talking to the simulated meter
// through a COM port is tested end to end (tests/windows/run-e2e).

#include "PortFailure.h"
#include "SerialPort.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <windows.h>

namespace fs = std::filesystem;

TEST(SerialPort, PortNamesBecomeDevicePathsAndPathsStay) {
    const struct { const char* name; const char* path; } rows[] = {
        {"COM3", "\\\\.\\COM3"},
        {"COM10", "\\\\.\\COM10"},        // above COM9 only the device path reaches the port
        {"\\\\.\\COM4", "\\\\.\\COM4"},
        {"C:\\meter.bin", "C:\\meter.bin"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(CSerialPort::DevicePath(row.name), row.path) << row.name;
}

TEST(SerialPort, UnusablePortIsRefusedWithItsReasonAndMessage) {
    const fs::path file = fs::temp_directory_path() / ("ombrel-not-a-port-" + std::to_string(::GetCurrentProcessId()));
    std::ofstream(file) << "not a serial device\n";
    const struct { const char* why; std::string name; PortFailure failure; const char* message; } rows[] = {
        {"a port that is not there", "COM199", PortFailure::Absent, "Open serial port fail！"},
        {"a file takes no line settings", file.string(), PortFailure::NotATty, "Set CommState fail！"},
        {"the null device takes no line settings", "NUL", PortFailure::NotATty, "Set CommState fail！"},
    };
    for (const auto& row : rows) {
        CRecordingSink messages;
        CSerialPort port(&messages);
        EXPECT_EQ(port.ProbePort(row.name), 1) << row.why;
        EXPECT_EQ(port.LastFailure(), row.failure) << row.why << ": " << port.LastFailureDetail();
        EXPECT_FALSE(port.LastFailureDetail().empty()) << row.why;
        EXPECT_EQ(port.Open(row.name), -1) << row.why;
        EXPECT_FALSE(port.IsOpen()) << row.why;
        EXPECT_EQ(messages.Messages(), std::vector<std::string>{row.message}) << row.why;
    }
    fs::remove(file);
}

TEST(SerialPort, ClosedPortDoesNothingAndSaysNothing) {
    CRecordingSink messages;
    CSerialPort port(&messages);
    std::uint8_t bytes[13] = {0xAA, 0x22};
    EXPECT_EQ(port.Send(bytes, sizeof bytes), 0u);
    EXPECT_EQ(port.Receive(bytes, sizeof bytes), 0u);
    EXPECT_EQ(port.WaitForInput(5000), IByteStream::WaitResult::Gone);
    port.Purge();
    port.Close();
    EXPECT_TRUE(messages.Messages().empty());
}

TEST(DescribePortAttempts, OneLinePerPortWithReasonDetailAndAccessHint) {
    EXPECT_EQ(DescribePortAttempts({{"COM3", PortFailure::Busy, "another program has it open, or access is denied"},
                                    {"COM4", PortFailure::NoAnswer, ""},
                                    {"COM9", PortFailure::PermissionDenied, ""}}),
              "COM3: busy (another program has it open, or access is denied)\nCOM4: no answer\n"
              "COM9: permission denied; the computer's administrator can give the user access to the port\n");
}
