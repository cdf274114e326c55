#include "mail/SendJournal.h"

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <system_error>

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include "engine/PrintableText.h"
#include "mail/MessageText.h"
#include "mail/ResumeMatch.h"
#include "mail/SqliteStatement.h"

namespace {

constexpr int kSchemaVersion = 1;

constexpr const char *kSchema = R"(
CREATE TABLE IF NOT EXISTS runs(
    id INTEGER PRIMARY KEY, started TEXT NOT NULL, ended TEXT, server TEXT, selection TEXT,
    template_digest TEXT, total INTEGER NOT NULL DEFAULT 0, finished INTEGER NOT NULL DEFAULT 0,
    resumes INTEGER);
CREATE TABLE IF NOT EXISTS recipients(
    run INTEGER NOT NULL, seq INTEGER NOT NULL, identity TEXT NOT NULL, address TEXT NOT NULL,
    state TEXT NOT NULL, reply TEXT NOT NULL DEFAULT '', time TEXT NOT NULL,
    PRIMARY KEY(run, seq)) WITHOUT ROWID;
PRAGMA user_version = 1;
)";

// The merge files (device and inode) that sent with this journal; added to journals of the
// first version when they are next used, which older programs do not mind.
constexpr const char *kMergeFiles = "CREATE TABLE IF NOT EXISTS merge_files(device INTEGER NOT "
                                    "NULL, inode INTEGER NOT NULL, PRIMARY KEY(device, inode)) "
                                    "WITHOUT ROWID";

} // namespace

const char *CSendJournal::StateName(EState eState)
{
    switch (eState) {
    case EState::Queued:
        return "queued";
    case EState::Sending:
        return "sending";
    case EState::Sent:
        return "sent";
    case EState::Failed:
        return "failed";
    case EState::Skipped:
        return "skipped";
    case EState::InDoubt:
        return "in doubt";
    }
    return "queued";
}

std::string CSendJournal::Now()
{
    return FormatTime(std::time(nullptr), "%Y-%m-%dT%H:%M:%SZ", ETimeZone::Utc);
}

CSendJournal::CSendJournal() = default;

CSendJournal::~CSendJournal()
{
    StopWriter();
    Close();
}

void CSendJournal::Close()
{
    m_pUpdate.reset();
    if (m_pDb) {
        sqlite3_close_v2(m_pDb);
        m_pDb = nullptr;
    }
}

std::string CSendJournal::Execute(const char *pSql)
{
    char *pError = nullptr;
    if (sqlite3_exec(m_pDb, pSql, nullptr, nullptr, &pError) == SQLITE_OK)
        return {};
    std::string strError = pError ? pError : sqlite3_errmsg(m_pDb);
    sqlite3_free(pError);
    return strError.empty() ? std::string("unknown error") : strError;
}

std::string CSendJournal::Recognise(bool &bEmpty)
{
    {
        CSqliteStatement check(m_pDb, "PRAGMA quick_check");
        if (!check.IsValid())
            return sqlite3_errmsg(m_pDb);
        if (check.Step() != SQLITE_ROW)
            return sqlite3_errmsg(m_pDb);
        if (const std::string strResult = check.Text(0); strResult != "ok")
            return strResult;
    }
    int64_t nTables = 0;
    int64_t nVersion = 0;
    {
        CSqliteStatement count(m_pDb, "SELECT COUNT(*) FROM sqlite_master");
        if (count.Step() != SQLITE_ROW)
            return sqlite3_errmsg(m_pDb);
        nTables = count.Integer(0);
        CSqliteStatement version(m_pDb, "PRAGMA user_version");
        if (version.Step() == SQLITE_ROW)
            nVersion = version.Integer(0);
    }
    bEmpty = nTables == 0;
    if (bEmpty)
        return {};
    if (nVersion != kSchemaVersion)
        return "it is not a send journal of this version of Mergix";
    return CheckTables();
}

std::string CSendJournal::CheckTables()
{
    CSqliteStatement runs(m_pDb,
        "SELECT id, started, ended, server, selection, template_digest, total, finished, "
        "resumes FROM runs LIMIT 0");
    CSqliteStatement recipients(
        m_pDb, "SELECT run, seq, identity, address, state, reply, time FROM recipients LIMIT 0");
    if (!runs.IsValid() || !recipients.IsValid())
        return "its tables are not those of a send journal";
    return {};
}

std::string CSendJournal::Open(const std::string &strPath)
{
    StopWriter();
    Close();
    m_strPath = strPath;
    m_bDamaged = false;
    m_nRun = 0;
    const std::string strShown = "The send journal \"" + PrintableText(strPath) + "\"";
    // The journal holds every recipient's address: only its owner may read it. A link could
    // lead the journal into any file of the user's, so none is followed.
    struct stat status
    { };
    if (::lstat(strPath.c_str(), &status) == 0) {
        if (S_ISLNK(status.st_mode) || !S_ISREG(status.st_mode))
            return strShown + (S_ISLNK(status.st_mode) ? " is a link" : " is not a regular file")
                + ", and a journal is only kept in a file of its own.";
    } else if (const int fd = ::open(
                   strPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
               fd >= 0) {
        ::close(fd);
    }
    if (sqlite3_open_v2(strPath.c_str(), &m_pDb,
            SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOFOLLOW | SQLITE_OPEN_FULLMUTEX, nullptr)
        != SQLITE_OK) {
        const std::string strError = m_pDb ? sqlite3_errmsg(m_pDb) : "out of memory";
        Close();
        return strShown + " cannot be opened: " + strError + ".";
    }
    sqlite3_busy_timeout(m_pDb, 2000);
    // Holding the file for the whole send keeps a second send of the same merge out. Nothing
    // in the file changes before it is known to be a journal, or empty.
    bool bEmpty = false;
    std::string strError = Execute("PRAGMA locking_mode=EXCLUSIVE;");
    if (strError.empty())
        strError = Recognise(bEmpty);
    // WAL with NORMAL syncing survives the program being killed at any moment; only a power
    // failure may lose the last changes. Each change writes one page to the log: small pages
    // (for a new journal) keep that cheap, and so does the exclusive lock. Checkpoints, which
    // sync and write back every page changed since the last, come every 16 MB of log.
    if (strError.empty())
        strError = Execute("PRAGMA page_size=1024; PRAGMA journal_mode=WAL; "
                           "PRAGMA synchronous=NORMAL; PRAGMA wal_autocheckpoint=16000;");
    if (strError.empty() && bEmpty) {
        strError = Execute(kSchema);
        if (strError.empty())
            strError = CheckTables();
    }
    if (strError.empty())
        return {};
    const int nCode = sqlite3_errcode(m_pDb);
    Close();
    if (nCode == SQLITE_BUSY || nCode == SQLITE_LOCKED)
        return strShown
            + " is in use by another send of this merge. Wait until that send has "
              "ended.";
    if (nCode == SQLITE_READONLY || nCode == SQLITE_CANTOPEN || nCode == SQLITE_PERM
        || nCode == SQLITE_IOERR || nCode == SQLITE_FULL)
        return strShown + " cannot be written: " + strError + ".";
    m_bDamaged = true;
    return strShown + " is damaged and cannot be read (" + PrintableText(strError) + ").";
}

std::string CSendJournal::StartFresh()
{
    StopWriter();
    Close();
    std::error_code error;
    std::string strAside = m_strPath + ".damaged";
    for (int i = 2; std::filesystem::exists(strAside, error); ++i)
        strAside = m_strPath + ".damaged-" + std::to_string(i);
    std::filesystem::rename(m_strPath, strAside, error);
    if (error)
        return "The damaged send journal \"" + PrintableText(m_strPath)
            + "\" cannot be moved aside: " + error.message() + ".";
    // A log of the damaged file must not be replayed into the new one.
    for (const char *pSuffix : {"-wal", "-shm"}) {
        std::filesystem::rename(m_strPath + pSuffix, strAside + pSuffix, error);
        std::filesystem::remove(m_strPath + pSuffix, error);
    }
    return Open(m_strPath);
}

void CSendJournal::RecordMergeFile(const std::string &strMergePath)
{
    struct stat status
    { };
    if (strMergePath.empty() || ::stat(strMergePath.c_str(), &status) != 0)
        return;
    std::lock_guard lock(m_lock);
    if (!m_pDb || !Execute(kMergeFiles).empty())
        return;
    CSqliteStatement insert(
        m_pDb, "INSERT OR IGNORE INTO merge_files(device, inode) VALUES (?, ?)");
    insert.Bind(1, static_cast<int64_t>(status.st_dev))
        .Bind(2, static_cast<int64_t>(status.st_ino));
    insert.Step();
}

bool CSendJournal::RecordsMergeFile(const std::string &strPath, uint64_t nDevice, uint64_t nInode)
{
    sqlite3 *pDb = nullptr;
    bool bRecords = false;
    if (sqlite3_open_v2(strPath.c_str(), &pDb, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_busy_timeout(pDb, 200);
        CSqliteStatement find(
            pDb, "SELECT 1 FROM merge_files WHERE device = ? AND inode = ? LIMIT 1");
        find.Bind(1, static_cast<int64_t>(nDevice)).Bind(2, static_cast<int64_t>(nInode));
        bRecords = find.IsValid() && find.Step() == SQLITE_ROW;
    }
    sqlite3_close_v2(pDb);
    return bRecords;
}

std::optional<CSendJournal::SLastRun> CSendJournal::LastRun()
{
    std::lock_guard lock(m_lock);
    if (!m_pDb)
        return std::nullopt;
    CSqliteStatement last(
        m_pDb, "SELECT id, finished, template_digest, ended FROM runs ORDER BY id DESC LIMIT 1");
    if (last.Step() != SQLITE_ROW)
        return std::nullopt;
    SLastRun run;
    run.nRun = last.Integer(0);
    run.bFinished = last.Integer(1) != 0;
    run.strTemplateDigest = last.Text(2);
    run.strEnded = last.Text(3);
    CSqliteStatement counts(m_pDb,
        "SELECT COUNT(*), COALESCE(SUM(state IN ('sent', 'skipped')), 0), "
        "COALESCE(SUM(state = 'failed'), 0) FROM recipients WHERE run = ?");
    counts.Bind(1, run.nRun);
    if (counts.Step() == SQLITE_ROW) {
        run.nTotal = static_cast<size_t>(counts.Integer(0));
        run.nDone = static_cast<size_t>(counts.Integer(1));
        run.nFailed = static_cast<size_t>(counts.Integer(2));
    }
    CSqliteStatement doubt(m_pDb,
        "SELECT identity, address, state, reply, time FROM recipients WHERE run = ? AND state "
        "IN ('sending', 'in doubt') ORDER BY time, address");
    doubt.Bind(1, run.nRun);
    while (doubt.Step() == SQLITE_ROW)
        run.inDoubt.push_back(
            {doubt.Text(0), doubt.Text(1), EState::InDoubt, doubt.Text(3), doubt.Text(4)});
    return run;
}

std::set<std::string> CSendJournal::DoneIdentities(int64_t nRun)
{
    std::lock_guard lock(m_lock);
    std::set<std::string> identities;
    if (!m_pDb)
        return identities;
    CSqliteStatement done(
        m_pDb, "SELECT identity FROM recipients WHERE run = ? AND state IN ('sent', 'skipped')");
    done.Bind(1, nRun);
    while (done.Step() == SQLITE_ROW)
        identities.insert(done.Text(0));
    return identities;
}

std::map<std::string, size_t> CSendJournal::DoneAddresses(int64_t nRun)
{
    std::lock_guard lock(m_lock);
    std::map<std::string, size_t> addresses;
    if (!m_pDb)
        return addresses;
    CSqliteStatement done(
        m_pDb, "SELECT address FROM recipients WHERE run = ? AND state IN ('sent', 'skipped')");
    done.Bind(1, nRun);
    while (done.Step() == SQLITE_ROW)
        ++addresses[ResumeAddressKey(done.Text(0))];
    return addresses;
}

std::string CSendJournal::BeginRun(const SRunInfo &info,
    const std::vector<std::pair<std::string, std::string>> &recipients,
    const std::set<std::string> &alreadyDone, const std::set<std::string> &leftOut)
{
    std::vector<std::string> identities;
    std::vector<std::string> addresses;
    for (const auto &[strIdentity, strAddress] : recipients) {
        identities.push_back(strIdentity);
        addresses.push_back(strAddress);
    }
    {
        std::lock_guard lock(m_lock);
        m_sequence.clear(); // before the identities it points into go
        m_ownIdentities = std::move(identities);
    }
    return BeginRun(info, m_ownIdentities, addresses, alreadyDone, leftOut);
}

std::string CSendJournal::BeginRun(const SRunInfo &info, const std::vector<std::string> &identities,
    const std::vector<std::string> &addresses, const std::set<std::string> &alreadyDone,
    const std::set<std::string> &leftOut)
{
    std::lock_guard lock(m_lock);
    if (!m_pDb)
        return "The send journal is not open.";
    if (std::string strError = Execute("BEGIN IMMEDIATE"); !strError.empty())
        return "The send journal cannot be written: " + strError + ".";
    // Only the last run is ever read again: what it carried over from those it continued is in
    // it. Older runs go, so that the journal, and the time it takes to open and check, stay the
    // size of two runs however often the merge is sent.
    bool bOk = Execute("DELETE FROM recipients WHERE run < (SELECT MAX(id) FROM runs); "
                       "DELETE FROM runs WHERE id < (SELECT MAX(id) FROM runs);")
                   .empty();
    const std::string strNow = Now();
    CSqliteStatement run(m_pDb,
        "INSERT INTO runs(started, server, selection, template_digest, total, resumes) "
        "VALUES (?, ?, ?, ?, ?, ?)");
    run.Bind(1, strNow).Bind(2, info.strServer).Bind(3, info.strSelection);
    run.Bind(4, info.strTemplateDigest).Bind(5, static_cast<int64_t>(identities.size()));
    if (info.resumes)
        run.Bind(6, *info.resumes);
    bOk = bOk && run.Step() == SQLITE_DONE;
    m_nRun = sqlite3_last_insert_rowid(m_pDb);
    CSqliteStatement insert(m_pDb,
        "INSERT INTO recipients(run, seq, identity, address, state, reply, time) "
        "VALUES (?, ?, ?, ?, ?, ?, ?)");
    m_sequence.clear();
    m_sequence.reserve(identities.size());
    for (size_t i = 0; i < identities.size() && i < addresses.size(); ++i) {
        const std::string &strIdentity = identities[i];
        const std::string &strAddress = addresses[i];
        if (!bOk)
            break;
        // The same record twice is one recipient.
        if (!m_sequence.emplace(strIdentity, int64_t(m_sequence.size())).second)
            continue;
        const bool bDone = alreadyDone.count(strIdentity) > 0;
        const bool bLeftOut = !bDone && leftOut.count(strIdentity) > 0;
        const EState eState = bDone ? EState::Skipped : bLeftOut ? EState::InDoubt : EState::Queued;
        insert.Bind(1, m_nRun).Bind(2, int64_t(m_sequence.size() - 1)).Bind(3, strIdentity);
        insert.Bind(4, strAddress).Bind(5, std::string(StateName(eState)));
        insert.Bind(6,
            std::string(bDone  ? "delivered in an earlier run"
                    : bLeftOut ? "left out: in doubt in an earlier run"
                               : ""));
        insert.Bind(7, strNow);
        bOk = insert.Step() == SQLITE_DONE;
        insert.Reset();
    }
    // A run that continues another also holds those the other reached or left in doubt and
    // this one does not send to (the windows continue with the remaining rows selected): the
    // next send must still know they have the message.
    if (bOk && info.resumes) {
        CSqliteStatement carry(m_pDb,
            "INSERT INTO recipients(run, seq, identity, address, state, reply, time) "
            "SELECT ?1, ?2 + ROW_NUMBER() OVER (ORDER BY seq) - 1, identity, address, "
            "CASE WHEN state IN ('sent', 'skipped') THEN 'skipped' ELSE 'in doubt' END, "
            "CASE WHEN state IN ('sent', 'skipped') THEN 'delivered in an earlier run' "
            "ELSE 'left out: in doubt in an earlier run' END, ?3 "
            "FROM recipients WHERE run = ?4 AND state IN ('sent', 'skipped', 'sending', 'in "
            "doubt') "
            "AND identity NOT IN (SELECT identity FROM recipients WHERE run = ?1) "
            "AND address NOT IN (SELECT address FROM recipients WHERE run = ?1)");
        carry.Bind(1, m_nRun).Bind(2, int64_t(m_sequence.size())).Bind(3, strNow);
        carry.Bind(4, *info.resumes);
        bOk = carry.Step() == SQLITE_DONE;
    }
    if (!bOk) {
        const std::string strError = sqlite3_errmsg(m_pDb);
        Execute("ROLLBACK");
        m_nRun = 0;
        return "The send journal cannot be written: " + strError + ".";
    }
    if (std::string strError = Execute("COMMIT"); !strError.empty()) {
        m_nRun = 0;
        return "The send journal cannot be written: " + strError + ".";
    }
    try {
        m_writer = std::thread([this] { WriterThread(); });
        std::lock_guard queueLock(m_queueLock);
        m_bWriterRunning = true;
    } catch (const std::system_error &) {
        m_nRun = 0;
        return "The send journal cannot be written: no thread could be started for it.";
    }
    return {};
}

void CSendJournal::EndRun(bool bFinished)
{
    StopWriter(); // writes everything posted first
    std::lock_guard lock(m_lock);
    m_sequence.clear(); // the identities it points into may go now
    m_ownIdentities.clear();
    if (!m_pDb || m_nRun == 0)
        return;
    CSqliteStatement end(m_pDb, "UPDATE runs SET ended = ?, finished = ? WHERE id = ?");
    end.Bind(1, Now()).Bind(2, int64_t(bFinished ? 1 : 0)).Bind(3, m_nRun);
    if (end.Step() != SQLITE_DONE)
        NoteError(sqlite3_errmsg(m_pDb));
    m_nRun = 0;
}
