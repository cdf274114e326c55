#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <QString>

#include "sources/DataSource.h"
#include "sources/sql/ServerAddress.h"

class CSqlConnection;

// Where the password of a server list comes from, set once by the program: the environment or
// the terminal on the command line, the keyring or a question in the windows. Nothing: log in
// without one (a server that trusts the user), or the user cancelled.
// refused is told when the server refused the login made with the password, so that a kept
// one is asked for again next time.
using ServerPasswordSource = std::function<std::optional<std::string>(const SServerAddress &)>;
void SetServerPasswordSource(
    ServerPasswordSource source, std::function<void(const SServerAddress &)> refused = {});

// A table or view of a database server as a list, through Qt SQL's drivers (QPSQL, QMYSQL,
// QODBC): read only (a read-only session where the server has one), rows read forward as they
// come (PostgreSQL hands them over one by one to a forward-only query), names quoted, never
// pasted into the SQL. Tables outside PostgreSQL's "public" schema are named "schema.table";
// system schemas are left out.
class CServerSource final : public CDataSource
{
public:
    // Connects, at most about ten seconds, and reads the catalog; throws CDaoException naming
    // the server and what to do.
    explicit CServerSource(const std::string &strAddress);
    // With this password (or none) instead of the program's source: a connection being tried.
    CServerSource(const std::string &strAddress, const std::optional<std::string> &password);
    ~CServerSource() override;

    std::string KindName() const override { return ServerKindName(m_address.eKind); }
    std::vector<SSourceTable> Tables() const override;
    std::unique_ptr<CTableCursor> OpenTable(const std::string &strName) override;
    void Reload() override;
    bool HasOwnOrder() const override { return true; }

private:
    // bTellRefusal: a refused login is told to the program's password source.
    void Connect(const std::optional<std::string> &password, bool bTellRefusal);

    struct STable
    {
        std::string strShown;
        std::string strSchema;
        std::string strName;
    };

    // The table's name quoted for the server, schema first where it has one.
    QString QuotedName(const STable &table) const;

    SServerAddress m_address;
    std::shared_ptr<CSqlConnection> m_pConnection;
    std::vector<STable> m_tables;
};
