#include "mail/SmtpAccount.h"

#include <QString>

#include "engine/PrintableText.h"
#include "mail/MessageText.h"

const char *SecurityName(ESmtpSecurity eSecurity)
{
    switch (eSecurity) {
    case ESmtpSecurity::StartTls:
        return "STARTTLS";
    case ESmtpSecurity::Tls:
        return "TLS";
    case ESmtpSecurity::None:
        break;
    }
    return "None";
}

std::optional<ESmtpSecurity> ParseSecurity(const std::string &strName)
{
    for (const ESmtpSecurity eSecurity :
        {ESmtpSecurity::None, ESmtpSecurity::StartTls, ESmtpSecurity::Tls}) {
        if (QString::fromStdString(strName).compare(
                QLatin1String(SecurityName(eSecurity)), Qt::CaseInsensitive)
            == 0)
            return eSecurity;
    }
    return std::nullopt;
}

int DefaultPort(ESmtpSecurity eSecurity)
{
    switch (eSecurity) {
    case ESmtpSecurity::StartTls:
        return 587;
    case ESmtpSecurity::Tls:
        return 465;
    case ESmtpSecurity::None:
        break;
    }
    return 25;
}

namespace {

std::string DefaultPortOf(const SSmtpAccount &account)
{
    return std::to_string(account.nPort > 0 ? account.nPort : DefaultPort(account.eSecurity));
}

} // namespace

bool ResolveEndpoint(const SSmtpAccount &account, std::string &strHost, std::string &strPort)
{
    return account.nPort >= 0 && account.nPort <= 65535
        && ParseServerName(account.strServer, strHost, strPort, DefaultPortOf(account)).empty();
}

std::string Endpoint(const SSmtpAccount &account)
{
    std::string strHost;
    std::string strPort;
    if (!ResolveEndpoint(account, strHost, strPort))
        return account.strServer;
    if (strHost.find(':') != std::string::npos)
        return "[" + strHost + "]:" + strPort;
    return strHost + ":" + strPort;
}

std::string CheckSmtpAccount(const SSmtpAccount &account)
{
    if (std::string strProblem = CheckServerName(account.strServer); !strProblem.empty())
        return strProblem;
    if (account.nPort < 0 || account.nPort > 65535)
        return "The SMTP port " + std::to_string(account.nPort)
            + " is not valid: a port is a number from 1 to 65535.";
    if (std::string strProblem = CheckLoginSecurity(account); !strProblem.empty())
        return strProblem;
    if (HasLineBreakOrNul(account.strUser))
        return "The SMTP user name cannot hold a line break or a zero byte.";
    return {};
}

std::string CheckLoginSecurity(const SSmtpAccount &account)
{
    if (account.strUser.empty() || account.eSecurity != ESmtpSecurity::None)
        return {};
    return "A user name is set for the SMTP server, but its connection is not encrypted, so the "
           "password would travel in plain text. Choose STARTTLS or TLS as the connection "
           "security, or remove the user name.";
}

std::string PasswordKey(const SSmtpAccount &account)
{
    return account.strUser + "@" + Endpoint(account);
}
