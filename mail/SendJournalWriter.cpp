// The journal's writer: the delivery threads post each recipient's new state, and whoever waits
// for a change commits whatever has come in, many changes a transaction. The journal's own thread
// commits what is posted and not waited for.
#include "mail/SendJournal.h"

#include <sqlite3.h>

#include "engine/PrintableText.h"
#include "mail/SqliteStatement.h"

namespace {

// How long a change nobody waits for may stay uncommitted, and how many may gather meanwhile.
constexpr auto kHoldFor = std::chrono::milliseconds(200);
constexpr size_t kHoldAtMost = 256;

} // namespace

uint64_t CSendJournal::Post(
    const std::string &strIdentity, EState eState, const std::string &strReply)
{
    std::lock_guard lock(m_queueLock);
    if (!m_bWriterRunning)
        return 0;
    m_queue.push_back({strIdentity, eState, strReply, ++m_nPosted});
    if (m_queue.size() == kHoldAtMost)
        m_queued.notify_all();
    return m_nPosted;
}

bool CSendJournal::WaitCommitted(uint64_t nTicket)
{
    std::unique_lock lock(m_queueLock);
    while (m_nCommitted < nTicket && m_bWriterRunning) {
        // Whoever waits commits what has come in itself, without waking the writer and waiting
        // to be woken in turn: a message then waits for its own commit and no more.
        if (!m_bWriting && !m_queue.empty())
            WriteQueued(lock);
        else
            m_committed.wait(lock);
    }
    return !m_bRecordingError;
}

void CSendJournal::SetState(
    const std::string &strIdentity, EState eState, const std::string &strReply)
{
    WaitCommitted(Post(strIdentity, eState, strReply));
}

void CSendJournal::WriteQueued(std::unique_lock<std::mutex> &lock)
{
    std::vector<SChange> batch;
    batch.swap(m_queue);
    m_bWriting = true;
    lock.unlock();
    WriteBatch(batch);
    lock.lock();
    m_nCommitted = batch.back().nTicket;
    m_bWriting = false;
    m_committed.notify_all();
}

void CSendJournal::WriterThread()
{
    // Wakes only now and then, or for a full queue: a change that is waited for is committed
    // by the thread that waits, and waking for each would cost two more thread switches.
    std::unique_lock lock(m_queueLock);
    for (;;) {
        m_queued.wait_for(
            lock, kHoldFor, [this] { return m_bStopWriter || m_queue.size() >= kHoldAtMost; });
        if (m_bWriting)
            m_committed.wait(lock, [this] { return !m_bWriting; });
        else if (!m_queue.empty())
            WriteQueued(lock);
        else if (m_bStopWriter)
            return; // with everything committed
    }
}

void CSendJournal::WriteBatch(const std::vector<SChange> &batch)
{
    std::lock_guard lock(m_lock);
    if (!m_pDb || m_nRun == 0)
        return;
    if (!m_pUpdate)
        m_pUpdate = std::make_unique<CSqliteStatement>(m_pDb,
            "UPDATE recipients SET state = ?, reply = ?, time = ? WHERE run = ? AND seq = ?");
    const bool bTransaction = batch.size() > 1 && Execute("BEGIN").empty();
    const std::string strNow = Now();
    for (const SChange &change : batch) {
        const auto found = m_sequence.find(change.strIdentity);
        if (found == m_sequence.end())
            continue;
        CSqliteStatement &update = *m_pUpdate;
        update.Bind(1, std::string(StateName(change.eState))).Bind(2, change.strReply);
        update.Bind(3, strNow).Bind(4, m_nRun).Bind(5, found->second);
        if (update.Step() != SQLITE_DONE)
            NoteError(sqlite3_errmsg(m_pDb));
        update.Reset();
    }
    if (bTransaction) {
        if (std::string strError = Execute("COMMIT"); !strError.empty()) {
            NoteError(strError);
            Execute("ROLLBACK");
        }
    }
}

void CSendJournal::StopWriter()
{
    {
        std::lock_guard lock(m_queueLock);
        m_bStopWriter = true;
    }
    m_queued.notify_all();
    if (m_writer.joinable())
        m_writer.join();
    std::lock_guard lock(m_queueLock);
    m_bStopWriter = false;
    m_bWriterRunning = false;
    m_committed.notify_all(); // nobody waits for a writer that is gone
}

void CSendJournal::NoteError(const std::string &strWhat)
{
    m_bRecordingError = true;
    if (m_strRecordingError.empty())
        m_strRecordingError = "The send journal \"" + PrintableText(m_strPath)
            + "\" could not record every message: " + strWhat + ".";
}

std::string CSendJournal::RecordingError() const
{
    std::lock_guard lock(m_lock);
    return m_strRecordingError;
}
