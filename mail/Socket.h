#pragma once

#include <chrono>
#include <string>
#include <string_view>

class CTlsContext;
struct ssl_st;

// A TCP connection whose every operation is bounded by a deadline. Writes never raise
// SIGPIPE; a peer that has gone away shows as a failed write or a closed receive. Once
// StartTls has succeeded, every byte goes through TLS.
class CSocket final
{
public:
    using Clock = std::chrono::steady_clock;
    enum class EReceive { Data, Closed, TimedOut, Error };

    CSocket() = default;
    ~CSocket();
    CSocket(const CSocket &) = delete;
    CSocket &operator=(const CSocket &) = delete;

    // Resolves the host (IPv4 and IPv6) and tries each of its addresses in turn until one
    // connects. False when none does before the deadline.
    bool Connect(
        const std::string &strHost, const std::string &strPort, Clock::time_point deadline);
    // Writes every byte, completing partial writes. False when the connection fails or the
    // peer takes nothing more until the deadline.
    bool SendAll(std::string_view data, Clock::time_point deadline);
    // Appends what one receive delivers, waiting for data until the deadline.
    EReceive Receive(std::string &strBuffer, Clock::time_point deadline);
    void Close();
    bool IsOpen() const { return m_fd >= 0; }

    // Runs the TLS handshake as a client and verifies the server's certificate, host name
    // included. Empty on success, else why it failed, as a clause: "its certificate has
    // expired". The connection cannot be used after a failure.
    std::string StartTls(
        const CTlsContext &context, const std::string &strHost, Clock::time_point deadline);
    bool IsSecure() const { return m_pTls != nullptr; }

private:
    // Waits until the socket is ready for the events; false on time-out or error.
    bool WaitFor(short events, Clock::time_point deadline) const;

    bool SendAllTls(std::string_view data, Clock::time_point deadline);
    EReceive ReceiveTls(std::string &strBuffer, Clock::time_point deadline);

    int m_fd = -1;
    ssl_st *m_pTls = nullptr;
};
