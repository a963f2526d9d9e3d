#include "Environment.h"
#include "StatusTexts.h"

#include <gtest/gtest.h>

namespace {

// 1425719102 is 2015-03-07 09:05:02 UTC, 1425771000 is 2015-03-07 23:30:00 UTC.
TEST(StatusTextsTest, DateTimePaneShowsLocalTimeWithLeadingZeros)
{
    const auto paneIn = [](const char* zone, std::time_t now) {
        SetEnvironment("TZ", zone);
        ReloadTimeZone();
        return DateTimePaneText(now);
    };
    EXPECT_EQ(paneIn("UTC", 1425719102), "Date time: 2015-03-07 09:05:02");   // every field below 10
    EXPECT_EQ(paneIn("XST-1", 1425771000), "Date time: 2015-03-08 00:30:00"); // local, a day later
    UnsetEnvironment("TZ");
    ReloadTimeZone();
}

TEST(StatusTextsTest, UseTimeHasNoSingular)
{
    EXPECT_EQ(UseTimePaneText(1), "Use time: 1 seconds");
}

} // namespace
