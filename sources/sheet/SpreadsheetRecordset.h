#pragma once

#include <memory>
#include <vector>

#include "sources/TableCursor.h"
#include "sources/sheet/Workbook.h"

// A sheet's records as the record list and the rules read a table: each cell as its field's
// type makes it (whole numbers as Long, other numbers as Double, dates as Date, booleans as
// Bool, the rest as text); an empty cell is Null.
class CSpreadsheetRecordset final : public CTableCursor
{
public:
    CSpreadsheetRecordset(std::shared_ptr<const CWorkbook> pBook, size_t nSheet);

    short GetFieldCount() const override { return static_cast<short>(m_fields.size()); }
    const CDaoFieldInfo &GetFieldInfo(int nIndex) const override;
    long GetRecordCount() const override { return static_cast<long>(m_table.RecordCount()); }

    void MoveFirst() override;
    void MoveNext() override;
    bool IsEOF() const override { return m_nRecord >= m_table.RecordCount(); }
    const CVariant &GetFieldValue(int nIndex) const override;

private:
    void ReadRecord();

    std::shared_ptr<const CWorkbook> m_pBook;
    const CSheetTable &m_table;
    std::vector<CDaoFieldInfo> m_fields;
    std::vector<CVariant> m_values;
    size_t m_nRecord = 0;
};
