#include "document/DaoDatabase.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "document/DaoException.h"
#include "document/DbReader.h"
#include "engine/AsciiCase.h"

namespace { } // namespace

void CheckDatabaseFile(const std::string &strPath)
{
    using EKind = CDaoException::EKind;
    struct stat status
    { };
    if (strPath.empty() || ::stat(strPath.c_str(), &status) != 0) {
        if (!strPath.empty() && errno == EACCES)
            throw CDaoException(EKind::CannotRead,
                "The database file \"" + strPath + "\" cannot be read: permission denied.");
        throw CDaoException(
            EKind::FileNotFound, "The database file \"" + strPath + "\" was not found.");
    }
    if (S_ISDIR(status.st_mode))
        throw CDaoException(EKind::NotAccessDatabase,
            "\"" + strPath + "\" is a folder, not a Microsoft Access database.");
    const int fd = ::open(strPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        throw CDaoException(EKind::CannotRead,
            "The database file \"" + strPath + "\" cannot be read: " + std::strerror(errno) + ".");
    // Every Jet and ACE file starts with the same page header and names its engine.
    char header[32] = {};
    const ssize_t n = ::read(fd, header, sizeof header);
    ::close(fd);
    const bool bJet = n >= 21 && header[0] == 0 && header[1] == 1 && header[2] == 0
        && header[3] == 0
        && (std::memcmp(header + 4, "Standard Jet DB", 15) == 0
            || std::memcmp(header + 4, "Standard ACE DB", 15) == 0);
    if (!bJet)
        throw CDaoException(
            EKind::NotAccessDatabase, "\"" + strPath + "\" is not a Microsoft Access database.");
    // Access writes whole pages (2 KB for Jet 3, 4 KB later); anything else was cut short.
    const off_t nPageSize = header[20] == 0 ? 2048 : 4096;
    if (status.st_size < 2 * nPageSize || status.st_size % nPageSize != 0)
        throw CDaoException(
            EKind::Damaged, "The database \"" + strPath + "\" is damaged and cannot be read.");
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
    for (const CDaoTableDefInfo &info : m_tableDefs) {
        if (info.m_strName == strName)
            return &info;
    }
    for (const CDaoTableDefInfo &info : m_tableDefs) {
        if (EqualsIgnoringAsciiCase(info.m_strName, strName))
            return &info;
    }
    return nullptr;
}
