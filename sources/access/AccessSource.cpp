#include "sources/access/AccessSource.h"

#include "sources/access/DaoRecordset.h"

namespace {

constexpr uint32_t kSystemObject = 0x80000002u;

} // namespace

CAccessSource::CAccessSource(const std::string &strPath) : CDataSource(strPath)
{
    m_database.Open(strPath);
}

std::vector<SSourceTable> CAccessSource::Tables() const
{
    // Access's hidden tables are offered like the others, as they always were.
    std::vector<SSourceTable> tables;
    for (int i = 0; i < m_database.GetTableDefCount(); ++i) {
        const CDaoTableDefInfo &info = m_database.GetTableDefInfo(i);
        if ((info.m_lAttributes & kSystemObject) == 0)
            tables.push_back({info.m_strName, false});
    }
    return tables;
}

std::unique_ptr<CTableCursor> CAccessSource::OpenTable(const std::string &strName)
{
    auto pRecordset = std::make_unique<CDaoRecordset>();
    pRecordset->OpenTable(&m_database, strName);
    return pRecordset;
}

void CAccessSource::Reload()
{
    // Nothing to do: every table opened reads the file anew through the reader process.
}
