#pragma once

#include <string>
#include <utility>

#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

#include "app/OAuthProvider.h"

// The authorization server of the tests (tests/mail/oauth_test_server.py) on 127.0.0.1;
// stopped with the object. Needs a QCoreApplication.
class COAuthTestServer final
{
public:
    explicit COAuthTestServer(const QStringList &options = {});
    ~COAuthTestServer();

    // "http://127.0.0.1:PORT", or empty when the server did not start.
    const std::string &Base() const { return m_strBase; }
    // The access tokens valid now, for the SMTP test server's --oauth-tokens.
    std::string TokensFile() const;
    // Its endpoints, asking for Google's scope.
    SOAuthEndpoints Endpoints() const;
    // Custom settings of its endpoints, for client "mergix-test".
    SOAuthSettings Settings(bool bWithDevice = true) const;
    // A request the test makes as the browser or the user would, redirects not followed; the
    // answer's status and Location header.
    std::pair<int, std::string> Request(const std::string &strPathOrUrl, bool bPost = false) const;
    // Plays the browser: opens the URL and follows the provider's redirect to the loopback
    // address, with the state changed when one is given; the status of the last answer.
    int Browse(const std::string &strUrl, const std::string &strOtherState = {}) const;

private:
    QTemporaryDir m_folder;
    QProcess m_process;
    std::string m_strBase;
};
