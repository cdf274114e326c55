#pragma once

#include <memory>

#include "sources/DataSource.h"
#include "sources/sheet/Workbook.h"

// An Excel (.xlsx) or OpenDocument (.ods) workbook as a list: each sheet a table, in workbook
// order, hidden sheets marked. The whole workbook is read when it is opened and by Reload().
class CSpreadsheetSource final : public CDataSource
{
public:
    using EFormat = CWorkbook::EFormat;

    // Reads the file as the format its first bytes showed; throws CDaoException naming it.
    CSpreadsheetSource(std::string strPath, EFormat format);

    std::string KindName() const override;
    std::vector<SSourceTable> Tables() const override;
    // Throws for a sheet too large to be a list, naming it.
    std::unique_ptr<CTableCursor> OpenTable(const std::string &strName) override;
    void Reload() override;

private:
    EFormat m_format;
    std::shared_ptr<const CWorkbook> m_pBook;
};
