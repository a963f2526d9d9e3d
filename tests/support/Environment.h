#pragma once
// Environment variables and the time zone in a test, on every platform.

#include <cstdlib>
#include <ctime>

inline void SetEnvironment(const char* name, const char* value) {
#ifdef _WIN32
    _putenv_s(name, value);
#else
    ::setenv(name, value, 1);
#endif
}

inline void UnsetEnvironment(const char* name) {
#ifdef _WIN32
    _putenv_s(name, "");
#else
    ::unsetenv(name);
#endif
}

// Makes the C library read TZ again.
inline void ReloadTimeZone() {
#ifdef _WIN32
    _tzset();
#else
    ::tzset();
#endif
}
