// Delivers 1,000 messages of about 2 KB one after another, one CSmtpConnection (and so one
// connection) each, to postfix's smtp-sink on loopback, and in the same run lets postfix's
// smtp-source send as many messages of the same size, one connection per message, to the same
// sink. Prints both rates and their ratio (the goal is at least 0.8).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QThread>

#include "mail/SmtpConnection.h"

namespace {

constexpr int kMessages = 1000;
constexpr int kBodyBytes = 2048;
constexpr int kRounds = 3;

int FreeLoopbackPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t nLength = sizeof address;
    ::bind(fd, reinterpret_cast<sockaddr *>(&address), nLength);
    ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &nLength);
    ::close(fd);
    return ntohs(address.sin_port);
}

std::string Body()
{
    std::string strBody;
    for (int nLine = 0; strBody.size() < kBodyBytes; ++nLine)
        strBody += "Line " + std::to_string(nLine) + " of a merged message for the benchmark.\r\n";
    strBody.resize(kBodyBytes);
    return strBody;
}

double Seconds(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

int main()
{
    const int nPort = FreeLoopbackPort();
    const QString strAddress = QStringLiteral("127.0.0.1:%1").arg(nPort);
    QProcess sink;
    QStringList sinkArguments {strAddress, QStringLiteral("256")};
    if (::geteuid() == 0) // smtp-sink refuses to keep root privileges
        sinkArguments
            = QStringList {QStringLiteral("-u"), QStringLiteral("nobody")} + sinkArguments;
    sink.setProcessChannelMode(QProcess::ForwardedChannels);
    sink.start(QStringLiteral("/usr/sbin/smtp-sink"), sinkArguments);
    if (!sink.waitForStarted(5000)) {
        std::fprintf(stderr, "cannot start /usr/sbin/smtp-sink (install postfix)\n");
        return 1;
    }
    QThread::msleep(300); // let it listen

    const std::string strServer = strAddress.toStdString();
    const std::string strBody = Body();
    std::vector<double> ours;
    std::vector<double> reference;
    for (int nRound = 0; nRound < kRounds; ++nRound) {
        auto start = std::chrono::steady_clock::now();
        int nFailed = 0;
        for (int i = 0; i < kMessages; ++i) {
            CSmtpConnection connection(strServer, "Bench Sender <sender@example.com>",
                "rcpt" + std::to_string(i) + "@example.org", "reply@example.com",
                "Benchmark message", strBody);
            nFailed += connection.Deliver() ? 0 : 1;
        }
        ours.push_back(kMessages / Seconds(start));
        if (nFailed) {
            std::fprintf(stderr, "%d deliveries failed\n", nFailed);
            return 1;
        }

        start = std::chrono::steady_clock::now();
        const int nExit = QProcess::execute(QStringLiteral("/usr/sbin/smtp-source"),
            {QStringLiteral("-s"), QStringLiteral("1"), QStringLiteral("-m"),
                QString::number(kMessages), QStringLiteral("-l"), QString::number(kBodyBytes),
                QStringLiteral("-M"), QStringLiteral("localhost"), QStringLiteral("-f"),
                QStringLiteral("sender@example.com"), QStringLiteral("-t"),
                QStringLiteral("rcpt@example.org"), strAddress});
        reference.push_back(kMessages / Seconds(start));
        if (nExit != 0) {
            std::fprintf(stderr, "smtp-source failed (%d)\n", nExit);
            return 1;
        }
    }
    sink.kill();
    sink.waitForFinished(5000);

    std::sort(ours.begin(), ours.end());
    std::sort(reference.begin(), reference.end());
    const double oursMedian = ours[kRounds / 2];
    const double referenceMedian = reference[kRounds / 2];
    std::printf("%d messages of %d bytes, one connection each, median of %d rounds\n", kMessages,
        kBodyBytes, kRounds);
    std::printf("CSmtpConnection: %8.0f messages/s\n", oursMedian);
    std::printf("smtp-source:     %8.0f messages/s\n", referenceMedian);
    std::printf("ratio:           %8.2f (goal >= 0.80)\n", oursMedian / referenceMedian);
    return 0;
}
