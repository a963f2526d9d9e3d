// Port discovery against a made-up serial-port device map in the registry.

#include "PortDiscovery.h"
#include "Win32Text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <windows.h>

namespace {

struct Value {
    const char* name;
    DWORD type;
    std::wstring data;
    const char* why;
};

void Put(HKEY key, const Value& value) {
    const std::wstring name = WideFromUtf8(value.name);
    if (value.type == REG_DWORD) {
        const DWORD number = 3;
        ASSERT_EQ(::RegSetValueExW(key, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number),
                                   sizeof number), ERROR_SUCCESS) << value.why;
        return;
    }
    const auto bytes = static_cast<DWORD>((value.data.size() + 1) * sizeof(wchar_t));
    ASSERT_EQ(::RegSetValueExW(key, name.c_str(), 0, value.type, reinterpret_cast<const BYTE*>(value.data.c_str()),
                               bytes), ERROR_SUCCESS) << value.why;
}

}  // namespace

TEST(PortDiscovery, ListsTheDeviceMapInNaturalOrderAfterTheCallersOwn) {
    // One key holds every case, because order is only visible among several ports.
    const Value values[] = {
        {"\\Device\\VCP0", REG_SZ, L"COM10", "natural order: COM10 after COM2"},
        {"\\Device\\Serial0", REG_SZ, L"COM1", "a built-in port"},
        {"\\Device\\VCP1", REG_SZ, L"COM2", "an adapter"},
        {"\\Device\\Long", REG_SZ, std::wstring(300, L'X'), "left out: longer than a port name can be"},
        {"\\Device\\Number", REG_DWORD, L"", "left out: no text"},
        {"\\Device\\Empty", REG_SZ, L"", "left out: names nothing"},
        {"\\Device\\VCP2", REG_SZ, L"COM2", "a name given twice is tried twice"},
        {"\\Device\\Last", REG_SZ, L"COM3", "values after a refused one are still listed"},
    };
    const std::string keyPath = "Software\\Ombrel tests\\SerialComm " + std::to_string(::GetCurrentProcessId());
    HKEY key = nullptr;
    ASSERT_EQ(::RegCreateKeyExW(HKEY_LOCAL_MACHINE, WideFromUtf8(keyPath).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                nullptr, &key, nullptr), ERROR_SUCCESS);
    for (const Value& value : values)
        Put(key, value);
    ::RegCloseKey(key);

    std::vector<std::string> ports{"COM77"};   // discovery appends to what the caller has
    EnumSerialPorts(ports, keyPath);
    EXPECT_EQ(ports, (std::vector<std::string>{"COM77", "COM1", "COM2", "COM2", "COM3", "COM10"}));
    ports.clear();
    EnumSerialPorts(ports, keyPath + "\\nothing here");
    EXPECT_TRUE(ports.empty()) << "a missing key gives no ports";
    ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"Software\\Ombrel tests");
}

TEST(PortDiscovery, NaturalOrderTakesDigitRunsAsNumbers) {
    const struct { const char* a; const char* b; bool less; } rows[] = {
        {"COM2", "COM10", true}, {"COM10", "COM2", false}, {"COM02", "COM3", true},
        {"COM3", "COM3", false}, {"COM", "COM1", true},
    };
    for (const auto& row : rows)
        EXPECT_EQ(NaturalLess(row.a, row.b), row.less) << row.a << " < " << row.b;
}
