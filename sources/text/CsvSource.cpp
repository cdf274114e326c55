#include "sources/text/CsvSource.h"

#include "sources/text/CsvRecordset.h"

std::string TableNameOfFile(const std::string &strPath)
{
    const size_t nSlash = strPath.rfind('/');
    std::string strName = nSlash == std::string::npos ? strPath : strPath.substr(nSlash + 1);
    const size_t nDot = strName.rfind('.');
    if (nDot != std::string::npos && nDot > 0)
        strName.erase(nDot);
    return strName;
}

CCsvSource::CCsvSource(const std::string &strPath)
    : CDataSource(strPath), m_strTable(TableNameOfFile(strPath))
{
    Reload();
}

std::unique_ptr<CTableCursor> CCsvSource::OpenTable(const std::string &strName)
{
    if (!FindSourceTable(Tables(), strName))
        ThrowNoSuchTable(strName, Path());
    return std::make_unique<CCsvRecordset>(m_pFile);
}

void CCsvSource::Reload()
{
    m_pFile = std::make_shared<const CCsvFile>(CCsvFile::Read(Path()));
}
