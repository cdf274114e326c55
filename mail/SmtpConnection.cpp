#include "mail/SmtpConnection.h"

#include <algorithm>
#include <ctime>
#include <optional>
#include <utility>

#include "mail/DeliveryEvent.h"
#include "mail/DkimSigner.h"
#include "mail/MessageText.h"
#include "mail/MimeBody.h"

CSmtpConnection::CSmtpConnection(std::string strServer, std::string strFrom, std::string strTo,
    std::string strReplyTo, std::string strSubject, std::string strBody)
    : m_strServer(std::move(strServer))
    , m_strFrom(std::move(strFrom))
    , m_strTo(std::move(strTo))
    , m_strReplyTo(std::move(strReplyTo))
    , m_strSubject(std::move(strSubject))
    , m_strBody(std::move(strBody))
{ }

CSmtpConnection::~CSmtpConnection() = default;

namespace {

std::string TrimmedReply(std::string strReply)
{
    while (!strReply.empty() && (strReply.back() == '\n' || strReply.back() == '\r'))
        strReply.pop_back();
    return strReply;
}

} // namespace

bool CSmtpConnection::HasUnsafeHeaderText() const
{
    return HasLineBreakOrNul(m_strFrom) || HasLineBreakOrNul(m_strTo)
        || HasLineBreakOrNul(m_strReplyTo) || HasLineBreakOrNul(m_strSubject);
}

bool CSmtpConnection::Deliver()
{
    // A database field must never be able to add header lines or SMTP commands.
    if (HasUnsafeHeaderText())
        return false;
    m_hSocket.m_replyTimeout = m_replyTimeout;
    m_hSocket.m_connectTimeout = m_connectTimeout;
    m_hSocket.m_dataReplyTimeout = m_dataReplyTimeout;
    m_hSocket.m_pAbandon = m_pAbandon;
    // Made before connecting: what cannot go to this server is known without asking it.
    std::string strError;
    SComposeOptions options = m_options;
    options.bEightBit = false;
    const std::string strData = ComposeData(m_strFrom, m_strTo, m_strReplyTo, m_strSubject,
        m_strBody, std::time(nullptr), MakeMessageId(m_strFrom), options, &strError);
    if (strData.empty()) {
        m_strLastReply = strError;
        return false;
    }
    const bool bCopyBeyondAscii = std::any_of(m_options.copies.begin(), m_options.copies.end(),
        [](const std::string &strCopy) { return HasNonAscii(strCopy); });
    if (HasNonAscii(strData) || HasNonAscii(ExtractAddress(m_strFrom)) || bCopyBeyondAscii) {
        m_strLastReply = kNeedsSmtpUtf8;
        return false;
    }
    bool bDataSent = false;
    m_refusedCopies.clear();
    const bool bDelivered = Connect()
        && SendText("MAIL FROM:<" + ExtractAddress(m_strFrom) + ">\r\n") && WaitForReply(250)
        && SendText("RCPT TO:<" + ExtractAddress(m_strTo) + ">\r\n") && WaitForReply(250)
        && AddCopies() && BeforeData() && SendText("DATA\r\n") && WaitForReply(354)
        && (bDataSent = SendText(strData)) && WaitForReply(250, true);
    m_bInDoubt = !bDelivered && bDataSent && m_strLastReply.empty();
    // The answer to QUIT is not waited for: the message is already accepted.
    if (bDelivered)
        SendText("QUIT\r\n");
    m_hSocket.Close();
    return bDelivered;
}

bool CSmtpConnection::Connect()
{
    std::string strHost;
    std::string strPort;
    // Without a connection there is no reply to report: the failed list says what went wrong.
    if (!SplitServerName(m_strServer, strHost, strPort) || !m_hSocket.Connect(strHost, strPort)) {
        m_strLastReply = "could not connect to the server " + m_strServer;
        return false;
    }
    return WaitForReply(220) && SendText(std::string("helo ") + kHeloDomain + "\r\n")
        && WaitForReply(250);
}

bool CSmtpConnection::AddCopies()
{
    // A copy the server refuses is reported on its own; the message still goes to the others.
    for (const std::string &strCopy : m_options.copies) {
        if (!SendText("RCPT TO:<" + strCopy + ">\r\n"))
            return false;
        const std::optional<CSmtpChannel::Reply> reply = m_hSocket.NextReply();
        if (!reply)
            return false;
        if (reply->nCode != 250 && reply->nCode != 251)
            m_refusedCopies.emplace_back(strCopy, TrimmedReply(reply->strText));
    }
    return true;
}

bool CSmtpConnection::BeforeData()
{
    if (!m_beforeData || m_beforeData())
        return true;
    m_strLastReply = kNotRecorded;
    return false;
}

bool CSmtpConnection::WaitForReply(int nCode, bool bEndOfData)
{
    const std::optional<CSmtpChannel::Reply> reply
        = bEndOfData ? m_hSocket.NextDataReply() : m_hSocket.NextReply();
    m_strLastReply = reply ? TrimmedReply(reply->strText) : std::string();
    return reply && reply->nCode == nCode;
}

bool CSmtpConnection::SendText(const std::string &strText)
{
    return m_hSocket.Send(strText);
}

std::string CSmtpConnection::ComposeData(std::time_t now) const
{
    SComposeOptions options = m_options;
    options.bEightBit = false;
    return ComposeData(m_strFrom, m_strTo, m_strReplyTo, m_strSubject, m_strBody, now,
        MakeMessageId(m_strFrom), options);
}

std::string CSmtpConnection::ComposeData(const std::string &strFrom, const std::string &strTo,
    const std::string &strReplyTo, const std::string &strSubject, const std::string &strMessage,
    std::time_t now, const std::string &strMessageId, const SComposeOptions &options,
    std::string *pError)
{
    std::string strBody = WrapBody(strMessage, kWrapWidth);
    std::optional<std::string> mixed;
    if (!options.attachments.empty() || !options.strHtml.empty()) {
        std::string strError;
        mixed = ComposeMimeBody(
            strBody, options.strHtml, options.images, options.attachments, strError);
        if (!mixed) {
            if (pError)
                *pError = strError;
            return {};
        }
        strBody.clear();
    }
    const bool bNonAscii = HasNonAscii(strBody) || HasNonAscii(strFrom) || HasNonAscii(strTo)
        || HasNonAscii(strReplyTo) || HasNonAscii(strSubject);
    // SMTP carries lines of at most 998 bytes; quoted-printable's soft breaks keep a longer
    // one whole for the reader, and keep 8-bit text from a server that takes only 7 bits.
    const bool bQuoted = !mixed
        && (HasLongLine(strBody, kMaxLineBytes) || (!options.bEightBit && HasNonAscii(strBody)));
    if (bQuoted)
        strBody = QuotedPrintable(strBody);

    std::string strData;
    strData.reserve(strBody.size() + 600);
    strData += "Date: " + FormatMessageDate(now) + "\r\n";
    strData += "From: " + EncodeAddressHeader(strFrom) + "\r\n";
    strData += "Subject: " + FoldHeader("Subject", strSubject) + "\r\n";
    strData += "Reply-To: " + EncodeAddressHeader(strReplyTo) + "\r\n";
    strData += "To: " + EncodeAddressHeader(strTo) + "\r\n";
    if (!options.strCc.empty())
        strData += "Cc: " + EncodeAddressList(options.strCc) + "\r\n";
    // Large providers refuse mail without one.
    strData += "Message-ID: " + strMessageId + "\r\n";
    if (!options.strListUnsubscribe.empty()) {
        // Folded between its two links when it would pass a line.
        std::string strValue = options.strListUnsubscribe;
        const size_t nComma = strValue.find(">, <");
        if (strValue.size() + 18 > 77 && nComma != std::string::npos)
            strValue.replace(nComma, 4, ">,\r\n <");
        strData += "List-Unsubscribe: " + strValue + "\r\n";
        if (options.bOneClick)
            strData += "List-Unsubscribe-Post: List-Unsubscribe=One-Click\r\n";
    }
    if (mixed) {
        strData += "MIME-Version: 1.0\r\n" + std::string(kXMailer) + "\r\n";
        strData += *mixed;
    } else if (bNonAscii || bQuoted) {
        strData += "MIME-Version: 1.0\r\n"
                   "Content-Type: text/plain; charset=UTF-8\r\n";
        strData += bQuoted ? "Content-Transfer-Encoding: quoted-printable\r\n"
                           : "Content-Transfer-Encoding: 8bit\r\n";
    }
    if (!mixed) {
        strData += std::string(kXMailer) + "\r\n\r\n";
        strData += strBody;
    }
    if (options.pSigner) {
        std::string strError;
        const std::string strSignature = options.pSigner->Sign(strData + "\r\n", strError);
        if (strSignature.empty()) {
            if (pError)
                *pError = "the message could not be signed: " + strError;
            return {};
        }
        strData.insert(0, strSignature);
    }
    return DotStuff(strData) + "\r\n.\r\n";
}

SMessageData CSmtpConnection::ComposeForServers(const std::string &strFrom,
    const std::string &strTo, const std::string &strReplyTo, const std::string &strSubject,
    const std::string &strBody, std::time_t now, const std::string &strMessageId,
    SComposeOptions options, std::string &strError)
{
    options.bEightBit = true;
    SMessageData data {ComposeData(
        strFrom, strTo, strReplyTo, strSubject, strBody, now, strMessageId, options, &strError)};
    // A message with attachments or a formatted twin is 7-bit already: its texts go
    // quoted-printable.
    if (!data.strData.empty() && options.attachments.empty() && options.strHtml.empty()
        && HasNonAscii(strBody)) {
        options.bEightBit = false;
        data.strData7Bit = ComposeData(
            strFrom, strTo, strReplyTo, strSubject, strBody, now, strMessageId, options, &strError);
        if (data.strData7Bit.empty())
            data.strData.clear();
    }
    return data;
}
