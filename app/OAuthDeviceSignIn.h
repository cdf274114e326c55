#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <optional>
#include <string>

#include "app/OAuthProvider.h"
#include "app/OAuthTokens.h"

// Where the user signs in for a device sign-in, and with which code.
struct SDeviceCode
{
    std::string strUserCode;
    std::string strVerificationUrl;
    std::string strCompleteUrl = {}; // with the code in it, where the provider gives one
};

// Signs in with the device authorization grant (RFC 8628), for a terminal without a browser of
// its own: tell() shows the user where to go and the code to type; the provider is then asked at
// the interval it gave until the user has answered, the code expires, at most maxWait has
// passed, or cancelled becomes true. Nothing, with the reason, when no sign-in came of it.
std::optional<STokenGrant> SignInOnDevice(const SOAuthSettings &settings,
    const std::function<void(const SDeviceCode &code)> &tell, const std::atomic<bool> &cancelled,
    std::string &strError, std::chrono::seconds maxWait = std::chrono::minutes(15));
