#pragma once

#include <functional>
#include <memory>
#include <string>

#include <QObject>
#include <QTimer>
#include <QUrl>

#include "app/OAuthProvider.h"
#include "app/Pkce.h"

class QOAuth2AuthorizationCodeFlow;
class QOAuthHttpServerReplyHandler;

// A sign-in in the user's web browser (RFC 8252): the provider's page is opened with PKCE and a
// random state, and its answer comes back to a listener on 127.0.0.1 with a port the system
// picks, which takes that one answer and closes. The code is then exchanged for the tokens.
// Ends with Finished(); RefreshToken() or Error() then say how.
class COAuthBrowserSignIn final : public QObject
{
    Q_OBJECT

public:
    // Opens the authorization address in a browser; false when none could be started.
    using OpenBrowser = std::function<bool(const QUrl &url)>;

    // The login hint (the user's address) spares choosing the account where the browser knows
    // several.
    COAuthBrowserSignIn(
        SOAuthSettings settings, std::string strLoginHint, QObject *pParent = nullptr);
    ~COAuthBrowserSignIn() override;

    // Starts listening and opens the browser; false, with the reason, when it cannot start.
    bool Start(const OpenBrowser &openBrowser, std::string &strError);
    // Stops waiting; Finished() is not emitted.
    void Cancel();

    // The address the browser was sent to, for a user whose browser did not open.
    QUrl AuthorizationUrl() const { return m_authorizationUrl; }
    std::string RefreshToken() const { return m_strRefreshToken; }
    std::string Error() const { return m_strError; }

    // How long the answer is waited for.
    std::chrono::milliseconds m_timeout {std::chrono::minutes(10)};

    // What the browser shows once the answer has arrived.
    static constexpr const char *kPageText
        = "Mergix has the answer of your sign-in. You may close this page and go back to Mergix.";

signals:
    void Finished(bool bSignedIn);

private:
    void OnCallback(const QVariantMap &values);
    void OnTokenReply(const QByteArray &body, const std::string &strNetworkError);
    void Fail(const std::string &strError);
    void Stop();

    SOAuthSettings m_settings;
    std::string m_strLoginHint;
    SPkce m_pkce;
    QOAuth2AuthorizationCodeFlow *m_pFlow = nullptr;
    QOAuthHttpServerReplyHandler *m_pHandler = nullptr;
    QTimer m_deadline;
    QUrl m_authorizationUrl;
    std::string m_strRefreshToken;
    std::string m_strError;
    bool m_bDone = false;
};
