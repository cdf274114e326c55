#include "engine/MarkupText.h"

#include <charconv>

void AppendUtf8(std::string &out, uint32_t nCode)
{
    if (nCode == 0 || nCode > 0x10FFFF || (nCode >= 0xD800 && nCode <= 0xDFFF))
        nCode = 0xFFFD;
    if (nCode < 0x80) {
        out += static_cast<char>(nCode);
    } else if (nCode < 0x800) {
        out += static_cast<char>(0xC0 | (nCode >> 6));
        out += static_cast<char>(0x80 | (nCode & 0x3F));
    } else if (nCode < 0x10000) {
        out += static_cast<char>(0xE0 | (nCode >> 12));
        out += static_cast<char>(0x80 | ((nCode >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (nCode & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (nCode >> 18));
        out += static_cast<char>(0x80 | ((nCode >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((nCode >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (nCode & 0x3F));
    }
}

size_t AppendCharacterReference(std::string &out, std::string_view text, size_t nAmp, bool bHtml)
{
    const size_t nEnd = text.find(';', nAmp);
    if (nEnd == std::string_view::npos || nEnd - nAmp > 12) {
        out += text[nAmp];
        return nAmp;
    }
    const std::string_view name = text.substr(nAmp + 1, nEnd - nAmp - 1);
    if (name == "lt")
        out += '<';
    else if (name == "gt")
        out += '>';
    else if (name == "amp")
        out += '&';
    else if (name == "quot")
        out += '"';
    else if (name == "apos")
        out += '\'';
    else if (bHtml && name == "nbsp")
        out += "\xC2\xA0";
    else if (name.size() > 1 && name[0] == '#') {
        const bool bHex = name[1] == 'x' || name[1] == 'X';
        const std::string_view digits = name.substr(bHex ? 2 : 1);
        uint32_t nCode = 0;
        const auto result
            = std::from_chars(digits.data(), digits.data() + digits.size(), nCode, bHex ? 16 : 10);
        AppendUtf8(out, result.ptr == digits.data() + digits.size() ? nCode : 0xFFFD);
    } else {
        out.append(text.substr(nAmp, nEnd - nAmp + 1));
    }
    return nEnd;
}

size_t MarkupTagEnd(std::string_view text, size_t nOpen)
{
    char cQuote = 0;
    for (size_t i = nOpen + 1; i < text.size(); ++i) {
        const char c = text[i];
        if (cQuote != 0) {
            if (c == cQuote)
                cQuote = 0;
        } else if (c == '"' || c == '\'') {
            cQuote = c;
        } else if (c == '>') {
            return i;
        }
    }
    return std::string_view::npos;
}
