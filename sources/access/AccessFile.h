#pragma once

#include <string>

// What a first look at a file says about it as an Access database, before libmdb reads it:
// it must be a regular file (a FIFO or a device would block or never end), start with the page
// header of Jet or ACE, and hold whole pages. Never blocks. Shared by the program and the
// reader process, which checks the targets of linked tables with it.
enum class EAccessFileProblem {
    None,
    NotFound,
    PermissionDenied,
    CannotRead, // another error; see nErrno
    Folder,
    NotAFile, // a FIFO, a device or a socket
    NotAccessDatabase,
    Damaged, // cut short
};

struct SAccessFileCheck
{
    EAccessFileProblem problem = EAccessFileProblem::None;
    int nErrno = 0;
};

SAccessFileCheck CheckAccessFile(const std::string &strPath);
