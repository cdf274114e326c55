#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <unordered_map>
#include <vector>

// The texts of a table, row by row, held compactly: every text in one block of bytes, and per
// cell only where its text ends within its row, in two bytes. The rare row of 64 KiB or more
// keeps its ends in a table of its own. A table of 100,000 records then takes little more than
// its text. Rows are only ever added; each has exactly as many cells as the store
// has columns.
class CCellStore final
{
public:
    CCellStore() = default;
    ~CCellStore();
    CCellStore(const CCellStore &) = delete;
    CCellStore &operator=(const CCellStore &) = delete;

    // Empties the store and gives it this many columns.
    void Clear(size_t nColumns);
    void ReserveRows(size_t nRows);
    // Adds a row of empty cells, then sets them with AppendCell in column order.
    void AddRow();
    // Sets the next cell of the last row; a text that would take the row past 4 GiB is cut.
    void AppendCell(std::string_view text);

    size_t RowCount() const { return m_rowStarts.size(); }
    std::string_view Cell(size_t nRow, size_t nColumn) const;

private:
    static constexpr uint16_t kLongRow = 0xFFFF; // as a row's last end: see m_longRows

    void Grow(size_t nNeeded);
    void SetCellEnd(size_t nRow, size_t nColumn, size_t nEnd);
    size_t CellEnd(size_t nRow, size_t nColumn) const;

    size_t m_nColumns = 0;
    char *m_pText = nullptr; // malloc'd: a large block grows in place, without a second copy
    size_t m_nText = 0;
    size_t m_nCapacity = 0;
    std::vector<uint64_t> m_rowStarts;
    std::vector<uint16_t> m_cellEnds; // relative to the row's start
    std::unordered_map<size_t, std::vector<uint32_t>> m_longRows; // by row
    size_t m_nFilled = 0; // cells of the last row set so far
};
