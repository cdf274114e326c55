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
#include "support/SmtpTestServer.h"
#include "support/TestCertificates.h"

namespace {

using namespace std::chrono_literals;

// Qt Network needs an application object; the command line's tests run without one.
class CApplicationEnvironment final : public testing::Environment
{
public:
    void SetUp() override { m_pApp = std::make_unique<QCoreApplication>(m_nArgc, m_argv); }
    void TearDown() override { m_pApp.reset(); }

private:
    int m_nArgc = 1;
    char m_name[16] = "test_oauth";
    char *m_argv[2] = {m_name, nullptr};
    std::unique_ptr<QCoreApplication> m_pApp;
};
const testing::Environment *const g_pApplication
    = testing::AddGlobalTestEnvironment(new CApplicationEnvironment);

// The authorization server of the tests, on 127.0.0.1; stopped with the test.
class COAuthTestServer final
{
public:
    explicit COAuthTestServer(const QStringList &options = {})
    {
        m_process.start(QStringLiteral("/usr/bin/python3"),
            QStringList {QStringLiteral(MERGIX_TESTS_DIR "/mail/oauth_test_server.py"),
                m_folder.path(), QStringLiteral("120")}
                + options);
        if (m_process.waitForReadyRead(15000)) {
            const QString strLine = QString::fromUtf8(m_process.readLine()).trimmed();
            if (strLine.startsWith(u"PORT "))
                m_strBase = "http://127.0.0.1:" + strLine.mid(5).toStdString();
        }
    }
    ~COAuthTestServer()
    {
        m_process.closeWriteChannel();
        if (!m_process.waitForFinished(5000))
            m_process.kill();
    }

    const std::string &Base() const { return m_strBase; }
    std::string TokensFile() const
    {
        return m_folder.filePath(QStringLiteral("tokens")).toStdString();
    }
    SOAuthEndpoints Endpoints() const
    {
        return {m_strBase + "/authorize", m_strBase + "/token", m_strBase + "/devicecode",
            "https://mail.google.com/"};
    }
    // A request the test makes as the browser or the user would; the answer's status and
    // Location header.
    std::pair<int, std::string> Request(const std::string &strPath, bool bPost = false) const
    {
        QNetworkAccessManager manager;
        QNetworkRequest request(QUrl(QString::fromStdString(m_strBase + strPath)));
        request.setAttribute(
            QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
        request.setHeader(QNetworkRequest::ContentTypeHeader,
            QStringLiteral("application/x-www-form-urlencoded"));
        QNetworkReply *pReply = bPost ? manager.post(request, QByteArray()) : manager.get(request);
        QEventLoop loop;
        QObject::connect(pReply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
        loop.exec();
        const int nStatus = pReply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        const std::string strLocation = pReply->rawHeader("Location").toStdString();
        delete pReply;
        return {nStatus, strLocation};
    }

private:
    QTemporaryDir m_folder;
    QProcess m_process;
    std::string m_strBase;
};

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
