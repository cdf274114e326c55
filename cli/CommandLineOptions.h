#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "app/OAuthProvider.h"
#include "engine/RuleSet.h"
#include "mail/SmtpAccount.h"

// The text --help prints.
extern const char *const kCommandLineHelp;

// What the arguments of --test-merge and --send ask for.
struct SCommandLineOptions
{
    bool bSend = false;
    std::string strFile;
    std::string strRulesName;
    bool bWhere = false;
    CRuleSet rules;
    std::string strServer;
    std::optional<ESmtpSecurity> security;
    std::optional<std::string> user;
    bool bResume = false;
    bool bAgain = false;
    bool bIncludeInDoubt = false;
    bool bNoJournal = false;
    bool bChangedMessage = false;
    bool bSkipMissingAttachments = false;
    int nRatePerMinute = 0;
    std::optional<std::string> failedCsv;
    std::optional<std::string> htmlFolder; // --test-merge writes each message's HTML there
    std::optional<std::string> source; // another list for this run
    std::optional<std::string> table;
};

// What the arguments of --sign-in change of the stored OAuth 2.0 login before signing in.
struct SSignInOptions
{
    std::optional<EOAuthProvider> provider;
    std::optional<std::string> user;
    std::optional<std::string> tenant;
    std::optional<std::string> clientId;
    std::optional<std::string> clientSecret;
    std::optional<std::string> authorizationUrl;
    std::optional<std::string> tokenUrl;
    std::optional<std::string> deviceUrl;
    std::optional<std::string> scope;
};

// Parses the arguments after --sign-in, from index i on; an error text, or empty.
std::string ParseSignInOptions(
    const std::vector<std::string> &args, size_t i, SSignInOptions &options);

// Whether the argument is one of the options the command line knows.
bool IsKnownOption(const std::string &strArg);
// Parses the arguments after the mode and its file, from index i on; an error text, or empty.
std::string ParseOptions(
    const std::vector<std::string> &args, size_t i, SCommandLineOptions &options);
// How the records were chosen, in the words of the command line, for the send journal.
std::string SelectionText(const SCommandLineOptions &options);
