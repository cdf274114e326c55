#pragma once

#include <functional>
#include <optional>
#include <string>

#include <QDialog>

#include "app/OAuthProvider.h"
#include "mail/DkimSigner.h"
#include "mail/SmtpAccount.h"
#include "mail/Unsubscribe.h"

namespace Ui {
class CMailOptionsDlg;
}

// "Mail Options": the SMTP server, how the connection is secured, its port and the login (a
// password, or an OAuth 2.0 sign-in with a provider and the organisation's app registration); the
// DKIM signing key and the unsubscribe address and link every message carries.
// Opened from the Mail menu, where the server may be left empty, and by Send Mail when none is
// stored, where one is required before OK closes. The password typed here is handed to the
// caller, which keeps it in the keyring; the dialog never shows a stored one.
class CMailOptionsDlg final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CMailOptionsDlg)

public:
    CMailOptionsDlg(QWidget *pParent, bool bServerRequired);
    ~CMailOptionsDlg() override;

    void SetServerName(const std::string &strName);
    std::string ServerName() const;
    // Everything but the password (the extra authority file passes through unchanged).
    void SetAccount(const SSmtpAccount &account);
    SSmtpAccount Account() const;
    // What was typed in the password box; empty keeps the stored one.
    std::string Password() const;
    void SetRatePerMinute(int nRate);
    // Empty settings when Sign with DKIM is off.
    void SetDkim(const SDkimSettings &dkim);
    SDkimSettings Dkim() const;
    void SetUnsubscribe(const SUnsubscribeSettings &unsubscribe);
    SUnsubscribeSettings Unsubscribe() const;
    int RatePerMinute() const;
    // The login method: nothing for a password login. The registration is shown either way, so
    // that switching to OAuth 2.0 finds it again.
    void SetOAuth(const std::optional<SOAuthSettings> &oauth, const SOAuthSettings &registration);
    std::optional<SOAuthSettings> OAuth() const;

    // Signs in for the account with the settings (in the browser) and keeps the sign-in; the
    // status to show, or nothing when it did not come about (the reason has been shown).
    using SignIn = std::function<std::optional<std::string>(
        const SSmtpAccount &account, const SOAuthSettings &oauth)>;
    void SetSignIn(SignIn signIn, const std::string &strStatus);

    void accept() override;

signals:
    // Help (or F1): the guide's topic on logins and signing in.
    void HelpRequested(const QString &strTopic);

private slots:
    void BrowseKeyFile();
    void ShowDnsRecord();
    void ShowLoginFields();
    void ChooseProvider();
    void StartSignIn();

private:
    SOAuthSettings OAuthFields() const;
    // The first problem of an OAuth 2.0 login as set, with the field to put it right in.
    std::pair<std::string, QWidget *> OAuthProblem() const;
    void FitFormToScreen();

    // What the DKIM fields say, whether signing is on or not.
    SDkimSettings DkimFields() const;

    struct SServerFields
    {
        std::string strName;
        int nSecurity;
        int nPort;
        bool operator==(const SServerFields &) const = default;
    };

    Ui::CMailOptionsDlg *m_pUi;
    bool m_bServerRequired;
    std::string m_strExtraCaFile;
    SignIn m_signIn;
    // The server as the user had it before a provider's preset replaced it, and as the preset
    // left it.
    SSmtpAccount m_ownServer;
    std::optional<SServerFields> m_presetServer;
};
