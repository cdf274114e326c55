#include "sources/sheet/SpreadsheetRecordset.h"

#include "sources/access/DaoException.h"

CSpreadsheetRecordset::CSpreadsheetRecordset(std::shared_ptr<const CWorkbook> pBook, size_t nSheet)
    : m_pBook(std::move(pBook)), m_table(m_pBook->Sheets().at(nSheet).table)
{
    for (const CSheetTable::SColumn &column : m_table.Columns())
        m_fields.push_back({column.strName, column.nType, 0, 0});
    m_values.resize(m_fields.size());
    MoveFirst();
}

const CDaoFieldInfo &CSpreadsheetRecordset::GetFieldInfo(int nIndex) const
{
    return m_fields.at(static_cast<size_t>(nIndex));
}

void CSpreadsheetRecordset::MoveFirst()
{
    m_nRecord = 0;
    ReadRecord();
}

void CSpreadsheetRecordset::MoveNext()
{
    if (IsEOF())
        throw CDaoException(CDaoException::EKind::NoRecord, "No current record.");
    ++m_nRecord;
    ReadRecord();
}

void CSpreadsheetRecordset::ReadRecord()
{
    if (IsEOF())
        return;
    for (CVariant &value : m_values)
        value = CVariant::Null();
    for (const SSheetCell &cell : m_table.RecordCells(m_nRecord)) {
        const size_t nField = m_table.FieldOf(cell);
        m_values[nField] = SheetCellValue(cell, m_fields[nField].m_nType, m_pBook->Text());
    }
}

const CVariant &CSpreadsheetRecordset::GetFieldValue(int nIndex) const
{
    if (IsEOF())
        throw CDaoException(CDaoException::EKind::NoRecord, "No current record.");
    return m_values.at(static_cast<size_t>(nIndex));
}
