#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// A long text held once, as UTF-8 with LF line breaks, with where each line and each wrapped row
// starts: a viewer of a test merge's results reads it without a second copy, so the index costs
// four bytes a line and four a row. Positions are byte offsets into Text().
class CTextLines
{
public:
    // Offsets are 32-bit and Qt counts characters in int; a longer text is cut at a line break.
    static constexpr size_t kMaxBytes = 0x7FFFFFF0;

    CTextLines();
    // CR LF line breaks become LF in place; the rows are wrapped at nColumns (see Wrap).
    explicit CTextLines(std::string strText, size_t nColumns = 0);

    const std::string &Text() const { return m_strText; }
    size_t Size() const { return m_strText.size(); }
    bool WasCut() const { return m_bCut; }

    size_t LineCount() const { return m_lineStarts.size(); }
    size_t LineOf(size_t nOffset) const;
    size_t LineBegin(size_t nLine) const { return m_lineStarts[nLine]; }
    size_t LineEnd(size_t nLine) const; // before its line break

    // Rows of at most nColumns characters, broken after the last space that fits where there is
    // one; 0 keeps each line one row.
    void Wrap(size_t nColumns);
    size_t Columns() const { return m_nColumns; }
    size_t RowCount() const { return m_rowStarts.size(); }
    size_t RowOf(size_t nOffset) const;
    size_t RowBegin(size_t nRow) const { return m_rowStarts[nRow]; }
    size_t RowEnd(size_t nRow) const;
    std::string_view RowText(size_t nRow) const;
    size_t ColumnOf(size_t nOffset) const; // characters before it in its row
    size_t OffsetInRow(size_t nRow, size_t nColumn) const; // the row's end when it is shorter

    // The neighbouring character's offset; a line break counts as one character.
    size_t NextChar(size_t nOffset) const;
    size_t PreviousChar(size_t nOffset) const;

    // Qt counts characters in UTF-16 units; these convert, for the accessibility interface.
    size_t Utf16Size() const;
    size_t Utf16Of(size_t nOffset) const;
    size_t OffsetOfUtf16(size_t nUtf16) const;
    size_t Utf16Between(size_t nFrom, size_t nTo) const;
    // The offset nUnits UTF-16 units after nFrom, stopping at the end of nFrom's line.
    size_t AdvanceUtf16(size_t nFrom, size_t nUnits) const;

private:
    void IndexLines();
    void IndexUtf16() const;
    template<typename Visit> void ForEachRowStart(Visit visit) const;

    std::string m_strText;
    std::vector<uint32_t> m_lineStarts;
    std::vector<uint32_t> m_rowStarts;
    size_t m_nColumns = 0;
    bool m_bCut = false;
    bool m_bAscii = true; // then UTF-16 positions are byte offsets and need no index
    // Built when first asked, for a text that is not ASCII: where each line starts in UTF-16.
    mutable std::vector<uint32_t> m_utf16LineStarts;
};
