#pragma once

#include <string>

#include "mail/SmtpAccount.h"

// Who signs a user in for OAuth 2.0: Microsoft 365, Google or an identity provider of the
// user's own. The first two come with their endpoints, scope and SMTP server.
enum class EOAuthProvider { Microsoft, Google, Custom };

// What the user sets in Mail Options for an OAuth 2.0 login: the provider and the app
// registration of their organisation.
struct SOAuthSettings
{
    EOAuthProvider eProvider = EOAuthProvider::Microsoft;
    std::string strTenant = "common"; // Microsoft's directory: "common", a domain or an ID
    std::string strClientId = {};
    std::string strClientSecret = {}; // where the provider gives desktop clients one
    // Custom only; the presets fill these for the others.
    std::string strAuthorizationUrl = {};
    std::string strTokenUrl = {};
    std::string strDeviceUrl = {};
    std::string strScope = {};
};

struct SOAuthEndpoints
{
    std::string strAuthorization;
    std::string strToken;
    std::string strDevice; // the device authorization grant's; empty when there is none
    std::string strScope = {};
};

SOAuthEndpoints EndpointsOf(const SOAuthSettings &settings);

// The server, port and security a provider's mailboxes send through; the account as given for
// Custom.
SSmtpAccount WithServerPreset(EOAuthProvider eProvider, SSmtpAccount account);

// Why an endpoint cannot be used: it must be https, or http to a loopback address only (the
// tests' own server); empty when it can.
std::string CheckEndpoint(const std::string &strUrl);

// Why a sign-in cannot be started with these settings (no client ID, an endpoint that is not
// https, no scope); empty when it can.
std::string CheckOAuthSettings(const SOAuthSettings &settings);

// "Microsoft 365", "Google", "Custom": the names the settings and the windows use.
const char *ProviderName(EOAuthProvider eProvider);
EOAuthProvider ParseProvider(const std::string &strName);
