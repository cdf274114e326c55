#pragma once

#include <memory>
#include <string>
#include <vector>

#include <QJsonObject>

class QProcess;
class QTemporaryDir;

// Runs the real SMTP server of the tests (aiosmtpd, tests/mail/smtp_test_server.py) on
// 127.0.0.1 with a port the system picks, and reads back what it stored: one JSON summary a
// message, parsed by Python's email package. Recipients matching the rejection pattern (a Python
// regular expression, searched ignoring case) are refused; those matching the slow pattern are
// answered after two seconds.
class CSmtpTestServer final
{
public:
    explicit CSmtpTestServer(const std::string &strRejectPattern = "^reject",
        const std::string &strSlowPattern = "^slow", const std::vector<std::string> &options = {});
    // A server started with options of the script: "--tls", CERT, KEY, "--mode", "starttls"...
    static std::unique_ptr<CSmtpTestServer> WithOptions(const std::vector<std::string> &options);
    ~CSmtpTestServer();
    CSmtpTestServer(const CSmtpTestServer &) = delete;
    CSmtpTestServer &operator=(const CSmtpTestServer &) = delete;

    // Empty when the server could not be started; Error() then says why.
    std::string Server() const { return m_strServer; }
    std::string Error() const { return m_strError; }
    // The messages stored so far, oldest first.
    std::vector<QJsonObject> Messages() const;
    // How many connections the server has taken so far.
    int Connections() const;
    // How many messages its sender limit (the option "--limit") has refused so far.
    int Limited() const;
    // Ends the server at once, as a crash would; what it stored stays readable.
    void Kill();

private:
    // A count the server keeps in a file of its folder; -1 when there is none.
    int Count(const QString &strName) const;

    std::unique_ptr<QTemporaryDir> m_pFolder;
    std::unique_ptr<QProcess> m_pProcess;
    std::string m_strServer;
    std::string m_strError;
};
