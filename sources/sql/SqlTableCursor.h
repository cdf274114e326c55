#pragma once

#include <QSqlQuery>
#include <memory>
#include <vector>

#include "sources/TableCursor.h"

class CSqlConnection;

// The rows of one table or view of an SQL list, read forward with a query, each value made the
// kind its field's declared type asks for where the value allows it.
class CSqlTableCursor final : public CTableCursor
{
public:
    // strFrom is the quoted table name; fields are the table's, in order, with their types.
    CSqlTableCursor(std::shared_ptr<CSqlConnection> pConnection, QString strFrom,
        std::vector<CDaoFieldInfo> fields);

    short GetFieldCount() const override { return static_cast<short>(m_fields.size()); }
    const CDaoFieldInfo &GetFieldInfo(int nIndex) const override;
    long GetRecordCount() const override { return m_nRecordCount; }

    void MoveFirst() override;
    void MoveNext() override;
    bool IsEOF() const override { return m_bEOF; }
    const CVariant &GetFieldValue(int nIndex) const override;

private:
    void ReadRow();

    std::shared_ptr<CSqlConnection> m_pConnection;
    QString m_strFrom;
    std::vector<CDaoFieldInfo> m_fields;
    std::vector<CVariant> m_values;
    std::unique_ptr<QSqlQuery> m_pQuery;
    long m_nRecordCount = 0;
    bool m_bEOF = true;
};

// The field type a declared SQL column type reads as, by SQLite's affinity rules with dates and
// booleans told apart: "INTEGER" dbLong, "VARCHAR(40)" dbText, "DATE" dbDate, "REAL" dbDouble.
short FieldTypeOfDeclared(const std::string &strDeclared);
// A value as a field of that type holds it; a value the type does not fit stays what it is.
CVariant SqlFieldValue(const QVariant &value, short nType);
