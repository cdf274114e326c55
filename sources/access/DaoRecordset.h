#pragma once

#include <memory>
#include <string>
#include <vector>

#include "engine/Variant.h"

class CDaoDatabase;
class CDaoTableDef;
class CDbReader;

// The field attribute bit of an AutoNumber field.
constexpr long dbAutoIncrField = 0x10;

// A field of a recordset: its name, DAO type code, size and attribute bits.
struct CDaoFieldInfo
{
    std::string m_strName;
    short m_nType = 0;
    long m_lSize = 0;
    long m_lAttributes = 0;
};

// A table-type recordset: the records of one table in the engine's order, read forward. Opening
// positions it on the first record. Records are streamed from the reader process as the
// recordset moves; failures throw CDaoException.
class CDaoRecordset final
{
public:
    CDaoRecordset();
    ~CDaoRecordset();
    CDaoRecordset(const CDaoRecordset &) = delete;
    CDaoRecordset &operator=(const CDaoRecordset &) = delete;

    void Open(CDaoTableDef *pTableDef);
    // Opens the table of that name through a table definition that lives for the call only.
    void OpenTable(CDaoDatabase *pDatabase, const std::string &strName);
    void Close();
    bool IsOpen() const { return m_bOpen; }
    const std::string &GetTableName() const { return m_strTable; }

    short GetFieldCount() const { return static_cast<short>(m_fields.size()); }
    const CDaoFieldInfo &GetFieldInfo(int nIndex) const;
    long GetRecordCount() const { return m_nRecordCount; }

    void MoveFirst();
    // Moves to the next record; throws "No current record." past the end.
    void MoveNext();
    bool IsEOF() const { return m_bEOF; }
    // A field of the current record; throws "No current record." at the end.
    const CVariant &GetFieldValue(int nIndex) const;

private:
    void Start();
    void ReadRecord();

    std::unique_ptr<CDbReader> m_pReader;
    std::string m_strDatabase;
    std::string m_strTable;
    std::vector<CDaoFieldInfo> m_fields;
    std::vector<CVariant> m_values;
    long m_nRecordCount = 0;
    long m_nPosition = 0; // records moved past since the start
    bool m_bOpen = false;
    bool m_bEOF = true;
};
