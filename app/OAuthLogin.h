#pragma once

#include <memory>
#include <string>

#include "app/OAuthProvider.h"
#include "app/OAuthTokens.h"
#include "mail/SmtpAccount.h"

// The keyring key of an OAuth 2.0 login's refresh token: apart from the passwords' keys, so
// that switching the login method never hands a password over as a token.
std::string RefreshTokenKey(const SSmtpAccount &account);

// Lets the account log in with access tokens fetched with the refresh token; the source is
// returned so that a refresh token the provider replaced during the run can be kept afterwards.
std::shared_ptr<CAccessTokenSource> UseOAuthLogin(
    SSmtpAccount &account, const SOAuthSettings &settings, const std::string &strRefreshToken);
