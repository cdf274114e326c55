#include "engine/PrintableText.h"

#include <cstdio>

std::string PrintableText(std::string_view text)
{
    std::string strOut;
    strOut.reserve(text.size());
    char escape[8];
    for (size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        const auto next = i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) : 0;
        if (c == '\n') {
            strOut += "\\n";
        } else if (c == '\r') {
            strOut += "\\r";
        } else if (c == '\t') {
            strOut += "\\t";
        } else if (c < 0x20 || c == 0x7F) {
            std::snprintf(escape, sizeof escape, "\\x%02x", c);
            strOut += escape;
        } else if (c == 0xC2 && next >= 0x80 && next <= 0x9F) { // U+0080 to U+009F in UTF-8
            std::snprintf(escape, sizeof escape, "\\u%04x", next);
            strOut += escape;
            ++i;
        } else {
            strOut += static_cast<char>(c);
        }
    }
    return strOut;
}

bool HasLineBreakOrNul(std::string_view text)
{
    return text.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}
