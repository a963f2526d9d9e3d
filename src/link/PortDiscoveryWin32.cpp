#include "PortDiscovery.h"

#include "Win32Text.h"

#include <algorithm>
#include <array>

#include <windows.h>

namespace {

// A value's name and data are read into buffers of this many characters; a
// longer one is no port name and is left out.
constexpr DWORD kValueBufferChars = 256;

}  // namespace

void EnumSerialPorts(std::vector<std::string>& portNames) {
    EnumSerialPorts(portNames, "HARDWARE\\DEVICEMAP\\SERIALCOMM");
}

void EnumSerialPorts(std::vector<std::string>& portNames, const std::string& keyPath) {
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, WideFromUtf8(keyPath).c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return;
    std::vector<std::string> found;
    for (DWORD index = 0;; ++index) {
        std::array<wchar_t, kValueBufferChars> name{};
        std::array<wchar_t, kValueBufferChars> data{};
        DWORD nameChars = kValueBufferChars;
        DWORD dataBytes = sizeof data - sizeof data[0];   // room for a closing zero the value may lack
        DWORD type = REG_NONE;
        const LSTATUS status = ::RegEnumValueW(key, index, name.data(), &nameChars, nullptr, &type,
                                               reinterpret_cast<BYTE*>(data.data()), &dataBytes);
        if (status == ERROR_NO_MORE_ITEMS)
            break;
        // An unreadable or over-long value, or one that is no text, names no port.
        if (status != ERROR_SUCCESS || type != REG_SZ)
            continue;
        const std::wstring port(data.data());
        if (!port.empty())
            found.push_back(Utf8FromWide(port));
    }
    ::RegCloseKey(key);
    // The device map lists ports in the order drivers came up: COM10 may come
    // before COM2. Ports are tried in the order people number them.
    std::stable_sort(found.begin(), found.end(), NaturalLess);
    portNames.insert(portNames.end(), found.begin(), found.end());
}
