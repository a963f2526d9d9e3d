#pragma once
// Text at the Win32 boundary: the program's strings are UTF-8, the system's
// wide calls take UTF-16, and system errors come as sentences.

#include <string>

#include <windows.h>

std::wstring WideFromUtf8(const std::string& text);
std::string Utf8FromWide(const std::wstring& text);
// The system's text for an error code, without the closing full stop.
std::string SystemErrorText(DWORD error);
