#include "mail/Socket.h"

#include <algorithm>
#include <cerrno>
#include <memory>

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

struct SAddrInfoDeleter
{
    void operator()(addrinfo *p) const { freeaddrinfo(p); }
};

int MillisecondsLeft(CSocket::Clock::time_point deadline)
{
    const auto left
        = std::chrono::ceil<std::chrono::milliseconds>(deadline - CSocket::Clock::now());
    return left.count() <= 0 ? 0 : static_cast<int>(std::min<long long>(left.count(), 1 << 30));
}

} // namespace

CSocket::~CSocket()
{
    Close();
}

void CSocket::Close()
{
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

bool CSocket::WaitFor(short events, Clock::time_point deadline) const
{
    for (;;) {
        pollfd pfd {m_fd, events, 0};
        const int n = ::poll(&pfd, 1, MillisecondsLeft(deadline));
        if (n > 0)
            return true; // errors and hang-ups show in the following call
        if (n == 0)
            return false;
        if (errno != EINTR)
            return false;
    }
}

bool CSocket::Connect(
    const std::string &strHost, const std::string &strPort, Clock::time_point deadline)
{
    Close();
    addrinfo hints {};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    addrinfo *pList = nullptr;
    if (::getaddrinfo(strHost.c_str(), strPort.c_str(), &hints, &pList) != 0 || !pList)
        return false;
    const std::unique_ptr<addrinfo, SAddrInfoDeleter> list(pList);

    for (const addrinfo *p = pList; p && Clock::now() < deadline; p = p->ai_next) {
        m_fd
            = ::socket(p->ai_family, p->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, p->ai_protocol);
        if (m_fd < 0)
            continue;
        // Commands are small single writes answered by the server; never hold them back.
        const int nOne = 1;
        ::setsockopt(m_fd, IPPROTO_TCP, TCP_NODELAY, &nOne, sizeof nOne);
        int nResult = ::connect(m_fd, p->ai_addr, p->ai_addrlen);
        if (nResult != 0 && (errno == EINPROGRESS || errno == EINTR)
            && WaitFor(POLLOUT, deadline)) {
            int nError = 0;
            socklen_t nLength = sizeof nError;
            nResult
                = ::getsockopt(m_fd, SOL_SOCKET, SO_ERROR, &nError, &nLength) == 0 && nError == 0
                ? 0
                : -1;
        }
        if (nResult == 0)
            return true;
        Close();
    }
    return false;
}

bool CSocket::SendAll(std::string_view data, Clock::time_point deadline)
{
    while (!data.empty()) {
        const ssize_t n = ::send(m_fd, data.data(), data.size(), MSG_NOSIGNAL);
        if (n > 0) {
            data.remove_prefix(static_cast<size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) && WaitFor(POLLOUT, deadline))
            continue;
        return false;
    }
    return true;
}

CSocket::EReceive CSocket::Receive(std::string &strBuffer, Clock::time_point deadline)
{
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::recv(m_fd, buffer, sizeof buffer, 0);
        if (n > 0) {
            strBuffer.append(buffer, static_cast<size_t>(n));
            return EReceive::Data;
        }
        if (n == 0)
            return EReceive::Closed;
        if (errno == EINTR)
            continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK)
            return EReceive::Error;
        if (!WaitFor(POLLIN, deadline))
            return EReceive::TimedOut;
    }
}
