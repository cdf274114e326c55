#include "mail/SmtpChannel.h"

#include <algorithm>

bool CSmtpChannel::Connect(const std::string &strHost, const std::string &strPort)
{
    m_replies.Buffer().clear();
    return m_socket.Connect(strHost, strPort, CSocket::Clock::now() + m_connectTimeout);
}

bool CSmtpChannel::Send(std::string_view text)
{
    return m_socket.SendAll(text, CSocket::Clock::now() + m_replyTimeout);
}

std::optional<CSmtpChannel::Reply> CSmtpChannel::NextReply()
{
    return ReplyWithin(m_replyTimeout);
}

std::optional<CSmtpChannel::Reply> CSmtpChannel::NextDataReply()
{
    return ReplyWithin(m_dataReplyTimeout);
}

std::optional<CSmtpChannel::Reply> CSmtpChannel::ReplyWithin(std::chrono::milliseconds wait)
{
    // Waited for in slices, so that an abandoned wait ends soon.
    constexpr std::chrono::milliseconds kSlice {200};
    const auto deadline = CSocket::Clock::now() + wait;
    for (;;) {
        if (auto reply = m_replies.TakeReply())
            return reply;
        if (m_replies.IsOverlong())
            return std::nullopt;
        const auto sliceEnd = std::min(deadline, CSocket::Clock::now() + kSlice);
        const CSocket::EReceive eReceived = m_socket.Receive(m_replies.Buffer(), sliceEnd);
        if (eReceived == CSocket::EReceive::Data)
            continue;
        if (eReceived != CSocket::EReceive::TimedOut || sliceEnd >= deadline
            || (m_pAbandon && *m_pAbandon))
            return std::nullopt;
    }
}

bool CSmtpChannel::Expect(int nCode)
{
    const std::optional<Reply> reply = NextReply();
    return reply && reply->nCode == nCode;
}

std::string CSmtpChannel::StartTls(const CTlsContext &context, const std::string &strHost)
{
    if (!m_replies.Buffer().empty()) {
        Close();
        return "the server sent data before the secure connection began, which is refused";
    }
    return m_socket.StartTls(context, strHost, CSocket::Clock::now() + m_connectTimeout);
}

void CSmtpChannel::Close()
{
    m_socket.Close();
    m_replies.Buffer().clear();
}
