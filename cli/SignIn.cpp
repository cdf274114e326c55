#include "cli/SignIn.h"

#include <cstdio>

#include <QCoreApplication>
#include <QEventLoop>
#include <QSettings>
#include <QTimer>

#include "app/OAuthBrowserSignIn.h"
#include "app/OAuthDeviceSignIn.h"
#include "app/OAuthLogin.h"
#include "app/PasswordKeeper.h"
#include "app/SecretHold.h"
#include "app/Settings.h"
#include "cli/ConsolePrompter.h"
#include "engine/PrintableText.h"

namespace {

// The stored login with what the options change.
void Apply(const SSignInOptions &options, SSmtpAccount &account, SOAuthSettings &oauth)
{
    if (options.provider) {
        oauth.eProvider = *options.provider;
        account = WithServerPreset(oauth.eProvider, account);
    }
    if (options.user)
        account.strUser = *options.user;
    const std::pair<const std::optional<std::string> &, std::string &> texts[]
        = {{options.tenant, oauth.strTenant}, {options.clientId, oauth.strClientId},
            {options.clientSecret, oauth.strClientSecret},
            {options.authorizationUrl, oauth.strAuthorizationUrl},
            {options.tokenUrl, oauth.strTokenUrl}, {options.deviceUrl, oauth.strDeviceUrl},
            {options.scope, oauth.strScope}};
    for (const auto &[value, strField] : texts) {
        if (value)
            strField = *value;
    }
}

// The sign-in in a browser on this computer, for a provider without a device sign-in: the
// address is printed, and the answer taken on 127.0.0.1.
std::optional<std::string> SignInWithBrowser(const SOAuthSettings &oauth,
    const std::string &strUser, const std::atomic<bool> &interrupted, std::string &strError)
{
    COAuthBrowserSignIn signIn(oauth, strUser);
    const auto print = [](const QUrl &url) {
        CConsolePrompter::Print("To sign in, open this address in a web browser on this "
                                "computer:\n  "
            + url.toString(QUrl::FullyEncoded).toStdString()
            + "\nWaiting for the sign-in (Ctrl+C stops)...");
        return true;
    };
    if (!signIn.Start(print, strError))
        return std::nullopt;
    QEventLoop loop;
    bool bSignedIn = false;
    QObject::connect(&signIn, &COAuthBrowserSignIn::Finished, &loop, [&](bool bOk) {
        bSignedIn = bOk;
        loop.quit();
    });
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, &loop, [&] {
        if (interrupted)
            loop.quit();
    });
    watch.start(100);
    loop.exec();
    if (bSignedIn)
        return signIn.RefreshToken();
    signIn.Cancel();
    strError = interrupted ? std::string("The sign-in was cancelled.") : signIn.Error();
    return std::nullopt;
}

} // namespace

int RunSignIn(const SSignInOptions &options, const std::atomic<bool> &interrupted)
{
    QSettings store(QSettings::NativeFormat, QSettings::UserScope,
        QStringLiteral("Corvane Software"), QStringLiteral("Mergix"));
    CSettings settings(store);
    SSmtpAccount account = settings.SmtpAccount();
    SOAuthSettings oauth = settings.OAuthRegistration();
    Apply(options, account, oauth);
    if (account.strUser.empty()) {
        CConsolePrompter::Print("The sign-in needs the user name of the mailbox (its address): "
                                "give --user ADDRESS, or set it in the program's Mail Options.");
        return 2;
    }
    if (std::string strProblem = CheckOAuthSettings(oauth); !strProblem.empty()) {
        CConsolePrompter::Print(strProblem
            + " Give it with the options of --sign-in (see "
              "mergix --help), or set it in Mail Options.");
        return 2;
    }
    KeepSecretsOutOfCoreDumps();
    std::string strError;
    std::optional<std::string> refreshToken;
    if (!EndpointsOf(oauth).strDevice.empty()) {
        const auto tell = [](const SDeviceCode &code) {
            CConsolePrompter::Print("To sign in, open " + PrintableText(code.strVerificationUrl)
                + " in a web browser on any device and enter the code "
                + PrintableText(code.strUserCode) + ".\nWaiting for the sign-in (Ctrl+C stops)...");
        };
        if (auto grant = SignInOnDevice(oauth, tell, interrupted, strError))
            refreshToken = grant->strRefreshToken;
    } else {
        refreshToken = SignInWithBrowser(oauth, account.strUser, interrupted, strError);
    }
    if (!refreshToken || refreshToken->empty()) {
        CConsolePrompter::Print(strError.empty()
                ? std::string("The provider gave no refresh token, so the sign-in cannot be kept.")
                : strError);
        return interrupted ? 1 : 2;
    }
    // The login is stored only once the sign-in worked, so a failed one changes nothing.
    settings.SetSmtpAccount(account);
    settings.SetOAuth(oauth);
    CPasswordKeeper keeper;
    const std::string strSignedIn = "Signed in as " + PrintableText(account.strUser) + " with "
        + ProviderName(oauth.eProvider) + ".";
    if (keeper.Store(RefreshTokenKey(account), *refreshToken) == CPasswordKeeper::EPlace::Keyring) {
        CConsolePrompter::Print(strSignedIn + " The sign-in is kept in the keyring.");
        return 0;
    }
    CConsolePrompter::Print(strSignedIn
        + " No keyring service answered, so the sign-in could not be kept: the line on standard "
          "output is its refresh token. Keep it as safely as a password, and give it to mergix "
          "--send in the environment variable MERGIX_SMTP_OAUTH_REFRESH_TOKEN.");
    std::fputs((*refreshToken + "\n").c_str(), stdout);
    return std::fflush(stdout) == 0 ? 0 : 2;
}
