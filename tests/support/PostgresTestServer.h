#pragma once

#include <string>

#include <QProcess>

// A PostgreSQL server of the test's own (tests/sources/postgres_test_server.py) holding
// database "club" from tests/data/club_server.sql; user "mergix", password kPassword. Stopped
// and removed with the object.
class CPostgresTestServer final
{
public:
    static constexpr const char *kPassword = "s3cret pass";

    CPostgresTestServer();
    ~CPostgresTestServer();

    // Empty when the server did not start.
    const std::string &Address() const { return m_strAddress; }
    int Port() const { return m_nPort; }
    // Stops the server at once, as a crash would.
    void StopNow();

private:
    QProcess m_process;
    std::string m_strAddress;
    int m_nPort = 0;
};
