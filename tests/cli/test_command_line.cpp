// Runs the built mergix program on the sample merge and the fixtures, as a user would, and
// checks what it prints and how it exits.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include <sys/stat.h>
#include <sys/wait.h>

#include <QCryptographicHash>
#include <QImage>
#include <QJsonArray>
#include <QProcess>
#include <QSettings>
#include <QString>

#include "app/Settings.h"
#include "document/MgxArchive.h"
#include "support/CoreApplicationEnvironment.h"
#include "support/DatabaseTestServer.h"
#include "support/OAuthTestServer.h"
#include "support/SmtpTestServer.h"
#include "support/TestCertificates.h"

namespace {

namespace fs = std::filesystem;

// The authorization server of the tests is reached through Qt Network.
const testing::Environment *const g_pApplication
    = testing::AddGlobalTestEnvironment(new CCoreApplicationEnvironment);

struct SResult
{
    int nExit = -1;
    std::string strOut;
    std::string strErr;
};

std::string Quoted(const std::string &strArg)
{
    std::string strQuoted = "'";
    for (const char c : strArg)
        strQuoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return strQuoted + "'";
}

std::string ReadFile(const fs::path &path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Waits (at most 20 s) until the server holds at least that many messages.
bool WaitForMessages(const CSmtpTestServer &server, size_t nCount)
{
    for (int i = 0; i < 400 && server.Messages().size() < nCount; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    return server.Messages().size() >= nCount;
}

size_t Count(const std::string &strText, const std::string &strPart)
{
    size_t n = 0;
    for (size_t nPos = strText.find(strPart); nPos != std::string::npos;
         nPos = strText.find(strPart, nPos + 1))
        ++n;
    return n;
}

class CommandLineTest : public testing::Test
{
protected:
    void SetUp() override
    {
        m_folder = fs::temp_directory_path() / ("mergix-cli-" + std::to_string(::getpid()));
        fs::create_directories(m_folder / "config");
        // A copy, so that the send journal beside it stays in this test's folder.
        fs::create_directories(m_folder / "sample");
        for (const char *pName : {"sample.mgx", "contacts.mdb"})
            fs::copy_file(fs::path(MERGIX_EXAMPLES_DIR) / pName, m_folder / "sample" / pName);
        m_strSample = (m_folder / "sample" / "sample.mgx").string();
    }
    void TearDown() override { fs::remove_all(m_folder); }

    // Runs the program; with an interrupt delay, sends it the signal (SIGINT, as Ctrl+C does,
    // unless another is named) after that many seconds.
    SResult Run(const std::vector<std::string> &args, const char *pInterruptAfter = nullptr,
        const char *pSignal = "INT")
    {
        // A hang ends after 30 seconds with exit 124 instead of holding the suite.
        std::string strCommand = m_strPrefix + "env " + m_strEnvironment
            + " XDG_CONFIG_HOME=" + Quoted((m_folder / "config").string()) + " LANG=" + m_strLocale
            + " LC_ALL=" + m_strLocale + " timeout -k 2 30 " + Quoted(MERGIX_EXE);
        for (const std::string &strArg : args)
            strCommand += " " + Quoted(strArg);
        strCommand += " 2>" + Quoted((m_folder / "stderr").string()) + " </dev/null " + m_strStdout;
        if (pInterruptAfter)
            strCommand = "(" + strCommand + ") & pid=$!; sleep " + pInterruptAfter + "; kill -"
                + pSignal + " $pid; wait $pid";
        SResult result;
        std::FILE *pPipe = ::popen(strCommand.c_str(), "r");
        char buffer[65536];
        for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pPipe)) > 0;)
            result.strOut.append(buffer, n);
        const int nStatus = ::pclose(pPipe);
        result.nExit = WIFEXITED(nStatus) ? WEXITSTATUS(nStatus) : -1;
        result.strErr = ReadFile(m_folder / "stderr");
        return result;
    }

    // The settings store the program reads, in this test's own folder.
    QSettings Store()
    {
        return QSettings(
            QString::fromStdString((m_folder / "config/Corvane Software/Mergix.conf").string()),
            QSettings::IniFormat);
    }

    // Writes a merge file of the sample's database (a copy in this test's folder) with these
    // changes to its seven strings.
    std::string WriteMerge(const std::string &strName, const std::string &strDatabase,
        const std::string &strToField = "Email", const std::string &strBody = "Hello <<City>>")
    {
        CMgxArchive archive;
        for (const std::string &strText :
            {strDatabase, strToField, std::string("a <a@example.com>"),
                std::string("r@example.com"), std::string("S"), std::string("Contacts"), strBody})
            archive.WriteString(strText);
        std::ofstream(m_folder / strName, std::ios::binary) << archive.Bytes();
        return (m_folder / strName).string();
    }

    // A first send that reaches all but pat and the two zoes, whom its server refuses.
    void SendRefusingThree(const std::string &strMerge)
    {
        CSmtpTestServer refusing("^(pat|zoe)");
        ASSERT_FALSE(refusing.Server().empty()) << refusing.Error();
        const SResult result = Run({"--send", strMerge, "--server", refusing.Server()});
        ASSERT_EQ(result.nExit, 1) << result.strErr;
        ASSERT_EQ(refusing.Messages().size(), 9u);
    }

    // Starts the program as Run does, without waiting for it.
    void StartInBackground(QProcess &process, const QStringList &args)
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"),
            QString::fromStdString((m_folder / "config").string()));
        // Run's locale: cells show dates and numbers in it, and they make the identities.
        environment.insert(QStringLiteral("LANG"), QStringLiteral("en_US.UTF-8"));
        environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("en_US.UTF-8"));
        process.setProcessEnvironment(environment);
        process.start(QStringLiteral(MERGIX_EXE), args);
    }

    fs::path m_folder;
    std::string m_strSample;
    std::string m_strEnvironment; // variables to set or (-u NAME) unset for the program
    std::string m_strStdout; // a redirection of its standard output
    std::string m_strPrefix; // a command that runs the program, such as "setsid -w "
    std::string m_strLocale = "en_US.UTF-8"; // how dates and amounts are shown
};

TEST_F(CommandLineTest, TestMergeOfTheSamplePrintsEveryRecordNewestFirst)
{
    const SResult result = Run({"--test-merge", m_strSample});
    ASSERT_EQ(result.nExit, 0) << result.strErr;
    EXPECT_EQ(Count(result.strOut, std::string(64, '-') + "\r\n"), 12u);
    const std::string strStart = std::string(64, '-') + "\r\n"
        + "To: ana.garcia@example.org\r\n"
          "Dear Ana-Mar\xC3\xAD"
          "a Garc\xC3\xAD"
          "a,\r\n\r\n"
          "Greetings to Sevilla!\r\n"
          "Thank you for being a member since 12/31/1999.\r\n\r\n"
          "Kind regards,\r\nThe Mergix team\r\n\r\n"
        + std::string(64, '-') + "\r\nTo: liam.obrien@example.com\r\n"
        + "Dear Liam O'Brien,\r\n\r\nWe do not know your city yet.\r\n"
          "Thank you for being a member since 2/29/2024.\r\n\r\nKind regar";
    EXPECT_EQ(result.strOut.substr(0, strStart.size()), strStart);
    EXPECT_NE(result.strOut.find("Dear Chlo\xC3\xA9 Brun,\r\n\r\nGreetings to Lyon!\r\n"
                                 "Your balance of -1234.5678 is overdue.\r\n"),
        std::string::npos);
    EXPECT_NE(result.strOut.rfind("To: john.smith@example.com"), std::string::npos);
    EXPECT_GT(result.strOut.rfind("To: john.smith@example.com"), result.strOut.rfind("To: anna"));
    EXPECT_EQ(result.strOut.find("News from the club"), std::string::npos); // no subject
}

TEST_F(CommandLineTest, SelectionsOnTheSpotAndSaved)
{
    SResult result = Run({"--test-merge", m_strSample, "--where", "FirstName", "Equals", "john"});
    ASSERT_EQ(result.nExit, 0) << result.strErr;
    EXPECT_EQ(Count(result.strOut, "To: "), 2u);
    EXPECT_LT(result.strOut.find("To: john.long@"), result.strOut.find("To: john.smith@"));

    result = Run({"--test-merge", m_strSample, "--where", "FirstName", "Equals", "john",
        "--case-sensitive"});
    EXPECT_EQ(result.nExit, 0);
    EXPECT_EQ(result.strOut, "");
    EXPECT_NE(result.strErr.find("There were no items selected."), std::string::npos);

    // Age > 40 And Not Active = false: records 6, 7, 9 and 12 (record 5 is 41 but inactive).
    result = Run({"--test-merge", m_strSample, "--where", "Age", "Greater than", "40", "--and-not",
        "Active", "Equals", "false"});
    ASSERT_EQ(result.nExit, 0) << result.strErr;
    EXPECT_EQ(Count(result.strOut, "To: "), 4u);
    EXPECT_EQ(result.strOut.find("zoe.martin"), std::string::npos);

    {
        QSettings store = Store();
        CSettings settings(store);
        CRuleSet rules;
        rules.FirstField = "City", rules.FirstCondition = "Is blank";
        ASSERT_EQ(settings.SaveRuleSet("no city", rules), "");
    }
    result = Run({"--test-merge", m_strSample, "--rules", "no city"});
    ASSERT_EQ(result.nExit, 0) << result.strErr;
    EXPECT_EQ(Count(result.strOut, "We do not know your city yet."), 2u); // records 8 and 11
    EXPECT_EQ(Count(result.strOut, "To: "), 2u);
}

TEST_F(CommandLineTest, MistakesEndWithOneLineAndExitTwo)
{
    const std::vector<std::pair<std::vector<std::string>, std::string>> kCases = {
        {{"--frobnicate"}, "unknown option \"--frobnicate\""},
        {{"--test-merge"}, "--test-merge needs a merge file"},
        {{"--test-merge", m_strSample, "--where", "City", "Equals"}, "--where needs FIELD"},
        {{"--test-merge", m_strSample, "--where", "City", "Contains", "x"}, "unknown comparison"},
        {{"--test-merge", m_strSample, "--and", "City", "Equals", "x"},
            "--and must follow --where"},
        {{"--test-merge", m_strSample, "--where", "Town", "Equals", "x"},
            "The selection rules name the field \"Town\", which the table does not have."},
        {{"--test-merge", m_strSample, "--where", "City", "Equals", ""},
            "Please enter some comparison text"},
        {{"--test-merge", m_strSample, "--rules", "never saved"},
            "There is no saved rule set named \"never saved\"."},
        {{"--test-merge", (m_folder / "missing.mgx").string()}, "missing.mgx was not found."},
        {{"--send", m_strSample}, "No SMTP server is set"},
    };
    for (const auto &[args, strExpected] : kCases) {
        const SResult result = Run(args);
        EXPECT_EQ(result.nExit, 2) << strExpected;
        EXPECT_NE(result.strErr.find(strExpected), std::string::npos) << result.strErr;
        EXPECT_EQ(result.strOut, "") << strExpected;
    }

    // A merge whose database has gone.
    CMgxArchive archive;
    for (const char *pText :
        {"gone.mdb", "Email", "a <a@example.com>", "r@example.com", "S", "Contacts", "body"})
        archive.WriteString(pText);
    std::ofstream(m_folder / "gone.mgx", std::ios::binary) << archive.Bytes();
    const SResult result = Run({"--test-merge", (m_folder / "gone.mgx").string()});
    EXPECT_EQ(result.nExit, 2);
    EXPECT_NE(result.strErr.find("gone.mdb\" was not found."), std::string::npos) << result.strErr;

    const SResult help = Run({"--help"});
    EXPECT_EQ(help.nExit, 0);
    EXPECT_NE(help.strOut.find("--test-merge FILE.mgx"), std::string::npos);
}

TEST_F(CommandLineTest, SendingReportsTheRefusedAddresses)
{
    CSmtpTestServer server("^(pat|zoe)");
    ASSERT_FALSE(server.Server().empty()) << server.Error();
    const SResult result = Run({"--send", m_strSample, "--server", server.Server()});
    EXPECT_EQ(result.nExit, 1) << result.strErr;
    for (const char *pAddress :
        {"pat@example.org", "zoe.dupont@example.com", "zoe.martin@example.org"})
        EXPECT_NE(result.strErr.find(std::string("\nmergix:   ") + pAddress), std::string::npos)
            << result.strErr;
    EXPECT_EQ(server.Messages().size(), 9u);

    // With the rules picking only deliverable records, everything goes and the exit is 0.
    {
        QSettings store = Store();
        CSettings(store).SetSmtpServerName(server.Server());
    }
    const SResult good
        = Run({"--send", m_strSample, "--where", "City", "Equals", "London", "--again"});
    EXPECT_EQ(good.nExit, 0) << good.strErr;
    EXPECT_NE(good.strErr.find("1 message(s) delivered."), std::string::npos);
    EXPECT_EQ(server.Messages().size(), 10u);
}

TEST_F(CommandLineTest, AMergeWithCopiesAndAttachmentsSendsThemOrRefusesUnsendableOnes)
{
    // Only London has a file: the other records' attachments are missing.
    fs::create_directories(m_folder / "sample" / "letters");
    std::ofstream(m_folder / "sample" / "letters" / "London.txt") << "Tea at five.\n";
    CMgxArchive archive;
    for (const char *pText : {"contacts.mdb", "Email", "Club <club@example.com>", "r@example.com",
             "News for <<FirstName>>", "Contacts", "Hello <<City>>", "Mergix properties", "1", "2",
             "Bcc", "office@example.com", "Attachments", "letters/<<City>>.txt"})
        archive.WriteString(pText);
    const std::string strMerge = (m_folder / "sample" / "letters.mgx").string();
    std::ofstream(strMerge, std::ios::binary) << archive.Bytes();

    const SResult test = Run({"--test-merge", strMerge, "--where", "City", "Equals", "London"});
    EXPECT_EQ(test.nExit, 0) << test.strErr;
    EXPECT_NE(test.strOut.find("To: john.smith@example.com\r\nSubject: News for John\r\n"
                               "Bcc: office@example.com\r\nAttachment: "
                  + (m_folder / "sample" / "letters" / "London.txt").string() + "\r\nHello London"),
        std::string::npos)
        << test.strOut;

    CSmtpTestServer server;
    ASSERT_FALSE(server.Server().empty()) << server.Error();
    SResult result = Run({"--send", strMerge, "--server", server.Server()});
    EXPECT_EQ(result.nExit, 2);
    EXPECT_NE(result.strErr.find("Sevilla.txt was not found"), std::string::npos) << result.strErr;
    EXPECT_NE(result.strErr.find("Give --skip-missing-attachments"), std::string::npos);
    EXPECT_TRUE(server.Messages().empty());

    result = Run({"--send", strMerge, "--server", server.Server(), "--skip-missing-attachments"});
    EXPECT_EQ(result.nExit, 1) << result.strErr;
    EXPECT_NE(result.strErr.find("ana.garcia@example.org"), std::string::npos);
    const std::vector<QJsonObject> messages = server.Messages();
    ASSERT_FALSE(messages.empty());
    for (const QJsonObject &message : messages) {
        EXPECT_EQ(message[QStringLiteral("attachments")].toArray().size(), 1);
        EXPECT_TRUE(message[QStringLiteral("subject")].toString().startsWith(u"News for "));
        EXPECT_TRUE(message[QStringLiteral("rcpt_tos")].toArray().contains(
            QStringLiteral("office@example.com")));
    }
}

TEST_F(CommandLineTest, AFormattedMergePrintsItsTwinWritesItsHtmlAndRendersInABrowser)
{
    const std::string strBody = "Dear <<FirstName>>,\r\nsee you in <<City>>.";
    const std::string strHtml
        = "<html><head><style>p { color: red; }</style></head><body style=\"font-size:24pt\">"
          "<p>Dear <b>&lt;&lt;FirstName&gt;&gt;</b>,</p><p style=\"color:#0b57d0\">see you in "
          "<i>&lt;&lt;City&gt;&gt;</i>.</p></body></html>";
    const std::string strDigest
        = QCryptographicHash::hash(QByteArray::fromStdString(strBody), QCryptographicHash::Sha256)
              .toHex()
              .toStdString();
    CMgxArchive archive;
    for (const std::string &strText : {std::string("contacts.mdb"), std::string("Email"),
             std::string("Club <c@example.com>"), std::string("r@example.com"), std::string("News"),
             std::string("Contacts"), strBody, std::string("Mergix properties"), std::string("1"),
             std::string("1"), std::string("FormattedBody"), strDigest + "\n" + strHtml})
        archive.WriteString(strText);
    const std::string strMerge = (m_folder / "sample" / "formatted.mgx").string();
    std::ofstream(strMerge, std::ios::binary) << archive.Bytes();

    const fs::path html = m_folder / "html";
    const SResult result = Run({"--test-merge", strMerge, "--html", html.string()});
    ASSERT_EQ(result.nExit, 0) << result.strErr;
    // The plain-text twin on standard output, one HTML file a message.
    EXPECT_NE(result.strOut.find("Dear John,\r\nsee you in London."), std::string::npos);
    EXPECT_EQ(Count(result.strOut, "Dear "), 12u);
    const std::string strJohn = ReadFile(html / "message-12.html");
    EXPECT_NE(strJohn.find("Dear <b>John</b>,"), std::string::npos) << strJohn;
    EXPECT_EQ(strJohn.find("color: red"), std::string::npos); // inline styles only
    EXPECT_FALSE(fs::exists(html / "message-13.html"));
    EXPECT_EQ(Run({"--send", strMerge, "--html", html.string()}).nExit, 2);

    // Rendered as a browser shows it: not blank, the text in its colours.
    const fs::path png = m_folder / "john.png";
    const std::string strChromium = "timeout 60 chromium --headless --no-sandbox --disable-gpu "
                                    "--hide-scrollbars --window-size=640,300 --screenshot="
        + Quoted(png.string()) + " " + Quoted("file://" + (html / "message-12.html").string())
        + " >/dev/null 2>&1";
    ASSERT_EQ(std::system(strChromium.c_str()), 0) << "chromium (installed by install-deps.sh)";
    const QImage image(QString::fromStdString(png.string()));
    ASSERT_FALSE(image.isNull());
    int nDark = 0;
    int nBlue = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor color = image.pixelColor(x, y);
            nDark += color.lightness() < 100;
            nBlue += color.blue() > 150 && color.red() < 100;
        }
    }
    EXPECT_GT(nDark, 200); // "Dear John,"
    EXPECT_GT(nBlue, 100); // the second paragraph's colour
}

TEST_F(CommandLineTest, AnInterruptStopsHandingOutMessagesButFinishesTheStartedOnes)
{
    // Every delivery takes two seconds; the run hands out one a second, so a few are under way
    // when the interrupt comes. Ctrl+C and a service manager's SIGTERM stop it alike, with a
    // status that no script takes for a finished send.
    for (const char *pSignal : {"INT", "TERM"}) {
        SCOPED_TRACE(pSignal);
        CSmtpTestServer server("^nobody$", ".");
        ASSERT_FALSE(server.Server().empty()) << server.Error();
        const auto start = std::chrono::steady_clock::now();
        const SResult result
            = Run({"--send", m_strSample, "--server", server.Server(), "--again"}, "2.5", pSignal);
        EXPECT_EQ(result.nExit, 1) << result.strErr;
        EXPECT_NE(result.strErr.find("interrupted"), std::string::npos) << result.strErr;
        const size_t nDelivered = server.Messages().size();
        EXPECT_GE(nDelivered, 2u);
        EXPECT_LT(nDelivered, 12u);
        EXPECT_NE(result.strErr.find("mergix: stopped after " + std::to_string(nDelivered)
                      + " of 12; give --resume to send the rest\n"),
            std::string::npos)
            << result.strErr;
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(9));

        // The rest goes with --resume, and nobody gets a second copy.
        const SResult rest = Run({"--send", m_strSample, "--server", server.Server(), "--resume"});
        EXPECT_EQ(rest.nExit, 0) << rest.strErr;
        EXPECT_EQ(server.Messages().size(), 12u);
    }
}

TEST_F(CommandLineTest, OptionsNeverStartTheWindows)
{
    m_strEnvironment = "-u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM";
    for (const std::vector<std::string> &args :
        std::vector<std::vector<std::string>> {{"-h"}, {"--help", "more"}, {"x.mgx", "-h"}}) {
        const SResult result = Run(args);
        EXPECT_EQ(result.nExit, 0) << args[0] << result.strErr;
        EXPECT_NE(result.strOut.find("Usage:"), std::string::npos) << args[0];
    }
    for (const std::vector<std::string> &args : std::vector<std::vector<std::string>> {
             {"-x"}, {"x.mgx", "-x"}, {"-x", "x.mgx"}, {"--test-merge", m_strSample, "-x"}}) {
        const SResult result = Run(args);
        EXPECT_EQ(result.nExit, 2) << args[0];
        EXPECT_NE(result.strErr.find("unknown option \"-x\""), std::string::npos) << result.strErr;
    }
}

TEST_F(CommandLineTest, OnlyRegularFilesOfASensibleSizeAreOpened)
{
    fs::copy_file(MERGIX_EXAMPLES_DIR "/contacts.mdb", m_folder / "contacts.mdb");
    ASSERT_EQ(::mkfifo((m_folder / "fifo.mgx").c_str(), 0600), 0);
    ASSERT_EQ(::mkfifo((m_folder / "fifo.mdb").c_str(), 0600), 0);
    const std::string strFifoBase = WriteMerge("fifo-base.mgx", "fifo.mdb");
    std::ofstream(m_folder / "huge.mgx").close();
    fs::resize_file(m_folder / "huge.mgx", (64u << 20) + 1); // sparse: takes no room
    const std::vector<std::pair<std::string, std::string>> kCases = {
        {(m_folder / "fifo.mgx").string(), "/fifo.mgx is not a file."},
        {strFifoBase, "/fifo.mdb\" is not a file, so it cannot be a Microsoft Access database."},
        {"/dev/zero", "/dev/zero is not a file."},
        {(m_folder / "huge.mgx").string(),
            "huge.mgx is too large to be a merge file (at most 64 MB)."},
    };
    for (const auto &[strFile, strExpected] : kCases) {
        const SResult result = Run({"--test-merge", strFile});
        EXPECT_EQ(result.nExit, 2) << strFile; // 124 when it hung
        EXPECT_NE(result.strErr.find(strExpected), std::string::npos) << result.strErr;
    }
}

TEST_F(CommandLineTest, MalformedServersAndEmptyValuesAreRefusedBeforeAnythingIsSent)
{
    const std::vector<std::pair<std::string, std::string>> kServers = {
        {"host:99999", "its port must be a number from 1 to 65535"},
        {":::", "\":::\" is not an IPv6 address"},
        {"[::1", "the \"[\" of its IPv6 address is not closed by \"]\""},
        {"host:-1", "its port must be a number from 1 to 65535"},
        {"host:0", "its port must be a number from 1 to 65535"},
        {"host:", "no port number follows the \":\""},
        {":25", "it names no host before the port"},
        {"[::1]x", "only \":\" and a port may follow the \"]\""},
        {"localhost:25x", "its port must be a number from 1 to 65535"},
        {"mail example.com", "a host name cannot hold a blank"},
        {std::string(5000, 'm'), "a host name has at most 253 characters"},
    };
    for (const auto &[strServer, strProblem] : kServers) {
        const SResult result = Run({"--send", m_strSample, "--server", strServer});
        EXPECT_EQ(result.nExit, 2) << strServer;
        EXPECT_NE(
            result.strErr.find("The SMTP server \"" + strServer.substr(0, 60)), std::string::npos)
            << result.strErr;
        EXPECT_NE(result.strErr.find("is not valid: " + strProblem), std::string::npos)
            << result.strErr;
        EXPECT_EQ(result.strErr.find("Loading items"), std::string::npos) << strServer;
    }
    {
        QSettings store = Store();
        CSettings(store).SetSmtpServerName("mail.example.com:0");
    }
    SResult result = Run({"--send", m_strSample});
    EXPECT_EQ(result.nExit, 2);
    EXPECT_NE(result.strErr.find("The SMTP server \"mail.example.com:0\" is not valid"),
        std::string::npos)
        << result.strErr;

    for (const auto &[args, strExpected] :
        std::vector<std::pair<std::vector<std::string>, std::string>> {
            {{"--test-merge", m_strSample, "--rules", ""}, "--rules needs a NAME"},
            {{"--test-merge", m_strSample, "--rules"}, "--rules needs a NAME"},
            {{"--send", m_strSample, "--server"}, "--server needs a HOST[:PORT]"}}) {
        result = Run(args);
        EXPECT_EQ(result.nExit, 2) << strExpected;
        EXPECT_NE(result.strErr.find(strExpected), std::string::npos) << result.strErr;
    }
}

TEST_F(CommandLineTest, TextsFromFilesCannotForgeOutputOrDriveTheTerminal)
{
    fs::copy_file(MERGIX_EXAMPLES_DIR "/contacts.mdb", m_folder / "contacts.mdb");
    const std::vector<std::pair<std::string, std::string>> kPaths = {
        {std::string("contacts.mdb\0junk", 17), "contacts.mdb\\x00junk\" is not valid"},
        {"contacts.mdb\nmergix: 12 message(s) delivered.",
            "contacts.mdb\\nmergix: 12 message(s) delivered.\" is not valid"},
        {"\x1b[2J\x1b[31mred.mdb", "\\x1b[2J\\x1b[31mred.mdb\" was not found."},
    };
    for (const auto &[strPath, strExpected] : kPaths) {
        const SResult result = Run({"--test-merge", WriteMerge("hostile.mgx", strPath)});
        EXPECT_EQ(result.nExit, 2);
        EXPECT_NE(result.strErr.find(strExpected), std::string::npos) << result.strErr;
        EXPECT_EQ(result.strErr.find('\x1b'), std::string::npos);
        EXPECT_EQ(Count(result.strErr, "\n"), 1u) << result.strErr; // one line, no forged ones
    }
}

TEST_F(CommandLineTest, OutputThatCannotBeWrittenIsReported)
{
    for (const auto &[strRedirect, strReason] : std::vector<std::pair<std::string, std::string>> {
             {">/dev/full", "No space left on device"}, {">&-", "Bad file descriptor"}}) {
        m_strStdout = strRedirect;
        SResult result = Run({"--test-merge", m_strSample});
        EXPECT_EQ(result.nExit, 2) << strRedirect;
        EXPECT_NE(result.strErr.find(
                      "The test merge could not be written to standard output: " + strReason),
            std::string::npos)
            << result.strErr;
        result = Run({"--help"});
        EXPECT_EQ(result.nExit, 2) << strRedirect;
        EXPECT_NE(result.strErr.find("could not be written to standard output: " + strReason),
            std::string::npos)
            << result.strErr;
    }
}

TEST_F(CommandLineTest, EachFaultIsShownOnceWithItsCountAtTheEnd)
{
    fs::copy_file(MERGIX_EXAMPLES_DIR "/contacts.mdb", m_folder / "contacts.mdb");
    const std::string strBody
        = "{IF \"<<City>>\" \"Equals\" \"x\" THEN \"a\" ELSE \"b\"}"
          "{IF \"<<City>>\" \"Resembles\" \"x\" THEN \"a\" ELSE \"b\" \"CASENO\"}";
    const SResult result
        = Run({"--test-merge", WriteMerge("faults.mgx", "contacts.mdb", "Email", strBody)});
    EXPECT_EQ(result.nExit, 0) << result.strErr;
    EXPECT_EQ(Count(result.strOut, "To: "), 12u);
    EXPECT_EQ(Count(result.strErr, "mergix: Unknown comparison!\n"), 1u) << result.strErr;
    EXPECT_NE(result.strErr.find("mergix: The message \"Unknown comparison!\" occurred 12 times "
                                 "in this run.\n"),
        std::string::npos)
        << result.strErr;
    EXPECT_EQ(Count(result.strErr, "mergix: Unknown 'Case Sensitive' argument in if"), 1u);
    EXPECT_NE(
        result.strErr.find("mergix: The message \"Unknown 'Case Sensitive' argument in if "
                           "-- defaulting to case\\ninsensitive.\" occurred once in this run."),
        std::string::npos)
        << result.strErr;
}

TEST_F(CommandLineTest, AToFieldThatIsNoColumnIsNamed)
{
    fs::copy_file(MERGIX_EXAMPLES_DIR "/contacts.mdb", m_folder / "contacts.mdb");
    const SResult result = Run({"--test-merge", WriteMerge("to.mgx", "contacts.mdb", "Emial")});
    EXPECT_EQ(result.nExit, 2);
    EXPECT_NE(result.strErr.find("mergix: Please choose the field of the database that contains "
                                 "the e-mail address\nmergix: The To field \"Emial\" is not a "
                                 "column of table Contacts.\n"),
        std::string::npos)
        << result.strErr;
    EXPECT_EQ(result.strErr.find("Loading items"), std::string::npos); // refused before loading
}

} // namespace

TEST_F(CommandLineTest, SendingOverStartTlsWithALogin)
{
    const CTestCertificates certificates(m_folder.string());
    ASSERT_EQ(certificates.Error(), "");
    const auto pServer = CSmtpTestServer::WithOptions({"--tls", certificates.Good().strCertificate,
        certificates.Good().strKey, "--mode", "starttls", "--auth", "ann:s3cret pass"});
    ASSERT_EQ(pServer->Error(), "");
    {
        QSettings store = Store();
        store.setValue(QLatin1String(CSettings::kSmtpExtraCaFile),
            QString::fromStdString(certificates.CaFile()));
    }
    // The same message to the same recipients each time: --again says that is meant.
    const std::vector<std::string> send {"--send", m_strSample, "--server", pServer->Server(),
        "--security", "starttls", "--user", "ann", "--again"};

    m_strEnvironment = "MERGIX_SMTP_PASSWORD='s3cret pass'";
    SResult result = Run(send);
    EXPECT_EQ(result.nExit, 0) << result.strErr;
    EXPECT_NE(result.strErr.find("12 message(s) delivered."), std::string::npos) << result.strErr;
    ASSERT_EQ(pServer->Messages().size(), 12u);
    EXPECT_TRUE(pServer->Messages()[0].value(QStringLiteral("tls")).toBool());

    // Once read, the password is gone from the send's environment, as another program of the
    // user's (or a core file) would see it.
    {
        const auto pSlow = CSmtpTestServer::WithOptions(
            {"--tls", certificates.Good().strCertificate, certificates.Good().strKey, "--mode",
                "starttls", "--auth", "ann:s3cret pass", "--delay", "0.2"});
        ASSERT_EQ(pSlow->Error(), "");
        qputenv("MERGIX_SMTP_PASSWORD", "s3cret pass");
        QProcess slowSend;
        StartInBackground(slowSend,
            {QStringLiteral("--send"), QString::fromStdString(m_strSample),
                QStringLiteral("--server"), QString::fromStdString(pSlow->Server()),
                QStringLiteral("--security"), QStringLiteral("starttls"), QStringLiteral("--user"),
                QStringLiteral("ann"), QStringLiteral("--again")});
        qunsetenv("MERGIX_SMTP_PASSWORD");
        ASSERT_TRUE(WaitForMessages(*pSlow, 2));
        const std::string strEnvironment
            = ReadFile(fs::path("/proc") / std::to_string(slowSend.processId()) / "environ");
        EXPECT_NE(strEnvironment.find("XDG_CONFIG_HOME="), std::string::npos);
        EXPECT_EQ(strEnvironment.find("s3cret"), std::string::npos);
        ASSERT_TRUE(slowSend.waitForFinished(30000));
        EXPECT_EQ(slowSend.exitCode(), 0) << slowSend.readAllStandardError().toStdString();
    }

    // A wrong password: one message, no list of failed addresses, nothing more sent.
    m_strEnvironment = "MERGIX_SMTP_PASSWORD=wrong";
    result = Run(send);
    EXPECT_EQ(result.nExit, 2);
    EXPECT_EQ(Count(result.strErr, "refused the login of user \"ann\""), 1u) << result.strErr;
    EXPECT_EQ(result.strErr.find("following addresses"), std::string::npos);
    EXPECT_EQ(pServer->Messages().size(), 12u);

    // No password anywhere and no terminal to ask on.
    m_strEnvironment = "-u MERGIX_SMTP_PASSWORD";
    m_strPrefix = "setsid -w ";
    result = Run(send);
    EXPECT_EQ(result.nExit, 2);
    EXPECT_NE(result.strErr.find("needs a password: set MERGIX_SMTP_PASSWORD"), std::string::npos)
        << result.strErr;

    // A login over plain text is refused before anything is loaded.
    result = Run({"--send", m_strSample, "--server", pServer->Server(), "--security", "none",
        "--user", "ann"});
    EXPECT_EQ(result.nExit, 2);
    EXPECT_NE(result.strErr.find("the password would travel in plain text"), std::string::npos)
        << result.strErr;
}

TEST_F(CommandLineTest, APasswordOnTheCommandLineIsRefused)
{
    for (const std::vector<std::string> &args :
        {std::vector<std::string> {"--send", m_strSample, "--password", "secret"},
            {"--send", m_strSample, "--password=secret"}}) {
        const SResult result = Run(args);
        EXPECT_EQ(result.nExit, 2);
        EXPECT_NE(result.strErr.find("a password is never taken from the command line"),
            std::string::npos)
            << result.strErr;
    }
    const SResult result = Run({"--send", m_strSample, "--security", "ssl"});
    EXPECT_EQ(result.nExit, 2);
    EXPECT_NE(result.strErr.find("--security takes none, starttls or tls, not \"ssl\""),
        std::string::npos);
}

namespace {

// Each recipient's count of messages on the servers given.
std::map<std::string, int> Received(const std::vector<const CSmtpTestServer *> &servers)
{
    std::map<std::string, int> counts;
    for (const CSmtpTestServer *pServer : servers) {
        for (const QJsonObject &message : pServer->Messages())
            ++counts[message.value(QStringLiteral("rcpt_tos"))
                         .toArray()
                         .at(0)
                         .toString()
                         .toStdString()];
    }
    return counts;
}

} // namespace

TEST_F(CommandLineTest, ASendKilledHalfWayIsResumedAndNobodyGetsTwoMessages)
{
    // Each recipient takes a while, so the kill comes in the middle of the run.
    const auto pServer = CSmtpTestServer::WithOptions({"--delay", "0.15"});
    ASSERT_EQ(pServer->Error(), "");
    QProcess send;
    StartInBackground(send,
        {QStringLiteral("--send"), QString::fromStdString(m_strSample), QStringLiteral("--server"),
            QString::fromStdString(pServer->Server())});
    ASSERT_TRUE(WaitForMessages(*pServer, 4));
    send.kill(); // SIGKILL: nothing of the program runs after it
    send.waitForFinished(5000);
    const size_t nFirst = pServer->Messages().size();
    ASSERT_LT(nFirst, 12u);

    SResult result = Run({"--send", m_strSample, "--server", pServer->Server()});
    EXPECT_EQ(result.nExit, 2);
    EXPECT_NE(result.strErr.find("The last send of this merge stopped after "), std::string::npos)
        << result.strErr;
    EXPECT_NE(result.strErr.find("of 12 messages. Give --resume"), std::string::npos);

    result = Run({"--send", m_strSample, "--server", pServer->Server(), "--resume"});
    EXPECT_EQ(result.nExit, 0) << result.strErr;
    const std::map<std::string, int> received = Received({pServer.get()});
    for (const auto &[strAddress, nCount] : received)
        EXPECT_EQ(nCount, 1) << strAddress;
    // Whoever got nothing was in doubt, and was named as left out.
    EXPECT_GE(received.size(), 11u);
    if (received.size() == 11u) {
        EXPECT_NE(result.strErr.find("may or may not have received them"), std::string::npos);
    }

    // The one in doubt, only on request; then the journal is complete, a resume sends nothing,
    // and the same message goes to everyone again only when --again says so.
    result = Run(
        {"--send", m_strSample, "--server", pServer->Server(), "--resume", "--include-in-doubt"});
    EXPECT_EQ(result.nExit, 0) << result.strErr;
    EXPECT_EQ(Received({pServer.get()}).size(), 12u);
    result = Run({"--send", m_strSample, "--server", pServer->Server(), "--resume"});
    EXPECT_EQ(result.nExit, 0) << result.strErr;
    EXPECT_NE(
        result.strErr.find("0 message(s) delivered. 12 recipient(s) left out"), std::string::npos)
        << result.strErr;
    result = Run({"--send", m_strSample, "--server", pServer->Server()});
    EXPECT_EQ(result.nExit, 2) << result.strErr;
    EXPECT_NE(result.strErr.find("mergix: This message was sent to all 12 recipients on "),
        std::string::npos)
        << result.strErr;
    EXPECT_NE(result.strErr.find(". Give --again to send it again.\n"), std::string::npos)
        << result.strErr;
    EXPECT_EQ(Received({pServer.get()}).size(), 12u);
    EXPECT_EQ(pServer->Messages().size(), 12u);
    result = Run({"--send", m_strSample, "--server", pServer->Server(), "--again"});
    EXPECT_EQ(result.nExit, 0) << result.strErr;
    EXPECT_NE(result.strErr.find("12 message(s) delivered."), std::string::npos);
}

TEST_F(CommandLineTest, KilledThenRenamedLinkedEditedOrInAnotherLocaleNobodyGetsTwoMessages)
{
    // Each round kills a send at a moment of its own, then changes what a person may change
    // before going on: the merge's name, the name it is opened by, the locale, the list.
    const fs::path folder = m_folder / "sample";
    const std::vector<std::pair<std::string, std::string>> rounds {{"rename", "en_US.UTF-8"},
        {"link", "en_US.UTF-8"}, {"locale", "de_DE.UTF-8"}, {"edit", "de_DE.UTF-8"}};
    for (size_t nRound = 0; nRound < rounds.size(); ++nRound) {
        const auto &[strChange, strLocale] = rounds[nRound];
        SCOPED_TRACE(strChange);
        const std::string strMerge
            = (folder / ("round" + std::to_string(nRound) + ".mgx")).string();
        fs::copy_file(folder / "sample.mgx", strMerge);
        const auto pServer = CSmtpTestServer::WithOptions({"--delay", "0.1"});
        ASSERT_EQ(pServer->Error(), "");
        QProcess send;
        StartInBackground(send,
            {QStringLiteral("--send"), QString::fromStdString(strMerge), QStringLiteral("--server"),
                QString::fromStdString(pServer->Server())});
        ASSERT_TRUE(WaitForMessages(*pServer, 2 + 2 * nRound));
        send.kill();
        send.waitForFinished(5000);
        ASSERT_LT(pServer->Messages().size(), 12u);

        std::string strOpened = strMerge;
        if (strChange == "rename") {
            strOpened = (folder / ("renamed" + std::to_string(nRound) + ".mgx")).string();
            fs::rename(strMerge, strOpened);
        } else if (strChange == "link") {
            strOpened = (folder / ("current" + std::to_string(nRound) + ".mgx")).string();
            fs::create_symlink(fs::path(strMerge).filename(), strOpened);
        } else if (strChange == "edit") {
            // A City edited in the list, with the length it had.
            std::string strList = ReadFile(folder / "contacts.mdb");
            const size_t nAt = strList.find("Berlin");
            ASSERT_NE(nAt, std::string::npos);
            strList.replace(nAt, 6, "Bremen");
            std::ofstream(folder / "contacts.mdb", std::ios::binary) << strList;
        }
        m_strLocale = strLocale;
        const SResult result
            = Run({"--send", strOpened, "--server", pServer->Server(), "--resume"});
        m_strLocale = "en_US.UTF-8";
        EXPECT_EQ(result.nExit, 0) << result.strErr;
        const std::map<std::string, int> received = Received({pServer.get()});
        for (const auto &[strAddress, nCount] : received)
            EXPECT_EQ(nCount, 1) << strAddress;
        EXPECT_GE(received.size(), 11u); // one may have been in doubt, and left out
    }
}

TEST_F(CommandLineTest, AServerThatStopsMidRunLeavesTheRestToTheResume)
{
    const auto pFirst = CSmtpTestServer::WithOptions({"--delay", "0.15"});
    ASSERT_EQ(pFirst->Error(), "");
    const std::string strCsv = (m_folder / "failed.csv").string();
    QProcess send;
    StartInBackground(send,
        {QStringLiteral("--send"), QString::fromStdString(m_strSample), QStringLiteral("--server"),
            QString::fromStdString(pFirst->Server()), QStringLiteral("--failed-csv"),
            QString::fromStdString(strCsv)});
    ASSERT_TRUE(WaitForMessages(*pFirst, 4));
    pFirst->Kill();
    ASSERT_TRUE(send.waitForFinished(30000));
    EXPECT_EQ(send.exitCode(), 1);
    const std::string strFailed = ReadFile(strCsv);
    EXPECT_EQ(strFailed.substr(0, 20), "address,reply,time\r\n");
    EXPECT_GE(Count(strFailed, "\r\n"), 2u) << strFailed;

    const auto pSecond = CSmtpTestServer::WithOptions({});
    const SResult result = Run({"--send", m_strSample, "--server", pSecond->Server(), "--resume"});
    EXPECT_EQ(result.nExit, 0) << result.strErr;
    const std::map<std::string, int> received = Received({pFirst.get(), pSecond.get()});
    for (const auto &[strAddress, nCount] : received)
        EXPECT_EQ(nCount, 1) << strAddress;
    EXPECT_GE(received.size(), 11u);
    EXPECT_GE(pSecond->Messages().size(), 1u);
}

TEST_F(CommandLineTest, AFailedListThatCannotBeWrittenIsFoundBeforeAnythingIsSent)
{
    CSmtpTestServer server("^nobody$");
    ASSERT_FALSE(server.Server().empty()) << server.Error();
    const fs::path readOnly = m_folder / "read-only.csv";
    std::ofstream(readOnly) << "kept";
    fs::permissions(readOnly, fs::perms::owner_read);
    const bool bRoot = ::geteuid() == 0; // root writes a read-only file all the same
    for (const auto &[path, strReason] : std::vector<std::pair<fs::path, std::string>> {
             {m_folder / "no-such-folder" / "failed.csv", "No such file or directory"},
             {m_folder, "Is a directory"}, {readOnly, "Permission denied"}}) {
        if (bRoot && path == readOnly)
            continue;
        const SResult result
            = Run({"--send", m_strSample, "--server", server.Server(), "--failed-csv", path});
        EXPECT_EQ(result.nExit, 2) << result.strErr;
        EXPECT_NE(result.strErr.find("could not be written to \"" + path.string()
                      + "\": " + strReason + ". Nothing was sent."),
            std::string::npos)
            << result.strErr;
    }
    EXPECT_TRUE(server.Messages().empty());
    EXPECT_FALSE(fs::exists(m_strSample + ".journal")) << "a refused send starts no run";

    // A good path is checked without leaving a file behind, and written after the send.
    const fs::path good = m_folder / "failed.csv";
    const SResult result
        = Run({"--send", m_strSample, "--server", server.Server(), "--failed-csv", good});
    EXPECT_EQ(result.nExit, 0) << result.strErr;
    EXPECT_EQ(server.Messages().size(), 12u);
    EXPECT_EQ(ReadFile(good), "address,reply,time\r\n");
}

TEST_F(CommandLineTest, TheJournalBelongsToTheMergeFileHoweverItIsNamed)
{
    ASSERT_NO_FATAL_FAILURE(SendRefusingThree(m_strSample));
    SResult result;

    // Through a link the same journal answers: a plain send is refused as before.
    CSmtpTestServer server("^nobody$");
    ASSERT_FALSE(server.Server().empty()) << server.Error();
    const std::string strLink = (m_folder / "sample" / "current.mgx").string();
    fs::create_symlink("sample.mgx", strLink);
    result = Run({"--send", strLink, "--server", server.Server()});
    EXPECT_EQ(result.nExit, 2) << result.strErr;
    EXPECT_NE(result.strErr.find("reached 9 of 12 recipients; 3 were refused. Give --resume"),
        std::string::npos)
        << result.strErr;
    EXPECT_FALSE(fs::exists(strLink + ".journal"));

    // Renamed, the merge takes its journal along, and a resume sends to those three only.
    const std::string strRenamed = (m_folder / "sample" / "news-final.mgx").string();
    fs::rename(m_strSample, strRenamed);
    result = Run({"--send", strRenamed, "--server", server.Server(), "--resume"});
    EXPECT_EQ(result.nExit, 0) << result.strErr;
    const std::map<std::string, int> resent = Received({&server});
    ASSERT_EQ(resent.size(), 3u);
    for (const auto &[strAddress, nCount] : resent) {
        EXPECT_TRUE(strAddress.starts_with("pat") || strAddress.starts_with("zoe")) << strAddress;
        EXPECT_EQ(nCount, 1) << strAddress;
    }
    EXPECT_TRUE(fs::exists(strRenamed + ".journal"));
    EXPECT_FALSE(fs::exists(m_strSample + ".journal"));

    // A copy is another file with no send to continue: --resume refuses instead of sending to
    // everyone.
    const fs::path copy = m_folder / "sample" / "copy.mgx";
    fs::copy_file(strRenamed, copy);
    result = Run({"--send", copy.string(), "--server", server.Server(), "--resume"});
    EXPECT_EQ(result.nExit, 2) << result.strErr;
    EXPECT_NE(
        result.strErr.find("There is no earlier send of this merge to continue"), std::string::npos)
        << result.strErr;
    EXPECT_EQ(server.Messages().size(), 3u);
}

TEST_F(CommandLineTest, AResumeInAnotherLocaleSendsOnlyTheRest)
{
    // Dates and amounts show otherwise in German, which changes every recipient's identity;
    // their addresses still tell who has the message.
    ASSERT_NO_FATAL_FAILURE(SendRefusingThree(m_strSample));
    SResult result;

    m_strLocale = "de_DE.UTF-8";
    CSmtpTestServer server("^nobody$");
    ASSERT_FALSE(server.Server().empty()) << server.Error();
    result = Run({"--send", m_strSample, "--server", server.Server(), "--resume"});
    EXPECT_EQ(result.nExit, 0) << result.strErr;
    const std::map<std::string, int> received = Received({&server});
    EXPECT_EQ(received,
        (std::map<std::string, int> {
            {"pat@example.org", 1}, {"zoe.dupont@example.com", 1}, {"zoe.martin@example.org", 1}}));
    EXPECT_NE(
        result.strErr.find("3 message(s) delivered. 9 recipient(s) left out"), std::string::npos)
        << result.strErr;
}

TEST_F(CommandLineTest, AnEditedMessageIsResumedOnlyWhenSaidAndTheSameOneIsNotSentTwice)
{
    const std::string strDatabase = (m_folder / "sample" / "contacts.mdb").string();
    const std::string strMerge = WriteMerge("news.mgx", strDatabase, "Email", "March <<City>>");
    ASSERT_NO_FATAL_FAILURE(SendRefusingThree(strMerge));
    SResult result;

    // Edited before the rest went out: nine have March, so April needs saying so.
    WriteMerge("news.mgx", strDatabase, "Email", "April <<City>>");
    CSmtpTestServer server("^nobody$");
    ASSERT_FALSE(server.Server().empty()) << server.Error();
    result = Run({"--send", strMerge, "--server", server.Server(), "--resume"});
    EXPECT_EQ(result.nExit, 2) << result.strErr;
    EXPECT_NE(result.strErr.find("The message was changed since the last send of this merge, "
                                 "which reached 9 recipient(s)"),
        std::string::npos)
        << result.strErr;
    EXPECT_TRUE(server.Messages().empty());
    result
        = Run({"--send", strMerge, "--server", server.Server(), "--resume", "--changed-message"});
    EXPECT_EQ(result.nExit, 0) << result.strErr;
    EXPECT_EQ(Received({&server}).size(), 3u);

    // Everyone has April now: the same command again sends nothing without --again.
    result = Run({"--send", strMerge, "--server", server.Server()});
    EXPECT_EQ(result.nExit, 2) << result.strErr;
    EXPECT_NE(result.strErr.find("This message was sent to all 12 recipients"), std::string::npos)
        << result.strErr;
    EXPECT_EQ(server.Messages().size(), 3u);
}

TEST_F(CommandLineTest, TheJournalOptionsAreCheckedAndADamagedJournalNeedsAgain)
{
    for (const auto &[args, strError] :
        std::vector<std::pair<std::vector<std::string>, std::string>> {
            {{"--send", m_strSample, "--resume", "--again"},
                "--resume and --again cannot be used together"},
            {{"--send", m_strSample, "--include-in-doubt"},
                "--include-in-doubt goes with --resume"},
            {{"--send", m_strSample, "--changed-message"}, "--changed-message goes with --resume"},
            {{"--send", m_strSample, "--rate", "fast"}, "--rate takes a number of messages"},
            {{"--test-merge", m_strSample, "--resume"}, "go with --send"}}) {
        const SResult result = Run(args);
        EXPECT_EQ(result.nExit, 2);
        EXPECT_NE(result.strErr.find(strError), std::string::npos) << result.strErr;
    }
    // A test merge never makes a journal.
    EXPECT_EQ(Run({"--test-merge", m_strSample}).nExit, 0);
    EXPECT_FALSE(fs::exists(m_strSample + ".journal"));

    CSmtpTestServer server("^nobody$");
    std::ofstream(m_strSample + ".journal") << std::string(3000, '\x7f');
    SResult result = Run({"--send", m_strSample, "--server", server.Server()});
    EXPECT_EQ(result.nExit, 2);
    EXPECT_NE(result.strErr.find("is damaged and cannot be read"), std::string::npos)
        << result.strErr;
    EXPECT_TRUE(server.Messages().empty());
    result = Run(
        {"--send", m_strSample, "--server", server.Server(), "--again", "--rate", "6000/min"});
    EXPECT_EQ(result.nExit, 0) << result.strErr;
    EXPECT_NE(result.strErr.find("a fresh one was started"), std::string::npos);
    EXPECT_TRUE(fs::exists(m_strSample + ".journal.damaged"));
    EXPECT_EQ(server.Messages().size(), 12u);
}

TEST_F(CommandLineTest, TheSameContactsInAnyKindOfListMergeAsTheAccessTable)
{
    const char *const kLists[]
        = {"contacts.csv", "contacts.sqlite", "contacts.xlsx", "contacts.ods"};
    for (const char *pName : kLists)
        fs::copy_file(fs::path(MERGIX_TESTS_DIR) / "data" / pName, m_folder / pName);
    const std::string strMerge = WriteMerge("lists.mgx", "sample/contacts.mdb", "Email",
        "<<FirstName>> <<LastName>> of <<City>>, <<Age>>: <<Notes>>\r\n"
        "{IF \"<<Age>>\" \"Less than\" \"18\" THEN \"young\" ELSE \"grown\" \"CASENO\"}");
    const SResult access = Run({"--test-merge", strMerge});
    ASSERT_EQ(access.nExit, 0) << access.strErr;
    ASSERT_EQ(Count(access.strOut, "To: "), 12u);
    const SResult accessYoung
        = Run({"--test-merge", strMerge, "--where", "Age", "Less than", "18"});
    ASSERT_EQ(Count(accessYoung.strOut, "To: "), 3u); // and pat, who has no age
    for (const char *pName : kLists) {
        SCOPED_TRACE(pName);
        // Relative to the working folder, which is not the merge's.
        m_strPrefix = "cd " + Quoted(m_folder.string()) + " && ";
        SResult other = Run({"--test-merge", strMerge, "--source", pName});
        EXPECT_EQ(other.nExit, 0) << other.strErr;
        EXPECT_EQ(other.strOut, access.strOut);

        // Rules compare the numbers as numbers: 17 and 0 are less than 18, 64 and 70 are not
        // (as text "64" and "70" would not be either, but "100" would be).
        other = Run(
            {"--test-merge", strMerge, "--source", pName, "--where", "Age", "Less than", "18"});
        EXPECT_EQ(other.nExit, 0) << other.strErr;
        EXPECT_EQ(other.strOut, accessYoung.strOut);
        m_strPrefix.clear();
    }
    // The merge file itself is left as it was.
    const std::string strSaved = ReadFile(strMerge);
    CMgxArchive saved(strSaved);
    EXPECT_EQ(saved.ReadString(), "sample/contacts.mdb");

    // Another table of the same list, and tables that are not there.
    fs::copy_file(fs::path(MERGIX_TESTS_DIR) / "data" / "contacts.sqlite", m_folder / "c.db");
    SResult view = Run(
        {"--test-merge", strMerge, "--source", (m_folder / "c.db").string(), "--table", "adults"});
    EXPECT_EQ(view.nExit, 0) << view.strErr;
    EXPECT_EQ(Count(view.strOut, "To: "), 9u);
    view = Run({"--test-merge", strMerge, "--table", "Nowhere"});
    EXPECT_EQ(view.nExit, 2);
    EXPECT_NE(view.strErr.find("The table \"Nowhere\" does not exist"), std::string::npos)
        << view.strErr;
    view = Run({"--test-merge", strMerge, "--source"});
    EXPECT_EQ(view.nExit, 2);
    EXPECT_NE(view.strErr.find("--source needs a PATH"), std::string::npos) << view.strErr;
}

// No keyring answers in these runs: the sign-in is handed out for the environment variable.
TEST_F(CommandLineTest, SignInOnADeviceOrInABrowserThenSendUntilTheSignInIsRevoked)
{
    COAuthTestServer oauth;
    ASSERT_FALSE(oauth.Base().empty());
    const CTestCertificates certificates(m_folder.string());
    ASSERT_EQ(certificates.Error(), "");
    const auto pServer = CSmtpTestServer::WithOptions({"--tls", certificates.Good().strCertificate,
        certificates.Good().strKey, "--mode", "starttls", "--oauth-tokens", oauth.TokensFile()});
    ASSERT_EQ(pServer->Error(), "");
    Store().setValue(
        QLatin1String(CSettings::kSmtpExtraCaFile), QString::fromStdString(certificates.CaFile()));
    const std::string strNoKeyring = "DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent";
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent");
    const auto readPrompt = [](QProcess &process) {
        process.setReadChannel(QProcess::StandardError);
        std::string strPrompt;
        while (strPrompt.find("Waiting") == std::string::npos && process.waitForReadyRead(10000))
            strPrompt += process.readAllStandardError().toStdString();
        return strPrompt;
    };

    // The device sign-in: the user enters the printed code elsewhere (here: the test approves).
    QProcess signIn;
    StartInBackground(signIn,
        {QStringLiteral("--sign-in"), QStringLiteral("--provider"), QStringLiteral("custom"),
            QStringLiteral("--user"), QStringLiteral("club@example.com"),
            QStringLiteral("--client-id"), QStringLiteral("mergix-test"),
            QStringLiteral("--authorization-url"),
            QString::fromStdString(oauth.Base() + "/authorize"), QStringLiteral("--token-url"),
            QString::fromStdString(oauth.Base() + "/token"), QStringLiteral("--device-url"),
            QString::fromStdString(oauth.Base() + "/devicecode"), QStringLiteral("--scope"),
            QStringLiteral("smtp offline_access")});
    std::string strPrompt = readPrompt(signIn);
    const size_t nCode = strPrompt.find("enter the code ");
    ASSERT_NE(nCode, std::string::npos) << strPrompt;
    EXPECT_NE(strPrompt.find(oauth.Base() + "/device"), std::string::npos) << strPrompt;
    const std::string strCode = strPrompt.substr(nCode + 15, 9);
    EXPECT_EQ(oauth.Request("/approve?user_code=" + strCode, true).first, 200);
    ASSERT_TRUE(signIn.waitForFinished(20000));
    const std::string strErr = signIn.readAllStandardError().toStdString();
    EXPECT_EQ(signIn.exitCode(), 0) << strErr;
    EXPECT_NE(strErr.find("No keyring service answered"), std::string::npos) << strErr;
    std::string strToken = signIn.readAllStandardOutput().toStdString();
    ASSERT_GT(strToken.size(), 20u);
    ASSERT_EQ(strToken.back(), '\n');
    strToken.pop_back();
    // The login is stored for the next runs; the token is not.
    const std::string strStored = ReadFile(m_folder / "config/Corvane Software/Mergix.conf");
    EXPECT_NE(strStored.find("SMTPLogin=OAuth 2.0"), std::string::npos) << strStored;
    EXPECT_NE(strStored.find("SMTPUserName=club@example.com"), std::string::npos);
    EXPECT_EQ(strStored.find(strToken), std::string::npos);

    const std::vector<std::string> send {
        "--send", m_strSample, "--server", pServer->Server(), "--security", "starttls", "--again"};
    m_strEnvironment = strNoKeyring + " MERGIX_SMTP_OAUTH_REFRESH_TOKEN=" + strToken;
    SResult result = Run(send);
    EXPECT_EQ(result.nExit, 0) << result.strErr;
    EXPECT_EQ(pServer->Messages().size(), 12u);

    // No sign-in at hand: nothing is tried.
    m_strEnvironment = strNoKeyring;
    result = Run(send);
    EXPECT_EQ(result.nExit, 2);
    EXPECT_NE(result.strErr.find("no sign-in is kept: run mergix --sign-in"), std::string::npos)
        << result.strErr;

    // The provider revoked it: the send stops once and asks to sign in again.
    EXPECT_EQ(oauth.Request("/revoke?all=1", true).first, 200);
    m_strEnvironment = strNoKeyring + " MERGIX_SMTP_OAUTH_REFRESH_TOKEN=" + strToken;
    result = Run(send);
    EXPECT_EQ(result.nExit, 2);
    EXPECT_EQ(Count(result.strErr, "Sign in again"), 1u) << result.strErr;
    EXPECT_EQ(pServer->Messages().size(), 12u);

    // Without a device endpoint, the sign-in is made in a browser on this computer: the address
    // is printed and the answer comes back to 127.0.0.1.
    QProcess browserSignIn;
    StartInBackground(
        browserSignIn, {QStringLiteral("--sign-in"), QStringLiteral("--device-url"), QString()});
    strPrompt = readPrompt(browserSignIn);
    const size_t nUrl = strPrompt.find(oauth.Base() + "/authorize?");
    ASSERT_NE(nUrl, std::string::npos) << strPrompt;
    EXPECT_EQ(oauth.Browse(strPrompt.substr(nUrl, strPrompt.find('\n', nUrl) - nUrl)), 200);
    ASSERT_TRUE(browserSignIn.waitForFinished(20000));
    EXPECT_EQ(browserSignIn.exitCode(), 0) << browserSignIn.readAllStandardError().toStdString();
    EXPECT_GT(browserSignIn.readAllStandardOutput().size(), 20);

    // Ctrl+C while waiting for the user.
    result = Run({"--sign-in", "--device-url", oauth.Base() + "/devicecode"}, "1");
    EXPECT_EQ(result.nExit, 1) << result.strErr;
    EXPECT_NE(result.strErr.find("The sign-in was cancelled."), std::string::npos);
    EXPECT_EQ(result.strOut, "");
    qunsetenv("DBUS_SESSION_BUS_ADDRESS");

    // Mistakes are named before anything is asked.
    result = Run({"--sign-in", "--provider", "yahoo"});
    EXPECT_EQ(result.nExit, 2);
    EXPECT_NE(
        result.strErr.find("--provider takes microsoft, google or custom"), std::string::npos);
    result = Run({"--sign-in", "--user", "", "--client-id", "x"});
    EXPECT_EQ(result.nExit, 2);
    EXPECT_NE(result.strErr.find("needs the user name"), std::string::npos) << result.strErr;
}

TEST_F(CommandLineTest, AMergeOnAPostgresServerTakesItsPasswordFromTheEnvironmentOnly)
{
    CDatabaseTestServer server;
    ASSERT_FALSE(server.Address().empty());
    const std::vector<std::string> merge {
        "--test-merge", m_strSample, "--source", server.Address(), "--table", "Contacts"};
    m_strEnvironment = std::string("MERGIX_DB_PASSWORD='") + CDatabaseTestServer::kPassword + "'";
    SResult result = Run(merge);
    ASSERT_EQ(result.nExit, 0) << result.strErr;
    EXPECT_EQ(Count(result.strOut, "To: "), 3u);
    EXPECT_NE(result.strOut.find("Dear Zo\xC3\xAB Dupont,\r\n\r\nGreetings to Gen\xC3\xA8ve!\r\n"
                                 "Thank you for being a member since 12/31/1999."),
        std::string::npos)
        << result.strOut;
    EXPECT_NE(result.strOut.find("Your balance of -7.00 is overdue."), std::string::npos);

    // No password and no terminal to ask on: one refused login, named.
    m_strEnvironment = "-u MERGIX_DB_PASSWORD";
    m_strPrefix = "setsid -w ";
    result = Run(merge);
    EXPECT_EQ(result.nExit, 2);
    EXPECT_NE(result.strErr.find("refused the login of user \"mergix\" without a password"),
        std::string::npos)
        << result.strErr;
    EXPECT_EQ(result.strOut, "");
}
