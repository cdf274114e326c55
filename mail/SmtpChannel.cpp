#include "mail/SmtpChannel.h"

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
    const auto deadline = CSocket::Clock::now() + m_replyTimeout;
    for (;;) {
        if (auto reply = m_replies.TakeReply())
            return reply;
        if (m_replies.IsOverlong())
            return std::nullopt;
        if (m_socket.Receive(m_replies.Buffer(), deadline) != CSocket::EReceive::Data)
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
