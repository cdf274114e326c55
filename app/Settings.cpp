#include "app/Settings.h"

#include <algorithm>

#include <QSettings>
#include <QString>
#include <QStringList>

namespace {

QString Q(const std::string &strText)
{
    return QString::fromStdString(strText);
}

QString GroupOf(const std::string &strName)
{
    return QString::fromLatin1(CSettings::kSavedSearches) + u'/' + Q(strName);
}

} // namespace

std::string CSettings::Text(const char *pKey) const
{
    return m_settings.value(QString::fromLatin1(pKey)).toString().toStdString();
}

void CSettings::SetText(const char *pKey, const std::string &strValue)
{
    m_settings.setValue(QString::fromLatin1(pKey), Q(strValue));
}

std::optional<SOAuthSettings> CSettings::OAuth() const
{
    if (Text(kSmtpLogin) != kOAuthLogin)
        return std::nullopt;
    return OAuthRegistration();
}

SOAuthSettings CSettings::OAuthRegistration() const
{
    SOAuthSettings oauth;
    oauth.eProvider = ParseProvider(Text(kOAuthProvider));
    if (m_settings.contains(QString::fromLatin1(kOAuthTenant)))
        oauth.strTenant = Text(kOAuthTenant);
    oauth.strClientId = Text(kOAuthClientId);
    oauth.strClientSecret = Text(kOAuthClientSecret);
    oauth.strAuthorizationUrl = Text(kOAuthAuthorizationUrl);
    oauth.strTokenUrl = Text(kOAuthTokenUrl);
    oauth.strDeviceUrl = Text(kOAuthDeviceUrl);
    oauth.strScope = Text(kOAuthScope);
    return oauth;
}

void CSettings::SetOAuth(const std::optional<SOAuthSettings> &oauth)
{
    if (!oauth) {
        // A password login is the one that needs no key; the app registration stays, for a
        // user who switches back.
        m_settings.remove(QString::fromLatin1(kSmtpLogin));
        return;
    }
    SetText(kSmtpLogin, kOAuthLogin);
    SetText(kOAuthProvider, ProviderName(oauth->eProvider));
    SetText(kOAuthTenant, oauth->strTenant);
    SetText(kOAuthClientId, oauth->strClientId);
    SetText(kOAuthClientSecret, oauth->strClientSecret);
    SetText(kOAuthAuthorizationUrl, oauth->strAuthorizationUrl);
    SetText(kOAuthTokenUrl, oauth->strTokenUrl);
    SetText(kOAuthDeviceUrl, oauth->strDeviceUrl);
    SetText(kOAuthScope, oauth->strScope);
}

std::string CSettings::SmtpServerName() const
{
    return m_settings.value(QString::fromLatin1(kSmtpServerName)).toString().toStdString();
}

void CSettings::SetSmtpServerName(const std::string &strName)
{
    m_settings.setValue(QString::fromLatin1(kSmtpServerName), Q(strName));
}

SSmtpAccount CSettings::SmtpAccount() const
{
    SSmtpAccount account;
    account.strServer = SmtpServerName();
    account.eSecurity = ParseSecurity(Text(kSmtpSecurity)).value_or(ESmtpSecurity::None);
    bool bNumber = false;
    account.nPort = m_settings.value(QString::fromLatin1(kSmtpPort), 0).toInt(&bNumber);
    if (!bNumber)
        account.nPort = -1; // reported by CheckSmtpAccount, never silently changed
    account.strUser = Text(kSmtpUserName);
    account.strExtraCaFile = Text(kSmtpExtraCaFile);
    return account;
}

SDkimSettings CSettings::Dkim() const
{
    return {Text(kDkimDomain), Text(kDkimSelector), Text(kDkimKeyFile)};
}

void CSettings::SetDkim(const SDkimSettings &dkim)
{
    m_settings.setValue(QString::fromLatin1(kDkimDomain), Q(dkim.strDomain));
    m_settings.setValue(QString::fromLatin1(kDkimSelector), Q(dkim.strSelector));
    m_settings.setValue(QString::fromLatin1(kDkimKeyFile), Q(dkim.strKeyFile));
}

SUnsubscribeSettings CSettings::Unsubscribe() const
{
    return {Text(kUnsubscribeMailto), Text(kUnsubscribeUrl)};
}

void CSettings::SetUnsubscribe(const SUnsubscribeSettings &unsubscribe)
{
    m_settings.setValue(QString::fromLatin1(kUnsubscribeMailto), Q(unsubscribe.strMailto));
    m_settings.setValue(QString::fromLatin1(kUnsubscribeUrl), Q(unsubscribe.strUrl));
}

void CSettings::SetSmtpAccount(const SSmtpAccount &account)
{
    SetSmtpServerName(account.strServer);
    m_settings.setValue(
        QString::fromLatin1(kSmtpSecurity), QString::fromLatin1(SecurityName(account.eSecurity)));
    m_settings.setValue(QString::fromLatin1(kSmtpPort), account.nPort);
    m_settings.setValue(QString::fromLatin1(kSmtpUserName), Q(account.strUser));
}

int CSettings::RatePerMinute() const
{
    return std::max(m_settings.value(QString::fromLatin1(kRatePerMinute), 0).toInt(), 0);
}

void CSettings::SetRatePerMinute(int nRate)
{
    m_settings.setValue(QString::fromLatin1(kRatePerMinute), std::max(nRate, 0));
}

int CSettings::DontRemind() const
{
    return m_settings.value(QString::fromLatin1(kDontRemind), 0).toInt();
}

void CSettings::SetDontRemind(int nValue)
{
    m_settings.setValue(QString::fromLatin1(kDontRemind), nValue);
}

std::vector<std::string> CSettings::RecentFiles() const
{
    std::vector<std::string> paths;
    for (int i = 1; i <= kRecentFiles; ++i) {
        const QString key
            = QString::fromLatin1(kRecentFileList) + QStringLiteral("/File") + QString::number(i);
        const std::string strPath = m_settings.value(key).toString().toStdString();
        if (!strPath.empty())
            paths.push_back(strPath);
    }
    return paths;
}

void CSettings::SetRecentFiles(const std::vector<std::string> &paths)
{
    m_settings.remove(QString::fromLatin1(kRecentFileList));
    for (size_t i = 0; i < paths.size() && i < size_t(kRecentFiles); ++i)
        m_settings.setValue(
            QString::fromLatin1(kRecentFileList) + QStringLiteral("/File") + QString::number(i + 1),
            Q(paths[i]));
}

std::vector<std::string> CSettings::SavedRuleSets() const
{
    m_settings.beginGroup(QString::fromLatin1(kSavedSearches));
    const QStringList groups = m_settings.childGroups();
    m_settings.endGroup();
    std::vector<std::string> names;
    for (const QString &strGroup : groups)
        names.push_back(strGroup.toStdString());
    std::sort(names.begin(), names.end());
    return names;
}

bool CSettings::HasRuleSet(const std::string &strName) const
{
    const std::vector<std::string> names = SavedRuleSets();
    return CheckRuleSetName(strName).empty()
        && std::find(names.begin(), names.end(), strName) != names.end();
}

CRuleSet CSettings::LoadRuleSet(const std::string &strName) const
{
    CRuleSet rules;
    if (!CheckRuleSetName(strName).empty())
        return rules;
    m_settings.beginGroup(GroupOf(strName));
    const auto number = [this](const char *pKey) {
        return m_settings.value(QString::fromLatin1(pKey), 0).toInt();
    };
    const auto text = [this](const char *pKey) {
        return m_settings.value(QString::fromLatin1(pKey)).toString().toStdString();
    };
    rules.CaseSensitive = number("CaseSensitive");
    rules.FirstField = text("FirstField");
    rules.FirstCondition = text("FirstCondition");
    rules.FirstText = text("FirstText");
    rules.SecondEnable = number("SecondEnable");
    rules.SecondField = text("SecondField");
    rules.SecondCondition = text("SecondCondition");
    rules.SecondText = text("SecondText");
    rules.SecondBoolean = number("SecondBoolean");
    rules.ThirdEnable = number("ThirdEnable");
    rules.ThirdField = text("ThirdField");
    rules.ThirdCondition = text("ThirdCondition");
    rules.ThirdText = text("ThirdText");
    rules.ThirdBoolean = number("ThirdBoolean");
    m_settings.endGroup();
    return rules;
}

std::string CSettings::SaveRuleSet(const std::string &strName, const CRuleSet &rules)
{
    if (std::string strProblem = CheckRuleSetName(strName); !strProblem.empty())
        return strProblem;
    m_settings.beginGroup(GroupOf(strName));
    const auto put = [this](const char *pKey, const QVariant &value) {
        m_settings.setValue(QString::fromLatin1(pKey), value);
    };
    put("CaseSensitive", rules.CaseSensitive);
    put("FirstField", Q(rules.FirstField));
    put("FirstCondition", Q(rules.FirstCondition));
    put("FirstText", Q(rules.FirstText));
    put("SecondEnable", rules.SecondEnable);
    put("SecondField", Q(rules.SecondField));
    put("SecondCondition", Q(rules.SecondCondition));
    put("SecondText", Q(rules.SecondText));
    put("SecondBoolean", rules.SecondBoolean);
    put("ThirdEnable", rules.ThirdEnable);
    put("ThirdField", Q(rules.ThirdField));
    put("ThirdCondition", Q(rules.ThirdCondition));
    put("ThirdText", Q(rules.ThirdText));
    put("ThirdBoolean", rules.ThirdBoolean);
    m_settings.endGroup();
    m_settings.sync();
    return {};
}

void CSettings::DeleteRuleSet(const std::string &strName)
{
    if (CheckRuleSetName(strName).empty())
        m_settings.remove(GroupOf(strName));
}

std::string CSettings::CheckRuleSetName(const std::string &strName)
{
    if (strName.empty())
        return "Please choose a name for the saved settings";
    if (strName.find_first_of("/\\") != std::string::npos || strName.size() > 255)
        return "The settings cannot be saved as \"" + strName
            + "\": a name may not hold \"/\" or \"\\\" and may have at most 255 characters.";
    return {};
}
