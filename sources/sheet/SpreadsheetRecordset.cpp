#include "sources/sheet/SpreadsheetRecordset.h"

namespace {

std::vector<CDaoFieldInfo> FieldsOf(const CSheetTable &table)
{
    std::vector<CDaoFieldInfo> fields;
    for (const CSheetTable::SColumn &column : table.Columns())
        fields.push_back({column.strName, column.nType, 0, 0});
    return fields;
}

} // namespace

CSpreadsheetRecordset::CSpreadsheetRecordset(std::shared_ptr<const CWorkbook> pBook, size_t nSheet)
    : CMemoryTableCursor(FieldsOf(pBook->Sheets().at(nSheet).table))
    , m_pBook(std::move(pBook))
    , m_table(m_pBook->Sheets().at(nSheet).table)
{
    MoveFirst();
}

void CSpreadsheetRecordset::ReadRow(size_t nRow, std::vector<CVariant> &values) const
{
    for (CVariant &value : values)
        value = CVariant::Null();
    for (const SSheetCell &cell : m_table.RecordCells(nRow)) {
        const size_t nField = m_table.FieldOf(cell);
        values[nField] = SheetCellValue(cell, Fields()[nField].m_nType, m_pBook->Text());
    }
}
