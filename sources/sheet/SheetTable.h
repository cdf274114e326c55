#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "engine/Variant.h"
#include "sources/sheet/SheetCells.h"

// One sheet as a table of records: its first row that holds anything names the fields, each
// later row that holds anything is a record (blank rows between are skipped, as a CSV file's
// blank lines are). The fields run from the leftmost to the rightmost column used at or below
// that row; a column without a name is "Column N", a repeated name gets its number
// ("Name (2)"). Each field's type follows its cells: whole numbers that fit a Long are dbLong,
// other numbers dbDouble, dates dbDate, booleans dbBoolean, anything else or a mix dbText, in
// which each value reads as its text.
class CSheetTable
{
public:
    struct SColumn
    {
        std::string strName;
        short nType = 0; // dbLong, dbDouble, dbDate, dbBoolean or dbText
    };

    // A sheet too large to open as a table: the records times the fields may not pass this.
    static constexpr size_t kMaxTableCells = size_t(1) << 25;

    CSheetTable() = default;
    // Takes the sheet's cells; bad text references throw CDaoException naming the file.
    CSheetTable(std::vector<SSheetCell> cells, const CTextPool &text, const std::string &strSheet,
        const std::string &strShownName);

    const std::vector<SColumn> &Columns() const { return m_columns; }
    size_t RecordCount() const { return m_recordStarts.empty() ? 0 : m_recordStarts.size() - 1; }
    // The cells of a record that hold a value, left to right.
    std::span<const SSheetCell> RecordCells(size_t nRecord) const;
    // The field a cell belongs to.
    size_t FieldOf(const SSheetCell &cell) const { return cell.nColumn - m_nFirstColumn; }
    // Why the sheet cannot be opened as a table, or empty.
    const std::string &Problem() const { return m_strProblem; }

private:
    std::vector<SColumn> m_columns;
    std::vector<SSheetCell> m_cells; // the records' cells, row by row, left to right
    std::vector<uint32_t> m_recordStarts; // where each record's cells begin, and one past the end
    uint32_t m_nFirstColumn = 0;
    std::string m_strProblem;
};

// The value of a cell in a field of that type; the pool holds the text cells' text.
CVariant SheetCellValue(const SSheetCell &cell, short nType, const CTextPool &text);
// A number as a spreadsheet shows it: at most fifteen significant digits ("1234.5", "0.7").
std::string NumberText(double dValue);
// A cell's value as text, as a person would type it: numbers as NumberText shows them, dates
// as "2024-03-01" or "2024-03-01 08:15:00", TRUE or FALSE.
std::string SheetCellText(const SSheetCell &cell, const CTextPool &text);
