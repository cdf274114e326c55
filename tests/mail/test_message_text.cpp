#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <random>
#include <string>

#include <QByteArray>
#include <QString>

#include "mail/MessageText.h"
#include "mail/SmtpReply.h"

namespace {

std::vector<std::string> Lines(const std::string &strText)
{
    std::vector<std::string> lines;
    size_t nStart = 0;
    for (size_t n = strText.find("\r\n"); n != std::string::npos;
         n = strText.find("\r\n", nStart)) {
        lines.push_back(strText.substr(nStart, n - nStart));
        nStart = n + 2;
    }
    lines.push_back(strText.substr(nStart));
    return lines;
}

std::string DecodeWords(const std::string &strHeader)
{
    std::string strDecoded;
    size_t nPos = 0;
    while ((nPos = strHeader.find("=?UTF-8?B?", nPos)) != std::string::npos) {
        const size_t nEnd = strHeader.find("?=", nPos + 10);
        const std::string strWord = strHeader.substr(nPos + 10, nEnd - nPos - 10);
        strDecoded += QByteArray::fromBase64(QByteArray::fromStdString(strWord)).toStdString();
        nPos = nEnd + 2;
    }
    return strDecoded;
}

TEST(MessageTextTest, ExtractAddressTakesTheFirstBracketPair)
{
    EXPECT_EQ(ExtractAddress("Jane Roe <jane@example.com>"), "jane@example.com");
    EXPECT_EQ(ExtractAddress("jane@example.com"), "jane@example.com");
    EXPECT_EQ(ExtractAddress("Jane <jane@example.com"), "Jane <jane@example.com");
    EXPECT_EQ(ExtractAddress("a> <b"), "a> <b");
    EXPECT_EQ(ExtractAddress("<a> <b>"), "a");
    EXPECT_EQ(ExtractAddress(" < spaced > "), " spaced ");
    EXPECT_EQ(ExtractAddress("<>"), "");
}

TEST(MessageTextTest, WrapBodyBreaksAtTheWidth)
{
    const std::string s76(76, 'x');
    EXPECT_EQ(WrapBody(s76, 76), s76);
    // A word longer than the width stays whole, up to the blank after it.
    EXPECT_EQ(WrapBody(s76 + "y", 76), s76 + "y");
    EXPECT_EQ(WrapBody(s76 + "yy z", 76), s76 + "yy\r\nz");
    // Later lines hold one character less than the first.
    EXPECT_EQ(WrapBody(std::string(76, 'z') + " " + std::string(75, 'z') + " z", 76),
        std::string(76, 'z') + "\r\n" + std::string(75, 'z') + "\r\nz");
    // Widths count characters, never bytes, and a line without blanks is never cut.
    const std::string strUmlauts
        = std::string(38, 'a') + "\xc3\xa4\xc3\xb6 " + std::string(30, 'b');
    EXPECT_EQ(WrapBody(strUmlauts + " c", 76), strUmlauts + " c");
    std::string strJapanese;
    for (int i = 0; i < 60; ++i)
        strJapanese += "\xe6\x97\xa5\xe6\x9c\xac"; // two characters of six bytes
    EXPECT_EQ(WrapBody(strJapanese, 76), strJapanese);

    // A line of words breaks at the last blank before the limit; the blank goes.
    std::string strWords;
    for (int i = 0; i < 40; ++i)
        strWords += "word" + std::to_string(i) + " ";
    const std::vector<std::string> lines = Lines(WrapBody(strWords, 76));
    std::string strJoined;
    for (const std::string &strLine : lines) {
        EXPECT_LE(strLine.size(), 76u) << strLine;
        EXPECT_NE(strLine.front(), ' ');
        strJoined += strLine + " ";
    }
    EXPECT_GT(lines.size(), 3u);
    EXPECT_EQ(strJoined.substr(0, strWords.size()), strWords);
    EXPECT_EQ(
        lines[0], "word0 word1 word2 word3 word4 word5 word6 word7 word8 word9 word10 word11");

    // A blank exactly at the limit becomes the break.
    EXPECT_EQ(WrapBody(std::string(76, 'a') + " b", 76), std::string(76, 'a') + "\r\nb");
}

// The wrapping rule written out step by step on a text with LF breaks, changing the text in
// place as it scans: slow, but plainly the rule.
std::string WrapInPlace(std::string strText, size_t nWidth)
{
    if (strText.size() <= nWidth)
        return strText;
    for (size_t i = 0; i < strText.size(); ++i) {
        const size_t nLf = strText.rfind('\n', i);
        const size_t s = nLf == std::string::npos ? 0 : nLf;
        if (i - s != nWidth)
            continue;
        if (strText[i] == ' ') {
            strText[i] = '\n';
            continue;
        }
        for (size_t k = i - 1; k >= i - nWidth + 1 && k > 0; --k) {
            if (strText[k] == ' ') {
                strText[k] = '\n';
                break;
            }
        }
        // No blank: the word goes on; its line breaks at the first blank after it.
        if (strText.rfind('\n', i) == nLf) {
            const size_t nBlank = strText.find_first_of(" \n", i);
            if (nBlank != std::string::npos && strText[nBlank] == ' ')
                strText[nBlank] = '\n';
            i = nBlank == std::string::npos ? strText.size() : nBlank;
        }
    }
    return strText;
}

TEST(MessageTextTest, WrapBodyFollowsTheRuleOnRandomTexts)
{
    std::mt19937 random(76);
    const char kAlphabet[] = {'a', 'b', ' ', ' ', '\n', 'c', '.', 'x'};
    for (int nCase = 0; nCase < 3000; ++nCase) {
        std::string strText(random() % 400, ' ');
        const size_t nBlankOdds = 1 + random() % 40;
        for (char &c : strText) {
            c = kAlphabet[random() % 8];
            if (c == ' ' && random() % nBlankOdds != 0)
                c = 'w';
            if (c == '\n' && random() % 30 != 0)
                c = 'v';
        }
        const size_t nWidth = 2 + random() % 80;
        std::string strExpected;
        for (const char c : WrapInPlace(strText, nWidth))
            strExpected += c == '\n' ? std::string("\r\n") : std::string(1, c);
        ASSERT_EQ(WrapBody(strText, static_cast<int>(nWidth)), strExpected)
            << nWidth << " [" << strText << "]";
    }
}

TEST(MessageTextTest, WrapBodySendsEveryBreakAsCrLf)
{
    EXPECT_EQ(WrapBody("a\nb\rc\r\nd\n\re", 76), "a\r\nb\r\nc\r\nd\r\n\r\ne");
    EXPECT_EQ(WrapBody("short\n", 76), "short\r\n");
    // The CR of a CR LF is not a character of the line: 75 characters and CR LF still fit.
    const std::string strTwoLines = std::string(76, 'a') + "\r\n" + std::string(75, 'b') + "\r\n";
    EXPECT_EQ(WrapBody(strTwoLines, 76), strTwoLines);
    EXPECT_EQ(WrapBody("", 76), "");
}

TEST(MessageTextTest, DotStuffingDoublesLeadingPeriods)
{
    EXPECT_EQ(DotStuff(".\r\n"), "..\r\n");
    EXPECT_EQ(DotStuff("a\r\n.\r\nb.c\r\n..d"), "a\r\n..\r\nb.c\r\n...d");
    EXPECT_EQ(DotStuff("no dots"), "no dots");
}

TEST(MessageTextTest, HeaderTextChecks)
{
    EXPECT_FALSE(HasLineBreakOrNul("Jane <jane@example.com>"));
    EXPECT_TRUE(HasLineBreakOrNul("a\r\nBcc: x"));
    EXPECT_TRUE(HasLineBreakOrNul("a\nb"));
    EXPECT_TRUE(HasLineBreakOrNul("a\rb"));
    EXPECT_TRUE(HasLineBreakOrNul(std::string("a\0b", 3)));
    EXPECT_FALSE(HasNonAscii("plain ~ text"));
    EXPECT_TRUE(HasNonAscii("Gr\xC3\xBC\xC3\x9F"
                            "e"));
}

TEST(MessageTextTest, EncodedWordsHoldWholeCharactersWithinTheLimit)
{
    EXPECT_EQ(EncodeWords("Grüße"), "=?UTF-8?B?R3LDvMOfZQ==?=");
    std::string strLong;
    for (int i = 0; i < 30; ++i)
        strLong += "Ünïcödé ✓ ";
    const std::string strEncoded = EncodeWords(strLong);
    EXPECT_EQ(DecodeWords(strEncoded), strLong);
    for (const std::string &strLine : Lines(strEncoded)) {
        const std::string strWord = strLine.front() == ' ' ? strLine.substr(1) : strLine;
        EXPECT_LE(strWord.size(), 75u);
        // Each word decodes to valid UTF-8 on its own.
        const std::string strBytes = DecodeWords(strWord);
        EXPECT_EQ(
            QString::fromUtf8(strBytes.data(), qsizetype(strBytes.size())).toStdString(), strBytes);
    }
}

TEST(MessageTextTest, OnlyNonAsciiDisplayNamesAreEncoded)
{
    EXPECT_EQ(EncodeAddressHeader("Jane Roe <jane@example.com>"), "Jane Roe <jane@example.com>");
    EXPECT_EQ(EncodeAddressHeader("José Roe <jose@example.com>"),
        "=?UTF-8?B?Sm9zw6kgUm9l?= <jose@example.com>");
    EXPECT_EQ(EncodeAddressHeader("\"Roe, José\"  <jose@example.com>"),
        EncodeWords("Roe, José") + " <jose@example.com>");
    EXPECT_EQ(EncodeAddressHeader("josé@example.com"), "josé@example.com");
    EXPECT_EQ(EncodeAddressHeader("Jane <josé@example.com>"), "Jane <josé@example.com>");
    EXPECT_EQ(EncodeAddressHeader(""), "");
}

TEST(MessageTextTest, DateIsRfc5322InLocalTime)
{
    const char *pOldTz = std::getenv("TZ");
    const std::string strOldTz = pOldTz ? pOldTz : "";
    const std::time_t t = 1796735109; // 2026-12-08 13:05:09 UTC
    setenv("TZ", "Europe/Berlin", 1);
    tzset();
    EXPECT_EQ(FormatMessageDate(t), "Tue, 08 Dec 2026 14:05:09 +0100");
    setenv("TZ", "America/St_Johns", 1);
    tzset();
    EXPECT_EQ(FormatMessageDate(t), "Tue, 08 Dec 2026 09:35:09 -0330");
    setenv("TZ", "UTC", 1);
    tzset();
    EXPECT_EQ(FormatMessageDate(0), "Thu, 01 Jan 1970 00:00:00 +0000");
    if (pOldTz)
        setenv("TZ", strOldTz.c_str(), 1);
    else
        unsetenv("TZ");
    tzset();
}

TEST(MessageTextTest, ServerNamesMayCarryAPort)
{
    std::string strHost;
    std::string strPort;
    const auto split = [&](const std::string &strServer) {
        return SplitServerName(strServer, strHost, strPort) ? strHost + "|" + strPort : "refused";
    };
    EXPECT_EQ(split("mail.example.com"), "mail.example.com|25");
    EXPECT_EQ(split("127.0.0.1:2525"), "127.0.0.1|2525");
    EXPECT_EQ(split("[::1]:587"), "::1|587");
    EXPECT_EQ(split("[::1]"), "::1|25");
    EXPECT_EQ(split("::1"), "::1|25");
    EXPECT_EQ(split("fe80::1:25"), "fe80::1:25|25");
    for (const char *pBad : {"", ":25", "host:", "host:0", "host:65536", "host:2x", "[::1",
             "[::1]x", "[::1]:", "[]:25", ":::", "host:-1", "host:99999", "localhost:25x",
             "mail server", "mail\x1b.example.com", "[mail.example.com]:25"})
        EXPECT_EQ(split(pBad), "refused") << pBad;
    EXPECT_EQ(split("smtp_relay.büro.example:2525"), "smtp_relay.büro.example|2525");
    EXPECT_EQ(split(std::string(253, 'a')), std::string(253, 'a') + "|25");
    EXPECT_EQ(split(std::string(254, 'a')), "refused");

    // The message names the value, with control characters escaped and a long one cut.
    EXPECT_EQ(CheckServerName("mail.example.com:587"), "");
    EXPECT_EQ(CheckServerName("host:99999"),
        "The SMTP server \"host:99999\" is not valid: its port must be a number from 1 to 65535.");
    EXPECT_EQ(CheckServerName("[::1"),
        "The SMTP server \"[::1\" is not valid: the \"[\" of its IPv6 address is not closed by "
        "\"]\".");
    EXPECT_EQ(CheckServerName("a\x1b[2Jb"),
        "The SMTP server \"a\\x1b[2Jb\" is not valid: a host name cannot hold the character "
        "\"\\x1b\".");
    EXPECT_EQ(CheckServerName(std::string(5000, 'a')),
        "The SMTP server \"" + std::string(60, 'a')
            + "...\" is not valid: a host name has at most 253 characters.");
}

TEST(PrintableTextTest, ControlCharactersBecomeEscapes)
{
    EXPECT_EQ(PrintableText("plain Zürich \\server\\share"), "plain Zürich \\server\\share");
    EXPECT_EQ(PrintableText(std::string("a\nb\rc\td\x1b[31me\x7f\0f", 16)),
        "a\\nb\\rc\\td\\x1b[31me\\x7f\\x00f");
    EXPECT_EQ(PrintableText("csi \xC2\x9B end \xC2\xA0"), "csi \\u009b end \xC2\xA0");
    EXPECT_EQ(PrintableText("cut \xC2"), "cut \xC2"); // a lone lead byte stays as it is
}

TEST(SmtpReplyTest, RepliesAreReadWholeAndInOrder)
{
    CSmtpReplyReader reader;
    const std::string strBytes = "220 ready\r\n250-first\r\n250-second\r\n250 last\r\n5";
    for (const char c : strBytes) // one byte a receive
        reader.Append(&c, 1);
    auto reply = reader.TakeReply();
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->nCode, 220);
    reply = reader.TakeReply();
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->nCode, 250);
    EXPECT_EQ(reply->strText, "250-first\r\n250-second\r\n250 last\r\n");
    EXPECT_FALSE(reader.TakeReply());
    reader.Append("50 rejected: 250 ok\n", 20);
    reply = reader.TakeReply();
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->nCode, 550);
}

TEST(SmtpReplyTest, TheLastLineGivesTheCode)
{
    CSmtpReplyReader reader;
    const std::string strBytes = "250-fine\r\n550 but no\r\n";
    reader.Append(strBytes.data(), strBytes.size());
    EXPECT_EQ(reader.TakeReply()->nCode, 550);

    for (const std::string strBad : {"hello\r\n", "25\r\n", "2x0 x\r\n", "\r\n", "-250 x\r\n"}) {
        CSmtpReplyReader badReader;
        badReader.Append(strBad.data(), strBad.size());
        const auto bad = badReader.TakeReply();
        ASSERT_TRUE(bad) << strBad;
        EXPECT_EQ(bad->nCode, 0) << strBad;
    }

    CSmtpReplyReader endless;
    const std::string strLine = "250-" + std::string(1000, 'x') + "\r\n";
    while (!endless.IsOverlong()) {
        endless.Append(strLine.data(), strLine.size());
        ASSERT_FALSE(endless.TakeReply());
    }
}

} // namespace
