// Sending over STARTTLS and implicit TLS with a login, against the real SMTP server of the tests
// started with certificates made here: the logins, the refusals that stop a run once, the
// certificates that must be refused, retries after a temporary refusal, and reused connections.
#include <gtest/gtest.h>

#include <fstream>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <QJsonArray>
#include <QTemporaryDir>

#include "engine/Data.h"
#include "mail/DeliveryEvent.h"
#include "mail/MergeRun.h"
#include "mail/RecordList.h"
#include "mail/SendJournal.h"
#include "mail/SmtpConnection.h"
#include "mail/SmtpSession.h"
#include "mail/TlsContext.h"
#include "support/RecordingPrompter.h"
#include "support/ScriptedProgress.h"
#include "support/ScriptedSmtpServer.h"
#include "support/SmtpTestServer.h"
#include "support/TestCertificates.h"

namespace {

using namespace std::chrono_literals;
using EOutcome = CMergeRun::EOutcome;
using Step = CScriptedSmtpServer::SStep;

class SecureSendingTest : public testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        s_pFolder = new QTemporaryDir;
        s_pCertificates = new CTestCertificates(s_pFolder->path().toStdString());
    }
    static void TearDownTestSuite()
    {
        delete s_pCertificates;
        delete s_pFolder;
    }

    void SetUp() override
    {
        ASSERT_EQ(s_pCertificates->Error(), "");
        ResetList();
        m_input.fields = {{"Name", "Email"}, {dbText, dbText}};
        m_input.strToField = "Email";
        m_input.strTemplate = "Dear <<Name>>,\r\nsee you on Friday.";
        m_input.strFrom = "Club <club@example.com>";
        m_input.strReplyTo = "replies@example.com";
        m_input.strSubject = "News";
        m_input.bInteractive = false;
        m_input.account.strExtraCaFile = s_pCertificates->CaFile();
        m_input.patience.firstPause = 50ms;
        m_input.sessionSettings.replyTimeout = 3s;
        m_input.sessionSettings.connectTimeout = 3s;
    }

    // A server of the tests with TLS in the mode given, the certificate given and a login.
    std::unique_ptr<CSmtpTestServer> StartServer(const std::string &strMode,
        const CTestCertificates::SPair &certificate, std::vector<std::string> extra = {})
    {
        std::vector<std::string> options {"--tls", certificate.strCertificate, certificate.strKey,
            "--mode", strMode, "--auth", "ann:s3cret pass"};
        options.insert(options.end(), extra.begin(), extra.end());
        auto pServer = CSmtpTestServer::WithOptions(options);
        EXPECT_EQ(pServer->Error(), "");
        return pServer;
    }

    void ResetList()
    {
        m_pList = std::make_unique<CRecordList>();
        m_pList->SetColumns({"Name", "Email"});
        m_input.pList = m_pList.get();
    }

    void AddPeople(int nCount, const std::string &strPrefix = "p")
    {
        for (int i = 0; i < nCount; ++i)
            m_pList->AddRecord(
                {"P" + std::to_string(i), strPrefix + std::to_string(i) + "@example.org"});
    }

    EOutcome Send(const CSmtpTestServer &server, ESmtpSecurity eSecurity,
        const std::string &strPassword = "s3cret pass")
    {
        m_input.bTestMode = false;
        m_input.serverName = [strServer = server.Server()] {
            return strServer;
        };
        m_input.account.eSecurity = eSecurity;
        m_input.account.strUser = "ann";
        m_input.account.strPassword = strPassword;
        m_pList->SelectAll();
        return m_run.Run(m_input, m_progress);
    }

    static QTemporaryDir *s_pFolder;
    static CTestCertificates *s_pCertificates;
    CRecordingPrompter m_prompter;
    CScriptedProgress m_progress;
    std::unique_ptr<CRecordList> m_pList;
    CMergeRun::SInput m_input;
    CMergeRun m_run;
};

QTemporaryDir *SecureSendingTest::s_pFolder = nullptr;
CTestCertificates *SecureSendingTest::s_pCertificates = nullptr;

struct SLoginCase
{
    const char *pMode;
    ESmtpSecurity eSecurity;
    const char *pMechanisms;
};

class LoginTest : public SecureSendingTest, public testing::WithParamInterface<SLoginCase>
{ };

TEST_P(LoginTest, EveryMessageArrivesEncryptedAndLoggedIn)
{
    const SLoginCase &login = GetParam();
    const auto pServer
        = StartServer(login.pMode, s_pCertificates->Good(), {"--mechanisms", login.pMechanisms});
    AddPeople(6);
    EXPECT_EQ(Send(*pServer, login.eSecurity), EOutcome::Completed) << m_run.StopReason();
    EXPECT_TRUE(m_run.FailedAddresses().empty());
    const std::vector<QJsonObject> messages = pServer->Messages();
    ASSERT_EQ(messages.size(), 6u);
    std::set<QString> recipients;
    for (const QJsonObject &message : messages) {
        EXPECT_TRUE(message.value(QStringLiteral("tls")).toBool());
        EXPECT_EQ(message.value(QStringLiteral("auth_user")).toString(), QStringLiteral("ann"));
        recipients.insert(message.value(QStringLiteral("rcpt_tos")).toArray().at(0).toString());
    }
    EXPECT_EQ(recipients.size(), 6u);
    EXPECT_TRUE(m_prompter.TakeTexts().empty());
}

INSTANTIATE_TEST_SUITE_P(Secured, LoginTest,
    testing::Values(SLoginCase {"starttls", ESmtpSecurity::StartTls, "PLAIN"},
        SLoginCase {"starttls", ESmtpSecurity::StartTls, "LOGIN"},
        SLoginCase {"tls", ESmtpSecurity::Tls, "PLAIN"},
        SLoginCase {"tls", ESmtpSecurity::Tls, "LOGIN"}),
    [](const testing::TestParamInfo<SLoginCase> &info) {
        return std::string(info.param.pMode) + "_" + info.param.pMechanisms;
    });

TEST_F(SecureSendingTest, AWrongPasswordStopsTheRunOnceAndSendsNothing)
{
    const auto pServer = StartServer("starttls", s_pCertificates->Good());
    AddPeople(8);
    m_input.bInteractive = true;
    EXPECT_EQ(Send(*pServer, ESmtpSecurity::StartTls, "wrong"), EOutcome::ServerRefused);
    EXPECT_NE(m_run.StopReason().find("refused the login of user \"ann\": the user name or the "
                                      "password is wrong"),
        std::string::npos)
        << m_run.StopReason();
    // One message for the run, no list of eight failed recipients, one connection tried.
    EXPECT_EQ(m_prompter.TakeTexts(), std::vector<std::string> {m_run.StopReason()});
    EXPECT_TRUE(m_run.FailedAddresses().empty());
    EXPECT_TRUE(pServer->Messages().empty());
    EXPECT_EQ(pServer->Connections(), 1);
}

class TokenLoginTest : public SecureSendingTest, public testing::WithParamInterface<const char *>
{
protected:
    // A server that takes only the access tokens of a file (one a line), by the mechanisms of
    // the parameter; the run logs in with whatever m_tokens hands out next.
    std::unique_ptr<CSmtpTestServer> StartTokenServer(const std::string &strAccepted)
    {
        m_strTokensFile = s_pFolder->filePath(QStringLiteral("tokens")).toStdString();
        std::ofstream(m_strTokensFile) << strAccepted << "\n";
        auto pServer = CSmtpTestServer::WithOptions({"--tls",
            s_pCertificates->Good().strCertificate, s_pCertificates->Good().strKey, "--mode",
            "starttls", "--oauth-tokens", m_strTokensFile, "--mechanisms", GetParam()});
        EXPECT_EQ(pServer->Error(), "");
        m_input.account.strUser = "ann@example.com";
        m_input.account.accessToken = [this](std::string &strError) {
            ++m_nTokensAsked;
            if (m_strRevoked.size()) {
                strError = m_strRevoked;
                return std::string();
            }
            return m_strToken;
        };
        return pServer;
    }
    EOutcome SendWithToken(const CSmtpTestServer &server)
    {
        m_input.bTestMode = false;
        m_input.serverName = [strServer = server.Server()] {
            return strServer;
        };
        m_input.account.eSecurity = ESmtpSecurity::StartTls;
        m_pList->SelectAll();
        return m_run.Run(m_input, m_progress);
    }

    std::string m_strTokensFile;
    std::string m_strToken = "good-token";
    std::string m_strRevoked;
    int m_nTokensAsked = 0;
};

TEST_P(TokenLoginTest, AValidTokenLogsInAndEveryMessageArrives)
{
    const auto pServer = StartTokenServer("good-token");
    AddPeople(5);
    ASSERT_EQ(SendWithToken(*pServer), EOutcome::Completed) << m_run.StopReason();
    const std::vector<QJsonObject> messages = pServer->Messages();
    ASSERT_EQ(messages.size(), 5u);
    for (const QJsonObject &message : messages)
        EXPECT_EQ(message.value(QStringLiteral("auth_user")).toString(),
            QStringLiteral("ann@example.com"));
    // Asked for every login: a token that expired meanwhile is refreshed before it is used.
    EXPECT_EQ(m_nTokensAsked, pServer->Connections());
}

TEST_P(TokenLoginTest, ARefusedTokenStopsTheRunOnceWithItsMeaningAndAskToSignInAgain)
{
    const auto pServer = StartTokenServer("another-token");
    AddPeople(4);
    m_input.bInteractive = true;
    EXPECT_EQ(SendWithToken(*pServer), EOutcome::ServerRefused);
    const std::string &strReason = m_run.StopReason();
    EXPECT_NE(strReason.find("refused the sign-in of user \"ann@example.com\": the access token "
                             "is not valid (expired or revoked); it needs the scope "
                             "https://mail.google.com/. Sign in again"),
        std::string::npos)
        << strReason;
    EXPECT_EQ(strReason.find("good-token"), std::string::npos); // never shown or logged
    EXPECT_EQ(m_prompter.TakeTexts(), std::vector<std::string> {strReason});
    EXPECT_TRUE(pServer->Messages().empty());
    EXPECT_EQ(pServer->Connections(), 1);
}

TEST_P(TokenLoginTest, ASignInTheProviderRevokedStopsTheRunBeforeAnyLogin)
{
    const auto pServer = StartTokenServer("good-token");
    AddPeople(3);
    m_strRevoked = "The sign-in of ann@example.com was revoked. Sign in again in Mail Options.";
    EXPECT_EQ(SendWithToken(*pServer), EOutcome::ServerRefused);
    EXPECT_NE(m_run.StopReason().find(m_strRevoked), std::string::npos) << m_run.StopReason();
    EXPECT_TRUE(pServer->Messages().empty());
}

INSTANTIATE_TEST_SUITE_P(Mechanisms, TokenLoginTest, testing::Values("XOAUTH2", "OAUTHBEARER"));

TEST_F(SecureSendingTest, AServerWithoutStartTlsIsNeverSentAnythingInPlainText)
{
    // The real server without TLS, and a scripted one whose every byte is recorded.
    CSmtpTestServer plain;
    ASSERT_EQ(plain.Error(), "");
    AddPeople(3);
    EXPECT_EQ(Send(plain, ESmtpSecurity::StartTls), EOutcome::ServerRefused);
    EXPECT_NE(m_run.StopReason().find("does not offer STARTTLS"), std::string::npos)
        << m_run.StopReason();
    EXPECT_TRUE(plain.Messages().empty());

    CScriptedSmtpServer scripted({Step::Reply("220 hello\r\n"),
        Step::Reply("250-scripted\r\n250-AUTH PLAIN LOGIN\r\n250 8BITMIME\r\n")});
    SSmtpAccount account {scripted.Server(), ESmtpSecurity::StartTls, 0, "ann", "s3cret", ""};
    CSmtpSession session(account, std::make_shared<const CTlsContext>());
    std::string strMessage;
    EXPECT_EQ(session.Open(strMessage), CSmtpSession::EOpen::Refused);
    EXPECT_EQ(scripted.Transcript(), "EHLO mergix.invalid\r\n");
}

TEST_F(SecureSendingTest, BytesSentBeforeTheTlsUpgradeAreRefused)
{
    // Data that rides along with the "220" would otherwise be read as if it came through TLS.
    CScriptedSmtpServer scripted(
        {Step::Reply("220 hello\r\n"), Step::Reply("250-scripted\r\n250 STARTTLS\r\n"),
            Step::Reply("220 go ahead\r\n250-injected\r\n250 AUTH PLAIN\r\n")});
    SSmtpAccount account {scripted.Server(), ESmtpSecurity::StartTls, 0, "ann", "s3cret", ""};
    CSmtpSession session(account, std::make_shared<const CTlsContext>());
    std::string strMessage;
    EXPECT_EQ(session.Open(strMessage), CSmtpSession::EOpen::Refused);
    EXPECT_NE(strMessage.find("sent data before the secure connection began"), std::string::npos)
        << strMessage;
}

TEST(SmtpAccountTest, ThePortComesFromTheNameThenTheBoxThenTheSecurity)
{
    const auto endpoint = [](const char *pServer, ESmtpSecurity eSecurity, int nPort) {
        return Endpoint({pServer, eSecurity, nPort, "", "", ""});
    };
    EXPECT_EQ(endpoint("mail.example.com", ESmtpSecurity::None, 0), "mail.example.com:25");
    EXPECT_EQ(endpoint("mail.example.com", ESmtpSecurity::StartTls, 0), "mail.example.com:587");
    EXPECT_EQ(endpoint("mail.example.com", ESmtpSecurity::Tls, 0), "mail.example.com:465");
    EXPECT_EQ(endpoint("mail.example.com", ESmtpSecurity::Tls, 2465), "mail.example.com:2465");
    EXPECT_EQ(endpoint("mail.example.com:2525", ESmtpSecurity::Tls, 2465), "mail.example.com:2525");
    EXPECT_EQ(endpoint("::1", ESmtpSecurity::StartTls, 0), "[::1]:587");
    EXPECT_EQ(ParseSecurity("starttls"), ESmtpSecurity::StartTls);
    EXPECT_EQ(ParseSecurity("TLS"), ESmtpSecurity::Tls);
    EXPECT_EQ(ParseSecurity("ssl"), std::nullopt);

    SSmtpAccount account {"mail.example.com", ESmtpSecurity::None, 0, "ann", "", ""};
    EXPECT_NE(CheckSmtpAccount(account).find("would travel in plain text"), std::string::npos);
    account.eSecurity = ESmtpSecurity::StartTls;
    EXPECT_EQ(CheckSmtpAccount(account), "");
    account.nPort = 70000;
    EXPECT_EQ(CheckSmtpAccount(account),
        "The SMTP port 70000 is not valid: a port is a number from 1 to 65535.");
    account.nPort = 0;
    account.strUser = "ann\r\nRCPT TO:<x@y>";
    EXPECT_NE(CheckSmtpAccount(account), "");
}

TEST(SmtpSessionTest, ManyMessagesShareOneConnectionWithRsetBetweenThem)
{
    // A plain session against a scripted server: the transactions follow each other on one
    // connection; a 421 closes it; a message whose acceptance never comes is in doubt.
    CScriptedSmtpServer server(
        {Step::Reply("220 hi\r\n"), Step::Reply("250-hi\r\n250 8BITMIME\r\n"),
            Step::Reply("250 ok\r\n"), Step::Reply("250 ok\r\n"), Step::Reply("354 go\r\n"),
            Step::Reply("250 queued\r\n"), Step::Reply("250 reset\r\n"), Step::Reply("250 ok\r\n"),
            Step::Reply("550 no such user\r\n"), Step::Reply("250 reset\r\n"),
            Step::Reply("250 ok\r\n"), Step::Reply("250 ok\r\n"), Step::Reply("354 go\r\n"),
            Step::Silent()});
    SSmtpAccount account {server.Server(), ESmtpSecurity::None, 0, "", "", ""};
    CSmtpSession session(account, nullptr);
    session.m_replyTimeout = 300ms;
    session.m_dataReplyTimeout = 300ms; // otherwise minutes, as a server may take
    std::string strMessage;
    ASSERT_EQ(session.Open(strMessage), CSmtpSession::EOpen::Ready) << strMessage;
    using R = CSmtpSession::EResult;
    EXPECT_EQ(session.Send("a@x.org", "b@x.org", "one\r\n.\r\n").eResult, R::Accepted);
    const CSmtpSession::SOutcome refused = session.Send("a@x.org", "c@x.org", "two\r\n.\r\n");
    EXPECT_EQ(refused.eResult, R::PermanentFailure);
    EXPECT_EQ(refused.strReply, "550 no such user");
    const CSmtpSession::SOutcome silent = session.Send("a@x.org", "d@x.org", "three\r\n.\r\n");
    EXPECT_EQ(silent.eResult, R::InDoubt);
    EXPECT_FALSE(session.IsOpen());
    EXPECT_EQ(server.Transcript(),
        "EHLO mergix.invalid\r\n"
        "MAIL FROM:<a@x.org>\r\nRCPT TO:<b@x.org>\r\nDATA\r\none\r\n.\r\n"
        "RSET\r\nMAIL FROM:<a@x.org>\r\nRCPT TO:<c@x.org>\r\n"
        "RSET\r\nMAIL FROM:<a@x.org>\r\nRCPT TO:<d@x.org>\r\nDATA\r\nthree\r\n.\r\n");

    CScriptedSmtpServer closing({Step::Reply("220 hi\r\n"), Step::Reply("250 hi\r\n"),
        Step::ReplyAndClose("421 shutting down\r\n")});
    CSmtpSession second({closing.Server(), ESmtpSecurity::None, 0, "", "", ""}, nullptr);
    ASSERT_EQ(second.Open(strMessage), CSmtpSession::EOpen::Ready);
    EXPECT_EQ(second.Send("a@x.org", "b@x.org", "one\r\n.\r\n").eResult, R::TemporaryFailure);
    EXPECT_FALSE(second.IsOpen());
}

TEST(SmtpSessionTest, AMessageIsRecordedAsBeingSentOnlyOnceTheServerTookItsRecipient)
{
    // The journal is asked just before DATA: a refused recipient never reads as in doubt, and
    // a message whose record could not be written sends nothing of itself.
    CScriptedSmtpServer server({Step::Reply("220 hi\r\n"), Step::Reply("250 hi\r\n"),
        Step::Reply("250 ok\r\n"), Step::Reply("550 no such user\r\n"),
        Step::Reply("250 reset\r\n"), Step::Reply("250 ok\r\n"), Step::Reply("250 ok\r\n"),
        Step::Reply("250 reset\r\n"), Step::Reply("250 ok\r\n"), Step::Reply("250 ok\r\n"),
        Step::Reply("354 go\r\n"), Step::Reply("250 queued\r\n")});
    CSmtpSession session({server.Server(), ESmtpSecurity::None, 0, "", "", ""}, nullptr);
    session.m_replyTimeout = 2s;
    std::string strMessage;
    ASSERT_EQ(session.Open(strMessage), CSmtpSession::EOpen::Ready) << strMessage;
    std::vector<std::string> asked;
    bool bRecorded = false;
    const auto record = [&](const char *pWho) {
        return [&, pWho] {
            asked.push_back(pWho);
            return bRecorded;
        };
    };
    using R = CSmtpSession::EResult;
    EXPECT_EQ(session.Send("a@x.org", "b@x.org", "one\r\n.\r\n", record("b")).eResult,
        R::PermanentFailure);
    const CSmtpSession::SOutcome unrecorded
        = session.Send("a@x.org", "c@x.org", "two\r\n.\r\n", record("c"));
    EXPECT_EQ(unrecorded.eResult, R::PermanentFailure);
    EXPECT_EQ(unrecorded.strReply, kNotRecorded);
    bRecorded = true;
    EXPECT_EQ(
        session.Send("a@x.org", "d@x.org", "three\r\n.\r\n", record("d")).eResult, R::Accepted);
    EXPECT_EQ(asked, (std::vector<std::string> {"c", "d"}));
    session.Quit();
    EXPECT_EQ(server.Transcript(),
        "EHLO mergix.invalid\r\n"
        "MAIL FROM:<a@x.org>\r\nRCPT TO:<b@x.org>\r\n"
        "RSET\r\nMAIL FROM:<a@x.org>\r\nRCPT TO:<c@x.org>\r\n"
        "RSET\r\nMAIL FROM:<a@x.org>\r\nRCPT TO:<d@x.org>\r\nDATA\r\nthree\r\n.\r\n"
        "QUIT\r\n");
}

TEST(SmtpSessionTest, TheEndOfTheDataIsWaitedForLongAndACancelEndsTheWait)
{
    // A server that filters the message answers later than any other reply may come.
    const auto filtering = [] {
        return std::vector<Step> {Step::Reply("220 hi\r\n"), Step::Reply("250 hi\r\n"),
            Step::Reply("250 ok\r\n"), Step::Reply("250 ok\r\n"), Step::Reply("354 go\r\n"),
            Step::ReplyAfter(1500ms, "250 queued after a look\r\n")};
    };
    CScriptedSmtpServer slow(filtering());
    CSmtpSession session({slow.Server(), ESmtpSecurity::None, 0, "", "", ""}, nullptr);
    session.m_replyTimeout = 300ms;
    std::string strMessage;
    ASSERT_EQ(session.Open(strMessage), CSmtpSession::EOpen::Ready) << strMessage;
    const CSmtpSession::SOutcome accepted = session.Send("a@x.org", "b@x.org", "one\r\n.\r\n");
    EXPECT_EQ(accepted.eResult, CSmtpSession::EResult::Accepted) << accepted.strReply;
    EXPECT_EQ(accepted.strReply, "250 queued after a look");

    // The plain one-message connection waits as long.
    CScriptedSmtpServer slowPlain(filtering());
    CSmtpConnection connection(slowPlain.Server(), "a@x.org", "b@x.org", "r@x.org", "S", "Hi");
    connection.m_replyTimeout = 300ms;
    EXPECT_TRUE(connection.Deliver()) << connection.LastReply();
    EXPECT_FALSE(connection.IsInDoubt());

    // One that never answers: a Cancel ends the wait soon, and the message is in doubt.
    CScriptedSmtpServer silent(
        {Step::Reply("220 hi\r\n"), Step::Reply("250 hi\r\n"), Step::Reply("250 ok\r\n"),
            Step::Reply("250 ok\r\n"), Step::Reply("354 go\r\n"), Step::Silent()});
    std::atomic<bool> bAbandon {false};
    CSmtpSession waiting({silent.Server(), ESmtpSecurity::None, 0, "", "", ""}, nullptr);
    waiting.m_replyTimeout = 300ms;
    waiting.m_pAbandon = &bAbandon;
    ASSERT_EQ(waiting.Open(strMessage), CSmtpSession::EOpen::Ready) << strMessage;
    std::thread cancel([&bAbandon] {
        std::this_thread::sleep_for(800ms);
        bAbandon = true;
    });
    const auto start = std::chrono::steady_clock::now();
    const CSmtpSession::SOutcome unanswered = waiting.Send("a@x.org", "b@x.org", "two\r\n.\r\n");
    cancel.join();
    EXPECT_EQ(unanswered.eResult, CSmtpSession::EResult::InDoubt);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 700ms);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 3s);
}

struct SCertificateCase
{
    const char *pName;
    const CTestCertificates::SPair &(CTestCertificates::*pick)() const;
    const char *pReason;
};

class CertificateTest : public SecureSendingTest,
                        public testing::WithParamInterface<SCertificateCase>
{ };

TEST_P(CertificateTest, ABadCertificateStopsTheRunAndSaysWhy)
{
    const SCertificateCase &bad = GetParam();
    for (const char *pMode : {"starttls", "tls"}) {
        const auto pServer = StartServer(pMode, (s_pCertificates->*bad.pick)());
        ResetList();
        AddPeople(2);
        EXPECT_EQ(Send(*pServer,
                      std::string(pMode) == "tls" ? ESmtpSecurity::Tls : ESmtpSecurity::StartTls),
            EOutcome::ServerRefused);
        EXPECT_NE(m_run.StopReason().find("The secure connection to the SMTP server \""
                      + pServer->Server() + "\" failed: " + bad.pReason),
            std::string::npos)
            << m_run.StopReason();
        EXPECT_TRUE(pServer->Messages().empty());
    }
}

INSTANTIATE_TEST_SUITE_P(Refused, CertificateTest,
    testing::Values(SCertificateCase {"OtherName", &CTestCertificates::OtherName,
                        "its certificate is for another name than \"127.0.0.1\""},
        SCertificateCase {"Expired", &CTestCertificates::Expired, "its certificate has expired"},
        SCertificateCase {"UnknownAuthority", &CTestCertificates::UnknownAuthority,
            "its certificate was issued by an unknown authority"}),
    [](const testing::TestParamInfo<SCertificateCase> &info) { return info.param.pName; });

TEST_F(SecureSendingTest, TheTestAuthorityIsNeededAndTheHostNameIsCheckedByName)
{
    const auto pServer = StartServer("tls", s_pCertificates->Good());
    AddPeople(1);
    // Without the extra authority the system's store does not know the test CA.
    m_input.account.strExtraCaFile.clear();
    EXPECT_EQ(Send(*pServer, ESmtpSecurity::Tls), EOutcome::ServerRefused);
    EXPECT_NE(m_run.StopReason().find("unknown authority"), std::string::npos);

    // By name rather than address: the certificate names localhost.
    m_input.account.strExtraCaFile = s_pCertificates->CaFile();
    const std::string strPort = pServer->Server().substr(pServer->Server().rfind(':') + 1);
    m_input.serverName = [strPort] {
        return "localhost:" + strPort;
    };
    EXPECT_EQ(m_run.Run(m_input, m_progress), EOutcome::Completed) << m_run.StopReason();
    EXPECT_EQ(pServer->Messages().size(), 1u);
}

TEST_F(SecureSendingTest, ATemporaryRefusalIsTriedAgainAndGivenUpAfterThreeTries)
{
    // "busy" recipients are refused with 451 twice, then taken; "storm" ones five times.
    const auto pServer
        = StartServer("starttls", s_pCertificates->Good(), {"--busy", "^(busy|storm)", "2"});
    AddPeople(3, "busy");
    AddPeople(2, "ok");
    EXPECT_EQ(Send(*pServer, ESmtpSecurity::StartTls), EOutcome::Completed);
    EXPECT_TRUE(m_run.FailedAddresses().empty());
    EXPECT_EQ(pServer->Messages().size(), 5u);

    // A storm outlasting the three tries; the journal then leaves the rest to a resume.
    const auto pStorm = StartServer("starttls", s_pCertificates->Good(), {"--busy", "^storm", "4"});
    ResetList();
    AddPeople(2, "storm");
    AddPeople(1, "ok");
    m_input.patience.nMaxTries = 3;
    CSendJournal journal;
    ASSERT_EQ(journal.Open(s_pFolder->filePath(QStringLiteral("storm.journal")).toStdString()), "");
    m_input.pJournal = &journal;
    EXPECT_EQ(Send(*pStorm, ESmtpSecurity::StartTls), EOutcome::Completed);
    // Two connections may give up in either order.
    std::vector<std::string> failed = m_run.FailedAddresses();
    std::sort(failed.begin(), failed.end());
    EXPECT_EQ(failed, (std::vector<std::string> {"storm0@example.org", "storm1@example.org"}));
    ASSERT_EQ(pStorm->Messages().size(), 1u);
    EXPECT_EQ(pStorm->Messages()[0].value(QStringLiteral("rcpt_tos")).toArray().at(0).toString(),
        QStringLiteral("ok0@example.org"));
    const std::optional<CSendJournal::SLastRun> last = journal.LastRun();
    ASSERT_TRUE(last);
    EXPECT_EQ(last->nDone, 1u);
    m_input.earlier.doneIdentities = journal.DoneIdentities(last->nRun);
    m_input.earlier.doneAddresses = journal.DoneAddresses(last->nRun);
    EXPECT_EQ(Send(*pStorm, ESmtpSecurity::StartTls), EOutcome::Completed); // the fourth tries fail
    EXPECT_EQ(pStorm->Messages().size(), 3u); // and the fifth are taken: each address once
    EXPECT_TRUE(journal.LastRun()->IsComplete());
}

TEST_F(SecureSendingTest, ABusyServerSlowsTheRunDownAndEveryMessageArrivesOnce)
{
    // At most three messages in half a second, as a provider's limit per minute, but sooner.
    const auto pServer = StartServer("starttls", s_pCertificates->Good(), {"--limit", "3", "0.5"});
    AddPeople(8);
    m_input.patience = {10, 20ms, 400ms};
    m_input.sessionSettings.nConnections = 2;
    EXPECT_EQ(Send(*pServer, ESmtpSecurity::StartTls), EOutcome::Completed);
    EXPECT_TRUE(m_run.FailedAddresses().empty());
    EXPECT_EQ(m_run.Delivered(), 8u);
    std::set<QString> recipients;
    for (const QJsonObject &message : pServer->Messages())
        recipients.insert(message.value(QStringLiteral("rcpt_tos")).toArray().at(0).toString());
    EXPECT_EQ(pServer->Messages().size(), 8u);
    EXPECT_EQ(recipients.size(), 8u);
    EXPECT_GT(pServer->Limited(), 0);
    EXPECT_LE(pServer->Connections(), 2);
    const auto busy = std::find_if(
        m_progress.texts.begin(), m_progress.texts.end(), [](const std::string &strText) {
            return strText.rfind("The mail server is busy; sending more slowly (", 0) == 0;
        });
    EXPECT_NE(busy, m_progress.texts.end());
}

TEST_F(SecureSendingTest, ConnectionsAreReusedUpToTheirNumber)
{
    const auto pServer = StartServer("tls", s_pCertificates->Good());
    AddPeople(40);
    m_input.sessionSettings.nConnections = 3;
    EXPECT_EQ(Send(*pServer, ESmtpSecurity::Tls), EOutcome::Completed);
    EXPECT_EQ(pServer->Messages().size(), 40u);
    EXPECT_GE(pServer->Connections(), 1);
    EXPECT_LE(pServer->Connections(), 3);
    EXPECT_LE(m_run.PeakDeliveries(), 3u);
}

TEST_F(SecureSendingTest, EveryMessageHasAValidMessageIdUniqueInTheRun)
{
    // In both modes: over reused TLS connections and over one plain connection a message.
    const auto pSecure = StartServer("tls", s_pCertificates->Good());
    CSmtpTestServer plain;
    AddPeople(15);
    EXPECT_EQ(Send(*pSecure, ESmtpSecurity::Tls), EOutcome::Completed);
    m_input.account = {};
    m_input.serverName = [strServer = plain.Server()] {
        return strServer;
    };
    EXPECT_EQ(m_run.Run(m_input, m_progress), EOutcome::Completed);

    std::vector<QJsonObject> messages = pSecure->Messages();
    const std::vector<QJsonObject> plainMessages = plain.Messages();
    messages.insert(messages.end(), plainMessages.begin(), plainMessages.end());
    ASSERT_EQ(messages.size(), 30u);
    std::set<QString> ids;
    for (const QJsonObject &message : messages) {
        const QString strId = message.value(QStringLiteral("message_id")).toString();
        EXPECT_TRUE(strId.startsWith(u'<') && strId.endsWith(QStringLiteral("@example.com>")))
            << strId.toStdString();
        EXPECT_TRUE(message.value(QStringLiteral("defects")).toArray().isEmpty());
        EXPECT_FALSE(message.contains(QStringLiteral("parse_error")));
        ids.insert(strId);
    }
    EXPECT_EQ(ids.size(), 30u);
}

} // namespace
