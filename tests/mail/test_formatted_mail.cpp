// Formatted messages: the editor's HTML merged for each record (values escaped, tags in links
// percent-encoded, pictures as cid: parts, nothing remote), and sent to the real SMTP server of
// the tests as multipart/alternative, read back by Python's email package.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>

#include <QJsonArray>
#include <QJsonObject>
#include <QTemporaryDir>

#include "engine/Data.h"
#include "mail/HtmlMessage.h"
#include "mail/MergeRun.h"
#include "mail/RecordList.h"
#include "support/RecordingPrompter.h"
#include "support/ScriptedProgress.h"
#include "support/SmtpTestServer.h"

namespace {

using namespace std::chrono_literals;

std::string Field(const QJsonObject &object, const char *pName)
{
    return object[QLatin1String(pName)].toString().toStdString();
}

// The HTML the editor saves, as Qt writes it: a head with a style sheet, the body's font, a
// field tag in bold, a link whose address holds tags, an {IF} block around formatting, a
// picture of a file and one on the web.
const std::string kEditorHtml
    = R"html(<!DOCTYPE HTML PUBLIC "-//W3C//DTD HTML 4.0//EN" "http://www.w3.org/TR/REC-html40/strict.dtd">
<html><head><meta name="qrichtext" content="1" /><meta charset="utf-8" /><style type="text/css">
p, li { white-space: pre-wrap; }
</style></head><body style=" font-family:'Times New Roman'; font-size:12pt;">
<p style=" margin-top:0px;">Dear <span style=" font-weight:700;">&lt;&lt;Name&gt;&gt;</span>,</p>
<p style=" margin-top:0px;"><a href="https://club.example/pay?id=&lt;&lt;ID&gt;&gt;&amp;who=&lt;&lt;Name&gt;&gt;" onclick="steal()"><span style=" text-decoration: underline;">Pay here</span></a> or visit <a href="&lt;&lt;Site&gt;&gt;">your page</a>.</p>
<p>{IF "&lt;&lt;ID&gt;&gt;" "Equals" "1" THEN "<span style=" font-style:italic;">first!</span>" ELSE "later" "CASEYES"}</p>
<p><img src="logo.png" width="60" /><img src="https://tracker.example/pixel.gif" /></p></body></html>)html";

class CFields
{
public:
    CFields()
    {
        m_list.SetColumns({"Name", "Email", "ID", "Site"});
        m_fields = {{"Name", "Email", "ID", "Site"}, {dbText, dbText, dbText, dbText}};
    }

    CRecordList m_list;
    CMergeFields m_fields;
};

TEST(HtmlMessageTest, ValuesAreEscapedTagsInLinksEncodedAndNothingIsFetched)
{
    CFields table;
    table.m_list.AddRecord({"<b>Ann</b> & \"Bo\"\x01"
                            "0>",
        "ann@example.org", "1 2", "https://ann.example/?a=1&b=<2>"});
    table.m_list.AddRecord({"Bob", "bob@example.org", "1", ""});
    const CHtmlMessage message(kEditorHtml, table.m_fields, "/home/club/");
    ASSERT_EQ(message.Images().size(), 1u);
    EXPECT_EQ(message.Images()[0].strPath, "/home/club/logo.png");
    EXPECT_EQ(message.Images()[0].strContentId, "image1@mergix");

    const std::string strAnn
        = message.Expand(CRecordListRow(table.m_list, 1)); // rows show the last added first
    // A value is text, whatever it holds; the placeholders of the markup cannot be forged.
    EXPECT_NE(strAnn.find("<span style=\" font-weight:700;\">&lt;b&gt;Ann&lt;/b&gt; &amp; "
                          "\"Bo\"0&gt;</span>,"),
        std::string::npos)
        << strAnn;
    EXPECT_NE(strAnn.find("href=\"https://club.example/pay?id=1%202&amp;who=%3Cb%3EAnn%3C%2Fb%3E"
                          "%20%26%20%22Bo%220%3E\""),
        std::string::npos)
        << strAnn;
    // A tag that is the whole address is an address, escaped for the attribute only.
    EXPECT_NE(strAnn.find("<a href=\"https://ann.example/?a=1&amp;b=&lt;2&gt;\">your page</a>"),
        std::string::npos)
        << strAnn;
    EXPECT_NE(strAnn.find("<p style=\"white-space:pre-wrap;\">later</p>"), std::string::npos);
    EXPECT_NE(strAnn.find("<img src=\"cid:image1@mergix\" width=\"60\" />"), std::string::npos);
    for (const char *pGone : {"<style", "tracker.example", "onclick", "steal", "w3.org", "{IF"})
        EXPECT_EQ(strAnn.find(pGone), std::string::npos) << pGone;
    EXPECT_NE(
        strAnn.find("<p style=\"white-space:pre-wrap; margin-top:0px;\">"), std::string::npos);
    EXPECT_TRUE(strAnn.starts_with("<!DOCTYPE html>"));
    EXPECT_NE(strAnn.find("<body style=\" font-family:'Times New Roman'; font-size:12pt;\">"),
        std::string::npos);

    const std::string strBob = message.Expand(CRecordListRow(table.m_list, 0));
    EXPECT_NE(strBob.find("<p style=\"white-space:pre-wrap;\"><span style=\" "
                          "font-style:italic;\">first!</span></p>"),
        std::string::npos)
        << strBob;
    EXPECT_NE(strBob.find("pay?id=1&amp;who=Bob\""), std::string::npos);
}

TEST(HtmlMessageTest, AFragmentWithoutBodyAndBrokenMarkupStillMerges)
{
    CFields table;
    table.m_list.AddRecord({"Ann", "ann@example.org", "1", ""});
    // Unclosed tags, a tag cut off at the end, a half-formatted field tag and a comment.
    const CHtmlMessage message("Hi <b>&lt;&lt;Na</b>me&gt;&gt; <!-- x --><i>&lt;&lt;Name&gt;&gt;"
                               "<p class=x <img src='a.png'",
        table.m_fields, "/tmp/");
    const std::string strAnn = message.Expand(CRecordListRow(table.m_list, 0));
    EXPECT_NE(strAnn.find("Hi <b>&lt;&lt;Na</b>me&gt;&gt; <i>Ann"), std::string::npos) << strAnn;
    EXPECT_EQ(strAnn.find("<!--"), std::string::npos);
}

class FormattedMailTest : public testing::Test
{
protected:
    void SetUp() override
    {
        m_strFolder = m_folder.path().toStdString() + "/";
        // A PNG's first bytes and then every byte value.
        m_strLogo = "\x89PNG\r\n\x1A\n";
        for (int i = 0; i < 600; ++i)
            m_strLogo += static_cast<char>(i % 256);
        std::ofstream(m_strFolder + "logo.png", std::ios::binary) << m_strLogo;
        m_input.pList = &m_table.m_list;
        m_input.fields = m_table.m_fields;
        m_input.strToField = "Email";
        m_input.strTemplate
            = "Dear <<Name>>,\r\nPay here (https://club.example/pay?id=<<ID>>&who="
              "<<Name>>) or visit your page (<<Site>>).\r\n"
              "{IF \"<<ID>>\" \"Equals\" \"1\" THEN \"first!\" ELSE \"later\" \"CASEYES\"}\r\n"
              "logo.png";
        m_input.strFormattedBody = kEditorHtml;
        m_input.strFrom = "Club <club@example.com>";
        m_input.strReplyTo = "replies@example.com";
        m_input.strSubject = "News";
        m_input.strAttachmentFolder = m_strFolder;
        m_input.bInteractive = false;
        m_input.sessionSettings.replyTimeout = 5s;
    }

    QTemporaryDir m_folder;
    std::string m_strFolder;
    std::string m_strLogo;
    CFields m_table;
    CRecordingPrompter m_prompter;
    CMergeRun::SInput m_input;
    CScriptedProgress m_progress;
    CMergeRun m_run;
};

TEST_F(FormattedMailTest, TheTextAndItsHtmlTwinArriveTogetherWithThePicture)
{
    m_table.m_list.AddRecord({"Zoë <Admin>", "zoe@example.org", "1", "https://zoe.example/"});
    m_table.m_list.AddRecord({"Bob", "bob@example.org", "2", ""});
    m_input.extras.attachments = {"logo.png"}; // also attached: multipart/mixed around it all
    CSmtpTestServer server;
    m_input.bTestMode = false;
    m_input.serverName = [strServer = server.Server()] {
        return strServer;
    };
    m_table.m_list.SelectAll();
    ASSERT_EQ(m_run.Run(m_input, m_progress), CMergeRun::EOutcome::Completed) << m_run.StopReason();
    std::vector<QJsonObject> messages = server.Messages();
    ASSERT_EQ(messages.size(), 2u);
    std::sort(messages.begin(), messages.end(),
        [](const QJsonObject &a, const QJsonObject &b) { return Field(a, "to") > Field(b, "to"); });
    const QJsonObject &zoe = messages[0];
    EXPECT_EQ(Field(zoe, "parse_error"), "");
    EXPECT_TRUE(zoe[QStringLiteral("defects")].toArray().isEmpty());
    QStringList structure;
    for (const QJsonValue &type : zoe[QStringLiteral("structure")].toArray())
        structure << type.toString();
    EXPECT_EQ(structure.join(u' '),
        QStringLiteral("multipart/mixed multipart/alternative text/plain multipart/related "
                       "text/html image/png image/png"));
    const std::string strText = Field(zoe, "body");
    const std::string strHtml = Field(zoe, "html");
    EXPECT_EQ(strText,
        "Dear Zoë <Admin>,\r\nPay here (https://club.example/pay?id=1&who=Zoë <Admin>) or visit "
        "your page\r\n(https://zoe.example/).\r\nfirst!\r\nlogo.png"); // wrapped as ever
    EXPECT_NE(strHtml.find("Zo\xC3\xAB &lt;Admin&gt;</span>"), std::string::npos) << strHtml;
    EXPECT_NE(strHtml.find("pay?id=1&amp;who=Zo%C3%AB%20%3CAdmin%3E"), std::string::npos);
    // The same words in both parts, in the same order.
    for (const char *pWord : {"Dear", "Pay here", "your page", "first!"})
        EXPECT_NE(strHtml.find(pWord), std::string::npos) << pWord;
    const QJsonArray inlineParts = zoe[QStringLiteral("inline_parts")].toArray();
    ASSERT_EQ(inlineParts.size(), 1);
    const QJsonObject logo = inlineParts[0].toObject();
    EXPECT_EQ(Field(logo, "content_id"), "<image1@mergix>");
    EXPECT_EQ(Field(logo, "content_type"), "image/png");
    EXPECT_EQ(
        QByteArray::fromBase64(logo[QStringLiteral("data")].toString().toLatin1()).toStdString(),
        m_strLogo);
    EXPECT_NE(strHtml.find("src=\"cid:image1@mergix\""), std::string::npos);
    EXPECT_NE(Field(messages[1], "html").find(">later</p>"), std::string::npos);
}

TEST_F(FormattedMailTest, APictureThatIsGoneStopsTheSendBeforeAnythingGoes)
{
    m_table.m_list.AddRecord({"Ann", "ann@example.org", "1", ""});
    std::remove((m_strFolder + "logo.png").c_str());
    CSmtpTestServer server;
    m_input.bTestMode = false;
    m_input.serverName = [strServer = server.Server()] {
        return strServer;
    };
    m_table.m_list.SelectAll();
    EXPECT_EQ(m_run.Run(m_input, m_progress), CMergeRun::EOutcome::SettingsRefused);
    const std::vector<std::string> texts = m_prompter.TakeTexts();
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_NE(texts[0].find("logo.png"), std::string::npos);
    EXPECT_TRUE(server.Messages().empty());
}

TEST_F(FormattedMailTest, ATestMergeHandsOverEachHtmlBesideThePlainText)
{
    m_table.m_list.AddRecord({"Ann", "ann@example.org", "1", ""});
    m_table.m_list.AddRecord({"Bob", "bob@example.org", "2", ""});
    std::vector<std::pair<size_t, std::string>> html;
    m_input.testHtmlOutput = [&](size_t nIndex, const std::string &strHtml) {
        html.emplace_back(nIndex, strHtml);
        return true;
    };
    m_input.bTestMode = true;
    m_table.m_list.SelectAll();
    ASSERT_EQ(m_run.Run(m_input, m_progress), CMergeRun::EOutcome::Completed);
    ASSERT_EQ(html.size(), 2u);
    EXPECT_EQ(html[0].first, 0u);
    EXPECT_EQ(html[1].first, 1u);
    EXPECT_NE(html[0].second.find(">Bob</span>"), std::string::npos);
    EXPECT_NE(html[1].second.find(">Ann</span>"), std::string::npos);
    EXPECT_NE(m_run.TestResults().find("Dear Bob,"), std::string::npos);
    EXPECT_TRUE(m_run.TakeFormattedTests().empty()); // handed over instead

    // Without the hook the run keeps them for a window to show.
    m_input.testHtmlOutput = nullptr;
    ASSERT_EQ(m_run.Run(m_input, m_progress), CMergeRun::EOutcome::Completed);
    const std::vector<CMergeRun::STestMessage> kept = m_run.TakeFormattedTests();
    ASSERT_EQ(kept.size(), 2u);
    EXPECT_EQ(kept[0].strHeader, "To: bob@example.org\r\n");
    EXPECT_NE(kept[0].strHtml.find(">Bob</span>"), std::string::npos);
    ASSERT_EQ(m_run.TestImages().size(), 1u);
    EXPECT_EQ(m_run.TestImages()[0].strPath, m_strFolder + "logo.png");
}

} // namespace
