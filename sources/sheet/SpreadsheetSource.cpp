#include "sources/sheet/SpreadsheetSource.h"

#include "sources/access/DaoException.h"
#include "sources/sheet/SpreadsheetRecordset.h"

CSpreadsheetSource::CSpreadsheetSource(std::string strPath, EFormat format)
    : CDataSource(std::move(strPath)), m_format(format)
{
    Reload();
}

std::string CSpreadsheetSource::KindName() const
{
    return m_format == EFormat::Xlsx ? "Excel workbook" : "OpenDocument spreadsheet";
}

std::vector<SSourceTable> CSpreadsheetSource::Tables() const
{
    std::vector<SSourceTable> tables;
    for (const CWorkbook::SSheet &sheet : m_pBook->Sheets())
        tables.push_back({sheet.strName, sheet.bHidden});
    return tables;
}

std::unique_ptr<CTableCursor> CSpreadsheetSource::OpenTable(const std::string &strName)
{
    const std::vector<SSourceTable> tables = Tables();
    const SSourceTable *pTable = FindSourceTable(tables, strName);
    if (!pTable)
        ThrowNoSuchTable(strName, Path());
    const auto nSheet = static_cast<size_t>(pTable - tables.data());
    const std::string &strProblem = m_pBook->Sheets()[nSheet].table.Problem();
    if (!strProblem.empty())
        throw CDaoException(CDaoException::EKind::CannotRead, strProblem);
    return std::make_unique<CSpreadsheetRecordset>(m_pBook, nSheet);
}

void CSpreadsheetSource::Reload()
{
    m_pBook = std::make_shared<const CWorkbook>(CWorkbook::Read(Path(), m_format));
}
