#include "engine/TextLines.h"

#include <algorithm>
#include <cstring>

namespace {

bool IsContinuation(unsigned char c)
{
    return (c & 0xC0) == 0x80;
}

// The length of the well-formed UTF-8 sequence at p, or 0 when it is not one.
size_t SequenceLength(const unsigned char *p, const unsigned char *pEnd)
{
    const unsigned char c = *p;
    if (c < 0x80)
        return 1;
    size_t nLength = 0;
    unsigned char lowest = 0x80;
    unsigned char highest = 0xBF;
    if (c >= 0xC2 && c <= 0xDF) {
        nLength = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
        nLength = 3;
        if (c == 0xE0)
            lowest = 0xA0; // overlong
        else if (c == 0xED)
            highest = 0x9F; // surrogates
    } else if (c >= 0xF0 && c <= 0xF4) {
        nLength = 4;
        if (c == 0xF0)
            lowest = 0x90;
        else if (c == 0xF4)
            highest = 0x8F; // beyond U+10FFFF
    } else {
        return 0;
    }
    if (static_cast<size_t>(pEnd - p) < nLength || p[1] < lowest || p[1] > highest)
        return 0;
    for (size_t i = 2; i < nLength; ++i)
        if (!IsContinuation(p[i]))
            return 0;
    return nLength;
}

// UTF-16 units of the (well-formed) UTF-8 in [p, pEnd).
size_t Utf16Units(const unsigned char *p, const unsigned char *pEnd)
{
    size_t nUnits = 0;
    for (; p < pEnd; ++p) {
        if (!IsContinuation(*p))
            nUnits += *p >= 0xF0 ? 2 : 1;
    }
    return nUnits;
}

} // namespace

CTextLines::CTextLines()
{
    IndexLines();
    Wrap(0);
}

CTextLines::CTextLines(std::string strText, size_t nColumns) : m_strText(std::move(strText))
{
    if (m_strText.size() > kMaxBytes) {
        const size_t nBreak = m_strText.rfind('\n', kMaxBytes - 1);
        m_strText.resize(nBreak == std::string::npos ? kMaxBytes : nBreak + 1);
        m_bCut = true;
    }
    // One pass in place: CR LF to LF, and a byte that is not UTF-8 to '?' so that every
    // position has one meaning for Qt and for us.
    auto *p = reinterpret_cast<unsigned char *>(m_strText.data());
    const auto *pEnd = p + m_strText.size();
    unsigned char *pOut = p;
    while (p < pEnd) {
        if (*p == '\r' && p + 1 < pEnd && p[1] == '\n') {
            ++p;
            continue;
        }
        const size_t nLength = SequenceLength(p, pEnd);
        if (nLength == 0) {
            *pOut++ = '?';
            ++p;
            continue;
        }
        if (nLength > 1)
            m_bAscii = false;
        for (size_t i = 0; i < nLength; ++i)
            *pOut++ = *p++;
    }
    m_strText.resize(
        static_cast<size_t>(pOut - reinterpret_cast<unsigned char *>(m_strText.data())));
    IndexLines();
    Wrap(nColumns);
}

void CTextLines::IndexLines()
{
    const size_t nBreaks
        = static_cast<size_t>(std::count(m_strText.begin(), m_strText.end(), '\n'));
    m_lineStarts.clear();
    m_lineStarts.reserve(nBreaks + 1);
    m_lineStarts.push_back(0);
    const char *pBegin = m_strText.data();
    const char *pEnd = pBegin + m_strText.size();
    for (const char *p = pBegin; p < pEnd;) {
        const void *pBreak = std::memchr(p, '\n', static_cast<size_t>(pEnd - p));
        if (!pBreak)
            break;
        p = static_cast<const char *>(pBreak) + 1;
        m_lineStarts.push_back(static_cast<uint32_t>(p - pBegin));
    }
}

size_t CTextLines::LineOf(size_t nOffset) const
{
    const auto it = std::upper_bound(m_lineStarts.begin(), m_lineStarts.end(), nOffset);
    return static_cast<size_t>(it - m_lineStarts.begin()) - 1;
}

size_t CTextLines::LineEnd(size_t nLine) const
{
    return nLine + 1 < m_lineStarts.size() ? m_lineStarts[nLine + 1] - 1 : m_strText.size();
}

void CTextLines::Wrap(size_t nColumns)
{
    if (nColumns == m_nColumns && !m_rowStarts.empty())
        return;
    // The rows of another width go first: the room they take is the new rows'.
    m_nColumns = nColumns;
    m_rowStarts = {};
    // Counted first, so that the rows take their exact room.
    size_t nRows = 0;
    ForEachRowStart([&nRows](size_t) { ++nRows; });
    m_rowStarts.reserve(nRows);
    ForEachRowStart(
        [this](size_t nStart) { m_rowStarts.push_back(static_cast<uint32_t>(nStart)); });
}

template<typename Visit> void CTextLines::ForEachRowStart(Visit visit) const
{
    const auto *pText = reinterpret_cast<const unsigned char *>(m_strText.data());
    for (size_t nLine = 0; nLine < m_lineStarts.size(); ++nLine) {
        size_t nPos = m_lineStarts[nLine];
        const size_t nEnd = LineEnd(nLine);
        visit(nPos);
        // A line of no more bytes than columns has no more characters either.
        if (m_nColumns == 0 || nEnd - nPos <= m_nColumns)
            continue;
        for (;;) {
            size_t p = nPos;
            size_t nAfterSpace = 0;
            for (size_t nCount = 0; p < nEnd && nCount < m_nColumns; ++nCount) {
                if (pText[p] == ' ')
                    nAfterSpace = p + 1;
                p = NextChar(p);
            }
            if (p >= nEnd)
                break;
            // A space where the row is full hangs at its end, unseen.
            const size_t nNext = pText[p] == ' ' ? p + 1 : (nAfterSpace > nPos ? nAfterSpace : p);
            if (nNext >= nEnd)
                break;
            visit(nNext);
            nPos = nNext;
        }
    }
}

size_t CTextLines::RowOf(size_t nOffset) const
{
    const auto it = std::upper_bound(m_rowStarts.begin(), m_rowStarts.end(), nOffset);
    return static_cast<size_t>(it - m_rowStarts.begin()) - 1;
}

size_t CTextLines::RowEnd(size_t nRow) const
{
    const size_t nLineEnd = LineEnd(LineOf(m_rowStarts[nRow]));
    return nRow + 1 < m_rowStarts.size() ? std::min<size_t>(m_rowStarts[nRow + 1], nLineEnd)
                                         : nLineEnd;
}

std::string_view CTextLines::RowText(size_t nRow) const
{
    const size_t nBegin = RowBegin(nRow);
    return std::string_view(m_strText).substr(nBegin, RowEnd(nRow) - nBegin);
}

size_t CTextLines::ColumnOf(size_t nOffset) const
{
    size_t nColumn = 0;
    for (size_t p = RowBegin(RowOf(nOffset)); p < nOffset; p = NextChar(p))
        ++nColumn;
    return nColumn;
}

size_t CTextLines::OffsetInRow(size_t nRow, size_t nColumn) const
{
    const size_t nEnd = RowEnd(nRow);
    size_t p = RowBegin(nRow);
    for (size_t i = 0; i < nColumn && p < nEnd; ++i)
        p = NextChar(p);
    return std::min(p, nEnd);
}

size_t CTextLines::NextChar(size_t nOffset) const
{
    if (nOffset >= m_strText.size())
        return m_strText.size();
    ++nOffset;
    while (nOffset < m_strText.size()
        && IsContinuation(static_cast<unsigned char>(m_strText[nOffset])))
        ++nOffset;
    return nOffset;
}

size_t CTextLines::PreviousChar(size_t nOffset) const
{
    if (nOffset == 0)
        return 0;
    nOffset = std::min(nOffset, m_strText.size()) - 1;
    while (nOffset > 0 && IsContinuation(static_cast<unsigned char>(m_strText[nOffset])))
        --nOffset;
    return nOffset;
}

void CTextLines::IndexUtf16() const
{
    if (m_bAscii || !m_utf16LineStarts.empty())
        return;
    const auto *pText = reinterpret_cast<const unsigned char *>(m_strText.data());
    m_utf16LineStarts.reserve(m_lineStarts.size());
    size_t nUnits = 0;
    for (size_t nLine = 0; nLine < m_lineStarts.size(); ++nLine) {
        m_utf16LineStarts.push_back(static_cast<uint32_t>(nUnits));
        // the line and its break
        const size_t nNext
            = nLine + 1 < m_lineStarts.size() ? m_lineStarts[nLine + 1] : m_strText.size();
        nUnits += Utf16Units(pText + m_lineStarts[nLine], pText + nNext);
    }
}

size_t CTextLines::Utf16Size() const
{
    return Utf16Of(m_strText.size());
}

size_t CTextLines::Utf16Of(size_t nOffset) const
{
    nOffset = std::min(nOffset, m_strText.size());
    if (m_bAscii)
        return nOffset;
    IndexUtf16();
    const size_t nLine = LineOf(nOffset);
    return m_utf16LineStarts[nLine] + Utf16Between(m_lineStarts[nLine], nOffset);
}

size_t CTextLines::OffsetOfUtf16(size_t nUtf16) const
{
    if (m_bAscii)
        return std::min(nUtf16, m_strText.size());
    IndexUtf16();
    const auto it = std::upper_bound(m_utf16LineStarts.begin(), m_utf16LineStarts.end(), nUtf16);
    const size_t nLine = static_cast<size_t>(it - m_utf16LineStarts.begin()) - 1;
    // A position past the line's characters is its break: the next line starts one later.
    return AdvanceUtf16(m_lineStarts[nLine], nUtf16 - m_utf16LineStarts[nLine]);
}

size_t CTextLines::Utf16Between(size_t nFrom, size_t nTo) const
{
    const auto *pText = reinterpret_cast<const unsigned char *>(m_strText.data());
    nTo = std::min(nTo, m_strText.size());
    return nFrom < nTo ? Utf16Units(pText + nFrom, pText + nTo) : 0;
}

size_t CTextLines::AdvanceUtf16(size_t nFrom, size_t nUnits) const
{
    const size_t nEnd = LineEnd(LineOf(nFrom));
    size_t p = nFrom;
    for (size_t nCount = 0; p < nEnd && nCount < nUnits; p = NextChar(p))
        nCount += static_cast<unsigned char>(m_strText[p]) >= 0xF0 ? 2 : 1;
    return p;
}
