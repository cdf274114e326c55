#pragma once

#include "sources/DataSource.h"
#include "sources/access/DaoDatabase.h"

// An Access database as a list: its tables are the table definitions that are not system
// objects, each opened as a table-type recordset streamed from the reader process.
class CAccessSource final : public CDataSource
{
public:
    // Opens the database; throws CDaoException.
    explicit CAccessSource(const std::string &strPath);

    std::string KindName() const override { return "Microsoft Access database"; }
    std::vector<SSourceTable> Tables() const override;
    std::unique_ptr<CTableCursor> OpenTable(const std::string &strName) override;
    void Reload() override;
    bool HasOwnOrder() const override { return false; }

private:
    CDaoDatabase m_database;
};
