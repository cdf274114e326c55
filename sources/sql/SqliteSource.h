#pragma once

#include <memory>

#include "sources/DataSource.h"

class CSqlConnection;

// An SQLite database as a list, through Qt SQL's SQLite driver, opened read-only: its tables and
// views are its tables, their declared column types the field types.
class CSqliteSource final : public CDataSource
{
public:
    // Opens the database and reads its catalog; throws CDaoException.
    explicit CSqliteSource(const std::string &strPath);
    ~CSqliteSource() override;

    std::string KindName() const override { return "SQLite database"; }
    std::vector<SSourceTable> Tables() const override { return m_tables; }
    std::unique_ptr<CTableCursor> OpenTable(const std::string &strName) override;
    void Reload() override;

private:
    std::shared_ptr<CSqlConnection> m_pConnection;
    std::vector<SSourceTable> m_tables;
};
