#include <gtest/gtest.h>

#include <regex>
#include <string>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "mail/DeliveryEvent.h"
#include "mail/MessageText.h"
#include "mail/SmtpConnection.h"
#include "support/ScriptedSmtpServer.h"

namespace {

using Step = CScriptedSmtpServer::SStep;
using namespace std::chrono_literals;

const std::string kDialogue = "helo mergix.invalid\r\n"
                              "MAIL FROM:<jane@example.com>\r\n"
                              "RCPT TO:<john@example.org>\r\n"
                              "DATA\r\n";

std::unique_ptr<CSmtpConnection> Connection(const std::string &strServer,
    std::string strTo = "John Doe <john@example.org>", std::string strBody = "Hello John")
{
    auto pConnection = std::make_unique<CSmtpConnection>(strServer, "Jane Roe <jane@example.com>",
        std::move(strTo), "", "Greetings", std::move(strBody));
    pConnection->m_replyTimeout = 500ms;
    pConnection->m_connectTimeout = 2s;
    return pConnection;
}

// The transcript with its Date and Message-ID lines checked and replaced by fixed ones.
std::string WithoutDate(const std::string &strTranscript)
{
    static const std::regex messageId(
        "Message-ID: <[0-9a-f]+\\.[0-9a-f]{16}\\.[0-9]+@[A-Za-z0-9.-]+>\r\n");
    std::smatch idMatch;
    EXPECT_TRUE(std::regex_search(strTranscript, idMatch, messageId)) << strTranscript;
    static const std::regex date("Date: (Mon|Tue|Wed|Thu|Fri|Sat|Sun), [0-3][0-9] "
                                 "(Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) "
                                 "[0-9]{4} [0-2][0-9]:[0-5][0-9]:[0-6][0-9] [+-][0-9]{4}\r\n");
    std::smatch match;
    EXPECT_TRUE(std::regex_search(strTranscript, match, date)) << strTranscript;
    return std::regex_replace(std::regex_replace(strTranscript, date, "Date: <date>\r\n"),
        messageId, "Message-ID: <id>\r\n");
}

TEST(SmtpConnectionTest, WritesTheDialogueByteForByte)
{
    CScriptedSmtpServer server(CScriptedSmtpServer::Accepting());
    auto pConnection = Connection(server.Server(), "John Doe <john@example.org>",
        "Line one\r\n.\r\n.starts with a dot\nbare\rends\r\n");
    EXPECT_TRUE(pConnection->Deliver());
    EXPECT_EQ(WithoutDate(server.Transcript()),
        kDialogue
            + "Date: <date>\r\n"
              "From: Jane Roe <jane@example.com>\r\n"
              "Subject: Greetings\r\n"
              "Reply-To: \r\n"
              "To: John Doe <john@example.org>\r\n"
              "Message-ID: <id>\r\n"
              "X-Mailer: Mergix v1.1 by Corvane Software. Please report spamming to "
              "abuse@corvane.example.\r\n"
              "\r\n"
              "Line one\r\n..\r\n..starts with a dot\r\nbare\r\nends\r\n"
              "\r\n.\r\n"
              "QUIT\r\n");
}

TEST(SmtpConnectionTest, NonAsciiTextIsDeclaredAndEncodedForASevenBitServer)
{
    CScriptedSmtpServer server(CScriptedSmtpServer::Accepting());
    CSmtpConnection connection(server.Server(), "José Roe <jose@example.com>", "ann@example.org",
        "Büro <office@example.com>", "Grüße", "Schöne Grüße");
    EXPECT_TRUE(connection.Deliver());
    const std::string strTranscript = WithoutDate(server.Transcript());
    EXPECT_NE(strTranscript.find("MAIL FROM:<jose@example.com>\r\nRCPT TO:<ann@example.org>\r\n"),
        std::string::npos);
    EXPECT_NE(strTranscript.find("Date: <date>\r\n"
                                 "From: =?UTF-8?B?Sm9zw6kgUm9l?= <jose@example.com>\r\n"
                                 "Subject: =?UTF-8?B?R3LDvMOfZQ==?=\r\n"
                                 "Reply-To: =?UTF-8?B?QsO8cm8=?= <office@example.com>\r\n"
                                 "To: ann@example.org\r\n"
                                 "Message-ID: <id>\r\n"
                                 "MIME-Version: 1.0\r\n"
                                 "Content-Type: text/plain; charset=UTF-8\r\n"
                                 "Content-Transfer-Encoding: quoted-printable\r\n"
                                 "X-Mailer: "),
        std::string::npos)
        << strTranscript;
    // HELO learns nothing of 8BITMIME: the text goes quoted-printable, every byte below 128.
    EXPECT_NE(strTranscript.find("\r\n\r\nSch=C3=B6ne Gr=C3=BC=C3=9Fe\r\n.\r\nQUIT\r\n"),
        std::string::npos);
    EXPECT_FALSE(HasNonAscii(server.Transcript()));

    // For a server that takes 8-bit text, it goes as written.
    const std::string strEightBit = CSmtpConnection::ComposeData(
        "José Roe <jose@example.com>", "ann@example.org", "", "Grüße", "Schöne Grüße", 0, "<id>");
    EXPECT_NE(strEightBit.find("Content-Transfer-Encoding: 8bit\r\n"), std::string::npos);
    EXPECT_NE(strEightBit.find("\r\n\r\nSchöne Grüße\r\n.\r\n"), std::string::npos);

    // An address beyond ASCII cannot go through a server that greets with HELO: it fails
    // before a connection is made.
    CSmtpConnection utf8(server.Server(), "jane@example.com", "jörg@example.org", "", "Hi", "Hi");
    EXPECT_FALSE(utf8.Deliver());
    EXPECT_EQ(utf8.LastReply(), kNeedsSmtpUtf8);
}

TEST(SmtpConnectionTest, RepliesSplitOverReceivesAreJoined)
{
    CScriptedSmtpServer server({Step::Split({"2", "20 split", " greeting\r\n"}),
        Step::Split({"250-first line\r\n250-sec", "ond\r\n250 last\r\n"}),
        Step::Split({"25", "0 ok\r\n"}), Step::Reply("250 ok\r\n"),
        Step::Split({"354 go ahead", "\r\n"}), Step::Split({"250 queued", " as 12\r\n"})});
    EXPECT_TRUE(Connection(server.Server())->Deliver());
    EXPECT_EQ(server.Transcript().substr(0, kDialogue.size()), kDialogue);
}

TEST(SmtpConnectionTest, AnyOtherReplyEndsTheDeliveryAtOnce)
{
    // The rejection at each step of the dialogue, including one whose text holds "250".
    const std::string kRejections[] = {"554 no service\r\n", "501 bad helo\r\n",
        "550 sender 250 refused\r\n", "550 5.1.1 <user250@example.org> 250 unknown\r\n",
        "451 try later\r\n", "552 250 too big\r\n"};
    for (size_t nStep = 0; nStep < std::size(kRejections); ++nStep) {
        std::vector<Step> script = CScriptedSmtpServer::Accepting();
        script.resize(nStep);
        script.push_back(Step::Reply(kRejections[nStep]));
        script.push_back(Step::Reply("250 ok\r\n")); // never asked for
        CScriptedSmtpServer server(script);
        auto pConnection = Connection(server.Server());
        pConnection->m_replyTimeout = 20s; // a rejection must not wait for the limit
        const auto start = std::chrono::steady_clock::now();
        EXPECT_FALSE(pConnection->Deliver()) << nStep;
        EXPECT_LT(std::chrono::steady_clock::now() - start, 10s) << nStep;
        const std::string strTranscript = server.Transcript();
        if (nStep < 5) {
            // Exactly the commands before the rejected one, and nothing after it.
            size_t nEnd = 0;
            for (size_t k = 0; k < nStep; ++k)
                nEnd = kDialogue.find("\r\n", nEnd) + 2;
            EXPECT_EQ(strTranscript, kDialogue.substr(0, nEnd)) << nStep;
        } else {
            EXPECT_TRUE(strTranscript.ends_with("\r\n.\r\n")) << strTranscript;
        }
    }
}

TEST(SmtpConnectionTest, SilentOrVanishingServersFailWithinTheLimits)
{
    const Step kAnswers[] = {Step::Silent(), Step::Close()};
    for (size_t nStep = 0; nStep < 6; ++nStep) {
        for (const Step &answer : kAnswers) {
            std::vector<Step> script = CScriptedSmtpServer::Accepting();
            script.resize(nStep);
            script.push_back(answer);
            CScriptedSmtpServer server(script);
            auto pConnection = Connection(server.Server());
            pConnection->m_replyTimeout = 300ms;
            pConnection->m_dataReplyTimeout = 300ms; // otherwise minutes, as a server may take
            EXPECT_FALSE(pConnection->Deliver()) << nStep;
            EXPECT_EQ(server.Transcript().find("QUIT"), std::string::npos);
        }
    }
}

TEST(SmtpConnectionTest, AServerThatClosesDuringALargeWriteDoesNotKillTheProgram)
{
    std::vector<Step> script = CScriptedSmtpServer::Accepting();
    script.resize(4);
    // The server closes without reading the data: the write fails instead of raising SIGPIPE.
    script.push_back(Step::ReplyAndClose("354 go\r\n"));
    CScriptedSmtpServer server(script);
    auto pConnection = Connection(server.Server(), "a@example.org", std::string(8 << 20, 'x'));
    EXPECT_FALSE(pConnection->Deliver());
}

TEST(SmtpConnectionTest, HeaderInjectionIsRefusedWithoutConnecting)
{
    const std::string kUnsafe[] = {"x\r\nBcc: victim@example.com", "x\nRCPT TO:<v@example.com>",
        "x\rDATA", std::string("x\0y", 3)};
    for (const std::string &strUnsafe : kUnsafe) {
        for (int nField = 0; nField < 4; ++nField) {
            CScriptedSmtpServer server(CScriptedSmtpServer::Accepting());
            std::string texts[4] = {"Jane <jane@example.com>", "john@example.org", "", "Hi"};
            texts[nField] += strUnsafe;
            CSmtpConnection connection(
                server.Server(), texts[0], texts[1], texts[2], texts[3], "Body");
            EXPECT_FALSE(connection.Deliver()) << nField;
            EXPECT_FALSE(server.WasConnected()) << nField;
        }
    }
}

TEST(SmtpConnectionTest, ServerNamesAreResolvedAndEachAddressTried)
{
    {
        // "localhost" may resolve to ::1 first; the IPv4 server must still be reached.
        CScriptedSmtpServer server(CScriptedSmtpServer::Accepting());
        EXPECT_TRUE(Connection("localhost:" + std::to_string(server.Port()))->Deliver());
    }
    if (CScriptedSmtpServer::HasIpv6Loopback()) {
        CScriptedSmtpServer server(CScriptedSmtpServer::Accepting(), true);
        EXPECT_TRUE(Connection(server.Server())->Deliver());
    }

    // A port where nothing listens, a name that does not resolve, a malformed port.
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t nLength = sizeof address;
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr *>(&address), nLength), 0);
    ASSERT_EQ(::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &nLength), 0);
    const std::string strClosedPort = "127.0.0.1:" + std::to_string(ntohs(address.sin_port));
    for (const std::string &strServer : {strClosedPort, std::string("no-such-host.invalid"),
             std::string("127.0.0.1:99999"), std::string("")}) {
        const auto connection = Connection(strServer);
        EXPECT_FALSE(connection->Deliver()) << strServer;
        // The failed list tells the user why, not "no answer from the server".
        EXPECT_EQ(connection->LastReply(), "could not connect to the server " + strServer);
        EXPECT_FALSE(connection->IsInDoubt());
    }
    ::close(fd);
}

} // namespace
