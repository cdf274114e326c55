#include "sources/sql/ServerAddress.h"

#include <QUrl>
#include <QUrlQuery>

#include "engine/PrintableText.h"

namespace {

constexpr std::pair<const char *, SServerAddress::EKind> kSchemes[] = {
    {"postgresql://", SServerAddress::EKind::PostgreSql},
    {"postgres://", SServerAddress::EKind::PostgreSql},
    {"mysql://", SServerAddress::EKind::MySql},
    {"mariadb://", SServerAddress::EKind::MySql},
    {"odbc:", SServerAddress::EKind::Odbc},
};

const char *const kSslModes[]
    = {"disable", "allow", "prefer", "require", "verify-ca", "verify-full"};

} // namespace

bool IsServerAddress(const std::string &strText)
{
    for (const auto &[pScheme, eKind] : kSchemes) {
        (void)eKind;
        if (strText.rfind(pScheme, 0) == 0)
            return true;
    }
    return false;
}

std::optional<SServerAddress> ParseServerAddress(const std::string &strText, std::string &strError)
{
    const std::string strShown = "\"" + PrintableText(strText) + "\"";
    SServerAddress address;
    for (const auto &[pScheme, eKind] : kSchemes) {
        if (strText.rfind(pScheme, 0) == 0) {
            address.eKind = eKind;
            break;
        }
    }
    if (!IsServerAddress(strText)) {
        strError = strShown + " is not the address of a database server.";
        return std::nullopt;
    }
    if (address.eKind == SServerAddress::EKind::Odbc) {
        address.strOdbc = strText.substr(5);
        if (address.strOdbc.empty()) {
            strError = strShown
                + " names no ODBC data source: write odbc:DSN or "
                  "odbc:DRIVER=...;SERVER=...";
            return std::nullopt;
        }
        if (address.strOdbc.find("PWD=") != std::string::npos
            || address.strOdbc.find("pwd=") != std::string::npos) {
            strError = "The ODBC address holds a password (PWD=). A password is never written "
                       "into a list's address: Mergix asks for it, or keeps it in the keyring.";
            return std::nullopt;
        }
        return address;
    }
    const QUrl url(QString::fromStdString(strText), QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty()) {
        strError = strShown + " is not a valid server address. Write "
            + (address.eKind == SServerAddress::EKind::PostgreSql
                    ? "postgresql://USER@HOST[:PORT]/DATABASE"
                    : "mysql://USER@HOST[:PORT]/DATABASE")
            + ".";
        return std::nullopt;
    }
    if (!url.password().isEmpty()) {
        strError = "The server address holds a password. A password is never written into a "
                   "list's address: Mergix asks for it, or keeps it in the keyring.";
        return std::nullopt;
    }
    address.strUser = url.userName(QUrl::FullyDecoded).toStdString();
    address.strHost = url.host(QUrl::FullyDecoded).toStdString();
    address.nPort = std::max(url.port(0), 0);
    address.strDatabase = url.path(QUrl::FullyDecoded).mid(1).toStdString();
    if (address.strUser.empty() || address.strDatabase.empty()) {
        strError = strShown + " needs a user and a database: USER@HOST[:PORT]/DATABASE.";
        return std::nullopt;
    }
    const QUrlQuery query(url);
    for (const auto &[strName, strValue] : query.queryItems(QUrl::FullyDecoded)) {
        const bool bKnownMode = std::any_of(std::begin(kSslModes), std::end(kSslModes),
            [&](const char *pMode) { return strValue == QLatin1String(pMode); });
        if (address.eKind == SServerAddress::EKind::PostgreSql
            && strName == QLatin1String("sslmode") && bKnownMode) {
            address.strSslMode = strValue.toStdString();
            continue;
        }
        strError = strShown + ": the option \"" + PrintableText(strName.toStdString()) + "="
            + PrintableText(strValue.toStdString()) + "\" is not known"
            + (address.eKind == SServerAddress::EKind::PostgreSql
                    ? " (sslmode may be disable, allow, prefer, require, verify-ca or verify-full)."
                    : ".");
        return std::nullopt;
    }
    return address;
}

std::string ServerAddressText(const SServerAddress &address)
{
    if (address.eKind == SServerAddress::EKind::Odbc)
        return "odbc:" + address.strOdbc;
    QUrl url;
    url.setScheme(QString::fromLatin1(
        address.eKind == SServerAddress::EKind::PostgreSql ? "postgresql" : "mysql"));
    url.setUserName(QString::fromStdString(address.strUser));
    url.setHost(QString::fromStdString(address.strHost));
    if (address.nPort > 0)
        url.setPort(address.nPort);
    url.setPath(u'/' + QString::fromStdString(address.strDatabase));
    if (!address.strSslMode.empty())
        url.setQuery(QStringLiteral("sslmode=") + QString::fromStdString(address.strSslMode));
    return url.toString(QUrl::FullyEncoded).toStdString();
}

const char *ServerKindName(SServerAddress::EKind eKind)
{
    switch (eKind) {
    case SServerAddress::EKind::PostgreSql:
        return "PostgreSQL server";
    case SServerAddress::EKind::MySql:
        return "MySQL or MariaDB server";
    case SServerAddress::EKind::Odbc:
        break;
    }
    return "ODBC source";
}

std::string ServerPasswordKey(const SServerAddress &address)
{
    if (address.eKind == SServerAddress::EKind::Odbc)
        return "odbc:" + address.strOdbc;
    return std::string(
               address.eKind == SServerAddress::EKind::PostgreSql ? "postgresql://" : "mysql://")
        + address.strUser + "@" + address.strHost + ":" + std::to_string(address.nPort) + "/"
        + address.strDatabase;
}
