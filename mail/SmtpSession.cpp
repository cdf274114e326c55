#include "mail/SmtpSession.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <utility>

#include "engine/PrintableText.h"
#include "mail/DeliveryEvent.h"
#include "mail/MessageText.h"
#include "mail/OAuthSasl.h"
#include "mail/SmtpConnection.h"
#include "mail/TlsContext.h"

namespace {

std::string Upper(std::string strText)
{
    for (char &c : strText)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return strText;
}

// The reply as one line for a message: its lines joined, control characters escaped.
std::string ReplyText(const std::optional<CSmtpChannel::Reply> &reply)
{
    if (!reply)
        return "no answer";
    std::string strText = reply->strText;
    while (!strText.empty() && (strText.back() == '\n' || strText.back() == '\r'))
        strText.pop_back();
    for (size_t nBreak; (nBreak = strText.find("\r\n")) != std::string::npos;)
        strText.replace(nBreak, 2, " ");
    if (strText.size() > 300)
        strText = strText.substr(0, 300) + "...";
    return PrintableText(strText);
}

bool IsTemporary(const std::optional<CSmtpChannel::Reply> &reply)
{
    return !reply || (reply->nCode >= 400 && reply->nCode < 500);
}

} // namespace

CSmtpSession::CSmtpSession(SSmtpAccount account, std::shared_ptr<const CTlsContext> pTls)
    : m_account(std::move(account)), m_pTls(std::move(pTls))
{ }

CSmtpSession::~CSmtpSession() = default;

std::string CSmtpSession::ServerText() const
{
    return "The SMTP server \"" + PrintableText(Endpoint(m_account)) + "\"";
}

CSmtpSession::EOpen CSmtpSession::Fail(
    EOpen eOpen, std::string &strMessage, const std::string &strText)
{
    m_channel.Close();
    strMessage = strText;
    return eOpen;
}

CSmtpSession::EOpen CSmtpSession::Open(std::string &strMessage)
{
    m_channel.Close();
    m_channel.m_replyTimeout = m_replyTimeout;
    m_channel.m_connectTimeout = m_connectTimeout;
    m_channel.m_dataReplyTimeout = m_dataReplyTimeout;
    m_channel.m_pAbandon = m_pAbandon;
    m_bTransactionDone = false;
    if (!ResolveEndpoint(m_account, m_strHost, m_strPort))
        return Fail(EOpen::Refused, strMessage, CheckSmtpAccount(m_account));
    const bool bSecure = m_account.eSecurity != ESmtpSecurity::None;
    if (bSecure && (!m_pTls || !m_pTls->Error().empty()))
        return Fail(EOpen::Refused, strMessage,
            m_pTls ? m_pTls->Error() : std::string("TLS could not be set up."));
    if (!m_channel.Connect(m_strHost, m_strPort))
        return Fail(EOpen::Temporary, strMessage, ServerText() + " could not be reached.");
    if (m_account.eSecurity == ESmtpSecurity::Tls) {
        if (std::string strProblem = m_channel.StartTls(*m_pTls, m_strHost); !strProblem.empty())
            return Fail(EOpen::Refused, strMessage,
                "The secure connection to the SMTP server \"" + PrintableText(Endpoint(m_account))
                    + "\" failed: " + strProblem + ".");
    }
    std::optional<CSmtpChannel::Reply> reply = m_channel.NextReply();
    if (!reply || reply->nCode != 220)
        return Fail(IsTemporary(reply) ? EOpen::Temporary : EOpen::Refused, strMessage,
            ServerText() + " did not accept the connection: " + ReplyText(reply));
    if (!Hello(reply)) {
        if (bSecure)
            return Fail(IsTemporary(reply) ? EOpen::Temporary : EOpen::Refused, strMessage,
                ServerText()
                    + " refused EHLO, so the connection cannot be secured: " + ReplyText(reply));
        // An old server: the plain greeting of the per-message dialogue still works.
        if (!m_channel.Send(std::string("helo ") + CSmtpConnection::kHeloDomain + "\r\n")
            || !m_channel.Expect(250))
            return Fail(EOpen::Temporary, strMessage, ServerText() + " refused HELO.");
    }
    if (m_account.eSecurity == ESmtpSecurity::StartTls) {
        if (m_capabilities.count("STARTTLS") == 0)
            return Fail(EOpen::Refused, strMessage,
                ServerText()
                    + " does not offer STARTTLS, so the connection cannot be encrypted and "
                      "nothing was sent. Choose TLS if the server expects encryption from the "
                      "start (usually port 465), or ask its administrator.");
        if (!m_channel.Send("STARTTLS\r\n"))
            return Fail(EOpen::Temporary, strMessage, ServerText() + " closed the connection.");
        reply = m_channel.NextReply();
        if (!reply || reply->nCode != 220)
            return Fail(IsTemporary(reply) ? EOpen::Temporary : EOpen::Refused, strMessage,
                ServerText() + " refused STARTTLS: " + ReplyText(reply));
        if (std::string strProblem = m_channel.StartTls(*m_pTls, m_strHost); !strProblem.empty())
            return Fail(EOpen::Refused, strMessage,
                "The secure connection to the SMTP server \"" + PrintableText(Endpoint(m_account))
                    + "\" failed: " + strProblem + ".");
        // What the server said before the upgrade counts for nothing now.
        if (!Hello(reply))
            return Fail(IsTemporary(reply) ? EOpen::Temporary : EOpen::Refused, strMessage,
                ServerText() + " refused EHLO after STARTTLS: " + ReplyText(reply));
    }
    if (m_account.LogsIn())
        return LogIn(strMessage);
    return EOpen::Ready;
}

bool CSmtpSession::Hello(std::optional<CSmtpChannel::Reply> &reply)
{
    m_capabilities.clear();
    m_authMechanisms.clear();
    m_nSizeLimit = 0;
    if (!m_channel.Send(std::string("EHLO ") + CSmtpConnection::kHeloDomain + "\r\n"))
        return false;
    reply = m_channel.NextReply();
    if (!reply || reply->nCode != 250)
        return false;
    // Every line after the first names one extension: "250-STARTTLS", "250 AUTH PLAIN LOGIN".
    const std::string &strText = reply->strText;
    size_t nStart = strText.find('\n');
    while (nStart != std::string::npos && nStart + 1 < strText.size()) {
        const size_t nEnd = strText.find('\n', nStart + 1);
        std::string strLine = strText.substr(
            nStart + 1, (nEnd == std::string::npos ? strText.size() : nEnd) - nStart - 1);
        if (!strLine.empty() && strLine.back() == '\r')
            strLine.pop_back();
        if (strLine.size() > 4) {
            const std::string strWords = Upper(strLine.substr(4));
            const size_t nBlank = strWords.find_first_of(" =");
            const std::string strKeyword = strWords.substr(0, nBlank);
            m_capabilities.insert(strKeyword);
            if (strKeyword == "SIZE" && nBlank != std::string::npos)
                m_nSizeLimit = std::strtoull(strWords.c_str() + nBlank + 1, nullptr, 10);
            if (strKeyword == "AUTH" && nBlank != std::string::npos) {
                size_t nWord = nBlank + 1;
                while (nWord < strWords.size()) {
                    const size_t nWordEnd = strWords.find(' ', nWord);
                    const std::string strMechanism = strWords.substr(nWord, nWordEnd - nWord);
                    if (!strMechanism.empty())
                        m_authMechanisms.insert(strMechanism);
                    nWord = nWordEnd == std::string::npos ? strWords.size() : nWordEnd + 1;
                }
            }
        }
        nStart = nEnd;
    }
    return true;
}

CSmtpSession::EOpen CSmtpSession::LogIn(std::string &strMessage)
{
    const std::string strUser = PrintableText(m_account.strUser);
    if (m_account.eSecurity == ESmtpSecurity::None)
        return Fail(EOpen::Refused, strMessage, CheckSmtpAccount(m_account));
    if (m_account.accessToken)
        return LogInWithToken(strMessage);
    std::optional<CSmtpChannel::Reply> reply;
    if (m_authMechanisms.count("PLAIN")) {
        const std::string strToken = std::string(1, '\0') + m_account.strUser + std::string(1, '\0')
            + m_account.strPassword;
        if (m_channel.Send("AUTH PLAIN " + Base64(strToken) + "\r\n"))
            reply = m_channel.NextReply();
    } else if (m_authMechanisms.count("LOGIN")) {
        // Each step must be invited with 334 before the next is sent.
        if (m_channel.Send("AUTH LOGIN\r\n"))
            reply = m_channel.NextReply();
        if (reply && reply->nCode == 334 && m_channel.Send(Base64(m_account.strUser) + "\r\n"))
            reply = m_channel.NextReply();
        else if (reply && reply->nCode == 334)
            reply.reset();
        if (reply && reply->nCode == 334 && m_channel.Send(Base64(m_account.strPassword) + "\r\n"))
            reply = m_channel.NextReply();
        else if (reply && reply->nCode == 334)
            reply.reset();
    } else {
        std::string strOffered;
        for (const std::string &strMechanism : m_authMechanisms)
            strOffered += (strOffered.empty() ? "" : ", ") + strMechanism;
        return Fail(EOpen::Refused, strMessage,
            ServerText()
                + (m_capabilities.count("AUTH")
                        ? " offers no login method Mergix knows (PLAIN or LOGIN); it offers "
                            + PrintableText(strOffered) + "."
                        : " does not offer a login, but a user name is set. Remove the user name "
                          "in Mail Options if the server needs none."));
    }
    return LogInOutcome(reply, strMessage,
        ServerText() + " refused the login of user \"" + strUser
            + "\": the user name or the password is wrong. (" + ReplyText(reply) + ")");
}

CSmtpSession::EOpen CSmtpSession::LogInOutcome(const std::optional<CSmtpChannel::Reply> &reply,
    std::string &strMessage, const std::string &strRefused)
{
    if (reply && reply->nCode == 235)
        return EOpen::Ready;
    if (IsTemporary(reply))
        return Fail(EOpen::Temporary, strMessage,
            ServerText() + " could not log in user \"" + PrintableText(m_account.strUser)
                + "\" for now: " + ReplyText(reply));
    return Fail(EOpen::Refused, strMessage, strRefused);
}

CSmtpSession::EOpen CSmtpSession::LogInWithToken(std::string &strMessage)
{
    const std::string strUser = PrintableText(m_account.strUser);
    const bool bBearer = m_authMechanisms.count("OAUTHBEARER") > 0;
    if (!bBearer && !m_authMechanisms.count("XOAUTH2"))
        return Fail(EOpen::Refused, strMessage,
            ServerText()
                + " does not offer a login with an OAuth 2.0 token (XOAUTH2 or OAUTHBEARER). "
                  "Choose the login method Password in Mail Options if it takes one.");
    // Asked for each connection: a token that expired during the run is refreshed here.
    std::string strError;
    const std::string strToken = m_account.accessToken(strError);
    if (strToken.empty())
        return Fail(EOpen::Refused, strMessage, strError);
    const std::string strCommand = bBearer
        ? "AUTH OAUTHBEARER "
            + OAuthBearerResponse(m_account.strUser, m_strHost, m_strPort, strToken)
        : "AUTH XOAUTH2 " + XOAuth2Response(m_account.strUser, strToken);
    std::optional<CSmtpChannel::Reply> reply;
    if (m_channel.Send(strCommand + "\r\n"))
        reply = m_channel.NextReply();
    std::string strMeaning;
    if (reply && reply->nCode == 334) {
        // The error challenge: its JSON says why; the exchange ends with an empty response
        // (XOAUTH2) or a single ^A (OAUTHBEARER), and the server's failure reply.
        std::string strChallenge = reply->strText.size() > 4 ? reply->strText.substr(4) : "";
        while (
            !strChallenge.empty() && (strChallenge.back() == '\n' || strChallenge.back() == '\r'))
            strChallenge.pop_back();
        strMeaning = OAuthChallengeMeaning(strChallenge);
        reply.reset();
        if (m_channel.Send(bBearer ? "AQ==\r\n" : "\r\n"))
            reply = m_channel.NextReply();
    }
    return LogInOutcome(reply, strMessage,
        ServerText() + " refused the sign-in of user \"" + strUser + "\""
            + (strMeaning.empty() ? std::string() : ": " + strMeaning)
            + ". Sign in again in Mail Options (or with mergix --sign-in). (" + ReplyText(reply)
            + ")");
}

CSmtpSession::SOutcome CSmtpSession::Failure(const std::optional<CSmtpChannel::Reply> &reply)
{
    if (!reply) {
        m_channel.Close();
        return {EResult::ConnectionLost, "the connection to the server was lost"};
    }
    if (reply->nCode == 421)
        m_channel.Close(); // the server is closing this connection
    return {IsTemporary(reply) ? EResult::TemporaryFailure : EResult::PermanentFailure,
        ReplyText(reply)};
}

CSmtpSession::SOutcome CSmtpSession::Send(const std::string &strFrom, const std::string &strTo,
    const SMessageData &data, const std::function<bool()> &beforeData,
    const std::vector<std::string> &copies)
{
    if (!m_channel.IsOpen())
        return {EResult::ConnectionLost, "not connected"};
    const bool bEightBit = m_capabilities.count("8BITMIME") > 0;
    const std::string &strData
        = bEightBit || data.strData7Bit.empty() ? data.strData : data.strData7Bit;
    std::string strParameters;
    const bool bEightBitData = HasNonAscii(strData); // one pass over the whole message
    if (bEightBitData && bEightBit)
        strParameters += " BODY=8BITMIME";
    // Text beyond ASCII that quoted-printable cannot carry is in an address.
    const bool bCopyBeyondAscii = std::any_of(copies.begin(), copies.end(),
        [](const std::string &strCopy) { return HasNonAscii(strCopy); });
    if (HasNonAscii(strFrom) || HasNonAscii(strTo) || bCopyBeyondAscii
        || (bEightBitData && !bEightBit)) {
        if (m_capabilities.count("SMTPUTF8") == 0)
            return {EResult::PermanentFailure, kNeedsSmtpUtf8};
        strParameters += " SMTPUTF8";
    }
    if (m_capabilities.count("SIZE")) {
        if (m_nSizeLimit > 0 && strData.size() > m_nSizeLimit)
            return {EResult::PermanentFailure,
                "not sent: the message is " + std::to_string(strData.size())
                    + " bytes, more than the " + std::to_string(m_nSizeLimit)
                    + " bytes the server takes"};
        strParameters += " SIZE=" + std::to_string(strData.size());
    }
    if (m_bTransactionDone) {
        if (!m_channel.Send("RSET\r\n"))
            return Failure(std::nullopt);
        if (std::optional<CSmtpChannel::Reply> reply = m_channel.NextReply();
            !reply || reply->nCode != 250) {
            m_channel.Close(); // a connection that cannot be reset is not trusted further
            return {EResult::ConnectionLost, ReplyText(reply)};
        }
    }
    m_bTransactionDone = true;
    const std::pair<std::string, int> steps[] = {
        {"MAIL FROM:<" + strFrom + ">" + strParameters + "\r\n", 250},
        {"RCPT TO:<" + strTo + ">\r\n", 250},
        {"DATA\r\n", 354},
    };
    std::vector<std::pair<std::string, std::string>> refusedCopies;
    for (const auto &[strCommand, nCode] : steps) {
        // The transaction stays open and is reset before the next message.
        if (nCode == 354 && beforeData && !beforeData())
            return {EResult::PermanentFailure, kNotRecorded};
        if (!m_channel.Send(strCommand))
            return Failure(std::nullopt);
        std::optional<CSmtpChannel::Reply> reply = m_channel.NextReply();
        if (!reply || (reply->nCode != nCode && !(nCode == 250 && reply->nCode == 251)))
            return Failure(reply);
        if (strCommand.starts_with("RCPT")) {
            // A copy the server refuses is reported on its own; the others still get it.
            for (const std::string &strCopy : copies) {
                if (!m_channel.Send("RCPT TO:<" + strCopy + ">\r\n"))
                    return Failure(std::nullopt);
                std::optional<CSmtpChannel::Reply> copyReply = m_channel.NextReply();
                if (!copyReply)
                    return Failure(copyReply);
                if (copyReply->nCode != 250 && copyReply->nCode != 251)
                    refusedCopies.emplace_back(strCopy, ReplyText(copyReply));
            }
        }
    }
    // A message cut short never ends with its end-of-data line, so the server cannot have
    // taken it: it can be sent again.
    if (!m_channel.Send(strData))
        return Failure(std::nullopt);
    const std::optional<CSmtpChannel::Reply> reply = m_channel.NextDataReply();
    if (!reply) {
        m_channel.Close();
        return {EResult::InDoubt,
            "the server did not confirm the message; it may or may not have been delivered"};
    }
    if (reply->nCode == 250)
        return {EResult::Accepted, ReplyText(reply), std::move(refusedCopies)};
    return Failure(reply);
}

void CSmtpSession::Quit()
{
    if (m_channel.IsOpen())
        m_channel.Send("QUIT\r\n");
    m_channel.Close();
}
