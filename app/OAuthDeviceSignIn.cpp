#include "app/OAuthDeviceSignIn.h"

#include <algorithm>
#include <cstdlib>
#include <thread>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

std::string Value(const std::map<std::string, std::string> &answer, const char *pName)
{
    const auto found = answer.find(pName);
    return found == answer.end() ? std::string() : found->second;
}

std::chrono::seconds Seconds(const std::string &strValue, std::chrono::seconds fallback)
{
    const long long nValue = std::strtoll(strValue.c_str(), nullptr, 10);
    return nValue > 0 ? std::chrono::seconds(nValue) : fallback;
}

// Sleeps for the interval in small steps, so that Ctrl+C is felt at once; false when cancelled.
bool Wait(std::chrono::seconds interval, const std::atomic<bool> &cancelled)
{
    const Clock::time_point until = Clock::now() + interval;
    while (Clock::now() < until) {
        if (cancelled)
            return false;
        std::this_thread::sleep_for(std::min<Clock::duration>(100ms, until - Clock::now()));
    }
    return !cancelled;
}

} // namespace

std::optional<STokenGrant> SignInOnDevice(const SOAuthSettings &settings,
    const std::function<void(const SDeviceCode &code)> &tell, const std::atomic<bool> &cancelled,
    std::string &strError, std::chrono::seconds maxWait)
{
    if (std::string strProblem = CheckOAuthSettings(settings); !strProblem.empty()) {
        strError = strProblem;
        return std::nullopt;
    }
    const SOAuthEndpoints endpoints = EndpointsOf(settings);
    if (endpoints.strDevice.empty()) {
        strError = "No device authorization URL is set, so the sign-in cannot be made on the "
                   "command line.";
        return std::nullopt;
    }
    const COAuthTokenClient client(endpoints, settings.strClientId, settings.strClientSecret);
    const auto answer = client.RequestDeviceCode(strError);
    if (!answer)
        return std::nullopt;
    // Google names it verification_url, the RFC verification_uri.
    SDeviceCode code {Value(*answer, "user_code"), Value(*answer, "verification_uri"),
        Value(*answer, "verification_uri_complete")};
    if (code.strVerificationUrl.empty())
        code.strVerificationUrl = Value(*answer, "verification_url");
    const std::string strDeviceCode = Value(*answer, "device_code");
    if (strDeviceCode.empty() || code.strUserCode.empty() || code.strVerificationUrl.empty()) {
        strError = "The provider's answer to the device sign-in lacks its code or address.";
        return std::nullopt;
    }
    tell(code);

    std::chrono::seconds interval = Seconds(Value(*answer, "interval"), 5s);
    const Clock::time_point deadline
        = Clock::now() + std::min(maxWait, Seconds(Value(*answer, "expires_in"), maxWait));
    while (Wait(interval, cancelled)) {
        if (Clock::now() > deadline) {
            strError = "The sign-in was not made in time. Run mergix --sign-in again.";
            return std::nullopt;
        }
        std::string strCode;
        if (auto grant = client.PollDevice(strDeviceCode, strError, &strCode))
            return grant;
        if (strCode == "authorization_pending")
            continue;
        if (strCode == "slow_down") {
            interval += 5s; // as RFC 8628 asks
            continue;
        }
        if (strCode == "access_denied")
            strError = "The sign-in was declined.";
        else if (strCode == "expired_token")
            strError = "The code expired before the sign-in was made. Run mergix --sign-in again.";
        return std::nullopt;
    }
    strError = "The sign-in was cancelled.";
    return std::nullopt;
}
