#pragma once
// Texts the operator typed, made fit for one line of a report.

#include <string>
#include <string_view>

// Every control character (C0, DEL, C1 and the Unicode line and paragraph
// separators of UTF-8 text) becomes one blank, so that a header field can
// never break the line it is written on. Everything else is kept, commas too.
std::string BlankControls(std::string_view text);
