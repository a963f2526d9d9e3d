#include "StatusTexts.h"

bool LocalCalendarTime(std::time_t now, std::tm& local) { return localtime_s(&local, &now) == 0; }
