#include "ReportText.h"

std::string BlankControls(std::string_view text)
{
    std::string line;
    line.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        const auto next = [&](std::size_t ahead) {
            return i + ahead < text.size() ? static_cast<unsigned char>(text[i + ahead]) : 0u;
        };
        if (byte < 0x20 || byte == 0x7F) {
            line += ' ';
        } else if (byte == 0xC2 && next(1) >= 0x80 && next(1) <= 0x9F) {   // U+0080 to U+009F
            line += ' ';
            i += 1;
        } else if (byte == 0xE2 && next(1) == 0x80 && (next(2) == 0xA8 || next(2) == 0xA9)) {   // U+2028, U+2029
            line += ' ';
            i += 2;
        } else {
            line += static_cast<char>(byte);
        }
    }
    return line;
}
