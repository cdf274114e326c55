#include "ui/OAuthSignInPrompt.h"

#include <QDesktopServices>
#include <QLabel>
#include <QProgressDialog>

#include "app/OAuthBrowserSignIn.h"
#include "app/OAuthLogin.h"
#include "app/PasswordKeeper.h"
#include "engine/PrintableText.h"
#include "engine/Prompter.h"

std::optional<std::string> SignInWithBrowser(QWidget *pParent, const SSmtpAccount &account,
    const SOAuthSettings &oauth, CPasswordKeeper &keeper)
{
    COAuthBrowserSignIn signIn(oauth, account.strUser);
    std::string strError;
    if (!signIn.Start([](const QUrl &url) { return QDesktopServices::openUrl(url); }, strError)) {
        ShowMessage(strError);
        return std::nullopt;
    }
    QProgressDialog wait(pParent);
    wait.setWindowTitle(QStringLiteral("Sign In"));
    wait.setObjectName(QStringLiteral("signInWaitDlg"));
    auto *pLabel = new QLabel(&wait);
    pLabel->setWordWrap(true);
    pLabel->setTextFormat(Qt::RichText);
    pLabel->setTextInteractionFlags(Qt::TextBrowserInteraction);
    pLabel->setOpenExternalLinks(true);
    pLabel->setText(
        QStringLiteral("Sign in to %1 in your web browser; Mergix waits for it "
                       "here.<br><br>If no browser opened, open <a href=\"%2\">the "
                       "sign-in page</a> yourself.")
            .arg(QString::fromLatin1(ProviderName(oauth.eProvider)).toHtmlEscaped(),
                signIn.AuthorizationUrl().toString(QUrl::FullyEncoded).toHtmlEscaped()));
    wait.setLabel(pLabel);
    wait.setRange(0, 0); // no steps to count: a busy bar
    wait.setMinimumDuration(0);
    wait.setAutoClose(false);
    wait.setAutoReset(false);
    wait.setMinimumWidth(420);
    bool bSignedIn = false;
    QObject::connect(&signIn, &COAuthBrowserSignIn::Finished, &wait, [&](bool bOk) {
        bSignedIn = bOk;
        wait.done(bOk ? QDialog::Accepted : QDialog::Rejected);
    });
    wait.exec();
    if (!bSignedIn) {
        signIn.Cancel();
        if (!signIn.Error().empty())
            ShowMessage(signIn.Error());
        return std::nullopt;
    }
    const std::string strSignedIn = "Signed in as " + PrintableText(account.strUser);
    if (keeper.Store(RefreshTokenKey(account), signIn.RefreshToken())
        == CPasswordKeeper::EPlace::Keyring)
        return strSignedIn + "; kept in the keyring";
    ShowMessage("No keyring service is running on this desktop, so the sign-in is kept only "
                "until Mergix closes.",
        CPrompter::EIcon::Information);
    return strSignedIn + " until Mergix closes";
}

std::string SignInStatus(const SSmtpAccount &account, CPasswordKeeper &keeper)
{
    if (!account.LogsIn())
        return "Not signed in";
    return keeper.Read(RefreshTokenKey(account)) ? "Signed in as " + PrintableText(account.strUser)
                                                 : std::string("Not signed in");
}
