#include "document/ReadWholeFile.h"

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A merge file holds seven strings; the editor takes at most 16 MB of text, so anything
// beyond this is not a merge file, and reading it could only exhaust the memory.
constexpr off_t kMaxMergeFileBytes = 64 << 20;

} // namespace

int ReadWholeFile(const std::string &strPath, std::string &strData)
{
    const int fd = ::open(strPath.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return errno;
    struct stat status
    { };
    int nError = 0;
    if (::fstat(fd, &status) != 0)
        nError = errno;
    else if (S_ISDIR(status.st_mode))
        nError = EISDIR;
    else if (!S_ISREG(status.st_mode))
        nError = ENODEV;
    else if (status.st_size > kMaxMergeFileBytes)
        nError = EFBIG;
    char buffer[65536];
    while (nError == 0) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0) {
            strData.append(buffer, static_cast<size_t>(n));
            if (strData.size() > static_cast<size_t>(kMaxMergeFileBytes))
                nError = EFBIG; // it grew while being read
        } else if (n == 0) {
            break;
        } else if (errno != EINTR) {
            nError = errno;
        }
    }
    ::close(fd);
    return nError;
}
