#pragma once

#include <cstdint>
#include <string>

#include <sqlite3.h>

// A prepared SQLite statement that finalizes itself.
class CSqliteStatement final
{
public:
    CSqliteStatement(sqlite3 *pDb, const char *pSql)
    {
        if (sqlite3_prepare_v2(pDb, pSql, -1, &m_p, nullptr) != SQLITE_OK)
            m_p = nullptr;
    }
    ~CSqliteStatement() { sqlite3_finalize(m_p); }
    CSqliteStatement(const CSqliteStatement &) = delete;
    CSqliteStatement &operator=(const CSqliteStatement &) = delete;

    bool IsValid() const { return m_p != nullptr; }
    CSqliteStatement &Bind(int nIndex, const std::string &strText)
    {
        sqlite3_bind_text(
            m_p, nIndex, strText.data(), static_cast<int>(strText.size()), SQLITE_TRANSIENT);
        return *this;
    }
    CSqliteStatement &Bind(int nIndex, int64_t nValue)
    {
        sqlite3_bind_int64(m_p, nIndex, nValue);
        return *this;
    }
    // SQLITE_ROW, SQLITE_DONE or an error code.
    int Step() { return m_p ? sqlite3_step(m_p) : SQLITE_ERROR; }
    void Reset()
    {
        sqlite3_reset(m_p);
        sqlite3_clear_bindings(m_p);
    }
    int64_t Integer(int nColumn) const { return sqlite3_column_int64(m_p, nColumn); }
    std::string Text(int nColumn) const
    {
        const auto *p = reinterpret_cast<const char *>(sqlite3_column_text(m_p, nColumn));
        return p ? std::string(p, static_cast<size_t>(sqlite3_column_bytes(m_p, nColumn)))
                 : std::string();
    }

private:
    sqlite3_stmt *m_p = nullptr;
};
