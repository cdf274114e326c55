#pragma once

#include <chrono>
#include <map>
#include <mutex>
#include <optional>
#include <string>

#include "app/OAuthProvider.h"

// A provider's error code (RFC 6749, 5.2) and its description in words for the user.
std::string OAuthErrorMeaning(const std::string &strCode, const std::string &strDescription);

// What a token endpoint grants: an access token for the next logins, how long it lasts, and
// the refresh token to ask for the next one with (some providers hand out a new one each time).
struct STokenGrant
{
    std::string strAccessToken;
    std::string strRefreshToken;
    std::chrono::seconds lifetime {3600};
};

// Talks to a provider's token endpoint (RFC 6749): a form posted over https, JSON back. Each
// call blocks its thread for at most the timeout, running an event loop of its own, so that the
// delivery threads of a run can use it.
class COAuthTokenClient final
{
public:
    COAuthTokenClient(
        SOAuthEndpoints endpoints, std::string strClientId, std::string strClientSecret);

    // A new access token from a refresh token; nothing, with the reason in words, when the
    // provider refuses (a revoked sign-in asks the user to sign in again) or cannot be reached.
    // pErrorCode receives the provider's error code ("invalid_grant" for a revoked sign-in).
    std::optional<STokenGrant> Refresh(const std::string &strRefreshToken, std::string &strError,
        std::string *pErrorCode = nullptr) const;
    // The tokens for an authorization code, with the PKCE verifier it was asked for with.
    std::optional<STokenGrant> ExchangeCode(const std::string &strCode,
        const std::string &strVerifier, const std::string &strRedirectUri,
        std::string &strError) const;

    // The tokens of a device sign-in (RFC 8628) once the user has approved it; pErrorCode says
    // "authorization_pending" or "slow_down" while the provider is still waiting.
    std::optional<STokenGrant> PollDevice(
        const std::string &strDeviceCode, std::string &strError, std::string *pErrorCode) const;
    // Asks the device authorization endpoint for a user code; its answer as given.
    std::optional<std::map<std::string, std::string>> RequestDeviceCode(
        std::string &strError, std::string *pErrorCode = nullptr) const;

    std::chrono::milliseconds m_timeout {20000};

    // Posts a form to a URL and reads the JSON answer; also used by the device sign-in.
    std::optional<std::map<std::string, std::string>> PostForm(const std::string &strUrl,
        std::map<std::string, std::string> form, std::string &strError,
        std::string *pErrorCode = nullptr) const;

private:
    std::optional<STokenGrant> Grant(std::map<std::string, std::string> form,
        const std::string &strRefreshToken, std::string &strError,
        std::string *pErrorCode = nullptr) const;

    SOAuthEndpoints m_endpoints;
    std::string m_strClientId;
    std::string m_strClientSecret;
};

// Hands out a current access token, refreshing it a minute before it expires. Shared by the
// delivery threads of a run: each asks before it logs in.
class CAccessTokenSource final
{
public:
    using Clock = std::chrono::steady_clock;

    CAccessTokenSource(COAuthTokenClient client, std::string strRefreshToken);

    // Empty, with the reason, when no token can be had; a refusal by the provider is kept, so
    // that a run stops once instead of asking again for every connection.
    std::string Token(std::string &strError);
    // The refresh token now in use (a provider may have replaced it).
    std::string RefreshToken() const;

private:
    COAuthTokenClient m_client;
    mutable std::mutex m_lock;
    std::string m_strRefreshToken;
    std::string m_strAccessToken;
    Clock::time_point m_expiry {};
    std::string m_strRefusal;
};
