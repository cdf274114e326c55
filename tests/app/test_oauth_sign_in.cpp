// Signing in with OAuth 2.0 against the authorization server of the tests: in the browser (the
// test plays it, following the provider's redirect to the loopback listener) and with the device
// grant of the command line, with the presets' own paths and scopes.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include <QEventLoop>
#include <QFile>
#include <QTimer>
#include <QUrlQuery>

#include "app/OAuthBrowserSignIn.h"
#include "app/OAuthDeviceSignIn.h"
#include "app/OAuthTokens.h"
#include "support/CoreApplicationEnvironment.h"
#include "support/OAuthTestServer.h"

namespace {

using namespace std::chrono_literals;

const testing::Environment *const g_pApplication
    = testing::AddGlobalTestEnvironment(new CCoreApplicationEnvironment);

// Starts the sign-in, keeping the address the browser would have been sent to.
std::string Start(COAuthBrowserSignIn &signIn)
{
    std::string strUrl;
    std::string strError;
    EXPECT_TRUE(signIn.Start(
        [&](const QUrl &url) {
            strUrl = url.toString(QUrl::FullyEncoded).toStdString();
            return true;
        },
        strError))
        << strError;
    return strUrl;
}

// How a sign-in ended, watched from its start: a refused answer ends it while the browser's
// request is still being answered.
class CSignInEnd final
{
public:
    explicit CSignInEnd(COAuthBrowserSignIn &signIn)
    {
        QObject::connect(&signIn, &COAuthBrowserSignIn::Finished, &m_loop, [this](bool bOk) {
            m_result = bOk;
            m_loop.quit();
        });
    }
    // Waits (at most 20 s) for the end; whether it signed in.
    std::optional<bool> Wait()
    {
        if (!m_result) {
            QTimer::singleShot(20000, &m_loop, &QEventLoop::quit);
            m_loop.exec();
        }
        return m_result;
    }

private:
    QEventLoop m_loop;
    std::optional<bool> m_result;
};

std::string Parameter(const std::string &strUrl, const char *pName)
{
    return QUrlQuery(QUrl(QString::fromStdString(strUrl)))
        .queryItemValue(QString::fromLatin1(pName), QUrl::FullyDecoded)
        .toStdString();
}

// A preset's settings with its endpoints moved onto the test server: the same paths, tenant and
// scope, only the scheme, host and port changed.
SOAuthSettings PresetOn(const COAuthTestServer &server, SOAuthSettings preset)
{
    const SOAuthEndpoints endpoints = EndpointsOf(preset);
    const auto moved = [&](const std::string &strUrl) {
        if (strUrl.empty())
            return strUrl;
        QUrl url(QString::fromStdString(strUrl));
        const QUrl base(QString::fromStdString(server.Base()));
        url.setScheme(QStringLiteral("http"));
        url.setHost(base.host());
        url.setPort(base.port());
        return url.toString().toStdString();
    };
    SOAuthSettings settings;
    settings.eProvider = EOAuthProvider::Custom;
    settings.strClientId = "mergix-test";
    settings.strAuthorizationUrl = moved(endpoints.strAuthorization);
    settings.strTokenUrl = moved(endpoints.strToken);
    settings.strDeviceUrl = moved(endpoints.strDevice);
    settings.strScope = endpoints.strScope;
    return settings;
}

TEST(OAuthSignInTest, ABrowserSignInWithPkceAndStateEndsWithARefreshTokenThatWorks)
{
    COAuthTestServer server;
    ASSERT_FALSE(server.Base().empty());
    COAuthBrowserSignIn signIn(server.Settings(false), "club@example.com");
    CSignInEnd end(signIn);
    const std::string strUrl = Start(signIn);
    ASSERT_EQ(strUrl.rfind(server.Base() + "/authorize?", 0), 0u) << strUrl;
    EXPECT_EQ(Parameter(strUrl, "code_challenge_method"), "S256");
    EXPECT_EQ(Parameter(strUrl, "code_challenge").size(), 43u);
    EXPECT_GE(Parameter(strUrl, "state").size(), 32u);
    EXPECT_EQ(Parameter(strUrl, "login_hint"), "club@example.com");
    EXPECT_EQ(Parameter(strUrl, "scope"), "smtp offline_access");
    const std::string strRedirect = Parameter(strUrl, "redirect_uri");
    EXPECT_EQ(strRedirect.rfind("http://127.0.0.1:", 0), 0u) << strRedirect;
    EXPECT_EQ(strUrl.find("verifier"), std::string::npos);

    EXPECT_EQ(server.Browse(strUrl), 200);
    ASSERT_EQ(end.Wait(), true) << signIn.Error();
    ASSERT_FALSE(signIn.RefreshToken().empty());
    CAccessTokenSource source(
        COAuthTokenClient(server.Endpoints(), "mergix-test", ""), signIn.RefreshToken());
    std::string strError;
    EXPECT_FALSE(source.Token(strError).empty()) << strError;

    // The listener took its one answer and is gone.
    EXPECT_EQ(server.Request(strRedirect + "?code=x&state=y").first, 0);
}

TEST(OAuthSignInTest, AForgedStateADeclinedSignInAndAnUnknownClientSignNothingIn)
{
    COAuthTestServer server({QStringLiteral("--client-secret"), QStringLiteral("s3cret")});
    ASSERT_FALSE(server.Base().empty());
    SOAuthSettings settings = server.Settings(false);
    settings.strClientSecret = "s3cret";
    {
        COAuthBrowserSignIn signIn(settings, "");
        CSignInEnd end(signIn);
        EXPECT_EQ(server.Browse(Start(signIn), "forged"), 200);
        EXPECT_EQ(end.Wait(), false);
        EXPECT_NE(signIn.Error().find("does not belong to this sign-in"), std::string::npos)
            << signIn.Error();
        EXPECT_EQ(signIn.RefreshToken(), "");
    }
    {
        COAuthBrowserSignIn signIn(settings, "");
        CSignInEnd end(signIn);
        const std::string strUrl = Start(signIn);
        const std::string strBack = Parameter(strUrl, "redirect_uri")
            + "?error=access_denied&state=" + Parameter(strUrl, "state");
        EXPECT_EQ(server.Request(strBack).first, 200);
        EXPECT_EQ(end.Wait(), false);
        EXPECT_EQ(signIn.Error(), "The sign-in was declined in the browser.");
    }
    {
        // The browser part works; the token endpoint refuses the wrong secret, and says why.
        settings.strClientSecret = "wrong";
        COAuthBrowserSignIn signIn(settings, "");
        CSignInEnd end(signIn);
        EXPECT_EQ(server.Browse(Start(signIn)), 200);
        EXPECT_EQ(end.Wait(), false);
        EXPECT_NE(signIn.Error().find("does not know the client ID"), std::string::npos)
            << signIn.Error();
    }
    // Settings that cannot work stop before a browser is opened.
    for (const auto &[change, pReason] :
        {std::pair<std::function<void(SOAuthSettings &)>, const char *> {
             [](SOAuthSettings &s) { s.strClientId.clear(); }, "client ID"},
            {[](SOAuthSettings &s) { s.strTokenUrl = "http://login.example.org/token"; },
                "must use https"},
            {[](SOAuthSettings &s) { s.strScope.clear(); }, "scope"}}) {
        SOAuthSettings wrong = server.Settings(false);
        change(wrong);
        COAuthBrowserSignIn signIn(wrong, "");
        bool bOpened = false;
        std::string strError;
        EXPECT_FALSE(signIn.Start(
            [&](const QUrl &) {
                bOpened = true;
                return true;
            },
            strError));
        EXPECT_FALSE(bOpened);
        EXPECT_NE(strError.find(pReason), std::string::npos) << strError;
    }
}

TEST(OAuthSignInTest, TheDeviceSignInWaitsForTheUserAndEndsWhenDeclinedOrCancelled)
{
    COAuthTestServer server;
    ASSERT_FALSE(server.Base().empty());
    const auto answerLater = [&](const char *pAnswer) {
        return [&server, pAnswer](const SDeviceCode &code) {
            EXPECT_EQ(code.strVerificationUrl, server.Base() + "/device");
            std::thread([&server, pAnswer, strCode = code.strUserCode] {
                std::this_thread::sleep_for(300ms);
                server.Request(std::string("/") + pAnswer + "?user_code=" + strCode, true);
            }).detach();
        };
    };
    const std::atomic<bool> notCancelled {false};
    std::string strError;
    const auto grant
        = SignInOnDevice(server.Settings(), answerLater("approve"), notCancelled, strError);
    ASSERT_TRUE(grant) << strError;
    EXPECT_FALSE(grant->strRefreshToken.empty());

    EXPECT_FALSE(SignInOnDevice(server.Settings(), answerLater("deny"), notCancelled, strError));
    EXPECT_EQ(strError, "The sign-in was declined.");

    std::atomic<bool> cancelled {false};
    const auto cancel = [&](const SDeviceCode &) {
        std::thread([&] {
            std::this_thread::sleep_for(300ms);
            cancelled = true;
        }).detach();
    };
    EXPECT_FALSE(SignInOnDevice(server.Settings(), cancel, cancelled, strError));
    EXPECT_EQ(strError, "The sign-in was cancelled.");

    // Without a device endpoint there is no device sign-in to make.
    EXPECT_FALSE(SignInOnDevice(server.Settings(false), cancel, notCancelled, strError));
    EXPECT_NE(strError.find("No device authorization URL"), std::string::npos);
}

TEST(OAuthSignInTest, ThePresetsPathsTenantAndScopesWorkWhereverTheProviderIs)
{
    COAuthTestServer server;
    ASSERT_FALSE(server.Base().empty());
    SOAuthSettings microsoft;
    microsoft.strTenant = "contoso.onmicrosoft.com";
    const SOAuthSettings onServer = PresetOn(server, microsoft);
    EXPECT_NE(
        onServer.strTokenUrl.find("/contoso.onmicrosoft.com/oauth2/v2.0/token"), std::string::npos);
    EXPECT_NE(onServer.strScope.find("offline_access"), std::string::npos);
    {
        COAuthBrowserSignIn signIn(onServer, "club@contoso.com");
        CSignInEnd end(signIn);
        EXPECT_EQ(server.Browse(Start(signIn)), 200);
        EXPECT_EQ(end.Wait(), true) << signIn.Error();
    }
    const std::atomic<bool> notCancelled {false};
    std::string strError;
    const auto approve = [&server](const SDeviceCode &code) {
        std::thread([&server, strCode = code.strUserCode] {
            std::this_thread::sleep_for(200ms);
            server.Request("/approve?user_code=" + strCode, true);
        }).detach();
    };
    EXPECT_TRUE(SignInOnDevice(onServer, approve, notCancelled, strError)) << strError;

    // Google: its browser sign-in only (it grants the mail scope to no device sign-in).
    const SOAuthSettings google = PresetOn(server, {EOAuthProvider::Google});
    EXPECT_EQ(google.strDeviceUrl, "");
    EXPECT_EQ(google.strScope, "https://mail.google.com/");
    COAuthBrowserSignIn signIn(google, "club@gmail.com");
    CSignInEnd end(signIn);
    EXPECT_EQ(server.Browse(Start(signIn)), 200);
    EXPECT_EQ(end.Wait(), true) << signIn.Error();
}

} // namespace
