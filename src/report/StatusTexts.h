#pragma once

#include <ctime>
#include <string>

// Texts of status panes 1 and 2; the CSV report and the printed page copy them verbatim.
std::string DateTimePaneText(std::time_t now);     // "Date time: %Y-%m-%d %H:%M:%S", local time
std::string UseTimePaneText(int useSeconds);       // "Use time: %d seconds"

// The calendar time of `now` in the local time zone; false when it cannot be
// told. One source file per platform (LocalTimePosix.cpp, LocalTimeWin32.cpp).
bool LocalCalendarTime(std::time_t now, std::tm& local);
