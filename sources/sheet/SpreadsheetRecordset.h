#pragma once

#include <memory>
#include <vector>

#include "sources/MemoryTableCursor.h"
#include "sources/sheet/Workbook.h"

// A sheet's records as the record list and the rules read a table: each cell as its field's
// type makes it (whole numbers as Long, other numbers as Double, dates as Date, booleans as
// Bool, the rest as text); an empty cell is Null.
class CSpreadsheetRecordset final : public CMemoryTableCursor
{
public:
    CSpreadsheetRecordset(std::shared_ptr<const CWorkbook> pBook, size_t nSheet);

private:
    size_t RowCount() const override { return m_table.RecordCount(); }
    void ReadRow(size_t nRow, std::vector<CVariant> &values) const override;

    std::shared_ptr<const CWorkbook> m_pBook;
    const CSheetTable &m_table;
};
