#pragma once
// What each platform's file provides behind CheckOutputTarget and
// WriteFileSafely, which deal with an empty name and "-" themselves.

#include "SafeWrite.h"

#include <string>

FileWriteResult CheckFileTarget(const std::string& path);
FileWriteResult WriteFileTarget(const std::string& path, const std::string& content);
FileWriteResult WriteStandardOutput(const std::string& content);
