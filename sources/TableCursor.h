#pragma once

#include <string>

#include "engine/Variant.h"

// The field attribute bit of an AutoNumber field.
constexpr long dbAutoIncrField = 0x10;

// A field of a table: its name, DAO type code, size and attribute bits.
struct CDaoFieldInfo
{
    std::string m_strName;
    short m_nType = 0;
    long m_lSize = 0;
    long m_lAttributes = 0;
};

// The records of one table of any kind of list, read forward, as the record list, the selection
// rules and the runs read them: an Access table or a CSV file alike. Failures throw
// CDaoException with a message that names the file or the table.
class CTableCursor
{
public:
    virtual ~CTableCursor() = default;

    virtual short GetFieldCount() const = 0;
    virtual const CDaoFieldInfo &GetFieldInfo(int nIndex) const = 0;
    virtual long GetRecordCount() const = 0;

    virtual void MoveFirst() = 0;
    // Moves to the next record; throws "No current record." past the end.
    virtual void MoveNext() = 0;
    virtual bool IsEOF() const = 0;
    // A field of the current record; throws "No current record." at the end.
    virtual const CVariant &GetFieldValue(int nIndex) const = 0;
};
