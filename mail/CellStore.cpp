#include "mail/CellStore.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>

CCellStore::~CCellStore()
{
    std::free(m_pText);
}

void CCellStore::Clear(size_t nColumns)
{
    std::free(m_pText);
    m_pText = nullptr;
    m_nText = m_nCapacity = 0;
    m_nColumns = nColumns;
    m_rowStarts = {};
    m_cellEnds = {};
    m_longRows = {};
    m_nFilled = 0;
}

void CCellStore::ReserveRows(size_t nRows)
{
    m_rowStarts.reserve(nRows);
    m_cellEnds.reserve(nRows * m_nColumns);
}

void CCellStore::AddRow()
{
    m_rowStarts.push_back(m_nText);
    m_cellEnds.resize(m_cellEnds.size() + m_nColumns, 0);
    m_nFilled = 0;
}

void CCellStore::AppendCell(std::string_view text)
{
    if (m_rowStarts.empty() || m_nFilled >= m_nColumns)
        return;
    const size_t nRowLength = m_nText - m_rowStarts.back();
    const size_t nRoom = std::numeric_limits<uint32_t>::max() - nRowLength;
    text = text.substr(0, nRoom);
    Grow(text.size());
    std::memcpy(m_pText + m_nText, text.data(), text.size());
    m_nText += text.size();
    // The cells not yet set end where the text so far ends, so they read as empty.
    const size_t nRow = m_rowStarts.size() - 1;
    for (size_t i = m_nFilled; i < m_nColumns; ++i)
        SetCellEnd(nRow, i, nRowLength + text.size());
    ++m_nFilled;
}

void CCellStore::SetCellEnd(size_t nRow, size_t nColumn, size_t nEnd)
{
    uint16_t &nLastEnd = m_cellEnds[nRow * m_nColumns + m_nColumns - 1];
    if (nLastEnd != kLongRow && nEnd >= kLongRow) {
        // The row outgrows two-byte ends: move them to a table of their own.
        std::vector<uint32_t> &ends = m_longRows[nRow];
        ends.assign(m_cellEnds.begin() + static_cast<ptrdiff_t>(nRow * m_nColumns),
            m_cellEnds.begin() + static_cast<ptrdiff_t>((nRow + 1) * m_nColumns));
        nLastEnd = kLongRow;
    }
    if (nLastEnd == kLongRow)
        m_longRows.at(nRow)[nColumn] = static_cast<uint32_t>(nEnd);
    else
        m_cellEnds[nRow * m_nColumns + nColumn] = static_cast<uint16_t>(nEnd);
}

size_t CCellStore::CellEnd(size_t nRow, size_t nColumn) const
{
    if (m_cellEnds[nRow * m_nColumns + m_nColumns - 1] == kLongRow)
        return m_longRows.at(nRow)[nColumn];
    return m_cellEnds[nRow * m_nColumns + nColumn];
}

std::string_view CCellStore::Cell(size_t nRow, size_t nColumn) const
{
    if (nRow >= m_rowStarts.size() || nColumn >= m_nColumns)
        return {};
    const size_t nStart = nColumn == 0 ? 0 : CellEnd(nRow, nColumn - 1);
    return {m_pText + m_rowStarts[nRow] + nStart, CellEnd(nRow, nColumn) - nStart};
}

void CCellStore::Grow(size_t nNeeded)
{
    if (m_nCapacity - m_nText >= nNeeded)
        return;
    const size_t nCapacity = std::max(m_nText + nNeeded, m_nCapacity + m_nCapacity / 2 + 4096);
    // realloc moves the pages of a large block instead of copying them, so growing never needs
    // the old and the new block at the same time.
    char *pText = static_cast<char *>(std::realloc(m_pText, nCapacity));
    if (!pText)
        throw std::bad_alloc();
    m_pText = pText;
    m_nCapacity = nCapacity;
}
