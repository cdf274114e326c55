#include "sources/access/DaoTableDef.h"

#include "sources/access/DaoDatabase.h"
#include "sources/access/DaoException.h"

void CDaoTableDef::Open(const std::string &strName)
{
    m_bOpen = false;
    if (!m_pDatabase || !m_pDatabase->IsOpen())
        throw CDaoException(CDaoException::EKind::NoSuchTable,
            "The table \"" + strName + "\" cannot be opened: no database is open.");
    const std::string &strDatabase = m_pDatabase->GetName();
    if (strName.empty())
        throw CDaoException(CDaoException::EKind::NoSuchTable,
            "No table name was given for the database \"" + strDatabase + "\".");
    const CDaoTableDefInfo *pInfo = m_pDatabase->FindTableDef(strName);
    if (!pInfo)
        throw CDaoException(CDaoException::EKind::NoSuchTable,
            "The table \"" + strName + "\" does not exist in the database \"" + strDatabase
                + "\".");
    m_strName = pInfo->m_strName;
    m_bOpen = true;
}
