#pragma once

#include <memory>
#include <vector>

#include "sources/MemoryTableCursor.h"
#include "sources/text/CsvFile.h"

// A CSV file's rows as the record list and the rules read a table: each cell as the value its
// column's type makes of it (whole numbers as Long, decimals as Double, ISO dates as Date, the
// rest as text; an empty cell is Null), so that "Age Less than 18" compares numbers.
class CCsvRecordset final : public CMemoryTableCursor
{
public:
    explicit CCsvRecordset(std::shared_ptr<const CCsvFile> pFile);

private:
    size_t RowCount() const override { return m_pFile->RowCount(); }
    void ReadRow(size_t nRow, std::vector<CVariant> &values) const override;

    std::shared_ptr<const CCsvFile> m_pFile;
};

// The value a cell's text has in a column of that type.
CVariant CsvCellValue(std::string_view text, short nType);
