// The merge run over a record list: the test text byte for byte, the questions and Cancel, and
// send runs against the real SMTP server of the tests.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <set>
#include <string>
#include <thread>

#include <QJsonArray>

#include <malloc.h>
#include <netinet/in.h>
#include <pthread.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include "engine/Data.h"
#include "engine/Progress.h"
#include "mail/MergeRun.h"
#include "mail/RecordList.h"
#include "support/RecordingPrompter.h"
#include "support/ScriptedProgress.h"
#include "support/SmtpTestServer.h"

namespace {

using namespace std::chrono_literals;
using Texts = std::vector<std::string>;
using EOutcome = CMergeRun::EOutcome;

const std::string kLine = std::string(64, '-') + "\r\n";

// A server that takes connections (the kernel completes them) and never says a word.
class CSilentServer final
{
public:
    CSilentServer()
    {
        m_fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t nLength = sizeof address;
        if (m_fd < 0 || ::bind(m_fd, reinterpret_cast<sockaddr *>(&address), nLength) != 0
            || ::listen(m_fd, 64) != 0
            || ::getsockname(m_fd, reinterpret_cast<sockaddr *>(&address), &nLength) != 0)
            return;
        m_strServer = "127.0.0.1:" + std::to_string(ntohs(address.sin_port));
    }
    ~CSilentServer()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    CSilentServer(const CSilentServer &) = delete;
    CSilentServer &operator=(const CSilentServer &) = delete;

    const std::string &Server() const { return m_strServer; }

private:
    int m_fd = -1;
    std::string m_strServer;
};

class MergeRunTest : public testing::Test
{
protected:
    void SetUp() override
    {
        m_list.SetColumns({"Name", "Email", "City", "Age"});
        m_input.pList = &m_list;
        m_input.fields = {{"Name", "Email", "City", "Age"}, {dbText, dbText, dbText, dbInteger}};
        m_input.strToField = "Email";
        m_input.strTemplate = "Dear <<Name>>,\r\n\t{IF \"<<Age>>\" \"Less than\" \"18\" THEN "
                              "\"junior\" ELSE \"member\" \"CASENO\"} in <<City>>";
        m_input.strFrom = "Club <club@example.com>";
        m_input.strReplyTo = "replies@example.com";
        m_input.strSubject = "News";
        m_input.bTestMode = true;
    }
    void AddPeople(int nCount, const std::string &strPrefix = "p")
    {
        for (int i = 0; i < nCount; ++i)
            m_list.AddRecord({"P" + std::to_string(i),
                strPrefix + std::to_string(i) + "@example.org", "Town", std::to_string(10 + i)});
    }
    void SendTo(const std::string &strServer)
    {
        m_input.bTestMode = false;
        m_input.serverName = [strServer] {
            return strServer;
        };
    }
    // Runs a send in a child process whose address space leaves room for only a few thread
    // stacks, as a long run on a busy machine meets the system's limits; returns how many
    // deliveries failed, or -1 when the child did not end well within a minute.
    int FailuresWithRoomForThreads(int nStacks)
    {
        const pid_t pid = ::fork();
        if (pid == 0) {
            constexpr size_t kStack = size_t(256) << 20;
            ::mallopt(M_ARENA_MAX, 1); // thread arenas would reserve address space too
            pthread_attr_t attributes;
            ::pthread_attr_init(&attributes);
            ::pthread_attr_setstacksize(&attributes, kStack);
            ::pthread_setattr_default_np(&attributes);
            std::ifstream status("/proc/self/status");
            size_t nUsed = 0;
            for (std::string strLine; std::getline(status, strLine);) {
                if (strLine.rfind("VmSize:", 0) == 0)
                    nUsed = std::stoul(strLine.substr(7)) * 1024;
            }
            const rlimit limit {nUsed + nStacks * kStack + kStack / 2, RLIM_INFINITY};
            ::setrlimit(RLIMIT_AS, &limit);
            CNullProgress progress;
            m_input.bInteractive = false;
            m_run.Run(m_input, progress);
            ::_exit(static_cast<int>(std::min<size_t>(m_run.FailedAddresses().size(), 100)));
        }
        for (int i = 0; i < 600; ++i) {
            int nStatus = 0;
            if (::waitpid(pid, &nStatus, WNOHANG) == pid)
                return WIFEXITED(nStatus) ? WEXITSTATUS(nStatus) : -1;
            std::this_thread::sleep_for(100ms);
        }
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
        return -1;
    }

    CRecordingPrompter m_prompter;
    CRecordList m_list;
    CMergeRun::SInput m_input;
    CScriptedProgress m_progress;
    CMergeRun m_run;
};

TEST_F(MergeRunTest, TestTextForEachSelectedRowFromTheTop)
{
    m_list.AddRecord({"Ann", "ann@example.org", "Boston", "17"});
    m_list.AddRecord({"Bob", "Bob <bob@example.org>", "Denver", "40"});
    m_list.AddRecord({"Cy", "cy@example.org", "Reno", "5"});
    m_list.SelectAll();
    m_list.SetSelected(0, false); // Cy
    EXPECT_EQ(m_run.Run(m_input, m_progress), EOutcome::Completed);
    EXPECT_EQ(m_run.TestResults(),
        kLine
            + "To: Bob <bob@example.org>\r\n"
              "Dear Bob,\r\n        member in Denver\r\n\r\n"
            + kLine
            + "To: ann@example.org\r\n"
              "Dear Ann,\r\n        junior in Boston\r\n\r\n");
    EXPECT_TRUE(m_prompter.Entries().empty());
    EXPECT_EQ(m_progress.strCaption, "Sending mail...");
    EXPECT_EQ(
        m_progress.texts, (Texts {"Processing IF statements...", "Simulating e-mail merge..."}));
    EXPECT_EQ(m_progress.nRangeHigh, 32000);
    EXPECT_EQ(m_progress.nStep, 16000);
    EXPECT_EQ(m_progress.nPos, 32000);
    EXPECT_EQ(m_progress.nCreated, 1);
    EXPECT_EQ(m_progress.nDestroyed, 1);
}

TEST(SendSummaryTest, SaysWhatWasSentAndWhetherTheRunWasStopped)
{
    using EOutcome = CMergeRun::EOutcome;
    EXPECT_EQ(CMergeRun::SendSummary(EOutcome::Completed, 12, 0), "12 messages sent.");
    EXPECT_EQ(CMergeRun::SendSummary(EOutcome::Completed, 1, 2), "1 message sent; 2 failed.");
    EXPECT_EQ(CMergeRun::SendSummary(EOutcome::Cancelled, 8, 0), "Stopped: 8 messages sent.");
    EXPECT_EQ(CMergeRun::SendSummary(EOutcome::ServerRefused, 0, 0), "");
}

TEST_F(MergeRunTest, EarlyStopsLeaveTheDialogOpen)
{
    AddPeople(3);
    EXPECT_EQ(m_run.Run(m_input, m_progress), EOutcome::NothingSelected);
    EXPECT_EQ(m_prompter.TakeTexts(),
        Texts {"There were no items selected. Please select some items "
               "and then continue the e-mail merge."});
    m_list.SelectAll();
    m_input.strToField = "email"; // field names are matched exactly
    EXPECT_EQ(m_run.Run(m_input, m_progress), EOutcome::NoToField);
    EXPECT_EQ(m_prompter.TakeTexts(),
        Texts {"Please choose the field of the database that contains the e-mail address"});
    EXPECT_EQ(m_progress.nCreated, 0);
}

TEST_F(MergeRunTest, LargeTestsAskFirst)
{
    AddPeople(50);
    m_list.SelectAll();
    EXPECT_EQ(m_run.Run(m_input, m_progress), EOutcome::Completed);
    EXPECT_TRUE(m_prompter.Entries().empty());

    AddPeople(1);
    m_list.SelectAll();
    m_prompter.ScriptAnswer(false);
    EXPECT_EQ(m_run.Run(m_input, m_progress), EOutcome::Declined);
    ASSERT_EQ(m_prompter.Entries().size(), 1u);
    EXPECT_TRUE(m_prompter.Entries()[0].bQuestion);
    EXPECT_EQ(m_prompter.TakeTexts()[0].substr(0, 40), "If a large number of items is selected a");

    m_input.bInteractive = false; // the command line asks nothing
    EXPECT_EQ(m_run.Run(m_input, m_progress), EOutcome::Completed);
    EXPECT_TRUE(m_prompter.Entries().empty());
}

TEST_F(MergeRunTest, CancelAfterTheFirstRowKeepsItsMessage)
{
    AddPeople(3);
    m_list.SelectAll();
    m_progress.nCancelAt = 1;
    m_prompter.ScriptAnswer(true);
    EXPECT_EQ(m_run.Run(m_input, m_progress), EOutcome::Cancelled);
    EXPECT_EQ(m_prompter.TakeTexts(),
        Texts {"Are you sure you want to Cancel?\nNot all messages have been sent."});
    EXPECT_EQ(m_run.TestResults(),
        kLine + "To: p2@example.org\r\nDear P2,\r\n        junior in Town\r\n\r\n");
    EXPECT_EQ(m_progress.nPos, 32000);

    m_progress = {};
    m_progress.nCancelAt = 1;
    m_prompter.ScriptAnswer(false);
    EXPECT_EQ(m_run.Run(m_input, m_progress), EOutcome::Completed);
    EXPECT_EQ(std::count(m_run.TestResults().begin(), m_run.TestResults().end(), '-'), 3 * 64);
}

TEST_F(MergeRunTest, SendRunReportsFailuresInTheOrderTheyFailed)
{
    CSmtpTestServer server("^(reject|slow)");
    ASSERT_FALSE(server.Server().empty()) << server.Error();
    // From the top: slow (refused after two seconds), ok, reject-a, ok, reject-b.
    for (const char *pTo : {"reject-b@example.org", "fine2@example.org", "reject-a@example.org",
             "fine1@example.org", "slow-refused@example.org"})
        m_list.AddRecord({"X", pTo, "Town", "30"});
    m_list.SelectAll();
    m_input.bTestMode = false;
    int nServerReads = 0;
    m_input.serverName = [&] {
        ++nServerReads;
        return server.Server();
    };
    m_run.m_workerWait = 50ms; // the slow delivery is still running when the run reaches its end
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(m_run.Run(m_input, m_progress), EOutcome::Completed);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 1900ms);
    EXPECT_EQ(nServerReads, 5);
    EXPECT_EQ(m_run.FailedAddresses(),
        (Texts {"reject-a@example.org", "reject-b@example.org", "slow-refused@example.org"}));
    EXPECT_EQ(m_prompter.TakeTexts(),
        Texts {"There was an error sending one or more messages to the following "
               "addresses:\r\n\r\nreject-a@example.org\r\nreject-b@example.org\r\n"
               "slow-refused@example.org\r\n"});
    EXPECT_EQ(m_progress.texts.back(), "Sending mail...");

    const std::vector<QJsonObject> messages = server.Messages();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].value(QStringLiteral("rcpt_tos")).toArray().at(0).toString(),
        QStringLiteral("fine1@example.org"));
    EXPECT_EQ(messages[0].value(QStringLiteral("subject")).toString(), QStringLiteral("News"));
    EXPECT_EQ(messages[0].value(QStringLiteral("body")).toString(),
        QStringLiteral("Dear X,\r\n        member in Town\r\n"));

    // All delivered: no message at all.
    m_list.SetColumns({"Name", "Email", "City", "Age"});
    m_list.AddRecord({"Y", "fine3@example.org", "Town", "30"});
    m_list.SelectAll();
    EXPECT_EQ(m_run.Run(m_input, m_progress), EOutcome::Completed);
    EXPECT_TRUE(m_run.FailedAddresses().empty());
    EXPECT_TRUE(m_prompter.Entries().empty());
}

TEST_F(MergeRunTest, EveryDeliveryFailingListsEveryAddress)
{
    AddPeople(3);
    m_list.SelectAll();
    m_input.bTestMode = false;
    m_input.serverName = [] {
        return std::string("127.0.0.1:1");
    }; // nothing listens there
    EXPECT_EQ(m_run.Run(m_input, m_progress), EOutcome::Completed);
    EXPECT_EQ(m_run.FailedAddresses().size(), 3u);
    EXPECT_EQ(m_prompter.Entries().size(), 1u);
}

// AddressSanitizer reserves terabytes of shadow memory, which no address space limit leaves room
// for.
#if defined(__SANITIZE_ADDRESS__)
#define SKIP_WITH_SANITIZER() GTEST_SKIP() << "address space limits do not fit AddressSanitizer"
#else
#define SKIP_WITH_SANITIZER() (void)0
#endif

TEST_F(MergeRunTest, FinishedDeliveriesAreJoinedSoALongRunNeverRunsOutOfThreads)
{
    SKIP_WITH_SANITIZER();
    CSmtpTestServer server;
    ASSERT_FALSE(server.Server().empty()) << server.Error();
    AddPeople(300, "member");
    m_list.SelectAll();
    SendTo(server.Server());
    // Room for eight stacks at a time: a run that kept its finished workers failed from the
    // ninth message on.
    EXPECT_EQ(FailuresWithRoomForThreads(8), 0);
    EXPECT_EQ(server.Messages().size(), 300u);
}

TEST_F(MergeRunTest, AThreadThatCannotStartIsTriedAgainWhenTheOldestDeliveryEnds)
{
    SKIP_WITH_SANITIZER();
    CSmtpTestServer server;
    ASSERT_FALSE(server.Server().empty()) << server.Error();
    AddPeople(4, "slow-member"); // each answered after two seconds
    m_list.SelectAll();
    SendTo(server.Server());
    m_run.m_workerWait = 0ms;
    // Three deliveries fit; the fourth thread can start only once the first has ended.
    EXPECT_EQ(FailuresWithRoomForThreads(3), 0);
    EXPECT_EQ(server.Messages().size(), 4u);
}

TEST_F(MergeRunTest, ASlowServerMakesTheRunWaitAtTheCeiling)
{
    CSmtpTestServer server;
    ASSERT_FALSE(server.Server().empty()) << server.Error();
    AddPeople(3, "fast");
    AddPeople(2, "slow"); // on top, so handed out first
    m_list.SelectAll();
    SendTo(server.Server());
    m_run.m_workerWait = 0ms;
    m_run.m_nMaxDeliveries = 2;
    EXPECT_EQ(m_run.Run(m_input, m_progress), EOutcome::Completed);
    EXPECT_EQ(m_run.PeakDeliveries(), 2u);
    EXPECT_TRUE(m_run.FailedAddresses().empty());
    EXPECT_EQ(server.Messages().size(), 5u);
    EXPECT_TRUE(m_prompter.Entries().empty());
}

TEST_F(MergeRunTest, ABusyServerSlowsTheRunDownAndEveryMessageArrivesOnce)
{
    // At most three messages in half a second, as a provider's limit per minute, but sooner;
    // a refused recipient is refused for good.
    CSmtpTestServer server("^reject", "^slow", {"--limit", "3", "0.5"});
    ASSERT_FALSE(server.Server().empty()) << server.Error();
    AddPeople(8);
    m_list.AddRecord({"R", "reject-r@example.org", "Town", "30"});
    m_list.SelectAll();
    SendTo(server.Server());
    m_run.m_workerWait = 0ms; // all at once, so that the limit is met on any machine
    m_input.patience = {10, 20ms, 400ms};
    EXPECT_EQ(m_run.Run(m_input, m_progress), EOutcome::Completed);
    EXPECT_EQ(m_run.FailedAddresses(), Texts {"reject-r@example.org"});
    EXPECT_EQ(m_run.Delivered(), 8u);
    std::set<QString> recipients;
    for (const QJsonObject &message : server.Messages())
        recipients.insert(message.value(QStringLiteral("rcpt_tos")).toArray().at(0).toString());
    EXPECT_EQ(server.Messages().size(), 8u);
    EXPECT_EQ(recipients.size(), 8u);
    // Each try its own connection: one for each message taken or refused by the limit, and one
    // for the refused recipient, which is not tried again.
    EXPECT_GT(server.Limited(), 0);
    EXPECT_EQ(server.Connections(), 9 + server.Limited());
    const auto busy = std::find_if(
        m_progress.texts.begin(), m_progress.texts.end(), [](const std::string &strText) {
            return strText.rfind("The mail server is busy; sending more slowly (", 0) == 0;
        });
    ASSERT_NE(busy, m_progress.texts.end());
    EXPECT_NE(busy->find(" a minute) and trying again at "), std::string::npos) << *busy;
}

TEST_F(MergeRunTest, CancelWorksWhileTheRunWaitsForASilentServer)
{
    CSilentServer server;
    ASSERT_FALSE(server.Server().empty());
    AddPeople(8);
    m_list.SelectAll();
    SendTo(server.Server());
    m_run.m_workerWait = 0ms;
    m_run.m_nMaxDeliveries = 3;
    // Checks 1 to 3 follow the first three messages; the later ones come while the run waits
    // for room, and the sixth is a press of Cancel.
    m_progress.nCancelAt = 6;
    m_prompter.ScriptAnswer(true);
    EXPECT_EQ(m_run.Run(m_input, m_progress), EOutcome::Cancelled);
    EXPECT_EQ(m_prompter.Entries().size(), 2u); // the question, then the failed addresses
    EXPECT_EQ(m_prompter.TakeTexts()[0],
        "Are you sure you want to Cancel?\nNot all messages have been sent.");
    EXPECT_EQ(m_run.PeakDeliveries(), 3u);
    // The three in flight ended within the reply wait and were counted; the rest never left.
    Texts failed = m_run.FailedAddresses();
    std::sort(failed.begin(), failed.end());
    EXPECT_EQ(failed, (Texts {"p5@example.org", "p6@example.org", "p7@example.org"}));
}

} // namespace
