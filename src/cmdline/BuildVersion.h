#pragma once
// Written into the build folder at every build (cmake/BuildVersion.cmake).

extern const char* const kProductVersion;   // "10.1", the version the operator sees
extern const char* const kBuildVersion;     // the build: packager's version or the commit it came from
