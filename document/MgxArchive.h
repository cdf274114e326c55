#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

// The string archive of a merge file: each string is a length prefix and that many bytes, with
// no header and nothing else. Lengths below 255 take one byte; up to 65533 the byte 0xFF and a
// 16-bit word; beyond, 0xFF, the word 0xFFFF and a 32-bit value (all little-endian). Reading
// also takes the 16-bit form written by Unicode builds (0xFF, 0xFFFE, a second prefix counting
// characters, UTF-16LE text). Texts are UTF-8; a stored string that is not valid UTF-8 was
// written on Windows and is read as Windows-1252.
class CMgxArchive final
{
public:
    // Thrown by ReadString when the data ends before the string does.
    class CEndOfData final : public std::runtime_error
    {
    public:
        CEndOfData() : std::runtime_error("Unexpected file format.") { }
    };

    // An archive that stores into an empty buffer.
    CMgxArchive() = default;
    // An archive that loads from the data, which must outlive it.
    explicit CMgxArchive(std::string_view data) : m_data(data), m_bStoring(false) { }

    bool IsStoring() const { return m_bStoring; }
    void WriteString(std::string_view text);
    std::string ReadString();
    const std::string &Bytes() const { return m_strBytes; }
    // Loading: nothing is left to read.
    bool AtEnd() const { return m_nPos >= m_data.size(); }

private:
    uint64_t ReadLength();
    std::string_view Take(uint64_t nBytes);

    std::string m_strBytes;
    std::string_view m_data;
    size_t m_nPos = 0;
    bool m_bStoring = true;
};

// Text of the 8-bit Windows code page 1252 as UTF-8.
std::string Windows1252ToUtf8(std::string_view text);
bool IsValidUtf8(std::string_view text);
