#pragma once

#include <chrono>
#include <string>
#include <vector>

#include <sys/types.h>

#include "sources/access/ReaderStream.h"

// One run of the database reader process (mergix-dbreader) and the records it sends. Every
// failure becomes a CDaoException with a clear description: an error the reader reports, a
// reader that crashes, stops sending for longer than the idle limit, or sends anything that is
// not the stream format. The process is killed and reaped when the object goes. The reader's
// standard error goes to /dev/null unless MERGIX_DBREADER_STDERR is 1 (for sanitizer builds).
class CDbReader final
{
public:
    // Starts the reader with the command's arguments (see ReaderProtocol.h). strDatabase and
    // strTable name the database and the table in messages.
    CDbReader(const std::vector<std::string> &arguments, std::string strDatabase,
        std::string strTable = {});
    ~CDbReader();
    CDbReader(const CDbReader &) = delete;
    CDbReader &operator=(const CDbReader &) = delete;

    // The next record; false once the stream has ended properly ('Z'). Throws CDaoException.
    bool Next(CReaderStream::SRecord &record, std::vector<CVariant> &values);

    // Starts a reader ahead of need: the next CDbReader with the same arguments takes it over,
    // if that comes within a few seconds and the database file has not changed meanwhile, so
    // the reading goes on while the program does other work. A failure is left for that
    // CDbReader to report.
    static void Prestart(const std::vector<std::string> &arguments);

    // How long the reader may send nothing before it counts as hanging.
    static void SetIdleLimit(std::chrono::milliseconds limit);
    // The reader program; by default found beside the running program, in the build tree or
    // where it is installed, or named by the MERGIX_DBREADER environment variable.
    static void SetReaderPath(std::string strPath);
    static std::string ReaderPath();

private:
    // The database in messages: once the reader follows a linked table, its target.
    std::string DatabaseShown() const;
    [[noreturn]] void ThrowDamaged();
    [[noreturn]] void ThrowReaderError(const CReaderStream::SRecord &record);
    bool ReadMore();
    void Stop();

    std::string m_strDatabase;
    std::string m_strTable;
    std::string m_strLinkTarget;
    pid_t m_pid = -1;
    int m_fd = -1;
    CReaderStream m_stream;
    bool m_bEnded = false;
};
