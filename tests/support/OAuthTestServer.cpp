#include "support/OAuthTestServer.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QUrlQuery>

COAuthTestServer::COAuthTestServer(const QStringList &options)
{
    m_process.start(QStringLiteral("/usr/bin/python3"),
        QStringList {QStringLiteral(MERGIX_TESTS_DIR "/mail/oauth_test_server.py"), m_folder.path(),
            QStringLiteral("120")}
            + options);
    if (m_process.waitForReadyRead(15000)) {
        const QString strLine = QString::fromUtf8(m_process.readLine()).trimmed();
        if (strLine.startsWith(u"PORT "))
            m_strBase = "http://127.0.0.1:" + strLine.mid(5).toStdString();
    }
}

COAuthTestServer::~COAuthTestServer()
{
    m_process.closeWriteChannel();
    if (!m_process.waitForFinished(5000))
        m_process.kill();
}

std::string COAuthTestServer::TokensFile() const
{
    return m_folder.filePath(QStringLiteral("tokens")).toStdString();
}

SOAuthEndpoints COAuthTestServer::Endpoints() const
{
    return {m_strBase + "/authorize", m_strBase + "/token", m_strBase + "/devicecode",
        "https://mail.google.com/"};
}

SOAuthSettings COAuthTestServer::Settings(bool bWithDevice) const
{
    SOAuthSettings settings;
    settings.eProvider = EOAuthProvider::Custom;
    settings.strClientId = "mergix-test";
    settings.strAuthorizationUrl = m_strBase + "/authorize";
    settings.strTokenUrl = m_strBase + "/token";
    settings.strDeviceUrl = bWithDevice ? m_strBase + "/devicecode" : std::string();
    settings.strScope = "smtp offline_access";
    return settings;
}

std::pair<int, std::string> COAuthTestServer::Request(
    const std::string &strPathOrUrl, bool bPost) const
{
    const std::string strUrl
        = strPathOrUrl.rfind("http", 0) == 0 ? strPathOrUrl : m_strBase + strPathOrUrl;
    QNetworkAccessManager manager;
    QNetworkRequest request(QUrl(QString::fromStdString(strUrl)));
    request.setAttribute(
        QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    request.setHeader(
        QNetworkRequest::ContentTypeHeader, QStringLiteral("application/x-www-form-urlencoded"));
    QNetworkReply *pReply = bPost ? manager.post(request, QByteArray()) : manager.get(request);
    QEventLoop loop;
    QObject::connect(pReply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    loop.exec();
    const int nStatus = pReply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const std::string strLocation = pReply->rawHeader("Location").toStdString();
    delete pReply;
    return {nStatus, strLocation};
}

int COAuthTestServer::Browse(const std::string &strUrl, const std::string &strOtherState) const
{
    const auto [nStatus, strLocation] = Request(strUrl);
    if (nStatus != 302)
        return nStatus;
    QUrl back(QString::fromStdString(strLocation));
    if (!strOtherState.empty()) {
        QUrlQuery query(back);
        query.removeQueryItem(QStringLiteral("state"));
        query.addQueryItem(QStringLiteral("state"), QString::fromStdString(strOtherState));
        back.setQuery(query);
    }
    return Request(back.toString(QUrl::FullyEncoded).toStdString()).first;
}
