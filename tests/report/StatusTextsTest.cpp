#include "StatusTexts.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

// Switches the process to a fixed time zone for one test.
class ScopedTimeZone {
public:
    explicit ScopedTimeZone(const char* zone)
    {
        if (const char* old = std::getenv("TZ"); old != nullptr)
            m_oldZone = old, m_hadZone = true;
        ::setenv("TZ", zone, 1);
        ::tzset();
    }
    ~ScopedTimeZone()
    {
        if (m_hadZone)
            ::setenv("TZ", m_oldZone.c_str(), 1);
        else
            ::unsetenv("TZ");
        ::tzset();
    }

private:
    std::string m_oldZone;
    bool m_hadZone = false;
};

std::time_t UtcTime(int year, int month, int day, int hour, int minute, int second)
{
    std::tm utc{};
    utc.tm_year = year - 1900;
    utc.tm_mon = month - 1;
    utc.tm_mday = day;
    utc.tm_hour = hour;
    utc.tm_min = minute;
    utc.tm_sec = second;
    return ::timegm(&utc);
}

TEST(StatusTextsTest, DateTimeHasLeadingZerosInEveryField)
{
    ScopedTimeZone zone("UTC");
    EXPECT_EQ(DateTimePaneText(UtcTime(2015, 3, 7, 9, 5, 2)), "Date time: 2015-03-07 09:05:02");
    EXPECT_EQ(DateTimePaneText(UtcTime(2026, 12, 31, 23, 59, 59)), "Date time: 2026-12-31 23:59:59");
}

// The pane shows local time, not UTC: one hour east the date may change too.
TEST(StatusTextsTest, DateTimeIsLocalTime)
{
    ScopedTimeZone zone("XST-1");
    EXPECT_EQ(DateTimePaneText(UtcTime(2015, 3, 7, 23, 30, 0)), "Date time: 2015-03-08 00:30:00");
}

TEST(StatusTextsTest, UseTimeHasNoSingular)
{
    EXPECT_EQ(UseTimePaneText(0), "Use time: 0 seconds");
    EXPECT_EQ(UseTimePaneText(1), "Use time: 1 seconds");
    EXPECT_EQ(UseTimePaneText(3600), "Use time: 3600 seconds");
}

} // namespace
