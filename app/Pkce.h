#pragma once

#include <string>

// Proof Key for Code Exchange (RFC 7636): a random verifier kept by the program and its S256
// challenge, which goes to the browser. The verifier is never logged nor shown.
struct SPkce
{
    std::string strVerifier;
    std::string strChallenge;
};

SPkce MakePkce();
// The S256 challenge of a verifier: base64url of its SHA-256, without padding.
std::string PkceChallenge(const std::string &strVerifier);
// A random text for the state parameter and the like: base64url of nBytes random bytes.
std::string RandomToken(int nBytes);
