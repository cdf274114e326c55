#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <vector>

struct sqlite3;
class CSqliteStatement;

// A merge's record of its sends, kept in SQLite (WAL) beside the merge file: a row for each run
// (start, end, server, selection, template digest) and one for each recipient of a run, with
// its state, the server's last reply and the time. A recipient is marked sent only once the
// server has accepted the end of its data, and every change is committed at once, so a run
// killed at any moment loses at most the message in flight, which then reads as in doubt.
// Safe to use from several threads.
class CSendJournal final
{
public:
    enum class EState { Queued, Sending, Sent, Failed, Skipped, InDoubt };

    struct SRecipient
    {
        std::string strIdentity;
        std::string strAddress;
        EState eState = EState::Queued;
        std::string strReply;
        std::string strTime;
    };

    struct SRunInfo
    {
        std::string strServer;
        std::string strSelection; // how the recipients were chosen, for people reading it
        std::string strTemplateDigest;
        std::optional<int64_t> resumes; // the run this one continues
    };

    // The last run as a resume question needs it.
    struct SLastRun
    {
        int64_t nRun = 0;
        bool bFinished = false; // it went through its whole list
        size_t nTotal = 0;
        size_t nDone = 0; // sent in it, or in the runs it continued
        size_t nFailed = 0; // refused by the server
        std::string strTemplateDigest; // of the message it sent
        std::string strEnded; // UTC, "2026-12-08T14:02:11Z"; empty while it runs
        std::vector<SRecipient> inDoubt; // handed to the server, acceptance never recorded
        bool IsComplete() const { return bFinished && nDone == nTotal; }
    };

    CSendJournal();
    ~CSendJournal();
    CSendJournal(const CSendJournal &) = delete;
    CSendJournal &operator=(const CSendJournal &) = delete;

    // Opens the journal, creating it when there is none. Empty on success, else the message for
    // the user; IsDamaged() then tells a damaged file from one that cannot be opened at all.
    std::string Open(const std::string &strPath);
    bool IsDamaged() const { return m_bDamaged; }
    // Keeps a damaged journal as "….damaged" and opens a fresh one in its place.
    std::string StartFresh();
    const std::string &Path() const { return m_strPath; }

    // Notes the merge file the journal belongs to (its device and inode), so that the journal
    // is found again after the file is renamed. Failing to note it changes nothing else.
    void RecordMergeFile(const std::string &strMergePath);
    // Whether the journal at the path noted that merge file. The file is only read.
    static bool RecordsMergeFile(const std::string &strPath, uint64_t nDevice, uint64_t nInode);

    std::optional<SLastRun> LastRun();
    // The recipients that run, or the runs it continued, delivered.
    std::set<std::string> DoneIdentities(int64_t nRun);
    // How many of those went to each address (by ResumeAddressKey).
    std::map<std::string, size_t> DoneAddresses(int64_t nRun);

    // Starts a run with its recipients (identity, address), all queued but those in alreadyDone,
    // which are carried over as skipped, and those left out, which stay in doubt. Empty on
    // success, else what failed.
    std::string BeginRun(const SRunInfo &info,
        const std::vector<std::pair<std::string, std::string>> &recipients,
        const std::set<std::string> &alreadyDone, const std::set<std::string> &leftOut = {});
    // The same with the identities and addresses side by side (as many of each), which a large
    // run then need not copy; the identities must stay valid until EndRun.
    std::string BeginRun(const SRunInfo &info, const std::vector<std::string> &identities,
        const std::vector<std::string> &addresses, const std::set<std::string> &alreadyDone,
        const std::set<std::string> &leftOut);
    // Records a recipient's new state in the current run, committed before it returns.
    void SetState(const std::string &strIdentity, EState eState, const std::string &strReply = {});
    // The same without waiting: the journal's own thread commits what has come in, many changes
    // at a time. Returns a ticket for WaitCommitted (0 when no run is recording).
    uint64_t Post(const std::string &strIdentity, EState eState, const std::string &strReply = {});
    // False when the journal failed to record anything so far: what waits must not go ahead.
    bool WaitCommitted(uint64_t nTicket);
    void EndRun(bool bFinished);

    // The first error met while recording, for a message at the end of the run.
    std::string RecordingError() const;
    bool HasRecordingError() const { return m_bRecordingError; }

    static const char *StateName(EState eState);

private:
    // The time a change is recorded with, in UTC.
    static std::string Now();

    std::string Execute(const char *pSql);
    // Whether the open file is a journal of ours, or empty; reads only.
    std::string Recognise(bool &bEmpty);
    std::string CheckTables();
    struct SChange
    {
        std::string strIdentity;
        EState eState;
        std::string strReply;
        uint64_t nTicket;
    };

    void Close();
    void NoteError(const std::string &strWhat);
    void WriterThread();
    // Commits the changes posted so far; called with the queue locked, it unlocks it meanwhile.
    void WriteQueued(std::unique_lock<std::mutex> &lock);
    void WriteBatch(const std::vector<SChange> &batch);
    // Writes what was posted and ends the writer.
    void StopWriter();

    sqlite3 *m_pDb = nullptr;
    std::string m_strPath;
    bool m_bDamaged = false;
    int64_t m_nRun = 0;
    // Identity to row, in the current run. The identities are those BeginRun was given, which
    // stay valid until EndRun; a run of 100,000 recipients then holds no second copy of them.
    std::unordered_map<std::string_view, int64_t> m_sequence;
    std::vector<std::string> m_ownIdentities; // for BeginRun with pairs, which builds them
    std::unique_ptr<CSqliteStatement> m_pUpdate;
    mutable std::mutex m_lock; // the database
    std::string m_strRecordingError;
    std::atomic<bool> m_bRecordingError {false};

    std::mutex m_queueLock; // the changes posted, and how far they are committed
    std::condition_variable m_queued;
    std::condition_variable m_committed;
    std::vector<SChange> m_queue;
    uint64_t m_nPosted = 0;
    uint64_t m_nCommitted = 0;
    bool m_bWriting = false; // a thread is committing changes taken from the queue
    bool m_bStopWriter = false;
    bool m_bWriterRunning = false;
    std::thread m_writer; // touched only by the thread that begins and ends runs
};
