#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A table definition as the database lists it.
struct CDaoTableDefInfo
{
    std::string m_strName;
    uint32_t m_lAttributes = 0; // dbSystemObject, dbHiddenObject, dbAttachedTable bits
};

// An Access database file, always opened read-only. Opening checks the file and reads its
// catalog once; failures throw CDaoException with a description that names the file.
class CDaoDatabase final
{
public:
    CDaoDatabase() = default;
    CDaoDatabase(const CDaoDatabase &) = delete;
    CDaoDatabase &operator=(const CDaoDatabase &) = delete;

    void Open(const std::string &strPath);
    void Close();
    bool IsOpen() const { return m_bOpen; }
    const std::string &GetName() const { return m_strPath; }

    int GetTableDefCount() const { return static_cast<int>(m_tableDefs.size()); }
    // Table definitions in the engine's order; the index must be below GetTableDefCount().
    const CDaoTableDefInfo &GetTableDefInfo(int nIndex) const;
    // The definition of that name (exact first, then ignoring ASCII letter case), or nullptr.
    const CDaoTableDefInfo *FindTableDef(const std::string &strName) const;

private:
    std::string m_strPath;
    std::vector<CDaoTableDefInfo> m_tableDefs;
    bool m_bOpen = false;
};

// Checks that a path names a readable Access database file before any reading starts; throws
// CDaoException (not found, a folder, not readable, not an Access database).
void CheckDatabaseFile(const std::string &strPath);
