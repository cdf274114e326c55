#include "sources/access/AccessFile.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

SAccessFileCheck CheckAccessFile(const std::string &strPath)
{
    using EProblem = EAccessFileProblem;
    if (strPath.empty())
        return {EProblem::NotFound, ENOENT};
    // Without O_NONBLOCK, opening a FIFO waits for a writer for ever.
    const int fd = ::open(strPath.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int nError = errno;
        if (nError == ENOENT || nError == ENOTDIR)
            return {EProblem::NotFound, nError};
        if (nError == EACCES || nError == EPERM)
            return {EProblem::PermissionDenied, nError};
        return {EProblem::CannotRead, nError};
    }
    struct stat status
    { };
    SAccessFileCheck check;
    char header[32] = {};
    ssize_t nRead = 0;
    if (::fstat(fd, &status) != 0)
        check = {EProblem::CannotRead, errno};
    else if (S_ISDIR(status.st_mode))
        check = {EProblem::Folder, EISDIR};
    else if (!S_ISREG(status.st_mode))
        check = {EProblem::NotAFile, 0};
    else if ((nRead = ::pread(fd, header, sizeof header, 0)) < 0)
        check = {EProblem::CannotRead, errno};
    ::close(fd);
    if (check.problem != EProblem::None)
        return check;

    // Every Jet and ACE file starts with the same page header and names its engine.
    const bool bJet = nRead >= 21 && header[0] == 0 && header[1] == 1 && header[2] == 0
        && header[3] == 0
        && (std::memcmp(header + 4, "Standard Jet DB", 15) == 0
            || std::memcmp(header + 4, "Standard ACE DB", 15) == 0);
    if (!bJet)
        return {EProblem::NotAccessDatabase, 0};
    // Access writes whole pages (2 KB for Jet 3, 4 KB later); anything else was cut short.
    const off_t nPageSize = header[20] == 0 ? 2048 : 4096;
    if (status.st_size < 2 * nPageSize || status.st_size % nPageSize != 0)
        return {EProblem::Damaged, 0};
    return {};
}
