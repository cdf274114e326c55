#pragma once

#include <atomic>
#include <chrono>
#include <optional>
#include <string>
#include <string_view>

#include "mail/SmtpReply.h"
#include "mail/Socket.h"

class CTlsContext;

// One connection to an SMTP server, command by command: writes, whole replies, the TLS
// upgrade. Every wait is bounded: a reply by the reply wait, connecting by the connect wait.
class CSmtpChannel final
{
public:
    using Reply = CSmtpReplyReader::SReply;

    std::chrono::milliseconds m_replyTimeout {5000};
    std::chrono::milliseconds m_connectTimeout {20000};
    // The reply to the end of a message's data may take as long as RFC 5321 allows a server
    // (10 minutes): it may be filtering the message. Giving up sooner would report a message
    // as failed that the server then delivers. The flag, when set, ends that wait early.
    std::chrono::milliseconds m_dataReplyTimeout {std::chrono::minutes(10)};
    const std::atomic<bool> *m_pAbandon = nullptr;

    bool Connect(const std::string &strHost, const std::string &strPort);
    bool Send(std::string_view text);
    // The next complete reply; nothing when none came in time, the connection ended or the
    // server sent more than any reply can hold.
    std::optional<Reply> NextReply();
    // The reply to the end of the data, within the data reply wait, unless abandoned first.
    std::optional<Reply> NextDataReply();
    // True when the next reply carries the code.
    bool Expect(int nCode);
    // Upgrades the connection to TLS; empty on success, else why not (see CSocket::StartTls).
    // Bytes the server sent before the upgrade and that no one has read yet are refused: they
    // would be taken as if they had come through TLS.
    std::string StartTls(const CTlsContext &context, const std::string &strHost);
    void Close();
    bool IsOpen() const { return m_socket.IsOpen(); }

private:
    std::optional<Reply> ReplyWithin(std::chrono::milliseconds wait);

    CSocket m_socket;
    CSmtpReplyReader m_replies;
};
