#include "cli/CommandLine.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <QSettings>
#include <QString>

#include "app/Settings.h"
#include "cli/ConsoleProgress.h"
#include "document/MergixDoc.h"
#include "engine/Comparison.h"
#include "engine/DistinctFaults.h"
#include "engine/PrintableText.h"
#include "engine/Prompter.h"
#include "mail/MergeRun.h"
#include "mail/MessageText.h"
#include "mail/RecordList.h"
#include "mail/RuleSelection.h"
#include "mail/SendJournal.h"
#include "mail/SendPlan.h"
#include "sources/access/DaoException.h"

namespace {

constexpr const char *kHelp = R"(Usage:
  mergix [FILE.mgx]                         start the windowed program
  mergix --test-merge FILE.mgx [SELECTION]  print the test merge of the selected records
  mergix --send FILE.mgx [SELECTION] [--server HOST[:PORT]] [--security none|starttls|tls]
               [--user NAME] [--rate N/min] [--resume [--include-in-doubt] | --again]
               [--failed-csv FILE] [--no-journal]
                                            send one message per selected record
  mergix --print FILE.mgx                   print the merge's message on the default printer
  mergix --help                             show this help

The sender, subject, Reply-To, the field that holds the addresses and the message come from the
merge file; its database is opened as opening the file in the program does.

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
stops handing out messages; deliveries already started finish and their failures are still
reported.

Each send is recorded in the merge's send journal, FILE.mgx.journal (in the user's data folder
when the merge's folder cannot be written). When the last send did not reach every recipient,
--send refuses to start until told --resume (only the recipients not reached yet; those whose
message was with the server when the send stopped are left out unless --include-in-doubt is
given) or --again (everyone again; also sets a damaged journal aside and starts a fresh one).
--no-journal sends without one. --rate N/min sends at most N messages a minute. --failed-csv
FILE writes the failed recipients as CSV (address, reply, time).

Progress goes to standard error, the test merge to standard output. Exit status: 0 done,
1 some messages could not be delivered (their addresses are listed), 2 a usage, file or
database error, or a server that could not be used at all (unreachable, its certificate, the
login), in which case nothing was sent.
)";

std::atomic<bool> s_bInterrupted {false};
bool s_bStdoutClosed = false;

// A standard stream that was closed when the program started is opened on /dev/null, so that
// no file, pipe or connection opened later takes its number and receives what is meant for
// the terminal. Remembers whether standard output was closed, to say so.
void ReserveStandardStreams()
{
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF)
            continue;
        if (fd == STDOUT_FILENO)
            s_bStdoutClosed = true;
        const int nNull = ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
        if (nNull >= 0 && nNull != fd) {
            ::dup2(nNull, fd);
            ::close(nNull);
        }
    }
}

void OnInterrupt(int)
{
    s_bInterrupted = true;
}

// Messages go to standard error, one line each; questions are answered Yes, since the command
// line asks nothing (an interrupt is its own confirmation).
class CConsolePrompter final : public CPrompter
{
public:
    void ShowMessage(const std::string &strText, EIcon) override { Print(strText); }
    bool AskYesNo(const std::string &, EIcon) override { return true; }

    // Each line of the text gets the program's name; control characters other than the line
    // breaks (which a quoted file text never brings: those are escaped where it is quoted)
    // are shown as escapes, so that no message can drive the terminal.
    static void Print(const std::string &strText)
    {
        std::string strOut = "mergix: ";
        for (size_t i = 0; i < strText.size(); ++i) {
            if (strText.compare(i, 2, "\r\n") == 0 || strText[i] == '\n') {
                i += strText[i] == '\r' ? 1 : 0;
                strOut += "\nmergix: ";
            } else {
                size_t nEnd = i;
                while (nEnd < strText.size() && strText[nEnd] != '\n'
                    && strText.compare(nEnd, 2, "\r\n") != 0)
                    ++nEnd;
                strOut += PrintableText(std::string_view(strText).substr(i, nEnd - i));
                i = nEnd - 1;
            }
        }
        std::fprintf(stderr, "%s\n", strOut.c_str());
    }
};

struct SOptions
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
    int nRatePerMinute = 0;
    std::optional<std::string> failedCsv;
};

int UsageError(const std::string &strText)
{
    std::fprintf(stderr, "mergix: %s\nTry 'mergix --help'.\n", strText.c_str());
    return 2;
}

bool IsKnownOption(const std::string &strArg)
{
    for (const char *pOption :
        {"--send", "--test-merge", "--help", "-h", "--server", "--rules", "--where", "--and",
            "--or", "--and-not", "--case-sensitive", "--security", "--user", "--resume", "--again",
            "--include-in-doubt", "--no-journal", "--rate", "--failed-csv"}) {
        if (strArg == pOption)
            return true;
    }
    return false;
}

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

// Parses the arguments after the mode and its file; an error text, or empty.
std::string ParseSelection(const std::vector<std::string> &args, size_t i, SOptions &options)
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
            || strArg == "--no-journal") {
            (strArg == "--resume"              ? options.bResume
                    : strArg == "--again"      ? options.bAgain
                    : strArg == "--no-journal" ? options.bNoJournal
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
        } else if (strArg == "--failed-csv") {
            if (!need(1) || args[i + 1].empty())
                return "--failed-csv needs a FILE";
            options.failedCsv = args[++i];
        } else if (strArg == "--password" || strArg.rfind("--password=", 0) == 0) {
            return "a password is never taken from the command line, where other users of the "
                   "computer can see it: set MERGIX_SMTP_PASSWORD or answer when asked";
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
            || options.nRatePerMinute || options.failedCsv))
        return "--server, --security, --user, --rate, --resume, --again, --include-in-doubt, "
               "--failed-csv and --no-journal go with --send";
    if (options.bResume && options.bAgain)
        return "--resume and --again cannot be used together";
    if (options.bIncludeInDoubt && !options.bResume)
        return "--include-in-doubt goes with --resume";
    if (options.bNoJournal && (options.bResume || options.bAgain))
        return "--resume and --again need the journal, which --no-journal leaves out";
    return {};
}

// Ends the merge with a message on standard error and exit status 2.
struct SStop
{
    std::string strMessage;
};

// Reads a line from the terminal without showing it; nothing when there is no terminal.
std::optional<std::string> AskPasswordOnTerminal(const std::string &strPrompt)
{
    const int fd = ::open("/dev/tty", O_RDWR | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    termios saved {};
    const bool bTerminal = ::tcgetattr(fd, &saved) == 0;
    if (bTerminal) {
        termios silent = saved;
        silent.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        silent.c_lflag |= ICANON;
        ::tcsetattr(fd, TCSAFLUSH, &silent);
    }
    [[maybe_unused]] ssize_t nWritten = ::write(fd, strPrompt.data(), strPrompt.size());
    std::string strLine;
    char c = 0;
    bool bEnded = false;
    while (::read(fd, &c, 1) == 1) {
        if (c == '\n') {
            bEnded = true;
            break;
        }
        strLine += c;
    }
    if (bTerminal)
        ::tcsetattr(fd, TCSAFLUSH, &saved);
    nWritten = ::write(fd, "\n", 1);
    ::close(fd);
    if (!bEnded && strLine.empty())
        return std::nullopt;
    return strLine;
}

// The server to send through, after the checks Send Mail makes, with the password of its login.
SSmtpAccount SendingAccount(
    const SOptions &options, const CSettings &settings, const CMergixDoc &doc)
{
    SSmtpAccount account = settings.SmtpAccount();
    if (!options.strServer.empty())
        account.strServer = options.strServer;
    if (options.security)
        account.eSecurity = *options.security;
    if (options.user)
        account.strUser = *options.user;
    if (account.strServer.empty())
        throw SStop {"No SMTP server is set: give one with --server HOST[:PORT] or set it in the "
                     "program's Mail Options."};
    if (std::string strProblem = CheckSmtpAccount(account); !strProblem.empty())
        throw SStop {strProblem
            + " Give other values with --server, --security and --user, or change them in the "
              "program's Mail Options."};
    if (doc.m_strFrom.empty())
        throw SStop {"Please specify a from e-mail address and name"};
    if (doc.m_strSubject.empty())
        throw SStop {"Please specify a subject"};
    if (doc.m_strReplyTo.empty())
        throw SStop {"Please specify a reply-to e-mail address"};
    if (account.NeedsPassword()) {
        if (const char *pPassword = std::getenv("MERGIX_SMTP_PASSWORD")) {
            account.strPassword = pPassword;
        } else if (auto password = AskPasswordOnTerminal(
                       "Password of " + account.strUser + " at " + Endpoint(account) + ": ")) {
            account.strPassword = std::move(*password);
        } else {
            throw SStop {"The SMTP login of user \"" + PrintableText(account.strUser)
                + "\" needs a password: set MERGIX_SMTP_PASSWORD, or run mergix in a terminal "
                  "to be asked for it."};
        }
    }
    return account;
}

// The rule set of the selection, checked as the Select button checks it; nothing for all records.
std::optional<CRuleSet> Selection(
    const SOptions &options, const CSettings &settings, const CMergixDoc &doc)
{
    if (!options.bWhere && options.strRulesName.empty())
        return std::nullopt;
    CRuleSet rules = options.rules;
    if (!options.strRulesName.empty()) {
        if (!settings.HasRuleSet(options.strRulesName))
            throw SStop {"There is no saved rule set named \"" + PrintableText(options.strRulesName)
                + "\"."};
        rules = settings.LoadRuleSet(options.strRulesName);
    }
    if (const auto problem = ValidateRuleSet(rules))
        throw SStop {problem->strMessage};
    if (std::string strProblem = CheckRuleFields(rules, doc.m_fieldNames); !strProblem.empty())
        throw SStop {std::move(strProblem)};
    return rules;
}

// Writes each test message to standard output as it is made, so that a large test merge never
// has to be held in memory whole. Remembers the first write error.
class CTestOutput final
{
public:
    bool Write(std::string_view text)
    {
        if (s_bStdoutClosed) {
            m_nError = EBADF;
            return false;
        }
        if (std::fwrite(text.data(), 1, text.size(), stdout) == text.size())
            return true;
        m_nError = errno;
        return false;
    }
    // Flushes what is left; false when anything could not be written.
    bool Finish()
    {
        if (m_nError == 0 && std::fflush(stdout) != 0)
            m_nError = errno;
        return m_nError == 0;
    }
    int Error() const { return m_nError; }

private:
    int m_nError = 0;
};

int Report(const CMergeRun &run, CMergeRun::EOutcome outcome, bool bSend, size_t nSelected,
    CTestOutput &output)
{
    if (outcome == CMergeRun::EOutcome::NoToField || outcome == CMergeRun::EOutcome::JournalFailed)
        return 2;
    if (outcome == CMergeRun::EOutcome::ServerRefused) {
        CConsolePrompter::Print(run.StopReason());
        return 2;
    }
    if (!bSend) {
        if (output.Finish())
            return 0;
        CConsolePrompter::Print(std::string("The test merge could not be written to standard "
                                            "output: ")
            + std::strerror(output.Error()));
        return 2;
    }
    const std::vector<std::string> failed = run.FailedAddresses();
    if (!failed.empty()) {
        std::string strText = "There was an error sending one or more messages to the following "
                              "addresses:";
        for (const std::string &strAddress : failed)
            strText += "\n  " + PrintableText(strAddress); // a cell cannot add lines
        CConsolePrompter::Print(strText);
        return 1;
    }
    if (outcome == CMergeRun::EOutcome::Completed) {
        const size_t nSkipped = run.Skipped();
        CConsolePrompter::Print(std::to_string(nSelected - nSkipped) + " message(s) delivered."
            + (nSkipped == 0 ? std::string()
                             : " " + std::to_string(nSkipped)
                        + " recipient(s) left out: an earlier send reached them, or may have."));
    }
    return 0;
}

// How the records were chosen, in the words of the command line, for the send journal.
std::string SelectionText(const SOptions &options)
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

// The run's own check, made before the records are loaded and with the name that was not found.
void CheckToField(const CMergixDoc &doc)
{
    if (doc.MergeFields().FindColumn(doc.m_strToField) >= 0)
        return;
    throw SStop {"Please choose the field of the database that contains the e-mail address\n"
        + (doc.m_strToField.empty() ? std::string("The merge file names no To field.")
                                    : "The To field \"" + PrintableText(doc.m_strToField)
                    + "\" is not a column of table " + PrintableText(doc.m_strTableName) + ".")};
}

int RunMerge(const SOptions &options)
{
    QSettings store(QSettings::NativeFormat, QSettings::UserScope,
        QStringLiteral("Corvane Software"), QStringLiteral("Mergix"));
    const CSettings settings(store);
    CConsoleProgress progress(s_bInterrupted);
    CMergixDoc doc;
    CRecordList list;
    CMergeRun run;
    try {
        if (!doc.OnOpenDocument(options.strFile))
            return 2; // the file's message has been shown
        const SSmtpAccount account
            = options.bSend ? SendingAccount(options, settings, doc) : SSmtpAccount();
        std::unique_ptr<CSendJournal> pJournal;
        SSendPlan plan;
        if (options.bSend && !options.bNoJournal) {
            pJournal = std::make_unique<CSendJournal>();
            const EResumeChoice eChoice = options.bResume ? EResumeChoice::Resume
                : options.bAgain                          ? EResumeChoice::Again
                                                          : EResumeChoice::Refuse;
            std::string strMessage;
            const std::optional<SSendPlan> planned
                = PlanSend(*pJournal, CSendJournal::PathFor(options.strFile, {}), eChoice,
                    options.bIncludeInDoubt, strMessage);
            if (!planned)
                throw SStop {strMessage};
            if (!strMessage.empty())
                CConsolePrompter::Print(strMessage);
            plan = *planned;
        }
        const std::optional<CRuleSet> rules = Selection(options, settings, doc);
        CheckToField(doc);

        list.SetColumns(doc.m_fieldNames);
        list.Load(doc.m_recordset, progress);
        if (rules)
            SelectByRules(*rules, doc.m_fieldNames, doc.m_recordset, list);
        else
            list.SelectAll();
        if (options.bSend)
            std::signal(SIGINT, OnInterrupt);

        CMergeRun::SInput input = CMergeRun::InputOf(doc);
        input.pList = &list;
        input.serverName = [strServer = account.strServer] {
            return strServer;
        };
        input.account = account;
        if (plan.bJournal) {
            input.pJournal = pJournal.get();
            input.journalRun = {Endpoint(account), SelectionText(options), {}, plan.resumes};
            input.alreadyDone = std::move(plan.alreadyDone);
            input.leftOut = std::move(plan.leftOut);
        }
        input.nRatePerMinute = options.nRatePerMinute;
        input.bTestMode = !options.bSend;
        input.bInteractive = false;
        CTestOutput output;
        input.testOutput = [&output](std::string_view text) {
            return output.Write(text);
        };
        const CMergeRun::EOutcome outcome = run.Run(input, progress);
        if (options.failedCsv) {
            if (const std::string strError = WriteFailuresCsv(*options.failedCsv, run.Failures());
                !strError.empty()) {
                Report(run, outcome, options.bSend, list.SelectedRows().size(), output);
                throw SStop {strError};
            }
        }
        return Report(run, outcome, options.bSend, list.SelectedRows().size(), output);
    } catch (const SStop &stop) {
        CConsolePrompter::Print(stop.strMessage);
    } catch (const CDaoException &error) {
        CConsolePrompter::Print(error.Description());
    }
    return 2;
}

} // namespace

std::optional<int> RunCommandLine(int argc, char *argv[])
{
    ReserveStandardStreams();
    const std::vector<std::string> args(argv + 1, argv + argc);
    // No argument, or one merge file, starts the windows; every argument that starts with "-"
    // is an option, so nothing that looks like one ever opens a window.
    const auto isOption = [](const std::string &strArg) {
        return strArg.rfind('-', 0) == 0;
    };
    if (std::none_of(args.begin(), args.end(), isOption)) {
        if (args.size() <= 1)
            return std::nullopt;
        return UsageError("unexpected argument \"" + PrintableText(args[1]) + "\"");
    }
    // Printing needs the window system's fonts and printers: main does it.
    if (args[0] == "--print") {
        if (args.size() == 2 && !args[1].empty() && !isOption(args[1]))
            return std::nullopt;
        return UsageError("--print needs one merge file (.mgx)");
    }
    const auto firstOption = std::find_if(args.begin(), args.end(), isOption);
    const auto isHelp = [](const std::string &strArg) {
        return strArg == "--help" || strArg == "-h";
    };
    if (isHelp(*firstOption)) {
        std::fputs(kHelp, stdout);
        if (std::fflush(stdout) == 0 && !std::ferror(stdout) && !s_bStdoutClosed)
            return 0;
        if (s_bStdoutClosed)
            errno = EBADF;
        CConsolePrompter::Print(std::string("The help could not be written to standard output: ")
            + std::strerror(errno));
        return 2;
    }
    if (!IsKnownOption(*firstOption))
        return UsageError("unknown option \"" + PrintableText(*firstOption) + "\"");
    SOptions options;
    if (args[0] == "--send")
        options.bSend = true;
    else if (args[0] != "--test-merge")
        return UsageError("unexpected argument \"" + PrintableText(args[0])
            + "\" (the merge file follows --test-merge or --send)");
    if (args.size() < 2 || args[1].empty() || isOption(args[1]))
        return UsageError(args[0] + " needs a merge file (.mgx)");
    options.strFile = args[1];
    if (const std::string strError = ParseSelection(args, 2, options); !strError.empty())
        return UsageError(strError);

    CConsolePrompter prompter;
    CPrompter *pPrevious = CPrompter::Install(&prompter);
    int nExit = 0;
    {
        // Each distinct fault once, when it first occurs; how often, at the end.
        const CDistinctFaults faults(CConsolePrompter::Print);
        nExit = RunMerge(options);
        for (const auto &[strText, nCount] : faults.Counts()) {
            CConsolePrompter::Print("The message \"" + PrintableText(strText) + "\" occurred "
                + (nCount == 1 ? std::string("once") : std::to_string(nCount) + " times")
                + " in this run.");
        }
    }
    CPrompter::Install(pPrevious);
    return nExit;
}
