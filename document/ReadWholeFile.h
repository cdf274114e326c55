#pragma once

#include <string>

// Reads a whole regular file; 0, or the errno of the failure: EISDIR for a folder, ENODEV for a
// FIFO, a device or a socket (never opened for reading in earnest: a FIFO would block), EFBIG
// for a file too large to be a merge file.
int ReadWholeFile(const std::string &strPath, std::string &strData);
