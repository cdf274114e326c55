#include "sources/access/DbReader.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <optional>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "engine/PrintableText.h"
#include "sources/access/AccessFile.h"
#include "sources/access/DaoException.h"

extern char **environ;

namespace {

std::atomic<long long> s_nIdleLimitMs {15000};
std::mutex s_pathMutex;
std::string s_strReaderPath;

bool ShowsReaderErrors()
{
    const char *pShow = std::getenv("MERGIX_DBREADER_STDERR");
    return pShow && std::strcmp(pShow, "1") == 0;
}

bool IsExecutable(const std::string &strPath)
{
    return !strPath.empty() && ::access(strPath.c_str(), X_OK) == 0;
}

std::string OwnFolder()
{
    char buffer[4096];
    const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0)
        return {};
    std::string strPath(buffer, static_cast<size_t>(n));
    return strPath.substr(0, strPath.rfind('/'));
}

// Whether the reader gets the variable: only what finds programs, sets the locale and tunes
// libmdb or a sanitizer. The reader parses files nobody vouches for, so no secret of the
// program's (an SMTP password) may reach it. MDBPATH stays out too: an empty component in it
// makes libmdb loop on a missing file.
bool PassedToReader(std::string_view entry)
{
    const std::string_view name = entry.substr(0, entry.find('='));
    for (const std::string_view kept :
        {"PATH", "LANG", "LANGUAGE", "TZ", "MDB_JET3_CHARSET", "MDBICONV", "MDBOPTS"}) {
        if (name == kept)
            return true;
    }
    return name.starts_with("LC_") || name.ends_with("SAN_OPTIONS");
}

std::vector<char *> ReaderEnvironment()
{
    std::vector<char *> environment;
    for (char **p = environ; p && *p; ++p) {
        if (PassedToReader(*p))
            environment.push_back(*p);
    }
    environment.push_back(nullptr);
    return environment;
}

// A started reader process: its id and the read end of its output.
struct SSpawnedReader
{
    pid_t pid = -1;
    int fd = -1;
};

SSpawnedReader SpawnReader(const std::vector<std::string> &arguments)
{
    const std::string strProgram = CDbReader::ReaderPath();
    std::vector<char *> argv;
    argv.push_back(const_cast<char *>(strProgram.c_str()));
    for (const std::string &strArgument : arguments)
        argv.push_back(const_cast<char *>(strArgument.c_str()));
    argv.push_back(nullptr);

    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0)
        throw CDaoException(CDaoException::EKind::ReaderMissing,
            std::string("The database reader could not be started: ") + std::strerror(errno) + ".");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
    // libmdb's own complaints are noise to a user; a sanitizer build's reports are not.
    if (!ShowsReaderErrors())
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::vector<char *> environment = ReaderEnvironment();
    SSpawnedReader reader;
    const int nError = ::posix_spawnp(
        &reader.pid, strProgram.c_str(), &actions, nullptr, argv.data(), environment.data());
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeFds[1]);
    if (nError != 0) {
        ::close(pipeFds[0]);
        throw CDaoException(CDaoException::EKind::ReaderMissing,
            "The database reader \"" + strProgram
                + "\" could not be started: " + std::strerror(nError) + ".");
    }
    reader.fd = pipeFds[0];
    return reader;
}

void EndReader(SSpawnedReader &reader)
{
    if (reader.fd >= 0)
        ::close(reader.fd);
    if (reader.pid > 0) {
        ::kill(reader.pid, SIGKILL);
        while (::waitpid(reader.pid, nullptr, 0) < 0 && errno == EINTR) { }
    }
    reader = {};
}

// What tells that the database file is still the one a reader was started on.
struct SFileState
{
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = -1;
    timespec modified {};

    static SFileState Of(const std::vector<std::string> &arguments)
    {
        SFileState state;
        struct stat info;
        if (arguments.size() > 1 && ::stat(arguments[1].c_str(), &info) == 0)
            state = {info.st_dev, info.st_ino, info.st_size, info.st_mtim};
        return state;
    }
    bool operator==(const SFileState &other) const
    {
        return device == other.device && inode == other.inode && size == other.size
            && modified.tv_sec == other.modified.tv_sec
            && modified.tv_nsec == other.modified.tv_nsec;
    }
};

// Readers started ahead of need, each waiting for a CDbReader with its arguments. One not
// taken within a few seconds, or whose file has changed since, is ended instead.
class CPrestartedReaders
{
public:
    ~CPrestartedReaders()
    {
        for (SEntry &entry : m_entries)
            EndReader(entry.reader);
    }

    void Add(const std::vector<std::string> &arguments, SSpawnedReader reader)
    {
        std::lock_guard lock(m_mutex);
        EndExpired();
        m_entries.push_back({arguments, reader, SFileState::Of(arguments), Clock::now()});
    }

    std::optional<SSpawnedReader> Take(const std::vector<std::string> &arguments)
    {
        std::lock_guard lock(m_mutex);
        EndExpired();
        for (auto it = m_entries.begin(); it != m_entries.end(); ++it) {
            if (it->arguments != arguments)
                continue;
            SEntry entry = *it;
            m_entries.erase(it);
            if (entry.file == SFileState::Of(arguments))
                return entry.reader;
            EndReader(entry.reader);
            return std::nullopt;
        }
        return std::nullopt;
    }

private:
    using Clock = std::chrono::steady_clock;
    struct SEntry
    {
        std::vector<std::string> arguments;
        SSpawnedReader reader;
        SFileState file;
        Clock::time_point started;
    };

    void EndExpired()
    {
        const auto now = Clock::now();
        std::erase_if(m_entries, [now](SEntry &entry) {
            if (now - entry.started < std::chrono::seconds(5))
                return false;
            EndReader(entry.reader);
            return true;
        });
    }

    std::mutex m_mutex;
    std::vector<SEntry> m_entries;
};

CPrestartedReaders &PrestartedReaders()
{
    static CPrestartedReaders readers;
    return readers;
}

} // namespace

void CDbReader::Prestart(const std::vector<std::string> &arguments)
{
    try {
        PrestartedReaders().Add(arguments, SpawnReader(arguments));
    } catch (const CDaoException &) {
        // The reader that needs it will fail to start and say why.
    }
}

void CDbReader::SetIdleLimit(std::chrono::milliseconds limit)
{
    s_nIdleLimitMs = limit.count();
}

void CDbReader::SetReaderPath(std::string strPath)
{
    std::lock_guard lock(s_pathMutex);
    s_strReaderPath = std::move(strPath);
}

std::string CDbReader::ReaderPath()
{
    {
        std::lock_guard lock(s_pathMutex);
        if (!s_strReaderPath.empty())
            return s_strReaderPath;
    }
    if (const char *pPath = std::getenv("MERGIX_DBREADER"); pPath && *pPath)
        return pPath;
    // Beside the program, where a package or an install under any prefix puts it, in the
    // build tree, and where this build installs it.
    for (const std::string &strCandidate :
        {OwnFolder() + "/mergix-dbreader", OwnFolder() + "/../libexec/mergix-dbreader",
            std::string(MERGIX_DBREADER_BUILD_PATH), std::string(MERGIX_DBREADER_INSTALL_PATH)}) {
        if (IsExecutable(strCandidate))
            return strCandidate;
    }
    return "mergix-dbreader";
}

CDbReader::CDbReader(
    const std::vector<std::string> &arguments, std::string strDatabase, std::string strTable)
    : m_strDatabase(std::move(strDatabase)), m_strTable(std::move(strTable))
{
    const std::optional<SSpawnedReader> prestarted = PrestartedReaders().Take(arguments);
    const SSpawnedReader reader = prestarted ? *prestarted : SpawnReader(arguments);
    m_pid = reader.pid;
    m_fd = reader.fd;
}

CDbReader::~CDbReader()
{
    Stop();
}

void CDbReader::Stop()
{
    SSpawnedReader reader {m_pid, m_fd};
    EndReader(reader);
    m_pid = -1;
    m_fd = -1;
}

std::string CDbReader::DatabaseShown() const
{
    if (m_strLinkTarget.empty())
        return "\"" + PrintableText(m_strDatabase) + "\"";
    return "\"" + PrintableText(m_strLinkTarget) + "\", the target of the linked table \""
        + PrintableText(m_strTable) + "\",";
}

void CDbReader::ThrowDamaged()
{
    Stop();
    throw CDaoException(CDaoException::EKind::Damaged,
        "The database " + DatabaseShown() + " is damaged and cannot be read.");
}

void CDbReader::ThrowReaderError(const CReaderStream::SRecord &record)
{
    Stop();
    using ReaderProtocol::EReaderError;
    using EKind = CDaoException::EKind;
    switch (record.error) {
    case EReaderError::NotAccessDatabase: {
        // A database deleted since it was opened is not there at all, rather than not Access.
        const std::string &strFile = m_strLinkTarget.empty() ? m_strDatabase : m_strLinkTarget;
        if (CheckAccessFile(strFile).problem == EAccessFileProblem::NotFound)
            throw CDaoException(EKind::FileNotFound,
                "The database file \"" + PrintableText(strFile) + "\" was not found.");
        throw CDaoException(
            EKind::NotAccessDatabase, DatabaseShown() + " is not a Microsoft Access database.");
    }
    case EReaderError::NoSuchTable:
        throw CDaoException(EKind::NoSuchTable,
            "The table \"" + PrintableText(m_strTable) + "\" does not exist in the database "
                + DatabaseShown() + ".");
    case EReaderError::CannotRead:
        throw CDaoException(
            EKind::CannotRead, "The database " + DatabaseShown() + " cannot be read.");
    case EReaderError::LinkedDatabase:
        throw CDaoException(EKind::FileNotFound,
            "The table \"" + PrintableText(m_strTable) + "\" is linked to the database \""
                + PrintableText(record.strDetail) + "\", which was not found.");
    case EReaderError::LinkedFolder:
        throw CDaoException(EKind::NotAccessDatabase,
            DatabaseShown() + " is a folder, not a Microsoft Access database.");
    case EReaderError::LinkedNotFile:
        throw CDaoException(EKind::NotAccessDatabase,
            DatabaseShown() + " is not a file, so it cannot be a Microsoft Access database.");
    case EReaderError::Damaged:
    case EReaderError::Usage:
        break;
    }
    ThrowDamaged();
}

bool CDbReader::ReadMore()
{
    char buffer[65536];
    for (;;) {
        pollfd pfd {m_fd, POLLIN, 0};
        const int nReady = ::poll(&pfd, 1, static_cast<int>(s_nIdleLimitMs.load()));
        if (nReady == 0)
            ThrowDamaged(); // no progress: the reader hangs
        if (nReady < 0) {
            if (errno == EINTR)
                continue;
            ThrowDamaged();
        }
        const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
        if (n > 0) {
            m_stream.Append(buffer, static_cast<size_t>(n));
            return true;
        }
        if (n == 0)
            return false;
        if (errno != EINTR && errno != EAGAIN)
            ThrowDamaged();
    }
}

bool CDbReader::Next(CReaderStream::SRecord &record, std::vector<CVariant> &values)
{
    if (m_bEnded)
        return false;
    for (;;) {
        switch (m_stream.Next(record, values)) {
        case CReaderStream::EResult::Record:
            if (record.tag == ReaderProtocol::kLinkTarget) {
                m_strLinkTarget = record.strDetail;
                break;
            }
            if (record.tag == ReaderProtocol::kError)
                ThrowReaderError(record);
            if (record.tag == ReaderProtocol::kEnd) {
                m_bEnded = true;
                Stop();
                return false;
            }
            return true;
        case CReaderStream::EResult::Malformed:
            ThrowDamaged();
        case CReaderStream::EResult::NeedMore:
            if (m_fd < 0 || !ReadMore())
                ThrowDamaged(); // the stream ended without its end record: a crash
            break;
        }
    }
}
