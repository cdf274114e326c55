#pragma once

#include <string>

class CDaoDatabase;

// A table definition of an open database, opened by name for as long as a recordset is opened
// on it. Opening a name the database does not have (the empty name included) throws
// CDaoException.
class CDaoTableDef final
{
public:
    explicit CDaoTableDef(CDaoDatabase *pDatabase) : m_pDatabase(pDatabase) { }

    void Open(const std::string &strName);
    void Close() { m_bOpen = false; }
    bool IsOpen() const { return m_bOpen; }
    // The table's name as the database spells it.
    const std::string &GetName() const { return m_strName; }
    CDaoDatabase *GetDatabase() const { return m_pDatabase; }

private:
    CDaoDatabase *m_pDatabase;
    std::string m_strName;
    bool m_bOpen = false;
};
