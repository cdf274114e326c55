#pragma once

#include <memory>
#include <string>
#include <vector>

#include "engine/Variant.h"
#include "sources/TableCursor.h"

class CDaoDatabase;
class CDaoTableDef;
class CDbReader;

// A table-type recordset: the records of one table in the engine's order, read forward. Opening
// positions it on the first record. Records are streamed from the reader process as the
// recordset moves; failures throw CDaoException.
class CDaoRecordset final : public CTableCursor
{
public:
    CDaoRecordset();
    ~CDaoRecordset() override;
    CDaoRecordset(const CDaoRecordset &) = delete;
    CDaoRecordset &operator=(const CDaoRecordset &) = delete;

    void Open(CDaoTableDef *pTableDef);
    // Opens the table of that name through a table definition that lives for the call only.
    void OpenTable(CDaoDatabase *pDatabase, const std::string &strName);
    void Close();
    bool IsOpen() const { return m_bOpen; }
    const std::string &GetTableName() const { return m_strTable; }

    short GetFieldCount() const override { return static_cast<short>(m_fields.size()); }
    const CDaoFieldInfo &GetFieldInfo(int nIndex) const override;
    long GetRecordCount() const override { return m_nRecordCount; }

    void MoveFirst() override;
    void MoveNext() override;
    bool IsEOF() const override { return m_bEOF; }
    const CVariant &GetFieldValue(int nIndex) const override;

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
