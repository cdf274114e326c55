#pragma once

#include <string>

// The SASL mechanisms that log in to an SMTP server with an OAuth 2.0 access token instead of
// a password: Google's and Microsoft's XOAUTH2, and OAUTHBEARER (RFC 7628).

// The initial responses, in base64 as they follow "AUTH XOAUTH2 " or "AUTH OAUTHBEARER ".
std::string XOAuth2Response(const std::string &strUser, const std::string &strToken);
std::string OAuthBearerResponse(const std::string &strUser, const std::string &strHost,
    const std::string &strPort, const std::string &strToken);

// What the error challenge a server sends after 334 (base64 of a JSON object such as
// {"status":"401","schemes":"bearer","scope":"..."}) means, in words for the user.
std::string OAuthChallengeMeaning(const std::string &strChallenge);
