#pragma once

#include <functional>
#include <optional>
#include <string>

// How the connection to the SMTP server is protected.
enum class ESmtpSecurity {
    None, // plain text, no login: the per-message dialogue of a local relay
    StartTls, // plain text upgraded with STARTTLS before anything else is said
    Tls, // TLS from the first byte ("implicit TLS")
};

// Everything needed to reach and log in to the SMTP server.
struct SSmtpAccount
{
    std::string strServer; // "host", "host:port" or "[IPv6 address]:port"
    ESmtpSecurity eSecurity = ESmtpSecurity::None;
    int nPort = 0; // used when the server name carries none; 0: the security's usual port
    std::string strUser; // empty: no login
    std::string strPassword;
    std::string strExtraCaFile; // one more trusted authority (a company's own), or empty
    // With OAuth 2.0 the login carries an access token instead of the password: asked for
    // before each login, so that one that expired during a long run is refreshed. Empty, with
    // the reason in strError, when none can be had (a revoked sign-in).
    std::function<std::string(std::string &strError)> accessToken = {};

    bool LogsIn() const { return !strUser.empty(); }
    bool NeedsPassword() const { return LogsIn() && !accessToken; }
};

// "None", "STARTTLS", "TLS": the names the settings and the command line use.
const char *SecurityName(ESmtpSecurity eSecurity);
// Accepts the names in any letter case.
std::optional<ESmtpSecurity> ParseSecurity(const std::string &strName);
// 25, 587 and 465.
int DefaultPort(ESmtpSecurity eSecurity);

// The host and port to connect to; false when the server name cannot be used.
bool ResolveEndpoint(const SSmtpAccount &account, std::string &strHost, std::string &strPort);
// The server as "host:port" ("[address]:port" for IPv6), with the port resolved.
std::string Endpoint(const SSmtpAccount &account);

// The message for an account that cannot be used (a server name that is not valid, a port out
// of range, a login over a connection that is not encrypted); empty when it can be used.
std::string CheckSmtpAccount(const SSmtpAccount &account);

// The message for a login over a connection that is not encrypted; empty when there is none.
std::string CheckLoginSecurity(const SSmtpAccount &account);

// The key under which the password of this login is kept: "user@host:port".
std::string PasswordKey(const SSmtpAccount &account);
