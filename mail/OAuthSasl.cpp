#include "mail/OAuthSasl.h"

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "engine/PrintableText.h"
#include "mail/MessageText.h"

std::string XOAuth2Response(const std::string &strUser, const std::string &strToken)
{
    return Base64("user=" + strUser + "\x01" + "auth=Bearer " + strToken + "\x01\x01");
}

std::string OAuthBearerResponse(const std::string &strUser, const std::string &strHost,
    const std::string &strPort, const std::string &strToken)
{
    // A comma or an equals sign in the authorization identity is escaped (RFC 5801).
    std::string strName;
    for (const char c : strUser)
        strName += c == ',' ? "=2C" : c == '=' ? "=3D" : std::string(1, c);
    return Base64("n,a=" + strName + ",\x01" + "host=" + strHost + "\x01" + "port=" + strPort
        + "\x01" + "auth=Bearer " + strToken + "\x01\x01");
}

std::string OAuthChallengeMeaning(const std::string &strChallenge)
{
    const QByteArray json = QByteArray::fromBase64(QByteArray::fromStdString(strChallenge));
    const QJsonObject error = QJsonDocument::fromJson(json).object();
    const std::string strStatus = error.value(QStringLiteral("status")).toString().toStdString();
    const std::string strScope = error.value(QStringLiteral("scope")).toString().toStdString();
    std::string strMeaning;
    if (strStatus == "401" || strStatus == "invalid_token")
        strMeaning = "the access token is not valid (expired or revoked)";
    else if (strStatus == "400")
        strMeaning = "the server did not understand the login";
    else if (strStatus == "403" || strStatus == "insufficient_scope")
        strMeaning = "the sign-in does not allow sending mail";
    else if (!strStatus.empty())
        strMeaning = "status " + PrintableText(strStatus);
    else
        strMeaning = "no reason given";
    if (!strScope.empty())
        strMeaning += "; it needs the scope " + PrintableText(strScope);
    return strMeaning;
}
