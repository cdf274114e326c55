#include "support/SmtpTestServer.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

CSmtpTestServer::CSmtpTestServer(const std::string &strRejectPattern,
    const std::string &strSlowPattern, const std::vector<std::string> &options)
    : m_pFolder(std::make_unique<QTemporaryDir>()), m_pProcess(std::make_unique<QProcess>())
{
    const QString strScript = QStringLiteral(MERGIX_TESTS_DIR "/mail/smtp_test_server.py");
    m_pProcess->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QStringList arguments {strScript, m_pFolder->path(), QStringLiteral("300"),
        QString::fromStdString(strRejectPattern), QString::fromStdString(strSlowPattern)};
    for (const std::string &strOption : options)
        arguments << QString::fromStdString(strOption);
    m_pProcess->start(QStringLiteral("/usr/bin/python3"), arguments);
    if (!m_pProcess->waitForStarted(10000)) {
        m_strError = "cannot start /usr/bin/python3: " + m_pProcess->errorString().toStdString();
        return;
    }
    while (!m_pProcess->canReadLine()) {
        if (!m_pProcess->waitForReadyRead(15000)) {
            m_strError = "the SMTP test server did not report its port";
            return;
        }
    }
    const QByteArray line = m_pProcess->readLine().trimmed();
    if (!line.startsWith("PORT ")) {
        m_strError = "unexpected first line from the SMTP test server: " + line.toStdString();
        return;
    }
    m_strServer = "127.0.0.1:" + line.mid(5).toStdString();
}

CSmtpTestServer::~CSmtpTestServer()
{
    if (m_pProcess->state() != QProcess::NotRunning) {
        m_pProcess->closeWriteChannel(); // the server stops when its input closes
        if (!m_pProcess->waitForFinished(5000)) {
            m_pProcess->kill();
            m_pProcess->waitForFinished(5000);
        }
    }
}

std::vector<QJsonObject> CSmtpTestServer::Messages() const
{
    std::vector<QJsonObject> messages;
    const QDir folder(m_pFolder->path());
    for (const QString &strName :
        folder.entryList({QStringLiteral("*.json")}, QDir::Files, QDir::Name)) {
        QFile file(folder.filePath(strName));
        if (file.open(QIODevice::ReadOnly))
            messages.push_back(QJsonDocument::fromJson(file.readAll()).object());
    }
    return messages;
}

std::unique_ptr<CSmtpTestServer> CSmtpTestServer::WithOptions(
    const std::vector<std::string> &options)
{
    return std::make_unique<CSmtpTestServer>("^reject", "^slow", options);
}

int CSmtpTestServer::Count(const QString &strName) const
{
    QFile file(QDir(m_pFolder->path()).filePath(strName));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    return file.readAll().trimmed().toInt();
}

int CSmtpTestServer::Connections() const
{
    return Count(QStringLiteral("connections"));
}

int CSmtpTestServer::Limited() const
{
    return Count(QStringLiteral("limited"));
}

void CSmtpTestServer::Kill()
{
    m_pProcess->kill();
    m_pProcess->waitForFinished(5000);
}
