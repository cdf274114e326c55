// The OAuth 2.0 token client against an authorization server of the tests
// (tests/mail/oauth_test_server.py): a first sign-in by code with PKCE, refreshes, expiry and
// revocation, and a send whose access tokens expire during the run.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QTemporaryDir>
#include <QUrlQuery>

#include "app/OAuthProvider.h"
#include "app/OAuthTokens.h"
#include "app/Pkce.h"
#include "engine/Data.h"
#include "mail/MergeRun.h"
#include "mail/RecordList.h"
#include "support/RecordingPrompter.h"
#include "support/ScriptedProgress.h"
#include "support/CoreApplicationEnvironment.h"
#include "support/OAuthTestServer.h"
#include "support/SmtpTestServer.h"
#include "support/TestCertificates.h"

namespace {

using namespace std::chrono_literals;

const testing::Environment *const g_pApplication
    = testing::AddGlobalTestEnvironment(new CCoreApplicationEnvironment);

// The code of a first sign-in, as the browser brings it back to the loopback address.
std::string SignInCode(const COAuthTestServer &server, const SPkce &pkce,
    const std::string &strState, const std::string &strRedirect)
{
    QUrlQuery query;
    for (const auto &[pName, strValue] :
        {std::pair<const char *, std::string> {"response_type", "code"},
            {"client_id", "mergix-test"}, {"redirect_uri", strRedirect},
            {"scope", "https://mail.google.com/"}, {"state", strState},
            {"code_challenge", pkce.strChallenge}, {"code_challenge_method", "S256"}})
        query.addQueryItem(QString::fromLatin1(pName), QString::fromStdString(strValue));
    const auto [nStatus, strLocation]
        = server.Request("/authorize?" + query.toString(QUrl::FullyEncoded).toStdString());
    EXPECT_EQ(nStatus, 302);
    const QUrlQuery back(QUrl(QString::fromStdString(strLocation)));
    EXPECT_EQ(back.queryItemValue(QStringLiteral("state")).toStdString(), strState);
    return back.queryItemValue(QStringLiteral("code")).toStdString();
}

TEST(OAuthTokensTest, AFirstSignInThenRefreshesUntilTheProviderRevokesIt)
{
    COAuthTestServer server;
    ASSERT_FALSE(server.Base().empty());
    const COAuthTokenClient client(server.Endpoints(), "mergix-test", "");
    const std::string strRedirect = "http://127.0.0.1:5555/";

    // PKCE: the code is worth nothing without the verifier it was asked with.
    const SPkce pkce = MakePkce();
    EXPECT_EQ(pkce.strVerifier.size(), 43u);
    EXPECT_EQ(PkceChallenge(pkce.strVerifier), pkce.strChallenge);
    const std::string strCode = SignInCode(server, pkce, RandomToken(16), strRedirect);
    std::string strError;
    EXPECT_FALSE(client.ExchangeCode(strCode, MakePkce().strVerifier, strRedirect, strError));
    EXPECT_NE(strError.find("The sign-in is no longer valid"), std::string::npos) << strError;
    const std::optional<STokenGrant> grant
        = client.ExchangeCode(strCode, pkce.strVerifier, strRedirect, strError);
    ASSERT_TRUE(grant) << strError;
    EXPECT_FALSE(grant->strAccessToken.empty());
    EXPECT_FALSE(grant->strRefreshToken.empty());

    // A token is kept while it lasts, and a new one fetched once it expires.
    CAccessTokenSource source(client, grant->strRefreshToken);
    const std::string strFirst = source.Token(strError);
    ASSERT_FALSE(strFirst.empty()) << strError;
    EXPECT_EQ(source.Token(strError), strFirst);

    // Revoked: a clear message, given again without asking the provider each time.
    EXPECT_EQ(server.Request("/revoke?all=1", true).first, 200);
    CAccessTokenSource revoked(client, grant->strRefreshToken);
    EXPECT_EQ(revoked.Token(strError), "");
    EXPECT_NE(strError.find("Sign in again"), std::string::npos) << strError;
    std::string strAgain;
    EXPECT_EQ(revoked.Token(strAgain), "");
    EXPECT_EQ(strAgain, strError);
}

TEST(OAuthTokensTest, EndpointsMustBeHttpsOrLoopbackAndThePresetsAreSo)
{
    EXPECT_EQ(CheckEndpoint("https://login.example.com/token"), "");
    EXPECT_EQ(CheckEndpoint("http://127.0.0.1:8080/token"), "");
    EXPECT_NE(
        CheckEndpoint("http://login.example.com/token").find("must use https"), std::string::npos);
    EXPECT_NE(CheckEndpoint("").find("missing"), std::string::npos);
    for (const EOAuthProvider eProvider : {EOAuthProvider::Microsoft, EOAuthProvider::Google}) {
        const SOAuthEndpoints endpoints = EndpointsOf({eProvider});
        for (const std::string &strUrl :
            {endpoints.strAuthorization, endpoints.strToken, endpoints.strDevice}) {
            if (!strUrl.empty() || eProvider == EOAuthProvider::Microsoft) {
                EXPECT_EQ(CheckEndpoint(strUrl), "") << strUrl;
            }
        }
        EXPECT_EQ(WithServerPreset(eProvider, {}).eSecurity, ESmtpSecurity::StartTls);
        EXPECT_EQ(ParseProvider(ProviderName(eProvider)), eProvider);
    }
    EXPECT_NE(
        EndpointsOf({EOAuthProvider::Microsoft, "contoso.com"}).strToken.find("/contoso.com/"),
        std::string::npos);
    EXPECT_EQ(WithServerPreset(EOAuthProvider::Google, {}).strServer, "smtp.gmail.com");

    // A plain http provider is refused before anything is posted.
    const COAuthTokenClient client({"", "http://login.example.com/token", "", ""}, "id", "");
    std::string strError;
    EXPECT_FALSE(client.Refresh("refresh", strError));
    EXPECT_NE(strError.find("must use https"), std::string::npos);
}

// Access tokens that last a second: a later connection logs in with a fresh one, and all arrive.
TEST(OAuthTokensTest, AnExpiredAccessTokenIsRefreshedBeforeTheNextConnection)
{
    COAuthTestServer oauth({QStringLiteral("--access-lifetime"), QStringLiteral("1")});
    ASSERT_FALSE(oauth.Base().empty());
    const COAuthTokenClient client(oauth.Endpoints(), "mergix-test", "");
    const SPkce pkce = MakePkce();
    std::string strError;
    const auto grant = client.ExchangeCode(SignInCode(oauth, pkce, "s", "http://127.0.0.1:1/"),
        pkce.strVerifier, "http://127.0.0.1:1/", strError);
    ASSERT_TRUE(grant) << strError;

    QTemporaryDir certificates;
    CTestCertificates pairs(certificates.path().toStdString());
    const auto pSmtp = CSmtpTestServer::WithOptions({"--tls", pairs.Good().strCertificate,
        pairs.Good().strKey, "--mode", "starttls", "--oauth-tokens", oauth.TokensFile()});
    ASSERT_EQ(pSmtp->Error(), "");

    CRecordingPrompter prompter;
    CRecordList list;
    list.SetColumns({"Email"});
    for (int i = 0; i < 6; ++i)
        list.AddRecord({"member" + std::to_string(i) + "@example.org"});
    list.SelectAll();
    CMergeRun::SInput input;
    input.pList = &list;
    input.fields = {{"Email"}, {dbText}};
    input.strToField = "Email";
    input.strTemplate = "Hello";
    input.strFrom = "Club <club@example.com>";
    input.strReplyTo = "r@example.com";
    input.strSubject = "News";
    input.bInteractive = false;
    input.serverName = [strServer = pSmtp->Server()] {
        return strServer;
    };
    input.account.eSecurity = ESmtpSecurity::StartTls;
    input.account.strExtraCaFile = pairs.CaFile();
    input.account.strUser = "club@example.com";
    auto pSource = std::make_shared<CAccessTokenSource>(client, grant->strRefreshToken);
    input.account.accessToken = [pSource](std::string &strWhy) {
        return pSource->Token(strWhy);
    };
    CScriptedProgress progress;
    CMergeRun run;
    EXPECT_EQ(run.Run(input, progress), CMergeRun::EOutcome::Completed) << run.StopReason();
    // The token of that run has expired at the provider by now: the next connection logs in
    // with a new one.
    std::this_thread::sleep_for(1500ms);
    EXPECT_EQ(run.Run(input, progress), CMergeRun::EOutcome::Completed) << run.StopReason();
    EXPECT_EQ(pSmtp->Messages().size(), 12u);
    EXPECT_GE(pSmtp->Connections(), 2);
}

} // namespace
