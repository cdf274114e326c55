// Runs the built mergix program on the sample merge and the fixtures, as a user would, and
// checks what it prints and how it exits.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <sys/wait.h>

#include <QSettings>
#include <QString>

#include "app/Settings.h"
#include "document/MgxArchive.h"
#include "support/SmtpTestServer.h"

namespace {

namespace fs = std::filesystem;

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
    }
    void TearDown() override { fs::remove_all(m_folder); }

    // Runs the program; with an interrupt delay, sends it SIGINT (as Ctrl+C does) after that
    // many seconds.
    SResult Run(const std::vector<std::string> &args, const char *pInterruptAfter = nullptr)
    {
        std::string strCommand = "env XDG_CONFIG_HOME=" + Quoted((m_folder / "config").string())
            + " LANG=en_US.UTF-8 LC_ALL=en_US.UTF-8 " + Quoted(MERGIX_EXE);
        for (const std::string &strArg : args)
            strCommand += " " + Quoted(strArg);
        strCommand += " 2>" + Quoted((m_folder / "stderr").string()) + " </dev/null";
        if (pInterruptAfter)
            strCommand = "(" + strCommand + ") & pid=$!; sleep " + pInterruptAfter
                + "; kill -INT $pid; wait $pid";
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

    fs::path m_folder;
    const std::string m_strSample = MERGIX_EXAMPLES_DIR "/sample.mgx";
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
    const SResult good = Run({"--send", m_strSample, "--where", "City", "Equals", "London"});
    EXPECT_EQ(good.nExit, 0) << good.strErr;
    EXPECT_NE(good.strErr.find("1 message(s) delivered."), std::string::npos);
    EXPECT_EQ(server.Messages().size(), 10u);
}

TEST_F(CommandLineTest, AnInterruptStopsHandingOutMessagesButFinishesTheStartedOnes)
{
    // Every delivery takes two seconds; the run hands out one a second, so a few are under way
    // when the interrupt comes.
    CSmtpTestServer server("^nobody$", ".");
    ASSERT_FALSE(server.Server().empty()) << server.Error();
    const auto start = std::chrono::steady_clock::now();
    const SResult result = Run({"--send", m_strSample, "--server", server.Server()}, "2.5");
    EXPECT_EQ(result.nExit, 0) << result.strErr;
    EXPECT_NE(result.strErr.find("interrupted"), std::string::npos) << result.strErr;
    const size_t nDelivered = server.Messages().size();
    EXPECT_GE(nDelivered, 2u);
    EXPECT_LT(nDelivered, 12u);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(9));
}

} // namespace
