#pragma once

#include <vector>

#include "sources/TableCursor.h"

// The moving part of a cursor over rows already held in memory (a CSV file's, a sheet's): a
// row number, the fields, and the current row's values, which the kind of list fills in.
// A derived class calls MoveFirst() at the end of its constructor.
class CMemoryTableCursor : public CTableCursor
{
public:
    short GetFieldCount() const override { return static_cast<short>(m_fields.size()); }
    const CDaoFieldInfo &GetFieldInfo(int nIndex) const override;
    long GetRecordCount() const override { return static_cast<long>(RowCount()); }

    void MoveFirst() override;
    void MoveNext() override;
    bool IsEOF() const override { return m_nRow >= RowCount(); }
    const CVariant &GetFieldValue(int nIndex) const override;

protected:
    explicit CMemoryTableCursor(std::vector<CDaoFieldInfo> fields);

    virtual size_t RowCount() const = 0;
    // Fills values (one per field) from the row.
    virtual void ReadRow(size_t nRow, std::vector<CVariant> &values) const = 0;

    const std::vector<CDaoFieldInfo> &Fields() const { return m_fields; }

private:
    std::vector<CDaoFieldInfo> m_fields;
    std::vector<CVariant> m_values;
    size_t m_nRow = 0;
};
