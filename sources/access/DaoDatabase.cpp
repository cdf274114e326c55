#include "sources/access/DaoDatabase.h"

#include <cstring>

#include "engine/AsciiCase.h"
#include "engine/PrintableText.h"
#include "sources/access/AccessFile.h"
#include "sources/access/DaoException.h"
#include "sources/access/DbReader.h"

void CheckDatabaseFile(const std::string &strPath)
{
    using EKind = CDaoException::EKind;
    using EProblem = EAccessFileProblem;
    const std::string strShown = PrintableText(strPath);
    if (HasLineBreakOrNul(strPath))
        throw CDaoException(EKind::FileNotFound,
            "The database path \"" + strShown
                + "\" is not valid: a file path cannot hold a line break or a zero byte.");
    const SAccessFileCheck check = CheckAccessFile(strPath);
    switch (check.problem) {
    case EProblem::None:
        return;
    case EProblem::NotFound:
        throw CDaoException(
            EKind::FileNotFound, "The database file \"" + strShown + "\" was not found.");
    case EProblem::PermissionDenied:
        throw CDaoException(EKind::CannotRead,
            "The database file \"" + strShown + "\" cannot be read: permission denied.");
    case EProblem::CannotRead:
        throw CDaoException(EKind::CannotRead,
            "The database file \"" + strShown + "\" cannot be read: " + std::strerror(check.nErrno)
                + ".");
    case EProblem::Folder:
        throw CDaoException(EKind::NotAccessDatabase,
            "\"" + strShown + "\" is a folder, not a Microsoft Access database.");
    case EProblem::NotAFile:
        throw CDaoException(EKind::NotAccessDatabase,
            "\"" + strShown + "\" is not a file, so it cannot be a Microsoft Access database.");
    case EProblem::NotAccessDatabase:
        throw CDaoException(
            EKind::NotAccessDatabase, "\"" + strShown + "\" is not a Microsoft Access database.");
    case EProblem::Damaged:
        throw CDaoException(
            EKind::Damaged, "The database \"" + strShown + "\" is damaged and cannot be read.");
    }
}

void CDaoDatabase::Open(const std::string &strPath)
{
    Close();
    CheckDatabaseFile(strPath);
    std::vector<CDaoTableDefInfo> tableDefs;
    CDbReader reader({ReaderProtocol::kCatalogCommand, strPath}, strPath);
    CReaderStream::SRecord record;
    std::vector<CVariant> values;
    while (reader.Next(record, values)) {
        if (record.tag == ReaderProtocol::kTableDef)
            tableDefs.push_back({record.strName, record.nAttributes});
    }
    m_strPath = strPath;
    m_tableDefs = std::move(tableDefs);
    m_bOpen = true;
}

void CDaoDatabase::Close()
{
    m_bOpen = false;
    m_tableDefs.clear();
}

const CDaoTableDefInfo &CDaoDatabase::GetTableDefInfo(int nIndex) const
{
    return m_tableDefs.at(static_cast<size_t>(nIndex));
}

const CDaoTableDefInfo *CDaoDatabase::FindTableDef(const std::string &strName) const
{
    return FindByName(m_tableDefs, strName,
        [](const CDaoTableDefInfo &info) -> const std::string & { return info.m_strName; });
}
