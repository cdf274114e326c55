#include "cli/TerminalPassword.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

std::optional<std::string> AskPasswordOnTerminal(const std::string &strPrompt)
{
    const int fd = ::open("/dev/tty", O_RDWR | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    termios saved {};
    const bool bTerminal = ::tcgetattr(fd, &saved) == 0;
    if (bTerminal) {
        termios silent = saved;
        silent.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        silent.c_lflag |= ICANON;
        ::tcsetattr(fd, TCSAFLUSH, &silent);
    }
    [[maybe_unused]] ssize_t nWritten = ::write(fd, strPrompt.data(), strPrompt.size());
    std::string strLine;
    char c = 0;
    bool bEnded = false;
    while (::read(fd, &c, 1) == 1) {
        if (c == '\n') {
            bEnded = true;
            break;
        }
        strLine += c;
    }
    if (bTerminal)
        ::tcsetattr(fd, TCSAFLUSH, &saved);
    nWritten = ::write(fd, "\n", 1);
    ::close(fd);
    if (!bEnded && strLine.empty())
        return std::nullopt;
    return strLine;
}
