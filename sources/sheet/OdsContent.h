#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "sources/sheet/SheetCells.h"

// What orcus 0.17 does not give of an .ods, read from content.xml with QXmlStreamReader before
// orcus runs: which tables are hidden; the cells it drops (booleans, times, currency and
// percentages, the text results of formulas); where merged cells shift its column count (it
// does not count covered cells); and a check that the file's repeat counts cannot keep it
// looping for hours over empty cells. Failures throw CDaoException naming the file.
class COdsContent
{
public:
    COdsContent(std::string_view xml, const std::string &strShownName, CTextPool &text);

    struct STable
    {
        bool bHidden = false;
        std::vector<SSheetCell> extraCells; // at their true places
        // Covered cells where orcus's column count stands still: (row, its column, how many).
        struct SCovered
        {
            uint32_t nRow = 0;
            uint32_t nColumn = 0;
            uint32_t nCount = 0;
        };
        std::vector<SCovered> covered;
    };

    // The tables of the spreadsheet, in order, as orcus appends them.
    std::vector<STable> &Tables() { return m_tables; }

    // orcus visits every repeated cell, even an empty one: at most this many in a file.
    static constexpr uint64_t kMaxCellSlots = uint64_t(1) << 26;

private:
    std::vector<STable> m_tables;
};

// Moves the cells that orcus placed after covered cells to their true columns.
void PlaceAfterCoveredCells(
    std::vector<SSheetCell> &cells, const std::vector<COdsContent::STable::SCovered> &covered);
