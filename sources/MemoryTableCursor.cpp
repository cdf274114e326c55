#include "sources/MemoryTableCursor.h"

#include "sources/access/DaoException.h"

CMemoryTableCursor::CMemoryTableCursor(std::vector<CDaoFieldInfo> fields)
    : m_fields(std::move(fields)), m_values(m_fields.size())
{ }

const CDaoFieldInfo &CMemoryTableCursor::GetFieldInfo(int nIndex) const
{
    return m_fields.at(static_cast<size_t>(nIndex));
}

void CMemoryTableCursor::MoveFirst()
{
    m_nRow = 0;
    if (!IsEOF())
        ReadRow(m_nRow, m_values);
}

void CMemoryTableCursor::MoveNext()
{
    if (IsEOF())
        throw CDaoException(CDaoException::EKind::NoRecord, "No current record.");
    ++m_nRow;
    if (!IsEOF())
        ReadRow(m_nRow, m_values);
}

const CVariant &CMemoryTableCursor::GetFieldValue(int nIndex) const
{
    if (IsEOF())
        throw CDaoException(CDaoException::EKind::NoRecord, "No current record.");
    return m_values.at(static_cast<size_t>(nIndex));
}
