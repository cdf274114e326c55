#pragma once

#include <chrono>
#include <string>
#include <string_view>

// A TCP connection whose every operation is bounded by a deadline. Writes never raise
// SIGPIPE; a peer that has gone away shows as a failed write or a closed receive.
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

private:
    // Waits until the socket is ready for the events; false on time-out or error.
    bool WaitFor(short events, Clock::time_point deadline) const;

    int m_fd = -1;
};
