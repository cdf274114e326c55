// Delivers messages to a real SMTP server (aiosmtpd) and reads them back as a mail parser sees
// them: headers present and parseable, the body as sent, the envelope as expected.
#include <gtest/gtest.h>

#include <algorithm>

#include <QDateTime>
#include <QJsonArray>
#include <QString>
#include <QStringList>

#include "mail/SmtpConnection.h"
#include "support/QtPrinters.h"
#include "support/SmtpTestServer.h"

namespace {

QString Q(const char *pUtf8)
{
    return QString::fromUtf8(pUtf8);
}

class SmtpRealServerTest : public testing::Test
{
protected:
    static void SetUpTestSuite() { s_pServer = new CSmtpTestServer; }
    static void TearDownTestSuite()
    {
        delete s_pServer;
        s_pServer = nullptr;
    }
    void SetUp() override
    {
        ASSERT_FALSE(s_pServer->Server().empty()) << s_pServer->Error();
        m_nBefore = s_pServer->Messages().size();
    }

    // Delivers and returns what the server stored for this message.
    QJsonObject Deliver(const std::string &strFrom, const std::string &strTo,
        const std::string &strSubject, const std::string &strBody)
    {
        CSmtpConnection connection(
            s_pServer->Server(), strFrom, strTo, "replies@example.com", strSubject, strBody);
        EXPECT_TRUE(connection.Deliver());
        const std::vector<QJsonObject> messages = s_pServer->Messages();
        EXPECT_EQ(messages.size(), m_nBefore + 1);
        if (messages.size() != m_nBefore + 1)
            return {};
        const QJsonObject message = messages.back();
        EXPECT_FALSE(message.contains(QStringLiteral("parse_error")))
            << message.value(QStringLiteral("parse_error")).toString().toStdString();
        EXPECT_TRUE(message.value(QStringLiteral("defects")).toArray().isEmpty())
            << QJsonValue(message.value(QStringLiteral("defects"))).toArray().size();
        EXPECT_FALSE(message.value(QStringLiteral("bare_lf")).toBool());
        EXPECT_FALSE(message.value(QStringLiteral("bare_cr")).toBool());
        // The Date header parses and is now, give or take a minute.
        const QDateTime date
            = QDateTime::fromString(message.value(QStringLiteral("date")).toString(), Qt::ISODate);
        EXPECT_TRUE(date.isValid());
        EXPECT_LT(std::abs(date.secsTo(QDateTime::currentDateTimeUtc())), 60);
        return message;
    }

    static QStringList BodyLines(const QJsonObject &message)
    {
        QStringList lines
            = message.value(QStringLiteral("body")).toString().split(QStringLiteral("\r\n"));
        if (!lines.isEmpty() && lines.back().isEmpty())
            lines.removeLast();
        return lines;
    }

    static CSmtpTestServer *s_pServer;
    size_t m_nBefore = 0;
};

CSmtpTestServer *SmtpRealServerTest::s_pServer = nullptr;

TEST_F(SmtpRealServerTest, PlainAsciiMessage)
{
    const QJsonObject message = Deliver("Jane Roe <jane@example.com>",
        "John Doe <john@example.org>", "Meeting on Friday", "Dear John,\r\n\r\nSee you.\r\nJane");
    EXPECT_EQ(message.value(QStringLiteral("mail_from")).toString(), Q("jane@example.com"));
    EXPECT_EQ(
        message.value(QStringLiteral("rcpt_tos")).toArray(), QJsonArray({Q("john@example.org")}));
    EXPECT_EQ(message.value(QStringLiteral("header_names")).toArray(),
        QJsonArray({Q("Date"), Q("From"), Q("Subject"), Q("Reply-To"), Q("To"), Q("Message-ID"),
            Q("X-Mailer")}));
    EXPECT_EQ(message.value(QStringLiteral("subject")).toString(), Q("Meeting on Friday"));
    EXPECT_EQ(message.value(QStringLiteral("from_display")).toString(), Q("Jane Roe"));
    EXPECT_EQ(message.value(QStringLiteral("from_address")).toString(), Q("jane@example.com"));
    EXPECT_EQ(message.value(QStringLiteral("to")).toString(), Q("John Doe <john@example.org>"));
    EXPECT_EQ(message.value(QStringLiteral("reply_to")).toString(), Q("replies@example.com"));
    EXPECT_EQ(message.value(QStringLiteral("x_mailer")).toString(),
        Q("Mergix v1.1 by Corvane Software. Please report spamming to "
          "abuse@corvane.example."));
    EXPECT_EQ(BodyLines(message), QStringList({Q("Dear John,"), Q(""), Q("See you."), Q("Jane")}));
}

TEST_F(SmtpRealServerTest, Utf8SubjectNameAndBody)
{
    const char *pSubject = "Grüße aus Zürich — ein sehr langer Betreff mit Ümläuten, der "
                           "mehrere kodierte Wörter braucht ✓";
    const QJsonObject message = Deliver(
        "José Núñez <jose@example.com>", "ann@example.org", pSubject, "Schöne Grüße!\r\n€ 12");
    EXPECT_EQ(message.value(QStringLiteral("subject")).toString(), Q(pSubject));
    EXPECT_EQ(message.value(QStringLiteral("from_display")).toString(), Q("José Núñez"));
    EXPECT_EQ(message.value(QStringLiteral("charset")).toString(), Q("utf-8"));
    EXPECT_EQ(BodyLines(message), QStringList({Q("Schöne Grüße!"), Q("€ 12")}));
}

TEST_F(SmtpRealServerTest, BodyLinesSurviveTransparencyAndWrapping)
{
    const std::string strLong77(77, 'x');
    std::string strParagraph;
    for (int i = 0; i < 60; ++i)
        strParagraph += "lorem" + std::to_string(i) + " ipsum ";
    const QJsonObject message = Deliver("jane@example.com", "john@example.org", "Lines",
        "first\r\n.\r\n..two\r\n" + strLong77 + "\r\n" + strParagraph + "\nbare\nlf");
    const QStringList lines = BodyLines(message);
    ASSERT_GE(lines.size(), 8);
    EXPECT_EQ(lines[0], Q("first"));
    EXPECT_EQ(lines[1], Q("."));
    EXPECT_EQ(lines[2], Q("..two"));
    // A word longer than a line stays whole.
    EXPECT_EQ(lines[3], QString(77, u'x'));
    QStringList paragraph;
    for (qsizetype i = 4; i < lines.size() - 2; ++i) {
        EXPECT_LE(lines[i].size(), 76);
        paragraph << lines[i];
    }
    const QString strJoined = paragraph.join(u' ');
    EXPECT_EQ(strJoined.simplified(), QString::fromStdString(strParagraph).simplified());
    EXPECT_EQ(lines.mid(lines.size() - 2), QStringList({Q("bare"), Q("lf")}));
}

TEST_F(SmtpRealServerTest, LinksAndLinesWithoutBlanksArriveAsWritten)
{
    // A 300-byte link, and a Japanese line of 1,200 bytes without a blank: past what an SMTP
    // line may hold, so it travels quoted-printable and arrives whole.
    std::string strLink = "https://example.org/newsletter/2026/12/";
    while (strLink.size() < 300)
        strLink += "section-" + std::to_string(strLink.size()) + "/";
    strLink.resize(300);
    std::string strJapanese;
    for (int i = 0; i < 100; ++i)
        strJapanese += "日本語の文章"; // no blank anywhere
    const QJsonObject message = Deliver("jane@example.com", "john@example.org", "Long",
        "Read it here: " + strLink + "\r\n" + strJapanese + "\r\nend");
    EXPECT_EQ(BodyLines(message),
        QStringList({Q("Read it here:"), Q(strLink.c_str()), Q(strJapanese.c_str()), Q("end")}));
    EXPECT_EQ(message.value(QStringLiteral("charset")).toString(), Q("utf-8"));
    // Every byte on the wire was below 128.
    const QByteArray raw
        = QByteArray::fromBase64(message.value(QStringLiteral("raw")).toString().toLatin1());
    EXPECT_TRUE(std::all_of(raw.begin(), raw.end(), [](char c) { return c > 0 && c < 127; }));
}

TEST_F(SmtpRealServerTest, RefusedRecipientFails)
{
    CSmtpConnection connection(
        s_pServer->Server(), "jane@example.com", "reject-me@example.org", "", "Hi", "Body");
    EXPECT_FALSE(connection.Deliver());
    EXPECT_EQ(s_pServer->Messages().size(), m_nBefore);
}

} // namespace
