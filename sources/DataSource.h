#pragma once

#include <memory>
#include <string>
#include <vector>

#include "sources/TableCursor.h"

// A table or sheet of a list as the wizard offers it.
struct SSourceTable
{
    std::string strName;
    bool bHidden = false; // a hidden sheet or a hidden Access table: offered, but marked
};

// A list a merge reads its records from: an Access database, a CSV file, a spreadsheet or an
// SQLite database, opened read-only. Failures throw CDaoException with a message that names the
// file (or the table).
class CDataSource
{
public:
    virtual ~CDataSource() = default;

    // What kind of list this is, for messages ("CSV file", "Excel workbook", ...).
    virtual std::string KindName() const = 0;
    // The tables a merge may use, in the source's own order; system tables are left out.
    virtual std::vector<SSourceTable> Tables() const = 0;
    // Opens the table of that name (exact first, then ignoring ASCII letter case), positioned
    // on its first record.
    virtual std::unique_ptr<CTableCursor> OpenTable(const std::string &strName) = 0;
    // Reads the list again, for one edited since it was opened; open tables must be let go
    // before.
    virtual void Reload() = 0;
    // Whether the tables' order means something to the user (a workbook's sheets) and is the
    // order to offer them in; otherwise they are offered sorted by name.
    virtual bool HasOwnOrder() const { return true; }

    const std::string &Path() const { return m_strPath; }
    // The table a run uses when none is named: the first one that is not hidden.
    std::string DefaultTable() const;

protected:
    explicit CDataSource(std::string strPath) : m_strPath(std::move(strPath)) { }

private:
    std::string m_strPath;
};

// Opens a list, choosing its kind by what the file holds rather than by its name.
std::unique_ptr<CDataSource> OpenDataSource(const std::string &strPath);

// The entry of tables that bears this name, exact first, then ignoring ASCII letter case; or
// nullptr.
const SSourceTable *FindSourceTable(
    const std::vector<SSourceTable> &tables, const std::string &strName);
// The message for a table name a list does not have.
[[noreturn]] void ThrowNoSuchTable(const std::string &strName, const std::string &strPath);
