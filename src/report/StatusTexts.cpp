#include "StatusTexts.h"

std::string DateTimePaneText(std::time_t now)
{
    std::tm local{};
    if (!LocalCalendarTime(now, local))
        return "Date time: ";
    char text[128];
    const std::size_t length = std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return "Date time: " + std::string(text, length);
}

std::string UseTimePaneText(int useSeconds)
{
    // No singular form: one tick reads "Use time: 1 seconds".
    return "Use time: " + std::to_string(useSeconds) + " seconds";
}
