#include "sources/access/DaoRecordset.h"

#include <limits>

#include "sources/access/DaoDatabase.h"
#include "sources/access/DaoException.h"
#include "sources/access/DaoTableDef.h"
#include "sources/access/DbReader.h"

namespace {

[[noreturn]] void ThrowNoRecord()
{
    throw CDaoException(CDaoException::EKind::NoRecord, "No current record.");
}

} // namespace

CDaoRecordset::CDaoRecordset() = default;
CDaoRecordset::~CDaoRecordset() = default;

void CDaoRecordset::Open(CDaoTableDef *pTableDef)
{
    Close();
    if (!pTableDef || !pTableDef->IsOpen() || !pTableDef->GetDatabase()
        || !pTableDef->GetDatabase()->IsOpen())
        throw CDaoException(CDaoException::EKind::NoSuchTable,
            "The table cannot be opened: its definition is not open.");
    m_strDatabase = pTableDef->GetDatabase()->GetName();
    m_strTable = pTableDef->GetName();
    Start();
    m_bOpen = true;
}

void CDaoRecordset::OpenTable(CDaoDatabase *pDatabase, const std::string &strName)
{
    CDaoTableDef tableDef(pDatabase);
    tableDef.Open(strName);
    Open(&tableDef);
    tableDef.Close();
}

void CDaoRecordset::Start()
{
    m_pReader.reset();
    m_fields.clear();
    m_values.clear();
    m_bEOF = true;
    m_nPosition = 0;
    m_pReader = std::make_unique<CDbReader>(
        std::vector<std::string> {ReaderProtocol::kRowsCommand, m_strDatabase, m_strTable},
        m_strDatabase, m_strTable);
    CReaderStream::SRecord record;
    for (;;) {
        if (!m_pReader->Next(record, m_values)) {
            m_pReader.reset();
            return; // no records
        }
        if (record.tag == ReaderProtocol::kField) {
            m_fields.push_back(
                {record.strName, record.nType, record.nSize, record.nFieldAttributes});
        } else if (record.tag == ReaderProtocol::kRecordCount) {
            m_nRecordCount = static_cast<long>(
                std::min<uint64_t>(record.nCount, std::numeric_limits<long>::max()));
        } else if (record.tag == ReaderProtocol::kRecord) {
            m_bEOF = false;
            return;
        }
    }
}

void CDaoRecordset::ReadRecord()
{
    CReaderStream::SRecord record;
    while (m_pReader && m_pReader->Next(record, m_values)) {
        if (record.tag == ReaderProtocol::kRecord)
            return;
    }
    m_pReader.reset();
    m_bEOF = true;
}

void CDaoRecordset::Close()
{
    m_pReader.reset();
    m_fields.clear();
    m_values.clear();
    m_nRecordCount = 0;
    m_nPosition = 0;
    m_bEOF = true;
    m_bOpen = false;
}

const CDaoFieldInfo &CDaoRecordset::GetFieldInfo(int nIndex) const
{
    return m_fields.at(static_cast<size_t>(nIndex));
}

void CDaoRecordset::MoveFirst()
{
    if (!m_bOpen)
        ThrowNoRecord();
    if (m_nPosition != 0 || (m_bEOF && m_nRecordCount != 0))
        Start(); // a new reader reads from the start again
}

void CDaoRecordset::MoveNext()
{
    if (!m_bOpen || m_bEOF)
        ThrowNoRecord();
    ++m_nPosition;
    ReadRecord();
}

const CVariant &CDaoRecordset::GetFieldValue(int nIndex) const
{
    if (!m_bOpen || m_bEOF)
        ThrowNoRecord();
    return m_values.at(static_cast<size_t>(nIndex));
}
