#pragma once

#include <string>

#include <QProcess>

// A database server of the test's own holding database "club" for user "mergix" with password
// kPassword: PostgreSQL (tests/sources/postgres_test_server.py, tests/data/club_server.sql) or
// MariaDB (mariadb_test_server.py, club_mariadb.sql). Stopped and removed with the object.
class CDatabaseTestServer final
{
public:
    enum class EKind { PostgreSql, MariaDb };
    static constexpr const char *kPassword = "s3cret pass";

    explicit CDatabaseTestServer(EKind eKind = EKind::PostgreSql);
    ~CDatabaseTestServer();

    // Empty when the server did not start.
    const std::string &Address() const { return m_strAddress; }
    int Port() const { return m_nPort; }
    // Stops the server at once, as a crash would (PostgreSQL only).
    void StopNow();

private:
    QProcess m_process;
    std::string m_strAddress;
    int m_nPort = 0;
};
