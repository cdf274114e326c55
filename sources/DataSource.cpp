#include "sources/DataSource.h"

#include "engine/AsciiCase.h"
#include "engine/PrintableText.h"
#include "sources/access/DaoException.h"

std::string CDataSource::DefaultTable() const
{
    const std::vector<SSourceTable> tables = Tables();
    for (const SSourceTable &table : tables) {
        if (!table.bHidden)
            return table.strName;
    }
    return tables.empty() ? std::string() : tables.front().strName;
}

const SSourceTable *FindSourceTable(
    const std::vector<SSourceTable> &tables, const std::string &strName)
{
    for (const SSourceTable &table : tables) {
        if (table.strName == strName)
            return &table;
    }
    for (const SSourceTable &table : tables) {
        if (EqualsIgnoringAsciiCase(table.strName, strName))
            return &table;
    }
    return nullptr;
}

void ThrowNoSuchTable(const std::string &strName, const std::string &strPath)
{
    if (strName.empty())
        throw CDaoException(CDaoException::EKind::NoSuchTable,
            "No table name was given for the list \"" + PrintableText(strPath) + "\".");
    throw CDaoException(CDaoException::EKind::NoSuchTable,
        "The table \"" + PrintableText(strName) + "\" does not exist in \"" + PrintableText(strPath)
            + "\".");
}
