#include "mail/Socket.h"

#include <algorithm>
#include <cerrno>
#include <memory>

#include <arpa/inet.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "engine/PrintableText.h"
#include "mail/TlsContext.h"

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

bool IsIpAddress(const std::string &strHost)
{
    unsigned char address[sizeof(in6_addr)];
    return ::inet_pton(AF_INET, strHost.c_str(), address) == 1
        || ::inet_pton(AF_INET6, strHost.c_str(), address) == 1;
}

// Why the server's certificate was refused, in words a user can act on.
std::string CertificateProblem(long nResult, const std::string &strHost)
{
    switch (nResult) {
    case X509_V_ERR_CERT_HAS_EXPIRED:
        return "its certificate has expired";
    case X509_V_ERR_CERT_NOT_YET_VALID:
        return "its certificate is not valid yet";
    case X509_V_ERR_HOSTNAME_MISMATCH:
    case X509_V_ERR_IP_ADDRESS_MISMATCH:
        return "its certificate is for another name than \"" + PrintableText(strHost) + "\"";
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
    case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
        return "its certificate was issued by an unknown authority, one this computer does not "
               "trust";
    case X509_V_ERR_CERT_REVOKED:
        return "its certificate has been revoked";
    default:
        return std::string("its certificate could not be verified (")
            + X509_verify_cert_error_string(nResult) + ")";
    }
}

} // namespace

CSocket::~CSocket()
{
    Close();
}

void CSocket::Close()
{
    if (m_pTls) {
        SSL_free(m_pTls);
        m_pTls = nullptr;
    }
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
    if (m_pTls)
        return SendAllTls(data, deadline);
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
    if (m_pTls)
        return ReceiveTls(strBuffer, deadline);
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

std::string CSocket::StartTls(
    const CTlsContext &context, const std::string &strHost, Clock::time_point deadline)
{
    if (!context.Error().empty())
        return context.Error();
    ERR_clear_error();
    m_pTls = SSL_new(context.Handle());
    if (!m_pTls || SSL_set_fd(m_pTls, m_fd) != 1) {
        Close();
        return "TLS could not be set up";
    }
    // The name is checked against the certificate; a name also goes out as SNI, which servers
    // with several certificates need to pick the right one.
    if (IsIpAddress(strHost)) {
        X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(m_pTls), strHost.c_str());
    } else {
        SSL_set1_host(m_pTls, strHost.c_str());
        SSL_set_tlsext_host_name(m_pTls, strHost.c_str());
    }
    for (;;) {
        const int nResult = SSL_connect(m_pTls);
        if (nResult == 1)
            return {};
        const int nError = SSL_get_error(m_pTls, nResult);
        if (nError == SSL_ERROR_WANT_READ && WaitFor(POLLIN, deadline))
            continue;
        if (nError == SSL_ERROR_WANT_WRITE && WaitFor(POLLOUT, deadline))
            continue;
        std::string strProblem;
        if (const long nVerify = SSL_get_verify_result(m_pTls); nVerify != X509_V_OK) {
            strProblem = CertificateProblem(nVerify, strHost);
        } else if (nError == SSL_ERROR_WANT_READ || nError == SSL_ERROR_WANT_WRITE) {
            strProblem = "the server did not complete the secure connection in time";
        } else if (const unsigned long nCode = ERR_peek_error(); nCode != 0) {
            const char *pReason = ERR_reason_error_string(nCode);
            strProblem = std::string("the secure connection could not be made (")
                + (pReason ? pReason : "unknown TLS error") + ")";
        } else {
            strProblem = "the server closed the connection during the TLS handshake";
        }
        ERR_clear_error();
        Close();
        return strProblem;
    }
}

bool CSocket::SendAllTls(std::string_view data, Clock::time_point deadline)
{
    while (!data.empty()) {
        const int nChunk = static_cast<int>(std::min<size_t>(data.size(), 1 << 20));
        const int n = SSL_write(m_pTls, data.data(), nChunk);
        if (n > 0) {
            data.remove_prefix(static_cast<size_t>(n));
            continue;
        }
        const int nError = SSL_get_error(m_pTls, n);
        if (nError == SSL_ERROR_WANT_WRITE && WaitFor(POLLOUT, deadline))
            continue;
        if (nError == SSL_ERROR_WANT_READ && WaitFor(POLLIN, deadline))
            continue;
        ERR_clear_error();
        return false;
    }
    return true;
}

CSocket::EReceive CSocket::ReceiveTls(std::string &strBuffer, Clock::time_point deadline)
{
    char buffer[4096];
    for (;;) {
        const int n = SSL_read(m_pTls, buffer, sizeof buffer);
        if (n > 0) {
            strBuffer.append(buffer, static_cast<size_t>(n));
            return EReceive::Data;
        }
        const int nError = SSL_get_error(m_pTls, n);
        if (nError == SSL_ERROR_WANT_READ || nError == SSL_ERROR_WANT_WRITE) {
            if (WaitFor(nError == SSL_ERROR_WANT_READ ? POLLIN : POLLOUT, deadline))
                continue;
            return EReceive::TimedOut;
        }
        ERR_clear_error();
        return nError == SSL_ERROR_ZERO_RETURN ? EReceive::Closed : EReceive::Error;
    }
}
