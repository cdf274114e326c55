#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// An entry's unpacked bytes. The buffer is not zero-filled first: unpacking writes all of it.
class CSheetPart
{
public:
    CSheetPart() = default;
    explicit CSheetPart(size_t nSize);

    char *Data() { return m_pBytes.get(); }
    std::string_view Text() const { return {m_pBytes.get(), m_nSize}; }
    size_t Size() const { return m_nSize; }

private:
    struct SFree
    {
        void operator()(char *p) const;
    };
    std::unique_ptr<char, SFree> m_pBytes;
    size_t m_nSize = 0;
};

// A workbook's zip archive, looked at before orcus unpacks anything: its central directory read
// the way orcus reads it, every entry's unpacked size as declared there checked against
// SheetLimits, so that a zip bomb is refused before it is expanded. Failures throw CDaoException
// naming the file.
class CSheetArchive
{
public:
    // Looks at the bytes, which must outlive the archive.
    CSheetArchive(std::string_view bytes, const std::string &strShownName);

    bool Has(std::string_view name) const;
    // The names of the entries, in the central directory's order.
    std::vector<std::string> Names() const;
    // An entry unpacked, checked against its size and checksum (a damaged entry would reach
    // orcus's parser as half-unpacked bytes); empty when the archive has no such entry.
    CSheetPart Read(std::string_view name) const;
    // The same as text.
    std::string ReadText(std::string_view name) const;
    // An entry unpacked piece by piece, each piece handed on as it is made, with the same
    // checks; nothing when the archive has no such entry.
    void ReadInPieces(
        std::string_view name, const std::function<void(std::string_view)> &take) const;
    // A copy of the archive in which these entries hold other text, stored unpacked.
    std::string WithReplaced(
        const std::vector<std::pair<std::string, std::string_view>> &entries) const;

private:
    struct SEntry
    {
        std::string strName;
        uint16_t nMethod = 0;
        uint32_t nCrc = 0;
        uint32_t nPackedSize = 0;
        uint32_t nSize = 0;
        uint32_t nHeaderOffset = 0;
        size_t nRecordSize = 0; // the central directory record, with name, extra and comment
        size_t nRecordOffset = 0;
    };

    [[noreturn]] void Fail(const std::string &strWhat) const;
    const SEntry *Find(std::string_view name) const;
    // Where the entry's local header and packed data lie, checked to be inside the archive.
    std::pair<size_t, size_t> LocalRecord(const SEntry &entry) const;

    std::string_view m_bytes;
    std::string m_strShownName;
    std::vector<SEntry> m_entries;
};

// The CRC-32 of zip archives.
uint32_t ZipCrc32(std::string_view bytes);
