#include "app/OAuthLogin.h"

std::string RefreshTokenKey(const SSmtpAccount &account)
{
    return "OAuth 2.0 " + PasswordKey(account);
}

std::shared_ptr<CAccessTokenSource> UseOAuthLogin(
    SSmtpAccount &account, const SOAuthSettings &settings, const std::string &strRefreshToken)
{
    auto pSource = std::make_shared<CAccessTokenSource>(
        COAuthTokenClient(EndpointsOf(settings), settings.strClientId, settings.strClientSecret),
        strRefreshToken);
    account.strPassword.clear();
    account.accessToken = [pSource](std::string &strError) {
        return pSource->Token(strError);
    };
    return pSource;
}
