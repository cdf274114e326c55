// A personalised subject, Cc and Bcc copies and attached files, sent to the real SMTP server of
// the tests and read back by Python's email package; the checks made before anything is sent.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include <QJsonArray>
#include <QJsonObject>
#include <QTemporaryDir>

#include "engine/Data.h"
#include "mail/MergeRun.h"
#include "mail/MessageText.h"
#include "mail/PersonalParts.h"
#include "mail/RecordList.h"
#include "support/RecordingPrompter.h"
#include "support/ScriptedProgress.h"
#include "support/SmtpTestServer.h"
#include "support/TestCertificates.h"

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;
using EOutcome = CMergeRun::EOutcome;
using Texts = std::vector<std::string>;

std::string Bytes(const QJsonValue &value)
{
    return QByteArray::fromBase64(value.toString().toLatin1()).toStdString();
}

std::string Field(const QJsonObject &object, const char *pName)
{
    return object[QLatin1String(pName)].toString().toStdString();
}

Texts Strings(const QJsonValue &value)
{
    Texts texts;
    for (const QJsonValue &item : value.toArray())
        texts.push_back(item.toString().toStdString());
    return texts;
}

class MessageExtrasTest : public testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        s_pCertificates = std::make_unique<QTemporaryDir>();
        s_pPairs = std::make_unique<CTestCertificates>(s_pCertificates->path().toStdString());
    }
    static void TearDownTestSuite()
    {
        s_pPairs.reset();
        s_pCertificates.reset();
    }

    void SetUp() override
    {
        m_strFolder = m_folder.path().toStdString() + "/";
        fs::create_directories(m_strFolder + "invoices");
        // Every byte value, so that nothing is lost or changed on the way.
        for (int i = 0; i < 3000; ++i)
            m_strProgramme += static_cast<char>((i * 7) % 256);
        Write("Programm für Eltern.pdf", m_strProgramme);
        Write("invoices/1.txt", "Invoice 1\n");
        Write("invoices/2.txt", "Invoice 2\n");

        m_list.SetColumns({"Name", "Email", "ParentEmail", "ID"});
        m_input.pList = &m_list;
        m_input.fields = {{"Name", "Email", "ParentEmail", "ID"}, {dbText, dbText, dbText, dbText}};
        m_input.strToField = "Email";
        m_input.strTemplate = "Dear <<Name>>,\r\nyour invoice is attached.";
        m_input.strFrom = "Club <club@example.com>";
        m_input.strReplyTo = "replies@example.com";
        m_input.strSubject = "Invoice <<ID>> for <<Name>>";
        m_input.extras = {"<<ParentEmail>>, Office <office@example.com>", "archive@example.com",
            {"Programm für Eltern.pdf", "invoices/<<ID>>.txt"}};
        m_input.strAttachmentFolder = m_strFolder;
        m_input.bInteractive = false;
        m_input.account.strExtraCaFile = s_pPairs->CaFile();
        m_input.sessionSettings.replyTimeout = 5s;
        m_input.sessionSettings.connectTimeout = 5s;
    }

    void Write(const std::string &strName, const std::string &strBytes)
    {
        std::ofstream(m_strFolder + strName, std::ios::binary) << strBytes;
    }

    EOutcome Send(const CSmtpTestServer &server, ESmtpSecurity eSecurity = ESmtpSecurity::None)
    {
        EXPECT_EQ(server.Error(), "");
        m_input.bTestMode = false;
        m_input.serverName = [strServer = server.Server()] {
            return strServer;
        };
        m_input.account.eSecurity = eSecurity;
        m_list.SelectAll();
        return m_run.Run(m_input, m_progress);
    }

    static std::unique_ptr<QTemporaryDir> s_pCertificates;
    static std::unique_ptr<CTestCertificates> s_pPairs;
    QTemporaryDir m_folder;
    std::string m_strFolder;
    std::string m_strProgramme;
    CRecordingPrompter m_prompter;
    CRecordList m_list;
    CMergeRun::SInput m_input;
    CScriptedProgress m_progress;
    CMergeRun m_run;
};

std::unique_ptr<QTemporaryDir> MessageExtrasTest::s_pCertificates;
std::unique_ptr<CTestCertificates> MessageExtrasTest::s_pPairs;

class MessageExtrasOverEachPathTest : public MessageExtrasTest,
                                      public testing::WithParamInterface<ESmtpSecurity>
{ };

// One connection a message, and messages over a reused STARTTLS connection, are made alike.
TEST_P(MessageExtrasOverEachPathTest, CopiesAndAttachmentsArriveAsRecipientsSeeThem)
{
    m_list.AddRecord({"Ann", "ann@example.org", "Ann's Mum <mum@example.org>", "1"});
    m_list.AddRecord({"Bob", "bob@example.org", "", "2"});
    std::unique_ptr<CSmtpTestServer> pServer = GetParam() == ESmtpSecurity::None
        ? std::make_unique<CSmtpTestServer>()
        : CSmtpTestServer::WithOptions({"--tls", s_pPairs->Good().strCertificate,
            s_pPairs->Good().strKey, "--mode", "starttls"});
    ASSERT_EQ(Send(*pServer, GetParam()), EOutcome::Completed) << m_run.StopReason();

    std::vector<QJsonObject> messages = pServer->Messages();
    ASSERT_EQ(messages.size(), 2u);
    std::sort(messages.begin(), messages.end(),
        [](const QJsonObject &a, const QJsonObject &b) { return Field(a, "to") < Field(b, "to"); });
    for (size_t i = 0; i < messages.size(); ++i) {
        const QJsonObject &message = messages[i];
        SCOPED_TRACE(Field(message, "to"));
        EXPECT_EQ(Field(message, "parse_error"), "");
        EXPECT_TRUE(message[QStringLiteral("defects")].toArray().isEmpty())
            << Strings(message[QStringLiteral("defects")]).front();
        EXPECT_FALSE(message[QStringLiteral("bare_lf")].toBool());
        EXPECT_EQ(Field(message, "content_type"), "multipart/mixed");
        const Texts headers = Strings(message[QStringLiteral("header_names")]);
        EXPECT_EQ(std::count(headers.begin(), headers.end(), "Bcc"), 0);
        const QJsonArray attachments = message[QStringLiteral("attachments")].toArray();
        ASSERT_EQ(attachments.size(), 2);
        const QJsonObject programme = attachments[0].toObject();
        EXPECT_EQ(Field(programme, "filename"), "Programm für Eltern.pdf");
        EXPECT_EQ(Field(programme, "content_type"), "application/pdf");
        EXPECT_EQ(Bytes(programme[QStringLiteral("data")]), m_strProgramme);
        const QJsonObject invoice = attachments[1].toObject();
        EXPECT_EQ(Field(invoice, "filename"), std::to_string(i + 1) + ".txt");
        EXPECT_EQ(Field(invoice, "content_type"), "text/plain");
        EXPECT_EQ(
            Bytes(invoice[QStringLiteral("data")]), "Invoice " + std::to_string(i + 1) + "\n");
    }
    const QJsonObject &ann = messages[0];
    EXPECT_EQ(Field(ann, "subject"), "Invoice 1 for Ann");
    EXPECT_EQ(Field(ann, "cc"), "Ann's Mum <mum@example.org>, Office <office@example.com>");
    EXPECT_EQ(Field(ann, "body"), "Dear Ann,\r\nyour invoice is attached.");
    EXPECT_EQ(Strings(ann[QStringLiteral("rcpt_tos")]),
        (Texts {
            "ann@example.org", "mum@example.org", "office@example.com", "archive@example.com"}));
    // Bob has no parent address: his Cc holds the office alone.
    const QJsonObject &bob = messages[1];
    EXPECT_EQ(Field(bob, "subject"), "Invoice 2 for Bob");
    EXPECT_EQ(Field(bob, "cc"), "Office <office@example.com>");
    EXPECT_EQ(Strings(bob[QStringLiteral("rcpt_tos")]),
        (Texts {"bob@example.org", "office@example.com", "archive@example.com"}));
}

INSTANTIATE_TEST_SUITE_P(Paths, MessageExtrasOverEachPathTest,
    testing::Values(ESmtpSecurity::None, ESmtpSecurity::StartTls));

TEST_F(MessageExtrasTest, RecordsWhoseAttachmentsCannotGoAreListedBeforeAnythingIsSent)
{
    fs::create_directories(m_strFolder + "invoices/folder.txt");
    ASSERT_EQ(::mkfifo((m_strFolder + "invoices/fifo.txt").c_str(), 0600), 0);
    m_list.AddRecord({"Ann", "ann@example.org", "", "1"});
    // A field that leads out of the folder the path names, by ".." or by a link.
    Write("secret.txt", "not for Eve");
    fs::create_symlink(m_strFolder + "secret.txt", m_strFolder + "invoices/link.txt");
    m_list.AddRecord({"Eve", "eve@example.org", "", "../secret"});
    m_list.AddRecord({"Lin", "lin@example.org", "", "link"});
    m_list.AddRecord({"Max", "max@example.org", "", "3"});
    m_list.AddRecord({"Dir", "dir@example.org", "", "folder"});
    m_list.AddRecord({"Pip", "pip@example.org", "", "fifo"});
    // 4 GB without taking the disk space: never read, only looked at.
    std::ofstream(m_strFolder + "invoices/huge.txt").close();
    fs::resize_file(m_strFolder + "invoices/huge.txt", 4ULL << 30);
    m_list.AddRecord({"Hal", "hal@example.org", "", "huge"});
    CSmtpTestServer server;

    // Without windows and without being told to skip them: nothing goes.
    EXPECT_EQ(Send(server), EOutcome::AttachmentsRefused);
    const Texts shown = m_prompter.TakeTexts();
    ASSERT_EQ(shown.size(), 1u);
    const std::string &strText = shown.front();
    EXPECT_NE(strText.find("The attachments of 6 of the 7 selected records cannot be sent"),
        std::string::npos)
        << strText;
    EXPECT_NE(strText.find("eve@example.org: " + m_strFolder + "secret.txt lies outside "
                  + m_strFolder + "invoices, the folder its path names"),
        std::string::npos)
        << strText;
    EXPECT_NE(strText.find("lin@example.org: " + m_strFolder + "invoices/link.txt lies outside"),
        std::string::npos);
    EXPECT_NE(strText.find("max@example.org: " + m_strFolder + "invoices/3.txt was not found"),
        std::string::npos);
    EXPECT_NE(strText.find("folder.txt is a folder"), std::string::npos);
    EXPECT_NE(strText.find("fifo.txt is not a regular file"), std::string::npos);
    EXPECT_NE(strText.find("huge.txt is larger than 100 MB"), std::string::npos);
    EXPECT_NE(strText.find("--skip-missing-attachments"), std::string::npos);
    EXPECT_TRUE(server.Messages().empty());

    // With windows the user is asked; No sends nothing, Yes sends to the others.
    m_input.bInteractive = true;
    m_prompter.ScriptAnswer(false);
    EXPECT_EQ(Send(server), EOutcome::AttachmentsRefused);
    EXPECT_NE(m_prompter.TakeTexts().front().find("Send the message to the other 1 records?"),
        std::string::npos);
    EXPECT_TRUE(server.Messages().empty());

    m_input.bInteractive = false;
    m_input.bSkipUnsendableAttachments = true;
    EXPECT_EQ(Send(server), EOutcome::Completed);
    ASSERT_EQ(server.Messages().size(), 1u);
    EXPECT_EQ(Field(server.Messages()[0], "to"), "ann@example.org");
    Texts failed = m_run.FailedAddresses();
    std::sort(failed.begin(), failed.end());
    EXPECT_EQ(failed,
        (Texts {"dir@example.org", "eve@example.org", "hal@example.org", "lin@example.org",
            "max@example.org", "pip@example.org"}));
    const std::vector<CRunRecord::SFailure> failures = m_run.Failures();
    EXPECT_TRUE(std::any_of(failures.begin(), failures.end(), [&](const auto &failure) {
        return failure.strReply == "not sent: " + m_strFolder + "invoices/3.txt was not found";
    }));
}

TEST_F(MessageExtrasTest, ACopyTheServerRefusesIsListedApartAndTheMessageCountsAsDelivered)
{
    m_input.extras.attachments.clear();
    m_list.AddRecord({"Ann", "ann@example.org", "reject-mum@example.org", "1"});
    m_input.bInteractive = true;
    CSmtpTestServer server;
    ASSERT_EQ(Send(server), EOutcome::Completed);
    EXPECT_EQ(m_run.Delivered(), 1u);
    EXPECT_TRUE(m_run.FailedAddresses().empty());
    const std::vector<CMergeRun::SRefusedCopy> refused = m_run.RefusedCopies();
    ASSERT_EQ(refused.size(), 1u);
    EXPECT_EQ(refused[0].strTo, "ann@example.org");
    EXPECT_EQ(refused[0].strCopy, "reject-mum@example.org");
    EXPECT_NE(refused[0].strReply.find("550"), std::string::npos);
    const Texts shown = m_prompter.TakeTexts();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_NE(shown[0].find("The server refused these copies (Cc or Bcc)"), std::string::npos);
    EXPECT_NE(shown[0].find("reject-mum@example.org"), std::string::npos);
    ASSERT_EQ(server.Messages().size(), 1u);
    EXPECT_EQ(Strings(server.Messages()[0][QStringLiteral("rcpt_tos")]),
        (Texts {"ann@example.org", "office@example.com", "archive@example.com"}));
}

TEST_F(MessageExtrasTest, AMessageOverTheServersSizeLimitIsRefusedBeforeTheRun)
{
    Write("big.bin", std::string(60000, 'x'));
    m_input.extras.attachments = {"big.bin"};
    m_list.AddRecord({"Ann", "ann@example.org", "", "1"});
    const auto pServer = CSmtpTestServer::WithOptions({"--size", "50000"});
    EXPECT_EQ(Send(*pServer), EOutcome::AttachmentsRefused);
    const Texts shown = m_prompter.TakeTexts();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_NE(shown[0].find("ann@example.org: makes a message of about 0.1 MB"), std::string::npos)
        << shown[0];
    EXPECT_NE(shown[0].find("more than the 0.0 MB the server takes"), std::string::npos);
    EXPECT_TRUE(pServer->Messages().empty());
}

TEST_F(MessageExtrasTest, LineBreaksInCopiesOrSubjectAreRefusedAsHeaderInjection)
{
    m_input.extras.attachments.clear();
    m_list.AddRecord({"Ann", "ann@example.org", "mum@example.org\r\nBcc: evil@example.org", "1"});
    m_list.AddRecord({"Bob", "bob@example.org", "", "2\r\nBcc: evil@example.org"});
    m_list.AddRecord({"Cat", "cat@example.org", "", "3"});
    CSmtpTestServer server;
    EXPECT_EQ(Send(server), EOutcome::Completed);
    Texts failed = m_run.FailedAddresses();
    std::sort(failed.begin(), failed.end());
    EXPECT_EQ(failed, (Texts {"ann@example.org", "bob@example.org"}));
    EXPECT_EQ(m_run.Failures().at(0).strReply,
        "not sent: a header text holds a line break or a zero byte");
    ASSERT_EQ(server.Messages().size(), 1u);
    EXPECT_EQ(Field(server.Messages()[0], "to"), "cat@example.org");
}

TEST_F(MessageExtrasTest, TheTestMergeShowsTheMergedHeadersOnlyWhenTheyAreUsed)
{
    m_list.AddRecord({"Ann", "ann@example.org", "mum@example.org", "1"});
    m_list.SelectAll();
    m_input.bTestMode = true;
    ASSERT_EQ(m_run.Run(m_input, m_progress), EOutcome::Completed);
    EXPECT_EQ(m_run.TestResults(),
        std::string(64, '-') + "\r\nTo: ann@example.org\r\nSubject: Invoice 1 for Ann\r\n"
            + "Cc: mum@example.org, Office <office@example.com>\r\nBcc: archive@example.com\r\n"
            + "Attachment: " + m_strFolder + "Programm für Eltern.pdf\r\n"
            + "Attachment: " + m_strFolder + "invoices/1.txt\r\n"
            + "Dear Ann,\r\nyour invoice is attached.\r\n\r\n");

    // A subject without tags is not shown, and neither are copies or files a merge has none of.
    m_input.strSubject = "Invoice";
    m_input.extras = {};
    ASSERT_EQ(m_run.Run(m_input, m_progress), EOutcome::Completed);
    EXPECT_EQ(m_run.TestResults(),
        std::string(64, '-') + "\r\nTo: ann@example.org\r\n"
            + "Dear Ann,\r\nyour invoice is attached.\r\n\r\n");
}

TEST(PersonalPartsTest, AddressListsAndTheFolderAPathTemplateNames)
{
    EXPECT_EQ(SplitAddressList(" a@x.org; \"Roe, Jane\" <j@x.org>,, <b,c@x.org> ,"),
        (Texts {"a@x.org", "\"Roe, Jane\" <j@x.org>", "<b,c@x.org>"}));
    EXPECT_EQ(SplitAddressList("  "), Texts {});
    EXPECT_EQ(EncodeAddressList("Zoë <z@x.org>, plain@x.org"),
        "=?UTF-8?B?Wm/Dqw==?= <z@x.org>, plain@x.org");
    // Folded between addresses, never inside one, with every line under 78 characters.
    std::string strMany;
    for (int i = 0; i < 12; ++i)
        strMany += "member" + std::to_string(i) + "@example.org,";
    const std::string strFolded = "Cc: " + EncodeAddressList(strMany);
    size_t nStart = 0;
    for (size_t nEnd; (nEnd = strFolded.find("\r\n", nStart)) != std::string::npos;
         nStart = nEnd + 2)
        EXPECT_LT(nEnd - nStart, 78u);
    EXPECT_EQ(SplitAddressList(strFolded.substr(4)).size(), 12u);

    const CMergeFields fields {{"ID"}, {dbText}};
    const CPersonalParts parts("",
        {"", "",
            {"a/b/<<ID>>.pdf", "fixed.pdf", "<<ID>>",
                "/{IF \"<<ID>>\" \"Equals\" \"1\" THEN \"x\" ELSE \"y\"}"}},
        fields, "/merges/");
    EXPECT_EQ(parts.ChosenFolder(0), "/merges/a/b");
    EXPECT_EQ(parts.ChosenFolder(1), "");
    EXPECT_EQ(parts.ChosenFolder(2), "/merges");
    EXPECT_EQ(parts.ChosenFolder(3), "/");
    EXPECT_EQ(AbsolutePath("../x/./y.pdf", "/merges/a/"), "/merges/x/y.pdf");
}

} // namespace
