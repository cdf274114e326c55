#pragma once

#include <optional>
#include <string>

// A list in a database server, as a merge file names it in place of a file path:
//   postgresql://USER@HOST[:PORT]/DATABASE[?sslmode=MODE]
//   mysql://USER@HOST[:PORT]/DATABASE
//   odbc:DSN  or  odbc:DRIVER=...;...
// A password never belongs in it: it is asked for, or kept in the keyring.
struct SServerAddress
{
    enum class EKind { PostgreSql, MySql, Odbc };

    EKind eKind = EKind::PostgreSql;
    std::string strUser;
    std::string strHost;
    int nPort = 0; // 0: the kind's usual port
    std::string strDatabase;
    std::string strSslMode; // PostgreSQL's sslmode, empty for the default
    std::string strOdbc; // the DSN or connection string after "odbc:"
};

// Whether the text names a server rather than a file: it starts with one of the schemes.
bool IsServerAddress(const std::string &strText);

// The address parsed; nothing, with the reason, when it cannot be used.
std::optional<SServerAddress> ParseServerAddress(const std::string &strText, std::string &strError);

// The address as a merge file stores it; ParseServerAddress reads it back the same.
std::string ServerAddressText(const SServerAddress &address);

// "PostgreSQL server", "MySQL or MariaDB server", "ODBC source".
const char *ServerKindName(SServerAddress::EKind eKind);

// The key a server's password is kept under in the keyring: "Database " and the address
// ("Database postgresql://user@host:port/database", or the ODBC text).
std::string ServerPasswordKey(const SServerAddress &address);
