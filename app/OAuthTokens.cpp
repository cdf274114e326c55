#include "app/OAuthTokens.h"

#include <QEventLoop>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <QUrl>
#include <QUrlQuery>

#include "engine/PrintableText.h"

namespace {

constexpr std::chrono::seconds kRefreshAhead {60};

} // namespace

std::string OAuthErrorMeaning(const std::string &strCode, const std::string &strDescription)
{
    if (strCode == "invalid_grant")
        return "The sign-in is no longer valid (it was revoked, expired or its password changed"
            + (strDescription.empty() ? std::string() : ": " + PrintableText(strDescription))
            + "). Sign in again in Mail Options, or with mergix --sign-in.";
    if (strCode == "invalid_client" || strCode == "unauthorized_client")
        return "The provider does not know the client ID (or secret) set in Mail Options"
            + (strDescription.empty() ? std::string() : ": " + PrintableText(strDescription)) + ".";
    return "The provider refused the sign-in: " + PrintableText(strCode)
        + (strDescription.empty() ? std::string() : " (" + PrintableText(strDescription) + ")")
        + ".";
}

COAuthTokenClient::COAuthTokenClient(
    SOAuthEndpoints endpoints, std::string strClientId, std::string strClientSecret)
    : m_endpoints(std::move(endpoints))
    , m_strClientId(std::move(strClientId))
    , m_strClientSecret(std::move(strClientSecret))
{ }

std::optional<std::map<std::string, std::string>> COAuthTokenClient::PostForm(
    const std::string &strUrl, std::map<std::string, std::string> form, std::string &strError,
    std::string *pErrorCode) const
{
    if (std::string strProblem = CheckEndpoint(strUrl); !strProblem.empty()) {
        strError = strProblem;
        return std::nullopt;
    }
    QUrlQuery query;
    for (const auto &[strName, strValue] : form)
        query.addQueryItem(QString::fromStdString(strName),
            QString::fromUtf8(QUrl::toPercentEncoding(QString::fromStdString(strValue))));
    QNetworkRequest request(QUrl(QString::fromStdString(strUrl)));
    request.setHeader(
        QNetworkRequest::ContentTypeHeader, QStringLiteral("application/x-www-form-urlencoded"));
    request.setRawHeader("Accept", "application/json");
    request.setTransferTimeout(static_cast<int>(m_timeout.count()));
    // A manager and a loop of this thread's own: delivery threads ask for tokens too.
    QNetworkAccessManager manager;
    QEventLoop loop;
    QNetworkReply *pReply = manager.post(request, query.toString(QUrl::FullyEncoded).toUtf8());
    QObject::connect(pReply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    loop.exec();
    const QByteArray body = pReply->readAll();
    const QNetworkReply::NetworkError eNetwork = pReply->error();
    const QString strNetwork = pReply->errorString();
    const int nStatus = pReply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    pReply->deleteLater();
    const QJsonObject json = QJsonDocument::fromJson(body).object();
    std::map<std::string, std::string> answer;
    for (auto it = json.begin(); it != json.end(); ++it)
        answer[it.key().toStdString()] = it.value().isDouble()
            ? std::to_string(static_cast<long long>(it.value().toDouble()))
            : it.value().toString().toStdString();
    if (answer.count("error")) {
        if (pErrorCode)
            *pErrorCode = answer["error"];
        strError = OAuthErrorMeaning(answer["error"], answer["error_description"]);
        return std::nullopt;
    }
    if (eNetwork != QNetworkReply::NoError || nStatus != 200 || json.isEmpty()) {
        strError = "The sign-in provider could not be reached at \"" + PrintableText(strUrl)
            + "\": " + PrintableText(strNetwork.toStdString()) + ".";
        return std::nullopt;
    }
    return answer;
}

std::optional<STokenGrant> COAuthTokenClient::Grant(std::map<std::string, std::string> form,
    const std::string &strRefreshToken, std::string &strError, std::string *pErrorCode) const
{
    form["client_id"] = m_strClientId;
    if (!m_strClientSecret.empty())
        form["client_secret"] = m_strClientSecret;
    const auto answer = PostForm(m_endpoints.strToken, std::move(form), strError, pErrorCode);
    if (!answer)
        return std::nullopt;
    const auto value = [&](const char *pName) {
        const auto found = answer->find(pName);
        return found == answer->end() ? std::string() : found->second;
    };
    STokenGrant grant {value("access_token"), value("refresh_token"), std::chrono::seconds(3600)};
    if (grant.strAccessToken.empty()) {
        strError = "The sign-in provider answered without an access token.";
        return std::nullopt;
    }
    if (grant.strRefreshToken.empty())
        grant.strRefreshToken = strRefreshToken; // kept when the provider hands out no new one
    if (const std::string strLifetime = value("expires_in"); !strLifetime.empty())
        grant.lifetime = std::chrono::seconds(std::strtoll(strLifetime.c_str(), nullptr, 10));
    return grant;
}

std::optional<STokenGrant> COAuthTokenClient::Refresh(
    const std::string &strRefreshToken, std::string &strError, std::string *pErrorCode) const
{
    return Grant({{"grant_type", "refresh_token"}, {"refresh_token", strRefreshToken}},
        strRefreshToken, strError, pErrorCode);
}

std::optional<STokenGrant> COAuthTokenClient::ExchangeCode(const std::string &strCode,
    const std::string &strVerifier, const std::string &strRedirectUri, std::string &strError) const
{
    return Grant({{"grant_type", "authorization_code"}, {"code", strCode},
                     {"code_verifier", strVerifier}, {"redirect_uri", strRedirectUri}},
        {}, strError);
}

std::optional<STokenGrant> COAuthTokenClient::PollDevice(
    const std::string &strDeviceCode, std::string &strError, std::string *pErrorCode) const
{
    return Grant({{"grant_type", "urn:ietf:params:oauth:grant-type:device_code"},
                     {"device_code", strDeviceCode}},
        {}, strError, pErrorCode);
}

std::optional<std::map<std::string, std::string>> COAuthTokenClient::RequestDeviceCode(
    std::string &strError, std::string *pErrorCode) const
{
    std::map<std::string, std::string> form {
        {"client_id", m_strClientId}, {"scope", m_endpoints.strScope}};
    if (!m_strClientSecret.empty())
        form["client_secret"] = m_strClientSecret;
    return PostForm(m_endpoints.strDevice, std::move(form), strError, pErrorCode);
}

CAccessTokenSource::CAccessTokenSource(COAuthTokenClient client, std::string strRefreshToken)
    : m_client(std::move(client)), m_strRefreshToken(std::move(strRefreshToken))
{ }

std::string CAccessTokenSource::Token(std::string &strError)
{
    std::lock_guard lock(m_lock);
    if (!m_strRefusal.empty()) {
        strError = m_strRefusal;
        return {};
    }
    if (!m_strAccessToken.empty() && Clock::now() + kRefreshAhead < m_expiry)
        return m_strAccessToken;
    std::string strErrorCode;
    const std::optional<STokenGrant> grant
        = m_client.Refresh(m_strRefreshToken, strError, &strErrorCode);
    if (!grant) {
        if (strErrorCode == "invalid_grant") // revoked: asking again will not help
            m_strRefusal = strError;
        return {};
    }
    m_strAccessToken = grant->strAccessToken;
    m_strRefreshToken = grant->strRefreshToken;
    m_expiry = Clock::now() + grant->lifetime;
    return m_strAccessToken;
}

std::string CAccessTokenSource::RefreshToken() const
{
    std::lock_guard lock(m_lock);
    return m_strRefreshToken;
}
