#include "support/DatabaseTestServer.h"

CDatabaseTestServer::CDatabaseTestServer(EKind eKind)
{
    const bool bPostgres = eKind == EKind::PostgreSql;
    m_process.start(QStringLiteral("/usr/bin/python3"),
        {bPostgres ? QStringLiteral(MERGIX_TESTS_DIR "/sources/postgres_test_server.py")
                   : QStringLiteral(MERGIX_TESTS_DIR "/sources/mariadb_test_server.py"),
            bPostgres ? QStringLiteral(MERGIX_TESTS_DIR "/data/club_server.sql")
                      : QStringLiteral(MERGIX_TESTS_DIR "/data/club_mariadb.sql")});
    // Making a cluster takes a few seconds.
    if (m_process.waitForReadyRead(60000)) {
        const QString strLine = QString::fromUtf8(m_process.readLine()).trimmed();
        if (strLine.startsWith(u"PORT ")) {
            m_nPort = strLine.mid(5).toInt();
            m_strAddress = std::string(bPostgres ? "postgresql" : "mysql")
                + "://mergix@127.0.0.1:" + std::to_string(m_nPort) + "/club";
        }
    }
}

CDatabaseTestServer::~CDatabaseTestServer()
{
    m_process.closeWriteChannel();
    if (!m_process.waitForFinished(20000))
        m_process.kill();
}

void CDatabaseTestServer::StopNow()
{
    m_process.write("stop\n");
    m_process.waitForBytesWritten(5000);
    QByteArray answer;
    while (!answer.contains("STOPPED") && m_process.waitForReadyRead(20000))
        answer += m_process.readAll();
}
