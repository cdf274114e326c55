#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "mail/MessageData.h"
#include "mail/SmtpAccount.h"
#include "mail/SmtpChannel.h"

class CTlsContext;

// A connection to an SMTP server that carries many messages: EHLO, the TLS upgrade the account
// asks for, the login, then one transaction per message with RSET between them. Used by one
// thread at a time.
class CSmtpSession final
{
public:
    enum class EOpen {
        Ready,
        Temporary, // the server could not be reached or asked to come back later
        Refused, // trying again will not help: certificate, login, no STARTTLS...
    };
    enum class EResult {
        Accepted,
        TemporaryFailure, // a 4xx reply: worth another try later
        PermanentFailure, // a 5xx reply: the recipient is reported
        ConnectionLost, // before the message was handed over: it can be sent again
        InDoubt, // the message was handed over but its acceptance never came
    };
    struct SOutcome
    {
        EResult eResult;
        std::string strReply; // the server's reply, or what went wrong
        // Cc and Bcc addresses the server refused, with its replies; the message went to the
        // others.
        std::vector<std::pair<std::string, std::string>> refusedCopies = {};
    };

    CSmtpSession(SSmtpAccount account, std::shared_ptr<const CTlsContext> pTls);
    ~CSmtpSession();
    CSmtpSession(const CSmtpSession &) = delete;
    CSmtpSession &operator=(const CSmtpSession &) = delete;

    // Connects, upgrades and logs in. On failure the connection is closed and the message says
    // what happened, in words for the user.
    EOpen Open(std::string &strMessage);
    bool IsOpen() const { return m_channel.IsOpen(); }
    // One message: the envelope addresses are bare; the data is what CSmtpConnection::ComposeData
    // makes, end-of-data line included.
    // beforeData, when given, is asked just before DATA; false ends the transaction with RSET
    // and the message counts as failed (nothing of it went out).
    // The data's 8-bit form goes to a server that offers 8BITMIME, declared so; otherwise its
    // 7-bit form. An address beyond ASCII needs SMTPUTF8, and a message over the server's SIZE
    // limit is refused here: both fail before anything of the message is sent.
    // copies are the bare Cc and Bcc addresses, given to the server after the To address.
    SOutcome Send(const std::string &strFrom, const std::string &strTo, const SMessageData &data,
        const std::function<bool()> &beforeData = {}, const std::vector<std::string> &copies = {});
    // The largest message the server said it takes (SIZE), once open; 0 when it set none.
    unsigned long long SizeLimit() const { return m_nSizeLimit; }
    // Says goodbye and closes; the answer is not waited for.
    void Quit();

    std::chrono::milliseconds m_replyTimeout {5000};
    std::chrono::milliseconds m_connectTimeout {20000};
    // How long the reply to the end of the data may take, and what ends that wait early.
    std::chrono::milliseconds m_dataReplyTimeout {std::chrono::minutes(10)};
    const std::atomic<bool> *m_pAbandon = nullptr;

private:
    EOpen Fail(EOpen eOpen, std::string &strMessage, const std::string &strText);
    // EHLO and its capabilities; false when the server refuses it.
    bool Hello(std::optional<CSmtpChannel::Reply> &reply);
    EOpen LogIn(std::string &strMessage);
    // The login with an OAuth 2.0 access token, OAUTHBEARER where offered, else XOAUTH2.
    EOpen LogInWithToken(std::string &strMessage);
    // Ready on 235; otherwise a failure, for now on a 4xx reply, else with the refusal given.
    EOpen LogInOutcome(const std::optional<CSmtpChannel::Reply> &reply, std::string &strMessage,
        const std::string &strRefused);
    SOutcome Failure(const std::optional<CSmtpChannel::Reply> &reply);
    std::string ServerText() const;

    SSmtpAccount m_account;
    std::shared_ptr<const CTlsContext> m_pTls;
    std::string m_strHost;
    std::string m_strPort;
    CSmtpChannel m_channel;
    std::set<std::string> m_capabilities; // upper-case keywords of the EHLO reply
    std::set<std::string> m_authMechanisms;
    unsigned long long m_nSizeLimit = 0; // from "SIZE n"; 0 when none is given
    bool m_bTransactionDone = false; // RSET before the next one
};
