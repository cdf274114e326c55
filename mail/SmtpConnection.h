#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "mail/MessageData.h"
#include "mail/SmtpChannel.h"

// Delivers one message to one recipient through an SMTP server, on a connection of its own.
// Made for one message and used once; the only outcome is success or failure.
class CSmtpConnection
{
public:
    // The server is "host", "host:port" or "[IPv6 address]:port"; without a port it is 25.
    CSmtpConnection(std::string strServer, std::string strFrom, std::string strTo,
        std::string strReplyTo, std::string strSubject, std::string strBody);
    virtual ~CSmtpConnection();
    CSmtpConnection(const CSmtpConnection &) = delete;
    CSmtpConnection &operator=(const CSmtpConnection &) = delete;

    // Runs the whole dialogue; true when the server accepted the message. False at once, without
    // connecting, when a header text holds a line break or a zero byte.
    bool Deliver();
    // After a failed Deliver: the last reply the server gave (empty when none came), and
    // whether the whole message had gone out when the answer failed to come, so that it may
    // have been delivered.
    const std::string &LastReply() const { return m_strLastReply; }
    bool IsInDoubt() const { return m_bInDoubt; }
    // The Cc and Bcc addresses the server refused in the last Deliver, with its replies.
    const std::vector<std::pair<std::string, std::string>> &RefusedCopies() const
    {
        return m_refusedCopies;
    }

    // The data section as written after DATA: header lines, the wrapped and dot-stuffed body,
    // and the end-of-data line. The Date header carries the given time.
    std::string ComposeData(std::time_t now) const;
    // The same for any message, with the Message-ID given. A body line that would pass the
    // 998 bytes SMTP allows, or 8-bit text for a server that does not take it, makes the body
    // quoted-printable. With a signer the message is signed; empty when that fails, with
    // *pError saying why.
    static std::string ComposeData(const std::string &strFrom, const std::string &strTo,
        const std::string &strReplyTo, const std::string &strSubject, const std::string &strBody,
        std::time_t now, const std::string &strMessageId, const SComposeOptions &options = {},
        std::string *pError = nullptr);
    // Both forms a server may need (see SMessageData); empty data when signing failed.
    static SMessageData ComposeForServers(const std::string &strFrom, const std::string &strTo,
        const std::string &strReplyTo, const std::string &strSubject, const std::string &strBody,
        std::time_t now, const std::string &strMessageId, SComposeOptions options,
        std::string &strError);

    // How the message is composed: this connection greets with HELO, so it never learns
    // whether the server takes 8-bit text and sends it quoted-printable.
    SComposeOptions m_options;

    // How long one reply may take as a whole, and how long connecting may take.
    std::chrono::milliseconds m_replyTimeout {5000};
    std::chrono::milliseconds m_connectTimeout {20000};
    // How long the reply to the end of the data may take, and what ends that wait early.
    std::chrono::milliseconds m_dataReplyTimeout {std::chrono::minutes(10)};
    const std::atomic<bool> *m_pAbandon = nullptr;
    // Called before the DATA command, when set: the send journal must have recorded the
    // message as being sent by then. False stops the delivery; nothing of the message went out.
    std::function<bool()> m_beforeData;

    static constexpr int kWrapWidth = 76;
    static constexpr size_t kMaxLineBytes = 998;
    static constexpr const char *kHeloDomain = "mergix.invalid";
    static constexpr const char *kXMailer = "X-Mailer: Mergix v1.1 by Corvane Software. "
                                            "Please report spamming to abuse@corvane.example.";

private:
    bool Connect();
    // Waits for the next complete reply; true when its code is the expected one.
    // The reply to the end of the data has a wait of its own.
    bool WaitForReply(int nCode, bool bEndOfData = false);
    bool SendText(const std::string &strText);
    bool HasUnsafeHeaderText() const;
    bool BeforeData();
    bool AddCopies();

    CSmtpChannel m_hSocket;
    std::string m_strServer;
    std::string m_strFrom;
    std::string m_strTo;
    std::string m_strReplyTo;
    std::string m_strSubject;
    std::string m_strBody;
    int m_nWrapWidth = kWrapWidth;
    std::string m_strLastReply;
    bool m_bInDoubt = false;
    std::vector<std::pair<std::string, std::string>> m_refusedCopies;
};
