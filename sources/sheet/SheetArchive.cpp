#include "sources/sheet/SheetArchive.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

#include <libdeflate.h>
#include <sys/mman.h>
#include <zlib.h>

#include "engine/PrintableText.h"
#include "sources/access/DaoException.h"
#include "sources/sheet/SheetCells.h"

namespace {

constexpr uint32_t kLocalSignature = 0x04034b50;
constexpr uint32_t kCentralSignature = 0x02014b50;
constexpr uint32_t kEndSignature = 0x06054b50;
constexpr size_t kLocalHeaderSize = 30;
constexpr size_t kCentralHeaderSize = 46;
constexpr size_t kEndSize = 22;
// Deflate packs at most about 1032 to 1: an entry that claims more is damaged or hostile.
constexpr uint64_t kMaxRatio = 1032;

uint16_t Get16(std::string_view bytes, size_t nAt)
{
    return static_cast<uint16_t>(
        static_cast<unsigned char>(bytes[nAt]) | static_cast<unsigned char>(bytes[nAt + 1]) << 8);
}

uint32_t Get32(std::string_view bytes, size_t nAt)
{
    return static_cast<uint32_t>(Get16(bytes, nAt))
        | static_cast<uint32_t>(Get16(bytes, nAt + 2)) << 16;
}

void Put16(std::string &out, uint16_t n)
{
    out += static_cast<char>(n & 0xFF);
    out += static_cast<char>(n >> 8);
}

void Put32(std::string &out, uint32_t n)
{
    Put16(out, static_cast<uint16_t>(n & 0xFFFF));
    Put16(out, static_cast<uint16_t>(n >> 16));
}

void Set32(std::string &out, size_t nAt, uint32_t n)
{
    for (int i = 0; i < 4; ++i)
        out[nAt + size_t(i)] = static_cast<char>((n >> (8 * i)) & 0xFF);
}

// A buffer of tens of megabytes written once from start to end takes a five-hundredth of the
// page faults in huge pages; they were most of the time of unpacking a large sheet.
void AdviseHugePages(char *pBytes, size_t nSize)
{
    constexpr size_t kHuge = size_t(4) << 20;
    if (nSize < kHuge)
        return;
    const auto nBegin = reinterpret_cast<uintptr_t>(pBytes);
    const uintptr_t nPage = 4096;
    const uintptr_t nAligned = (nBegin + nPage - 1) & ~(nPage - 1);
    ::madvise(reinterpret_cast<void *>(nAligned), nBegin + nSize - nAligned, MADV_HUGEPAGE);
}

} // namespace

CSheetPart::CSheetPart(size_t nSize)
    : m_pBytes(static_cast<char *>(std::malloc(std::max<size_t>(nSize, 1)))), m_nSize(nSize)
{
    if (!m_pBytes)
        throw std::bad_alloc();
    AdviseHugePages(m_pBytes.get(), nSize);
}

void CSheetPart::SFree::operator()(char *p) const
{
    std::free(p);
}

uint32_t ZipCrc32(std::string_view bytes)
{
    return libdeflate_crc32(0, bytes.data(), bytes.size());
}

CSheetArchive::CSheetArchive(std::string_view bytes, const std::string &strShownName)
    : m_bytes(bytes), m_strShownName(strShownName)
{
    // The end record, searched from the back as orcus does.
    if (bytes.size() < kEndSize)
        Fail("is too short to be a workbook.");
    size_t nEnd = std::string_view::npos;
    const size_t nLowest = bytes.size() > kEndSize + 0xFFFF ? bytes.size() - kEndSize - 0xFFFF : 0;
    for (size_t i = bytes.size() - 4 + 1; i-- > nLowest;) {
        if (Get32(bytes, i) == kEndSignature) {
            nEnd = i;
            break;
        }
    }
    if (nEnd == std::string_view::npos || nEnd + kEndSize > bytes.size())
        Fail("is not a complete zip archive (it may have been cut short).");
    uint64_t nTotal = 0;
    for (size_t nAt = Get32(bytes, nEnd + 16);;) {
        if (nAt + 4 > bytes.size())
            Fail("is damaged: its table of contents runs past its end.");
        if (Get32(bytes, nAt) != kCentralSignature)
            break;
        if (nAt + kCentralHeaderSize > bytes.size())
            Fail("is damaged: its table of contents runs past its end.");
        SEntry entry;
        entry.nMethod = Get16(bytes, nAt + 10);
        entry.nCrc = Get32(bytes, nAt + 16);
        entry.nPackedSize = Get32(bytes, nAt + 20);
        entry.nSize = Get32(bytes, nAt + 24);
        const size_t nNameLength = Get16(bytes, nAt + 28);
        entry.nRecordSize
            = kCentralHeaderSize + nNameLength + Get16(bytes, nAt + 30) + Get16(bytes, nAt + 32);
        entry.nHeaderOffset = Get32(bytes, nAt + 42);
        entry.nRecordOffset = nAt;
        if (nAt + entry.nRecordSize > bytes.size())
            Fail("is damaged: its table of contents runs past its end.");
        entry.strName = std::string(bytes.substr(nAt + kCentralHeaderSize, nNameLength));
        if (entry.nMethod != 0 && entry.nMethod != 8)
            Fail("is packed in a way Mergix cannot unpack (zip method "
                + std::to_string(entry.nMethod) + ").");
        if (entry.nSize == UINT32_MAX || entry.nPackedSize == UINT32_MAX)
            Fail("is a zip archive of a kind (ZIP64) Mergix cannot read.");
        if (entry.nSize > SheetLimits::kMaxEntryBytes
            || (entry.nMethod == 8
                && uint64_t(entry.nSize) > uint64_t(entry.nPackedSize) * kMaxRatio + 1024))
            Fail("unpacks to more than it can hold (\"" + PrintableText(entry.strName)
                + "\" claims " + std::to_string(entry.nSize)
                + " bytes); it is damaged or built to exhaust memory.");
        nTotal += entry.nSize;
        if (nTotal > SheetLimits::kMaxUnpackedBytes)
            Fail("unpacks to more than 1 GB; it is damaged or built to exhaust memory.");
        LocalRecord(entry);
        m_entries.push_back(std::move(entry));
        nAt += m_entries.back().nRecordSize;
    }
    if (m_entries.empty())
        Fail("is an empty zip archive, not a workbook.");
}

void CSheetArchive::Fail(const std::string &strWhat) const
{
    throw CDaoException(CDaoException::EKind::Damaged,
        "The file \"" + PrintableText(m_strShownName) + "\" " + strWhat);
}

std::pair<size_t, size_t> CSheetArchive::LocalRecord(const SEntry &entry) const
{
    const size_t nAt = entry.nHeaderOffset;
    if (uint64_t(nAt) + kLocalHeaderSize > m_bytes.size() || Get32(m_bytes, nAt) != kLocalSignature)
        Fail("is damaged: the part \"" + PrintableText(entry.strName) + "\" is missing.");
    const uint64_t nEnd = uint64_t(nAt) + kLocalHeaderSize + Get16(m_bytes, nAt + 26)
        + Get16(m_bytes, nAt + 28) + entry.nPackedSize;
    if (nEnd > m_bytes.size())
        Fail("is damaged: the part \"" + PrintableText(entry.strName)
            + "\" runs past the end of the file (it may have been cut short).");
    return {nAt, static_cast<size_t>(nEnd)};
}

const CSheetArchive::SEntry *CSheetArchive::Find(std::string_view name) const
{
    for (const SEntry &entry : m_entries) {
        if (entry.strName == name)
            return &entry;
    }
    return nullptr;
}

bool CSheetArchive::Has(std::string_view name) const
{
    return Find(name) != nullptr;
}

std::vector<std::string> CSheetArchive::Names() const
{
    std::vector<std::string> names;
    for (const SEntry &entry : m_entries)
        names.push_back(entry.strName);
    return names;
}

std::string CSheetArchive::ReadText(std::string_view name) const
{
    return std::string(Read(name).Text());
}

CSheetPart CSheetArchive::Read(std::string_view name) const
{
    const SEntry *pEntry = Find(name);
    if (!pEntry || pEntry->nSize == 0)
        return {}; // folders among them
    const auto [nHeader, nEnd] = LocalRecord(*pEntry);
    const std::string_view packed = m_bytes.substr(nEnd - pEntry->nPackedSize, pEntry->nPackedSize);
    const std::string strName = PrintableText(std::string(name));
    CSheetPart part(pEntry->nSize);
    if (pEntry->nMethod == 0) {
        if (packed.size() != part.Size())
            Fail("is damaged: the part \"" + strName + "\" is not as long as it claims.");
        std::memcpy(part.Data(), packed.data(), packed.size());
    } else {
        // Into a buffer of the size the entry claims and no larger, whatever the bytes say.
        const std::unique_ptr<libdeflate_decompressor, void (*)(libdeflate_decompressor *)>
            pInflater(libdeflate_alloc_decompressor(), libdeflate_free_decompressor);
        if (!pInflater)
            throw std::bad_alloc();
        size_t nMade = 0;
        const libdeflate_result result = libdeflate_deflate_decompress(
            pInflater.get(), packed.data(), packed.size(), part.Data(), part.Size(), &nMade);
        // Packed bytes that were changed are told alike whether inflating or the checksum finds
        // them.
        if (result == LIBDEFLATE_INSUFFICIENT_SPACE)
            Fail("is damaged: the part \"" + strName + "\" unpacks to more than it claims.");
        if (result != LIBDEFLATE_SUCCESS)
            Fail("is damaged: the part \"" + strName
                + "\" does not unpack to what its checksum says.");
        if (nMade < part.Size())
            Fail("is damaged: the part \"" + strName + "\" is shorter than it claims.");
    }
    const uint32_t nCrc = libdeflate_crc32(0, part.Data(), part.Size());
    if (nCrc != pEntry->nCrc)
        Fail("is damaged: the part \"" + strName + "\" does not unpack to what its checksum says.");
    return part;
}

void CSheetArchive::ReadInPieces(
    std::string_view name, const std::function<void(std::string_view)> &take) const
{
    const SEntry *pEntry = Find(name);
    if (!pEntry || pEntry->nSize == 0)
        return;
    const auto [nHeader, nEnd] = LocalRecord(*pEntry);
    const std::string_view packed = m_bytes.substr(nEnd - pEntry->nPackedSize, pEntry->nPackedSize);
    const std::string strName = PrintableText(std::string(name));
    constexpr size_t kPiece = size_t(256) << 10;
    uint32_t nCrc = 0;
    size_t nMade = 0;
    const auto give = [&](std::string_view piece) {
        if (nMade + piece.size() > pEntry->nSize)
            Fail("is damaged: the part \"" + strName + "\" unpacks to more than it claims.");
        nCrc = libdeflate_crc32(nCrc, piece.data(), piece.size());
        nMade += piece.size();
        take(piece);
    };
    if (pEntry->nMethod == 0) {
        for (size_t nAt = 0; nAt < packed.size(); nAt += kPiece)
            give(packed.substr(nAt, kPiece));
    } else {
        struct SInflater
        {
            z_stream stream {};
            ~SInflater() { inflateEnd(&stream); }
        } inflater;
        z_stream &stream = inflater.stream;
        if (inflateInit2(&stream, -MAX_WBITS) != Z_OK)
            throw std::bad_alloc();
        const std::unique_ptr<char[]> pBuffer(new char[kPiece]);
        stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(packed.data()));
        stream.avail_in = static_cast<uInt>(packed.size());
        for (int nResult = Z_OK; nResult != Z_STREAM_END;) {
            stream.next_out = reinterpret_cast<Bytef *>(pBuffer.get());
            stream.avail_out = static_cast<uInt>(kPiece);
            nResult = inflate(&stream, Z_NO_FLUSH);
            // Packed bytes that were changed are told alike whether inflating or the checksum
            // finds them; running out of them is a part cut short.
            if (nResult == Z_BUF_ERROR)
                Fail("is damaged: the part \"" + strName + "\" is shorter than it claims.");
            if (nResult != Z_OK && nResult != Z_STREAM_END)
                Fail("is damaged: the part \"" + strName
                    + "\" does not unpack to what its checksum says.");
            give({pBuffer.get(), kPiece - stream.avail_out});
        }
    }
    if (nMade < pEntry->nSize)
        Fail("is damaged: the part \"" + strName + "\" is shorter than it claims.");
    if (nCrc != pEntry->nCrc)
        Fail("is damaged: the part \"" + strName + "\" does not unpack to what its checksum says.");
}

std::string CSheetArchive::WithReplaced(
    const std::vector<std::pair<std::string, std::string_view>> &entries) const
{
    const auto replacementOf = [&](const SEntry &entry) {
        return std::find_if(entries.begin(), entries.end(),
            [&](const auto &other) { return other.first == entry.strName; });
    };
    // Its size is known: a sheet may be tens of megabytes, not to be copied while growing.
    size_t nSize = kEndSize;
    size_t nDirectorySize = 0;
    for (const SEntry &entry : m_entries) {
        const auto replaced = replacementOf(entry);
        const auto [nBegin, nEnd] = LocalRecord(entry);
        nSize += replaced == entries.end()
            ? nEnd - nBegin
            : kLocalHeaderSize + entry.strName.size() + replaced->second.size();
        nDirectorySize += entry.nRecordSize;
    }
    std::string out;
    out.reserve(nSize + nDirectorySize);
    AdviseHugePages(out.data(), out.capacity());
    std::string directory;
    directory.reserve(nDirectorySize);
    for (const SEntry &entry : m_entries) {
        const auto replaced = replacementOf(entry);
        const auto nOffset = static_cast<uint32_t>(out.size());
        std::string record(m_bytes.substr(entry.nRecordOffset, entry.nRecordSize));
        if (replaced == entries.end()) {
            const auto [nBegin, nEnd] = LocalRecord(entry);
            out.append(m_bytes.substr(nBegin, nEnd - nBegin));
        } else {
            const std::string_view text = replaced->second;
            const uint32_t nCrc = ZipCrc32(text);
            const auto nSize = static_cast<uint32_t>(text.size());
            Put32(out, kLocalSignature);
            Put16(out, 20); // version needed: 2.0
            Put16(out, 0); // flags
            Put16(out, 0); // stored
            Put32(out, 0); // time and date
            Put32(out, nCrc);
            Put32(out, nSize);
            Put32(out, nSize);
            Put16(out, static_cast<uint16_t>(entry.strName.size()));
            Put16(out, 0);
            out += entry.strName;
            out += text;
            record[8] = record[9] = 0; // flags: no data descriptor
            record[10] = record[11] = 0; // stored
            Set32(record, 16, nCrc);
            Set32(record, 20, nSize);
            Set32(record, 24, nSize);
        }
        Set32(record, 42, nOffset);
        directory += record;
    }
    const auto nDirectoryOffset = static_cast<uint32_t>(out.size());
    out += directory;
    Put32(out, kEndSignature);
    Put16(out, 0);
    Put16(out, 0);
    Put16(out, static_cast<uint16_t>(m_entries.size()));
    Put16(out, static_cast<uint16_t>(m_entries.size()));
    Put32(out, static_cast<uint32_t>(directory.size()));
    Put32(out, nDirectoryOffset);
    Put16(out, 0);
    return out;
}
