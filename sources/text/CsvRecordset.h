#pragma once

#include <memory>
#include <vector>

#include "sources/TableCursor.h"
#include "sources/text/CsvFile.h"

// A CSV file's rows as the record list and the rules read a table: each cell as the value its
// column's type makes of it (whole numbers as Long, decimals as Double, ISO dates as Date, the
// rest as text; an empty cell is Null), so that "Age Less than 18" compares numbers.
class CCsvRecordset final : public CTableCursor
{
public:
    explicit CCsvRecordset(std::shared_ptr<const CCsvFile> pFile);

    short GetFieldCount() const override { return static_cast<short>(m_fields.size()); }
    const CDaoFieldInfo &GetFieldInfo(int nIndex) const override;
    long GetRecordCount() const override { return static_cast<long>(m_pFile->RowCount()); }

    void MoveFirst() override;
    void MoveNext() override;
    bool IsEOF() const override { return m_nRow >= m_pFile->RowCount(); }
    const CVariant &GetFieldValue(int nIndex) const override;

private:
    void ReadRow();

    std::shared_ptr<const CCsvFile> m_pFile;
    std::vector<CDaoFieldInfo> m_fields;
    std::vector<CVariant> m_values;
    size_t m_nRow = 0;
};

// The value a cell's text has in a column of that type.
CVariant CsvCellValue(std::string_view text, short nType);
