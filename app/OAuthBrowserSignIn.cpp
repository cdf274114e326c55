#include "app/OAuthBrowserSignIn.h"

#include <QHostAddress>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkReply>
#include <QOAuth2AuthorizationCodeFlow>
#include <QOAuthHttpServerReplyHandler>

#include "app/OAuthTokens.h"
#include "engine/PrintableText.h"

namespace {

// Qt's flow (6.4) drops a refused or failed token request with a log line only; this handler
// shows the answer to the sign-in first, which then reports the reason to the user.
class CLoopbackReplyHandler final : public QOAuthHttpServerReplyHandler
{
public:
    using QOAuthHttpServerReplyHandler::QOAuthHttpServerReplyHandler;

    // Gets the body of the token endpoint's answer and the network error, if any; false stops
    // the flow.
    std::function<bool(const QByteArray &body, const std::string &strNetworkError)> onTokenReply;

    void networkReplyFinished(QNetworkReply *pReply) override
    {
        const QByteArray body = pReply->peek(pReply->bytesAvailable());
        const std::string strNetworkError = pReply->error() == QNetworkReply::NoError
            ? std::string()
            : pReply->errorString().toStdString();
        if (onTokenReply && !onTokenReply(body, strNetworkError))
            return;
        QOAuthHttpServerReplyHandler::networkReplyFinished(pReply);
    }
};

QString Decoded(const QVariant &value)
{
    return QUrl::fromPercentEncoding(value.toByteArray());
}

} // namespace

COAuthBrowserSignIn::COAuthBrowserSignIn(
    SOAuthSettings settings, std::string strLoginHint, QObject *pParent)
    : QObject(pParent), m_settings(std::move(settings)), m_strLoginHint(std::move(strLoginHint))
{
    m_deadline.setSingleShot(true);
    connect(&m_deadline, &QTimer::timeout, this, [this] {
        Fail("No answer came from the browser in "
            + std::to_string(std::chrono::duration_cast<std::chrono::minutes>(m_timeout).count())
            + " minutes, so the sign-in was given up. Please sign in again.");
    });
}

COAuthBrowserSignIn::~COAuthBrowserSignIn() = default;

bool COAuthBrowserSignIn::Start(const OpenBrowser &openBrowser, std::string &strError)
{
    if (std::string strProblem = CheckOAuthSettings(m_settings); !strProblem.empty()) {
        strError = strProblem;
        return false;
    }
    const SOAuthEndpoints endpoints = EndpointsOf(m_settings);
    auto *pHandler = new CLoopbackReplyHandler(QHostAddress(QHostAddress::LocalHost), 0, this);
    m_pHandler = pHandler;
    if (!pHandler->isListening()) {
        strError = "Mergix could not listen on 127.0.0.1 for the browser's answer, so the "
                   "sign-in cannot be made in the browser.";
        return false;
    }
    pHandler->setCallbackText(QString::fromLatin1(kPageText));
    pHandler->onTokenReply = [this](const QByteArray &body, const std::string &strNetworkError) {
        OnTokenReply(body, strNetworkError);
        return !m_bDone;
    };

    m_pFlow = new QOAuth2AuthorizationCodeFlow(this);
    m_pFlow->setAuthorizationUrl(QUrl(QString::fromStdString(endpoints.strAuthorization)));
    m_pFlow->setAccessTokenUrl(QUrl(QString::fromStdString(endpoints.strToken)));
    m_pFlow->setClientIdentifier(QString::fromStdString(m_settings.strClientId));
    if (!m_settings.strClientSecret.empty())
        m_pFlow->setClientIdentifierSharedKey(QString::fromStdString(m_settings.strClientSecret));
    m_pFlow->setScope(QString::fromStdString(endpoints.strScope));
    m_pFlow->setState(QString::fromStdString(RandomToken(24)));
    m_pFlow->setReplyHandler(pHandler);
    m_pkce = MakePkce();
    // Qt 6.4 has no PKCE of its own: the challenge goes with the authorization, the verifier
    // with the code.
    m_pFlow->setModifyParametersFunction([this](QAbstractOAuth::Stage eStage,
                                             QMultiMap<QString, QVariant> *pParameters) {
        if (eStage == QAbstractOAuth::Stage::RequestingAuthorization) {
            pParameters->insert(
                QStringLiteral("code_challenge"), QString::fromStdString(m_pkce.strChallenge));
            pParameters->insert(QStringLiteral("code_challenge_method"), QStringLiteral("S256"));
            if (!m_strLoginHint.empty())
                pParameters->insert(
                    QStringLiteral("login_hint"), QString::fromStdString(m_strLoginHint));
        } else if (eStage == QAbstractOAuth::Stage::RequestingAccessToken) {
            pParameters->insert(
                QStringLiteral("code_verifier"), QString::fromStdString(m_pkce.strVerifier));
        }
    });
    // Before the flow's own handling, which ignores a wrong state without a word.
    connect(pHandler, &QAbstractOAuthReplyHandler::callbackReceived, this,
        &COAuthBrowserSignIn::OnCallback);
    connect(m_pFlow, &QAbstractOAuth::granted, this, [this] {
        if (m_bDone)
            return;
        m_strRefreshToken = m_pFlow->refreshToken().toStdString();
        if (m_strRefreshToken.empty()) {
            Fail("The provider signed you in but gave no refresh token, so the sign-in would "
                 "last an hour only. The scope must allow offline access (offline_access).");
            return;
        }
        Stop();
        emit Finished(true);
    });
    bool bOpened = true;
    // Emitted within grant(): the connection, which holds this call's locals, ends with it.
    const QMetaObject::Connection opening
        = connect(m_pFlow, &QAbstractOAuth::authorizeWithBrowser, this, [&, this](const QUrl &url) {
              m_authorizationUrl = url;
              bOpened = openBrowser(url);
          });
    m_pFlow->grant();
    disconnect(opening);
    if (!bOpened) {
        strError = "No web browser could be opened. Open this address in one to sign in:\n"
            + m_authorizationUrl.toString(QUrl::FullyEncoded).toStdString();
        Stop();
        return false;
    }
    m_deadline.start(m_timeout);
    return true;
}

void COAuthBrowserSignIn::OnCallback(const QVariantMap &values)
{
    // One answer only: the listener closes once this one has been answered.
    QMetaObject::invokeMethod(
        m_pHandler, &QOAuthHttpServerReplyHandler::close, Qt::QueuedConnection);
    const QString strError = Decoded(values.value(QStringLiteral("error")));
    if (!strError.isEmpty()) {
        Fail(strError == QStringLiteral("access_denied")
                ? "The sign-in was declined in the browser."
                : OAuthErrorMeaning(strError.toStdString(),
                    Decoded(values.value(QStringLiteral("error_description"))).toStdString()));
        return;
    }
    if (Decoded(values.value(QStringLiteral("state"))) != m_pFlow->state()) {
        Fail("The answer that came to Mergix does not belong to this sign-in (its state differs), "
             "so it was not used. Please sign in again.");
        return;
    }
    if (Decoded(values.value(QStringLiteral("code"))).isEmpty())
        Fail("The browser's answer carried no authorization code. Please sign in again.");
}

void COAuthBrowserSignIn::OnTokenReply(const QByteArray &body, const std::string &strNetworkError)
{
    const QJsonObject json = QJsonDocument::fromJson(body).object();
    if (const QString strCode = json.value(QStringLiteral("error")).toString();
        !strCode.isEmpty()) {
        Fail(OAuthErrorMeaning(strCode.toStdString(),
            json.value(QStringLiteral("error_description")).toString().toStdString()));
    } else if (!strNetworkError.empty()) {
        Fail("The sign-in provider could not be reached: " + PrintableText(strNetworkError) + ".");
    } else if (json.value(QStringLiteral("access_token")).toString().isEmpty()) {
        Fail("The sign-in provider answered without an access token.");
    }
}

void COAuthBrowserSignIn::Fail(const std::string &strError)
{
    if (m_bDone)
        return;
    m_strError = strError;
    Stop();
    emit Finished(false);
}

void COAuthBrowserSignIn::Stop()
{
    m_bDone = true;
    m_deadline.stop();
    if (m_pHandler)
        QMetaObject::invokeMethod(
            m_pHandler, &QOAuthHttpServerReplyHandler::close, Qt::QueuedConnection);
}

void COAuthBrowserSignIn::Cancel()
{
    Stop();
}
