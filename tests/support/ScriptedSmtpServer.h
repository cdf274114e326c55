#pragma once

#include <chrono>
#include <string>
#include <thread>
#include <vector>

// A one-connection SMTP peer on 127.0.0.1 (port picked by the system) that answers as a test
// scripts it and records every byte the client writes. The first step is the greeting; each
// later step answers one command: a line, or after a 354 answer the data up to "\r\n.\r\n".
class CScriptedSmtpServer final
{
public:
    struct SStep
    {
        enum class EAction { Reply, ReplyAndClose, Close, Silent };
        EAction action = EAction::Reply;
        std::vector<std::string> chunks; // sent one by one, with a pause between them
        std::chrono::milliseconds delay {0}; // before the first chunk

        static SStep Reply(std::string strText) { return {EAction::Reply, {std::move(strText)}}; }
        static SStep Split(std::vector<std::string> chunks) { return {EAction::Reply, chunks}; }
        static SStep Close() { return {EAction::Close, {}}; }
        // Answers, then closes at once without reading what the client sends next.
        static SStep ReplyAndClose(std::string strText)
        {
            return {EAction::ReplyAndClose, {std::move(strText)}};
        }
        static SStep Silent() { return {EAction::Silent, {}}; }
        // Answers after a pause, as a server that filters a message does.
        static SStep ReplyAfter(std::chrono::milliseconds delay, std::string strText)
        {
            return {EAction::Reply, {std::move(strText)}, delay};
        }
    };

    static bool HasIpv6Loopback();

    // Greeting, helo, MAIL, RCPT, DATA and end of data all accepted.
    static std::vector<SStep> Accepting();

    explicit CScriptedSmtpServer(std::vector<SStep> script, bool bIpv6 = false);
    ~CScriptedSmtpServer();
    CScriptedSmtpServer(const CScriptedSmtpServer &) = delete;
    CScriptedSmtpServer &operator=(const CScriptedSmtpServer &) = delete;

    int Port() const { return m_nPort; }
    std::string Server() const;
    // Waits for the session to end and returns what the client wrote.
    std::string Transcript();
    // Whether a client connected at all.
    bool WasConnected();

private:
    void Run(std::vector<SStep> script);
    void Stop();
    bool WaitReadable(int fd) const;
    bool ReadMore(int fd);
    bool ReadUntil(int fd, const std::string &strEnd, size_t &nConsumed);

    int m_wakeFds[2] = {-1, -1};
    int m_nListenFd = -1;
    int m_nPort = 0;
    bool m_bIpv6 = false;
    bool m_bConnected = false;
    std::string m_strTranscript;
    std::thread m_thread;
};
