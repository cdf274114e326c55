#include "cli/CommandLine.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QSaveFile>
#include <QSettings>
#include <QString>

#include "app/OAuthLogin.h"
#include "app/PasswordKeeper.h"
#include "app/SecretHold.h"
#include "app/Settings.h"
#include "cli/CommandLineOptions.h"
#include "cli/ConsoleProgress.h"
#include "cli/ConsolePrompter.h"
#include "cli/SignIn.h"
#include "cli/TerminalPassword.h"
#include "document/MergixDoc.h"
#include "engine/DistinctFaults.h"
#include "engine/PrintableText.h"
#include "engine/Prompter.h"
#include "mail/JournalPath.h"
#include "mail/MergeRun.h"
#include "mail/RecordList.h"
#include "mail/RuleSelection.h"
#include "mail/RunRecord.h"
#include "mail/SendJournal.h"
#include "mail/SendPlan.h"
#include "sources/access/DaoException.h"
#include "sources/sql/ServerSource.h"

namespace {

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

int UsageError(const std::string &strText)
{
    std::fprintf(stderr, "mergix: %s\nTry 'mergix --help'.\n", strText.c_str());
    return 2;
}

// Ends the merge with a message on standard error and exit status 2.
struct SStop
{
    std::string strMessage;
};

// An OAuth 2.0 login's refresh token: from the environment for a headless run, else from the
// keyring, where --sign-in or the windows put it.
struct STokenLogin
{
    std::shared_ptr<CAccessTokenSource> pSource;
    std::string strKeptToken; // as the keyring had it; empty when it came from the environment
    std::string strKey;
};

void UseTokenLogin(SSmtpAccount &account, const SOAuthSettings &oauth, STokenLogin &login)
{
    KeepSecretsOutOfCoreDumps();
    std::optional<std::string> token = TakeFromEnvironment("MERGIX_SMTP_OAUTH_REFRESH_TOKEN");
    if (!token) {
        login.strKey = RefreshTokenKey(account);
        token = CPasswordKeeper().Read(login.strKey);
        login.strKeptToken = token.value_or(std::string());
    }
    if (!token || token->empty())
        throw SStop {"The SMTP login of user \"" + PrintableText(account.strUser)
            + "\" signs in with OAuth 2.0 (" + ProviderName(oauth.eProvider)
            + "), and no sign-in is kept: run mergix --sign-in, or set "
              "MERGIX_SMTP_OAUTH_REFRESH_TOKEN."};
    login.pSource = UseOAuthLogin(account, oauth, *token);
}

// A refresh token the provider replaced during the run is kept for the next one.
void KeepReplacedToken(const STokenLogin &login)
{
    if (!login.pSource || login.strKeptToken.empty())
        return;
    if (const std::string strNow = login.pSource->RefreshToken(); strNow != login.strKeptToken)
        CPasswordKeeper().Store(login.strKey, strNow);
}

// The server to send through, after the checks Send Mail makes, with the password of its login
// or, for an OAuth 2.0 login, its access tokens.
SSmtpAccount SendingAccount(const SCommandLineOptions &options, const CSettings &settings,
    const CMergixDoc &doc, STokenLogin &tokenLogin)
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
    if (const std::optional<SOAuthSettings> oauth = settings.OAuth(); oauth && account.LogsIn())
        UseTokenLogin(account, *oauth, tokenLogin);
    if (account.NeedsPassword()) {
        KeepSecretsOutOfCoreDumps();
        if (auto password = TakeFromEnvironment("MERGIX_SMTP_PASSWORD")) {
            account.strPassword = std::move(*password);
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
    const SCommandLineOptions &options, const CSettings &settings, const CMergixDoc &doc)
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

int Report(const CMergeRun &run, CMergeRun::EOutcome outcome, bool bSend, bool bJournal,
    size_t nSelected, CTestOutput &output)
{
    // Declined: the message went to these recipients before, and --again was not given.
    if (outcome == CMergeRun::EOutcome::NoToField || outcome == CMergeRun::EOutcome::JournalFailed
        || outcome == CMergeRun::EOutcome::Declined
        || outcome == CMergeRun::EOutcome::SettingsRefused
        || outcome == CMergeRun::EOutcome::AttachmentsRefused)
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
    }
    if (const std::vector<CMergeRun::SRefusedCopy> copies = run.RefusedCopies(); !copies.empty()) {
        std::string strText = "The server refused these copies (Cc or Bcc); each message still "
                              "went to its other recipients:";
        for (const CMergeRun::SRefusedCopy &copy : copies)
            strText += "\n  " + PrintableText(copy.strTo) + ": " + PrintableText(copy.strCopy)
                + " (" + PrintableText(copy.strReply) + ")";
        CConsolePrompter::Print(strText);
    }
    // An interrupted send did not reach everyone: a script must not take it for done.
    if (outcome == CMergeRun::EOutcome::Cancelled) {
        CConsolePrompter::Print("stopped after " + std::to_string(run.Skipped() + run.Delivered())
            + " of " + std::to_string(nSelected)
            + (bJournal ? "; give --resume to send the rest"
                        : "; the send had no journal, so it cannot be resumed"));
        return 1;
    }
    if (!failed.empty())
        return 1;
    if (outcome == CMergeRun::EOutcome::Completed) {
        const size_t nSkipped = run.Skipped();
        CConsolePrompter::Print(std::to_string(nSelected - nSkipped) + " message(s) delivered."
            + (nSkipped == 0 ? std::string()
                             : " " + std::to_string(nSkipped)
                        + " recipient(s) left out: an earlier send reached them, or may have."));
    }
    return 0;
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

// The password of a list in a database server: MERGIX_DB_PASSWORD, else asked on the terminal;
// taken once a run.
void UseServerPasswords()
{
    auto pTaken = std::make_shared<std::optional<std::string>>();
    SetServerPasswordSource([pTaken](const SServerAddress &address) -> std::optional<std::string> {
        if (*pTaken)
            return *pTaken;
        KeepSecretsOutOfCoreDumps();
        if (auto password = TakeFromEnvironment("MERGIX_DB_PASSWORD"))
            *pTaken = std::move(password);
        else
            *pTaken = AskPasswordOnTerminal(
                "Password of " + address.strUser + " at " + ServerPasswordKey(address) + ": ");
        return *pTaken;
    });
}

int RunMerge(const SCommandLineOptions &options)
{
    UseServerPasswords();
    QSettings store(QSettings::NativeFormat, QSettings::UserScope,
        QStringLiteral("Corvane Software"), QStringLiteral("Mergix"));
    const CSettings settings(store);
    CConsoleProgress progress(s_bInterrupted);
    CMergixDoc doc;
    CRecordList list;
    CMergeRun run;
    try {
        const SListChoice otherList {options.source, options.table};
        if (!doc.OnOpenDocument(options.strFile, &otherList))
            return 2; // the file's message has been shown
        if (options.failedCsv) {
            if (std::string strProblem = CheckFailuresCsvPath(*options.failedCsv);
                !strProblem.empty())
                throw SStop {std::move(strProblem)};
        }
        STokenLogin tokenLogin;
        const SSmtpAccount account
            = options.bSend ? SendingAccount(options, settings, doc, tokenLogin) : SSmtpAccount();
        std::unique_ptr<CSendJournal> pJournal;
        SSendPlan plan;
        if (options.bSend && !options.bNoJournal) {
            pJournal = std::make_unique<CSendJournal>();
            const EResumeChoice eChoice = options.bResume ? EResumeChoice::Resume
                : options.bAgain                          ? EResumeChoice::Again
                                                          : EResumeChoice::Refuse;
            std::string strMessage;
            const std::optional<SSendPlan> planned = PlanSend(*pJournal,
                JournalPathFor(options.strFile, {}), eChoice, options.bIncludeInDoubt, strMessage,
                CMergeRun::TemplateDigest(CMergeRun::InputOf(doc)), options.bChangedMessage);
            if (!planned)
                throw SStop {strMessage};
            if (!strMessage.empty())
                CConsolePrompter::Print(strMessage);
            plan = *planned;
            if (plan.bJournal)
                pJournal->RecordMergeFile(options.strFile);
        }
        const std::optional<CRuleSet> rules = Selection(options, settings, doc);
        CheckToField(doc);

        list.SetColumns(doc.m_fieldNames);
        list.Load(*doc.Table(), progress);
        if (rules)
            SelectByRules(*rules, doc.m_fieldNames, *doc.Table(), list);
        else
            list.SelectAll();
        if (options.bSend) {
            std::signal(SIGINT, OnInterrupt);
            std::signal(SIGTERM, OnInterrupt);
        }

        CMergeRun::SInput input = CMergeRun::InputOf(doc);
        input.pList = &list;
        input.serverName = [strServer = account.strServer] {
            return strServer;
        };
        input.account = account;
        if (plan.bJournal) {
            input.pJournal = pJournal.get();
            input.journalRun = {Endpoint(account), SelectionText(options), {}, plan.resumes};
            input.earlier = std::move(plan.earlier);
            input.completed = std::move(plan.completed);
        }
        input.nRatePerMinute = options.nRatePerMinute;
        input.dkim = settings.Dkim();
        input.unsubscribe = settings.Unsubscribe();
        input.bTestMode = !options.bSend;
        input.bInteractive = false;
        input.bSkipUnsendableAttachments = options.bSkipMissingAttachments;
        CTestOutput output;
        input.testOutput = [&output](std::string_view text) {
            return output.Write(text);
        };
        if (options.htmlFolder) {
            if (!QDir().mkpath(QString::fromStdString(*options.htmlFolder)))
                throw SStop {"The folder " + *options.htmlFolder + " cannot be made."};
            input.testHtmlOutput = [&options](size_t nIndex, const std::string &strHtml) {
                const std::string strPath
                    = *options.htmlFolder + "/message-" + std::to_string(nIndex + 1) + ".html";
                QSaveFile file(QString::fromStdString(strPath));
                if (file.open(QIODevice::WriteOnly)
                    && file.write(strHtml.data(), qint64(strHtml.size())) == qint64(strHtml.size())
                    && file.commit())
                    return true;
                CConsolePrompter::Print(
                    strPath + " cannot be written: " + file.errorString().toStdString());
                return false;
            };
        }
        const CMergeRun::EOutcome outcome = run.Run(input, progress);
        KeepReplacedToken(tokenLogin);
        if (options.failedCsv) {
            if (const std::string strError = WriteFailuresCsv(*options.failedCsv, run.Failures());
                !strError.empty()) {
                Report(
                    run, outcome, options.bSend, plan.bJournal, list.SelectedRows().size(), output);
                throw SStop {strError};
            }
        }
        return Report(
            run, outcome, options.bSend, plan.bJournal, list.SelectedRows().size(), output);
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
        std::fputs(kCommandLineHelp, stdout);
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
    // The keyring and the sign-in provider are reached through Qt's event loop.
    std::optional<QCoreApplication> application;
    if (args[0] == "--sign-in") {
        SSignInOptions signIn;
        if (const std::string strError = ParseSignInOptions(args, 1, signIn); !strError.empty())
            return UsageError(strError);
        application.emplace(argc, argv);
        std::signal(SIGINT, OnInterrupt);
        std::signal(SIGTERM, OnInterrupt);
        return RunSignIn(signIn, s_bInterrupted);
    }
    SCommandLineOptions options;
    if (args[0] == "--send")
        options.bSend = true;
    else if (args[0] != "--test-merge")
        return UsageError("unexpected argument \"" + PrintableText(args[0])
            + "\" (the merge file follows --test-merge or --send)");
    if (args.size() < 2 || args[1].empty() || isOption(args[1]))
        return UsageError(args[0] + " needs a merge file (.mgx)");
    options.strFile = args[1];
    if (const std::string strError = ParseOptions(args, 2, options); !strError.empty())
        return UsageError(strError);

    if (options.bSend)
        application.emplace(argc, argv);
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
