#include "support/ScriptedSmtpServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

namespace {

constexpr int kIdleLimitMs = 10000;
constexpr auto kChunkPause = std::chrono::milliseconds(40);

} // namespace

bool CScriptedSmtpServer::HasIpv6Loopback()
{
    const int fd = ::socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    sockaddr_in6 address {};
    address.sin6_family = AF_INET6;
    address.sin6_addr = in6addr_loopback;
    const bool bBound = ::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0;
    ::close(fd);
    return bBound;
}

std::vector<CScriptedSmtpServer::SStep> CScriptedSmtpServer::Accepting()
{
    return {SStep::Reply("220 test ESMTP ready\r\n"), SStep::Reply("250 test\r\n"),
        SStep::Reply("250 2.1.0 Ok\r\n"), SStep::Reply("250 2.1.5 Ok\r\n"),
        SStep::Reply("354 End data with <CR><LF>.<CR><LF>\r\n"),
        SStep::Reply("250 2.0.0 Ok: queued\r\n")};
}

CScriptedSmtpServer::CScriptedSmtpServer(std::vector<SStep> script, bool bIpv6) : m_bIpv6(bIpv6)
{
    if (::pipe(m_wakeFds) != 0)
        throw std::runtime_error("pipe failed");
    m_nListenFd = ::socket(bIpv6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_storage storage {};
    socklen_t nLength = 0;
    if (bIpv6) {
        auto *pAddress = reinterpret_cast<sockaddr_in6 *>(&storage);
        pAddress->sin6_family = AF_INET6;
        pAddress->sin6_addr = in6addr_loopback;
        nLength = sizeof(sockaddr_in6);
    } else {
        auto *pAddress = reinterpret_cast<sockaddr_in *>(&storage);
        pAddress->sin_family = AF_INET;
        pAddress->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        nLength = sizeof(sockaddr_in);
    }
    if (m_nListenFd < 0 || ::bind(m_nListenFd, reinterpret_cast<sockaddr *>(&storage), nLength) != 0
        || ::listen(m_nListenFd, 4) != 0
        || ::getsockname(m_nListenFd, reinterpret_cast<sockaddr *>(&storage), &nLength) != 0)
        throw std::runtime_error("cannot listen on the loopback address");
    m_nPort = ntohs(bIpv6 ? reinterpret_cast<sockaddr_in6 *>(&storage)->sin6_port
                          : reinterpret_cast<sockaddr_in *>(&storage)->sin_port);
    m_thread = std::thread(&CScriptedSmtpServer::Run, this, std::move(script));
}

CScriptedSmtpServer::~CScriptedSmtpServer()
{
    Stop();
    ::close(m_nListenFd);
    ::close(m_wakeFds[0]);
    ::close(m_wakeFds[1]);
}

void CScriptedSmtpServer::Stop()
{
    if (m_thread.joinable()) {
        const char c = 'x';
        (void)!::write(m_wakeFds[1], &c, 1);
        m_thread.join();
    }
}

std::string CScriptedSmtpServer::Server() const
{
    return m_bIpv6 ? "[::1]:" + std::to_string(m_nPort) : "127.0.0.1:" + std::to_string(m_nPort);
}

std::string CScriptedSmtpServer::Transcript()
{
    if (m_thread.joinable())
        m_thread.join();
    return m_strTranscript;
}

bool CScriptedSmtpServer::WasConnected()
{
    Stop();
    return m_bConnected;
}

bool CScriptedSmtpServer::WaitReadable(int fd) const
{
    pollfd fds[2] = {{fd, POLLIN, 0}, {m_wakeFds[0], POLLIN, 0}};
    if (::poll(fds, 2, kIdleLimitMs) <= 0)
        return false;
    return (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) != 0;
}

bool CScriptedSmtpServer::ReadMore(int fd)
{
    if (!WaitReadable(fd))
        return false;
    char buffer[65536];
    const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0)
        return false;
    m_strTranscript.append(buffer, static_cast<size_t>(n));
    return true;
}

bool CScriptedSmtpServer::ReadUntil(int fd, const std::string &strEnd, size_t &nConsumed)
{
    for (;;) {
        const size_t nFound = m_strTranscript.find(strEnd, nConsumed);
        if (nFound != std::string::npos) {
            nConsumed = nFound + strEnd.size();
            return true;
        }
        if (!ReadMore(fd))
            return false;
    }
}

void CScriptedSmtpServer::Run(std::vector<SStep> script)
{
    if (!WaitReadable(m_nListenFd))
        return;
    const int fd = ::accept4(m_nListenFd, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0)
        return;
    m_bConnected = true;
    const int nOne = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &nOne, sizeof nOne);

    size_t nConsumed = 0;
    bool bData = false;
    bool bOpen = true;
    for (size_t i = 0; i < script.size() && bOpen; ++i) {
        // The data ends with CR LF . CR LF; its first CR LF may be the one ending the
        // DATA command's reply wait, so search from the start of the data.
        if (i > 0 && !ReadUntil(fd, bData ? "\r\n.\r\n" : "\r\n", nConsumed))
            break;
        const SStep &step = script[i];
        switch (step.action) {
        case SStep::EAction::Reply:
        case SStep::EAction::ReplyAndClose:
            bData = false;
            std::this_thread::sleep_for(step.delay);
            for (size_t k = 0; k < step.chunks.size(); ++k) {
                if (k > 0)
                    std::this_thread::sleep_for(kChunkPause);
                ::send(fd, step.chunks[k].data(), step.chunks[k].size(), MSG_NOSIGNAL);
                bData = bData || step.chunks[k].rfind("354", 0) == 0;
            }
            bOpen = step.action == SStep::EAction::Reply;
            break;
        case SStep::EAction::Close:
            bOpen = false;
            break;
        case SStep::EAction::Silent:
            i = script.size();
            break;
        }
    }
    // Record whatever else the client writes until it closes.
    while (bOpen && ReadMore(fd)) { }
    ::close(fd);
}
