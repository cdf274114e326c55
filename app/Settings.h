#pragma once

#include <optional>
#include <string>
#include <vector>

#include "app/OAuthProvider.h"
#include "engine/RuleSet.h"
#include "mail/DkimSigner.h"
#include "mail/SmtpAccount.h"
#include "mail/Unsubscribe.h"

class QSettings;

// The per-user settings, each value named once here: the SMTP server, the "don't remind me"
// flag of the test merge and the saved rule sets (group "Saved Searches", one subgroup a set).
// The QSettings comes from outside, so tests keep theirs in a folder of their own.
class CSettings final
{
public:
    explicit CSettings(QSettings &settings) : m_settings(settings) { }

    static constexpr const char *kSmtpServerName = "SMTPServerName";
    static constexpr const char *kSmtpSecurity = "SMTPSecurity";
    static constexpr const char *kSmtpPort = "SMTPPort";
    static constexpr const char *kSmtpUserName = "SMTPUserName";
    static constexpr const char *kSmtpExtraCaFile = "SMTPTrustedCAFile";
    static constexpr const char *kSmtpLogin = "SMTPLogin"; // "Password" or "OAuth 2.0"
    static constexpr const char *kOAuthProvider = "OAuthProvider";
    static constexpr const char *kOAuthTenant = "OAuthTenant";
    static constexpr const char *kOAuthClientId = "OAuthClientID";
    static constexpr const char *kOAuthClientSecret = "OAuthClientSecret";
    static constexpr const char *kOAuthAuthorizationUrl = "OAuthAuthorizationURL";
    static constexpr const char *kOAuthTokenUrl = "OAuthTokenURL";
    static constexpr const char *kOAuthDeviceUrl = "OAuthDeviceURL";
    static constexpr const char *kOAuthScope = "OAuthScope";
    static constexpr const char *kOAuthLogin = "OAuth 2.0";
    static constexpr const char *kRatePerMinute = "SendRatePerMinute";
    static constexpr const char *kDontRemind = "DontRemind";
    static constexpr const char *kDkimDomain = "DKIMDomain";
    static constexpr const char *kDkimSelector = "DKIMSelector";
    static constexpr const char *kDkimKeyFile = "DKIMKeyFile";
    static constexpr const char *kUnsubscribeMailto = "UnsubscribeMailto";
    static constexpr const char *kUnsubscribeUrl = "UnsubscribeURL";
    static constexpr const char *kSavedSearches = "Saved Searches";
    static constexpr const char *kRecentFileList = "Recent File List";
    static constexpr int kRecentFiles = 4;

    std::string SmtpServerName() const;
    void SetSmtpServerName(const std::string &strName);
    // The server with its security, port, user name and extra trusted authority; never a
    // password, which lives in the keyring. An unknown security name reads as None.
    SSmtpAccount SmtpAccount() const;
    // Writes the server name, security, port and user name (the authority file is set by
    // hand in the settings file, for a company's own authority).
    void SetSmtpAccount(const SSmtpAccount &account);
    // The provider and app registration of an OAuth 2.0 login; nothing for a password login.
    // The tokens live in the keyring, never here.
    std::optional<SOAuthSettings> OAuth() const;
    void SetOAuth(const std::optional<SOAuthSettings> &oauth);
    // The stored provider and app registration, whichever login is chosen.
    SOAuthSettings OAuthRegistration() const;
    // At most this many messages a minute; 0 for no limit.
    int RatePerMinute() const;
    void SetRatePerMinute(int nRate);
    // Signing and unsubscribing; all empty when unused.
    SDkimSettings Dkim() const;
    void SetDkim(const SDkimSettings &dkim);
    SUnsubscribeSettings Unsubscribe() const;
    void SetUnsubscribe(const SUnsubscribeSettings &unsubscribe);
    int DontRemind() const;
    void SetDontRemind(int nValue);

    // The recently opened or saved merges, newest first, at most kRecentFiles ("File1"...).
    std::vector<std::string> RecentFiles() const;
    void SetRecentFiles(const std::vector<std::string> &paths);

    // The names of the saved rule sets, sorted.
    std::vector<std::string> SavedRuleSets() const;
    // A saved set; missing values read as 0 or empty.
    CRuleSet LoadRuleSet(const std::string &strName) const;
    bool HasRuleSet(const std::string &strName) const;
    // Writes all fourteen values, replacing a set of that name. A name the store cannot take as
    // one key is refused: the message says why; empty on success.
    std::string SaveRuleSet(const std::string &strName, const CRuleSet &rules);
    void DeleteRuleSet(const std::string &strName);

    // Empty when the name can be a saved set's name, else the reason it cannot.
    static std::string CheckRuleSetName(const std::string &strName);

private:
    std::string Text(const char *pKey) const;
    void SetText(const char *pKey, const std::string &strValue);

    QSettings &m_settings;
};
