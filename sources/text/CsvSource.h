#pragma once

#include "sources/DataSource.h"
#include "sources/text/CsvFile.h"

// A CSV or TSV file as a list: one table, named after the file without its extension.
class CCsvSource final : public CDataSource
{
public:
    // Reads the file; throws CDaoException.
    explicit CCsvSource(const std::string &strPath);

    std::string KindName() const override { return "CSV file"; }
    std::vector<SSourceTable> Tables() const override { return {{m_strTable, false}}; }
    std::unique_ptr<CTableCursor> OpenTable(const std::string &strName) override;
    void Reload() override;

private:
    std::shared_ptr<const CCsvFile> m_pFile;
    std::string m_strTable;
};

// The name of the one table of a text file: "members" for "/home/me/members.csv".
std::string TableNameOfFile(const std::string &strPath);
