#include "cli/CommandLineOptions.h"

#include <algorithm>

#include "engine/AsciiCase.h"
#include "engine/Comparison.h"
#include "engine/PrintableText.h"
#include "mail/MessageText.h"

const char *const kCommandLineHelp = R"(Usage:
  mergix [FILE.mgx]                         start the windowed program
  mergix --test-merge FILE.mgx [LIST] [SELECTION] [--html DIR]
                                            print the test merge of the selected records
  mergix --send FILE.mgx [LIST] [SELECTION] [--server HOST[:PORT]] [--security none|starttls|tls]
               [--user NAME] [--rate N/min]
               [--resume [--include-in-doubt] [--changed-message] | --again]
               [--failed-csv FILE] [--no-journal] [--skip-missing-attachments]
                                            send one message per selected record
  mergix --sign-in [--provider microsoft|google|custom] [--user ADDRESS] [--client-id ID]
               [--client-secret SECRET] [--tenant TENANT] [--authorization-url URL]
               [--token-url URL] [--device-url URL] [--scope SCOPE]
                                            sign in to the mail provider with OAuth 2.0
  mergix --print FILE.mgx                   print the merge's message on the default printer
  mergix --help                             show this help

The sender, subject, Reply-To, Cc, Bcc, attachments, the field that holds the addresses and the
message come from the merge file; its database is opened as opening the file in the program
does. Field tags and {IF} blocks in the subject, in Cc and Bcc and in attachment paths are
merged for each record like the message (the test merge shows the merged Subject, Cc, Bcc and
attachment lines). Bcc addresses get the message but appear in no header. A relative attachment
path is taken from the merge file's folder. Before anything is sent, every selected record's
attachments are checked: a file that is missing, unreadable, a folder or larger than 100 MB,
a path whose tags lead outside the folder it names, or a message larger than the server takes
refuses the send (exit status 2) and lists the records, unless --skip-missing-attachments is
given: then those records are left out (and reported as failed) and the others sent.

A formatted message (made with the program's Format menu) is sent as HTML with a plain-text
twin; the test merge prints the twin, and with --html DIR also writes each record's HTML to
DIR/message-1.html, DIR/message-2.html... (pictures as cid: references, their files beside
them in the message).

LIST (the list the merge file names when none is given):
  --source PATH    another list for this run: an Access database (.mdb, .accdb), a CSV or
                   TSV file, an Excel (.xlsx) or OpenDocument (.ods) spreadsheet, or an SQLite
                   database; its kind is read from the file itself. Or a database server:
                   postgresql://USER@HOST[:PORT]/DATABASE[?sslmode=MODE],
                   mysql://USER@HOST[:PORT]/DATABASE, odbc:DSN or odbc:DRIVER=...;...
                   (its password from MERGIX_DB_PASSWORD, else asked on the terminal; never
                   in the address)
  --table NAME     the table, view or sheet to use (schema.table outside PostgreSQL's public
                   schema); without it, --source uses the list's only table
                   or its first sheet
The merge file is not changed.

SELECTION (all records when none is given):
  --rules NAME                    a rule set saved in the program under NAME
  --where FIELD COMPARISON TEXT   a rule on the spot; up to two more may follow, each joined by
  --and | --or | --and-not FIELD COMPARISON TEXT
                                  rules combine from left to right, with no precedence
  --case-sensitive                compare texts with letter case
COMPARISON is one of "Equals", "Not equal to", "Less than", "Greater than",
"Less than or equal", "Greater than or equal", "Is blank", "Is not blank"
(TEXT is still given, and ignored, for the last two).

--send uses the SMTP server given with --server, else the one set in the program's Mail
Options; so do --security (none: plain text, one connection a message; starttls: port 587 by
default; tls: TLS from the start, port 465 by default) and --user (an empty NAME: no login).
With a user name, the password is read from the environment variable MERGIX_SMTP_PASSWORD,
else asked for on the terminal; it is never taken from the command line. An interrupt (Ctrl+C)
or SIGTERM stops handing out messages; deliveries already started finish, their failures are
still reported, and it says how far the send got.

Each send is recorded in the merge's send journal, FILE.mgx.journal beside the file a link
points at (in the user's data folder when that folder cannot be written); a renamed merge takes
its journal along. When the last send did not reach every recipient,
--send refuses to start until told --resume (only the recipients not reached yet; those whose
message was with the server when the send stopped are left out unless --include-in-doubt is
given; refused when there is no earlier send to continue, and when the message was changed
since, unless --changed-message is given too) or --again (everyone again; also sets a damaged
journal aside and starts a fresh one). A send of the very message the last send delivered to
every recipient, to the same recipients, is refused until told --again.
--no-journal sends without one. --rate N/min sends at most N messages a minute. --failed-csv
FILE writes the failed recipients as CSV (address, reply, time).

An OAuth 2.0 login (Microsoft 365, Google, or an identity provider set as Custom) is set in the
program's Mail Options or with --sign-in, whose options are stored as the Mail Options would
store them (--provider also sets the provider's SMTP server, port and STARTTLS). --sign-in
then signs in: where the provider offers the device sign-in (Microsoft 365, or Custom with
--device-url) it prints an address and a code to enter in a web browser on any device; else
(Google, which gives its mail permission to no device sign-in) it prints an address to open in
a browser on this computer, whose answer comes back to 127.0.0.1. It waits at most 15 minutes;
Ctrl+C stops it. The refresh token is kept in the desktop's keyring; where no keyring service
answers, it is printed on standard output instead, to be given to --send in the environment
variable MERGIX_SMTP_OAUTH_REFRESH_TOKEN (keep it as safely as a password). --send logs in
with AUTH OAUTHBEARER or XOAUTH2 and fresh access tokens; a sign-in the provider revoked stops
it with exit status 2 and asks to sign in again.

Signing and unsubscribing follow the program's Mail Options, as the windows do: with a DKIM
domain, selector and key file (settings DKIMDomain, DKIMSelector, DKIMKeyFile) every message is
signed, and a key that cannot be used (missing, readable by others, not an RSA key of 1024 bits or more)
stops the send before the first message. An unsubscribe address or https link (UnsubscribeMailto,
UnsubscribeURL; field tags in the link are replaced, percent-encoded) gives every message a
List-Unsubscribe header, the link a one-click List-Unsubscribe-Post too.

Progress goes to standard error, the test merge to standard output. Exit status: 0 done,
1 some messages could not be delivered (their addresses are listed) or the send was
interrupted (--resume sends the rest), 2 a usage, file or database error, a server that could
not be used at all (unreachable, its certificate, the login), or a send the journal holds back,
in which case nothing was sent.
)";

bool IsKnownOption(const std::string &strArg)
{
    for (const char *pOption : {"--send", "--test-merge", "--help", "-h", "--server", "--rules",
             "--where", "--and", "--or", "--and-not", "--case-sensitive", "--security", "--user",
             "--resume", "--again", "--include-in-doubt", "--no-journal", "--rate", "--failed-csv",
             "--skip-missing-attachments", "--changed-message", "--source", "--table", "--sign-in",
             "--html"}) {
        if (strArg == pOption)
            return true;
    }
    return false;
}

namespace {

bool IsComparison(const std::string &strName)
{
    for (const std::string_view name : kComparisonNames) {
        if (name == strName)
            return true;
    }
    return false;
}

// Fills rule row nRow (0 to 2) of the set; rows 2 and 3 are switched on and joined by nCode.
void SetRuleRow(CRuleSet &rules, int nRow, int nCode, const std::string &strField,
    const std::string &strComparison, const std::string &strText)
{
    if (nRow == 0) {
        rules.FirstField = strField;
        rules.FirstCondition = strComparison;
        rules.FirstText = strText;
    } else if (nRow == 1) {
        rules.SecondEnable = 1;
        rules.SecondField = strField;
        rules.SecondCondition = strComparison;
        rules.SecondText = strText;
        rules.SecondBoolean = nCode;
    } else {
        rules.ThirdEnable = 1;
        rules.ThirdField = strField;
        rules.ThirdCondition = strComparison;
        rules.ThirdText = strText;
        rules.ThirdBoolean = nCode;
    }
}

} // namespace

std::string ParseOptions(
    const std::vector<std::string> &args, size_t i, SCommandLineOptions &options)
{
    int nRows = 0;
    for (; i < args.size(); ++i) {
        const std::string &strArg = args[i];
        const auto need = [&](size_t nCount) {
            return i + nCount < args.size();
        };
        if (strArg == "--server") {
            if (!need(1) || args[i + 1].empty())
                return "--server needs a HOST[:PORT]";
            options.strServer = args[++i];
            if (std::string strProblem = CheckServerName(options.strServer); !strProblem.empty())
                return strProblem;
        } else if (strArg == "--security") {
            if (!need(1))
                return "--security needs none, starttls or tls";
            options.security = ParseSecurity(args[++i]);
            if (!options.security)
                return "--security takes none, starttls or tls, not \"" + PrintableText(args[i])
                    + "\"";
        } else if (strArg == "--user") {
            if (!need(1))
                return "--user needs a NAME (an empty one for no login)";
            options.user = args[++i];
        } else if (strArg == "--resume" || strArg == "--again" || strArg == "--include-in-doubt"
            || strArg == "--no-journal" || strArg == "--changed-message"
            || strArg == "--skip-missing-attachments") {
            (strArg == "--resume"                            ? options.bResume
                    : strArg == "--again"                    ? options.bAgain
                    : strArg == "--no-journal"               ? options.bNoJournal
                    : strArg == "--changed-message"          ? options.bChangedMessage
                    : strArg == "--skip-missing-attachments" ? options.bSkipMissingAttachments
                                                             : options.bIncludeInDoubt)
                = true;
        } else if (strArg == "--rate") {
            if (!need(1))
                return "--rate needs N/min";
            const std::string strRate = args[++i];
            const size_t nSlash = strRate.find('/');
            const std::string strNumber = strRate.substr(0, nSlash);
            const bool bDigits = !strNumber.empty() && strNumber.size() <= 6
                && strNumber.find_first_not_of("0123456789") == std::string::npos;
            if (!bDigits || (nSlash != std::string::npos && strRate.substr(nSlash) != "/min")
                || std::stoi(strNumber) < 1)
                return "--rate takes a number of messages a minute from 1 to 999999, such as "
                       "60/min, not \""
                    + PrintableText(strRate) + "\"";
            options.nRatePerMinute = std::stoi(strNumber);
        } else if (strArg == "--html") {
            if (!need(1) || args[i + 1].empty())
                return "--html needs a DIR";
            options.htmlFolder = args[++i];
        } else if (strArg == "--failed-csv") {
            if (!need(1) || args[i + 1].empty())
                return "--failed-csv needs a FILE";
            options.failedCsv = args[++i];
        } else if (strArg == "--password" || strArg.rfind("--password=", 0) == 0) {
            return "a password is never taken from the command line, where other users of the "
                   "computer can see it: set MERGIX_SMTP_PASSWORD or answer when asked";
        } else if (strArg == "--source" || strArg == "--table") {
            const bool bSource = strArg == "--source";
            std::optional<std::string> &value = bSource ? options.source : options.table;
            if (!need(1) || args[i + 1].empty())
                return strArg + (bSource ? " needs a PATH" : " needs a NAME");
            if (value)
                return strArg + " may be given once";
            value = args[++i];
        } else if (strArg == "--rules") {
            if (!need(1) || args[i + 1].empty())
                return "--rules needs a NAME";
            options.strRulesName = args[++i];
        } else if (strArg == "--case-sensitive") {
            options.rules.CaseSensitive = 1;
        } else if (strArg == "--where" || strArg == "--and" || strArg == "--or"
            || strArg == "--and-not") {
            if (!need(3))
                return strArg + " needs FIELD COMPARISON TEXT";
            if ((strArg == "--where") != (nRows == 0))
                return nRows == 0 ? strArg + " must follow --where" : "--where may be given once";
            if (nRows == 3)
                return "at most three rules can be combined";
            const std::string &strComparison = args[i + 2];
            if (!IsComparison(strComparison))
                return "unknown comparison \"" + PrintableText(strComparison) + "\"";
            const int nCode = strArg == "--and" ? CRuleSet::kAnd
                : strArg == "--or"              ? CRuleSet::kOr
                                                : CRuleSet::kAndNot;
            SetRuleRow(options.rules, nRows, nCode, args[i + 1], strComparison, args[i + 3]);
            options.bWhere = true;
            ++nRows;
            i += 3;
        } else {
            return (strArg.rfind('-', 0) == 0 ? "unknown option \"" : "unexpected argument \"")
                + PrintableText(strArg) + "\"";
        }
    }
    if (options.bWhere && !options.strRulesName.empty())
        return "--rules and --where cannot be used together";
    if (options.rules.CaseSensitive && !options.bWhere)
        return "--case-sensitive goes with --where";
    if (!options.bSend
        && (!options.strServer.empty() || options.security || options.user || options.bResume
            || options.bAgain || options.bIncludeInDoubt || options.bNoJournal
            || options.bChangedMessage || options.nRatePerMinute || options.failedCsv
            || options.bSkipMissingAttachments))
        return "--server, --security, --user, --rate, --resume, --again, --include-in-doubt, "
               "--changed-message, --failed-csv, --no-journal and --skip-missing-attachments go "
               "with --send";
    if (options.bSend && options.htmlFolder)
        return "--html goes with --test-merge";
    if (options.bResume && options.bAgain)
        return "--resume and --again cannot be used together";
    if (options.bIncludeInDoubt && !options.bResume)
        return "--include-in-doubt goes with --resume";
    if (options.bChangedMessage && !options.bResume)
        return "--changed-message goes with --resume";
    if (options.bNoJournal && (options.bResume || options.bAgain))
        return "--resume and --again need the journal, which --no-journal leaves out";
    return {};
}

std::string ParseSignInOptions(
    const std::vector<std::string> &args, size_t i, SSignInOptions &options)
{
    const std::pair<const char *, std::optional<std::string> SSignInOptions::*> texts[]
        = {{"--user", &SSignInOptions::user}, {"--tenant", &SSignInOptions::tenant},
            {"--client-id", &SSignInOptions::clientId},
            {"--client-secret", &SSignInOptions::clientSecret},
            {"--authorization-url", &SSignInOptions::authorizationUrl},
            {"--token-url", &SSignInOptions::tokenUrl},
            {"--device-url", &SSignInOptions::deviceUrl}, {"--scope", &SSignInOptions::scope}};
    for (; i < args.size(); ++i) {
        const std::string &strArg = args[i];
        if (strArg == "--provider") {
            if (i + 1 >= args.size())
                return "--provider needs microsoft, google or custom";
            const std::string &strName = args[++i];
            const auto is = [&](const char *pName) {
                return EqualsIgnoringAsciiCase(strName, pName);
            };
            if (is("microsoft") || is("microsoft 365") || is("microsoft365"))
                options.provider = EOAuthProvider::Microsoft;
            else if (is("google"))
                options.provider = EOAuthProvider::Google;
            else if (is("custom"))
                options.provider = EOAuthProvider::Custom;
            else
                return "--provider takes microsoft, google or custom, not \""
                    + PrintableText(args[i]) + "\"";
            continue;
        }
        const auto found = std::find_if(std::begin(texts), std::end(texts),
            [&](const auto &text) { return strArg == text.first; });
        if (found == std::end(texts))
            return (strArg.rfind('-', 0) == 0 ? "unknown option \"" : "unexpected argument \"")
                + PrintableText(strArg)
                + "\" (--sign-in takes --provider, --user, --client-id, "
                  "--client-secret, --tenant, --authorization-url, --token-url, --device-url "
                  "and --scope)";
        if (i + 1 >= args.size())
            return strArg + " needs a value";
        options.*(found->second) = args[++i];
    }
    return {};
}

std::string SelectionText(const SCommandLineOptions &options)
{
    if (!options.strRulesName.empty())
        return "rule set \"" + options.strRulesName + "\"";
    if (!options.bWhere)
        return "all records";
    const CRuleSet &rules = options.rules;
    std::string strText
        = "where " + rules.FirstField + " " + rules.FirstCondition + " \"" + rules.FirstText + "\"";
    const auto add = [&strText](int nBoolean, const std::string &strField,
                         const std::string &strCondition, const std::string &strValue) {
        strText += nBoolean == CRuleSet::kAnd ? " and "
            : nBoolean == CRuleSet::kOr       ? " or "
                                              : " and not ";
        strText += strField + " " + strCondition + " \"" + strValue + "\"";
    };
    if (rules.SecondEnable)
        add(rules.SecondBoolean, rules.SecondField, rules.SecondCondition, rules.SecondText);
    if (rules.ThirdEnable)
        add(rules.ThirdBoolean, rules.ThirdField, rules.ThirdCondition, rules.ThirdText);
    return strText;
}
