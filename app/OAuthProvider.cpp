#include "app/OAuthProvider.h"

#include <QHostAddress>
#include <QUrl>

#include "engine/PrintableText.h"

SOAuthEndpoints EndpointsOf(const SOAuthSettings &settings)
{
    switch (settings.eProvider) {
    case EOAuthProvider::Microsoft: {
        const std::string strBase = "https://login.microsoftonline.com/"
            + (settings.strTenant.empty() ? std::string("common") : settings.strTenant)
            + "/oauth2/v2.0/";
        return {strBase + "authorize", strBase + "token", strBase + "devicecode",
            "https://outlook.office.com/SMTP.Send offline_access"};
    }
    case EOAuthProvider::Google:
        // No device sign-in: Google grants the mail scope to none.
        return {"https://accounts.google.com/o/oauth2/v2/auth",
            "https://oauth2.googleapis.com/token", "", "https://mail.google.com/"};
    case EOAuthProvider::Custom:
        break;
    }
    return {settings.strAuthorizationUrl, settings.strTokenUrl, settings.strDeviceUrl,
        settings.strScope};
}

SSmtpAccount WithServerPreset(EOAuthProvider eProvider, SSmtpAccount account)
{
    if (eProvider == EOAuthProvider::Custom)
        return account;
    account.strServer
        = eProvider == EOAuthProvider::Microsoft ? "smtp.office365.com" : "smtp.gmail.com";
    account.eSecurity = ESmtpSecurity::StartTls;
    account.nPort = 587;
    return account;
}

std::string CheckEndpoint(const std::string &strUrl)
{
    const QUrl url(QString::fromStdString(strUrl), QUrl::StrictMode);
    const std::string strShown = "\"" + PrintableText(strUrl) + "\"";
    if (strUrl.empty())
        return "An OAuth 2.0 endpoint is missing.";
    if (!url.isValid() || url.host().isEmpty())
        return "The OAuth 2.0 endpoint " + strShown + " is not a web address.";
    if (url.scheme() == QStringLiteral("https"))
        return {};
    if (url.scheme() == QStringLiteral("http") && QHostAddress(url.host()).isLoopback())
        return {};
    return "The OAuth 2.0 endpoint " + strShown
        + " must use https: tokens must never travel unencrypted.";
}

std::string CheckOAuthSettings(const SOAuthSettings &settings)
{
    if (settings.strClientId.empty())
        return "Please enter the client ID of your organisation's app registration with "
            + std::string(ProviderName(settings.eProvider))
            + " (the Help button of Mail Options tells how to register one).";
    const SOAuthEndpoints endpoints = EndpointsOf(settings);
    for (const std::string &strUrl : {endpoints.strAuthorization, endpoints.strToken}) {
        if (std::string strProblem = CheckEndpoint(strUrl); !strProblem.empty())
            return strProblem;
    }
    if (!endpoints.strDevice.empty()) {
        if (std::string strProblem = CheckEndpoint(endpoints.strDevice); !strProblem.empty())
            return strProblem;
    }
    if (endpoints.strScope.empty())
        return "Please enter the scope to ask the provider for: the permission to send mail "
               "through SMTP, and offline access.";
    return {};
}

const char *ProviderName(EOAuthProvider eProvider)
{
    switch (eProvider) {
    case EOAuthProvider::Microsoft:
        return "Microsoft 365";
    case EOAuthProvider::Google:
        return "Google";
    case EOAuthProvider::Custom:
        break;
    }
    return "Custom";
}

EOAuthProvider ParseProvider(const std::string &strName)
{
    for (const EOAuthProvider eProvider :
        {EOAuthProvider::Microsoft, EOAuthProvider::Google, EOAuthProvider::Custom}) {
        if (strName == ProviderName(eProvider))
            return eProvider;
    }
    return EOAuthProvider::Microsoft;
}
