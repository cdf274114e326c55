#include "document/MgxArchive.h"

#include <cstdint>

#include <QString>

namespace {

// Code points of the bytes 0x80 to 0x9F in Windows-1252; the five unassigned bytes keep their
// C1 control code points, as Windows converts them.
constexpr char16_t kHighControls[32]
    = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// A code point of Windows-1252, all in the Basic Multilingual Plane; NUL stays NUL.
void AppendWindows1252Utf8(std::string &strOut, char32_t c)
{
    if (c < 0x80) {
        strOut += static_cast<char>(c);
    } else if (c < 0x800) {
        strOut += static_cast<char>(0xC0 | (c >> 6));
        strOut += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        strOut += static_cast<char>(0xE0 | (c >> 12));
        strOut += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        strOut += static_cast<char>(0x80 | (c & 0x3F));
    }
}

} // namespace

bool IsValidUtf8(std::string_view text)
{
    size_t i = 0;
    while (i < text.size()) {
        const auto c = static_cast<unsigned char>(text[i]);
        size_t nMore = 0;
        char32_t nCode = 0;
        if (c < 0x80) {
            ++i;
            continue;
        } else if (c >= 0xC2 && c <= 0xDF) {
            nMore = 1;
            nCode = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            nMore = 2;
            nCode = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            nMore = 3;
            nCode = c & 0x07;
        } else {
            return false;
        }
        if (i + nMore >= text.size())
            return false;
        for (size_t k = 1; k <= nMore; ++k) {
            const auto d = static_cast<unsigned char>(text[i + k]);
            if ((d & 0xC0) != 0x80)
                return false;
            nCode = (nCode << 6) | (d & 0x3F);
        }
        // No overlong forms, no surrogates, nothing beyond U+10FFFF.
        if ((nMore == 2 && nCode < 0x800) || (nMore == 3 && (nCode < 0x10000 || nCode > 0x10FFFF))
            || (nCode >= 0xD800 && nCode <= 0xDFFF))
            return false;
        i += nMore + 1;
    }
    return true;
}

std::string Windows1252ToUtf8(std::string_view text)
{
    std::string strOut;
    strOut.reserve(text.size() * 2);
    for (const char c : text) {
        const auto b = static_cast<unsigned char>(c);
        AppendWindows1252Utf8(
            strOut, b >= 0x80 && b < 0xA0 ? kHighControls[b - 0x80] : char32_t(b));
    }
    return strOut;
}

void CMgxArchive::WriteString(std::string_view text)
{
    const uint64_t nLength = text.size();
    const auto put = [this](uint64_t nValue, int nBytes) {
        for (int i = 0; i < nBytes; ++i)
            m_strBytes += static_cast<char>((nValue >> (8 * i)) & 0xFF);
    };
    if (nLength < 0xFF) {
        put(nLength, 1);
    } else if (nLength < 0xFFFE) {
        put(0xFF, 1);
        put(nLength, 2);
    } else {
        put(0xFF, 1);
        put(0xFFFF, 2);
        put(nLength, 4);
    }
    m_strBytes.append(text);
}

std::string_view CMgxArchive::Take(uint64_t nBytes)
{
    // Checked against what is left before anything is allocated.
    if (nBytes > m_data.size() - m_nPos)
        throw CEndOfData();
    const std::string_view bytes = m_data.substr(m_nPos, static_cast<size_t>(nBytes));
    m_nPos += static_cast<size_t>(nBytes);
    return bytes;
}

uint64_t CMgxArchive::ReadLength()
{
    const auto number = [this](int nBytes) {
        const std::string_view bytes = Take(static_cast<uint64_t>(nBytes));
        uint64_t nValue = 0;
        for (int i = nBytes - 1; i >= 0; --i)
            nValue = (nValue << 8) | static_cast<unsigned char>(bytes[static_cast<size_t>(i)]);
        return nValue;
    };
    const uint64_t nByte = number(1);
    if (nByte < 0xFF)
        return nByte;
    const uint64_t nWord = number(2);
    if (nWord < 0xFFFE)
        return nWord;
    if (nWord == 0xFFFF)
        return number(4);
    return UINT64_MAX; // the marker of 16-bit text
}

std::string CMgxArchive::ReadString()
{
    uint64_t nLength = ReadLength();
    if (nLength == UINT64_MAX) {
        nLength = ReadLength();
        if (nLength == UINT64_MAX || nLength > (m_data.size() - m_nPos) / 2)
            throw CEndOfData();
        const std::string_view bytes = Take(nLength * 2);
        std::u16string utf16(static_cast<size_t>(nLength), u'\0');
        for (size_t i = 0; i < utf16.size(); ++i)
            utf16[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i])
                | (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
        return QString::fromUtf16(utf16.data(), static_cast<qsizetype>(utf16.size())).toStdString();
    }
    const std::string_view bytes = Take(nLength);
    return IsValidUtf8(bytes) ? std::string(bytes) : Windows1252ToUtf8(bytes);
}
