#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "mail/DeliveryEvent.h"
#include "mail/MessageData.h"
#include "mail/SendPace.h"
#include "mail/SmtpAccount.h"

class CTlsContext;

// Delivers the messages of one run over a few long-lived SMTP connections, each on a thread of
// its own. The first connection proves the server and the login before any other opens, so a
// wrong password or certificate stops the run once instead of failing every recipient. A
// temporary refusal (4xx) slows the run's pace and is tried again later, at its turn; after the
// last try, and after a permanent refusal (5xx), the recipient is reported as failed.
class CSessionDeliveries final
{
public:
    using Clock = std::chrono::steady_clock;

    struct SSettings
    {
        size_t nConnections = 4;
        std::chrono::milliseconds replyTimeout {5000};
        std::chrono::milliseconds connectTimeout {20000};
        std::chrono::milliseconds dataReplyTimeout {std::chrono::minutes(10)};
        size_t nQueueLimit = 16; // messages made but not yet taken by a connection
    };

    struct SMessage
    {
        std::string strTo; // the record's To text, as reported when it fails
        std::string strIdentity; // the recipient's identity in the send journal
        std::string strEnvelopeFrom; // bare addresses
        std::string strEnvelopeTo;
        SMessageData data; // headers, body and end-of-data line
        std::vector<std::string> copies = {}; // bare Cc and Bcc addresses
    };
    // Told, on a connection's thread, of each copy the server refused in a message it took.
    using CopySink = std::function<void(
        const SMessage &message, const std::string &strCopy, const std::string &strReply)>;

    // Called, mostly on a connection's thread, for each step of each message: when its data is
    // about to go out, when it is deferred, and how it ended (failures in the order they fail),
    // with the server's last reply. False for Sending keeps the message from going out.
    using EventSink = std::function<bool(
        const SMessage &message, EDelivery eWhat, const std::string &strReply)>;

    // The pace, which says how often and when a refused message goes again, must outlive this.
    CSessionDeliveries(
        SSmtpAccount account, SSettings settings, CSendPace &pace, EventSink onEvent);
    ~CSessionDeliveries(); // abandons what is left and joins every thread
    CSessionDeliveries(const CSessionDeliveries &) = delete;
    CSessionDeliveries &operator=(const CSessionDeliveries &) = delete;

    // Set before the first message is queued.
    void SetCopySink(CopySink onCopyRefused) { m_onCopyRefused = std::move(onCopyRefused); }

    // Queues a message (moved from only when taken); false when the queue is full or the run
    // has been stopped.
    bool TryQueue(SMessage &message);
    // Waits up to the time given for room in the queue (or for the run to stop).
    void WaitForRoom(Clock::duration timeout);
    // No more messages will come; waits up to the time given for every one queued to be
    // delivered or failed. True when all are.
    bool WaitUntilDone(Clock::duration timeout);
    // Cancel: messages not yet taken are dropped, those waiting for another try are reported
    // as failed; what is being sent finishes.
    void Abandon();

    // Set when the server could not be used at all (unreachable, certificate, login, no
    // STARTTLS): the message for the user. Nothing more is sent once it is set.
    std::optional<std::string> StopReason() const;
    size_t Delivered() const;
    // Messages a connection is handing over or waiting for the server's word on.
    size_t InFlight() const;
    // How many connections were opened, and the most that were open at once.
    size_t ConnectionsOpened() const;
    size_t PeakConnections() const;

private:
    struct SPending
    {
        SMessage message;
        int nTries = 0;
        Clock::time_point due;
        CSendPace::Clock::time_point turn; // when it last took its turn
        bool bAgain = false; // waits for another try: it takes a turn of its own
    };
    enum class ELogin { Unproved, Proved, Failed };

    void ConnectionThread(size_t nIndex);
    // The next message due, or nothing when the thread should end. Blocks until one is due.
    std::optional<SPending> Take();
    // A refusal for now (bBusy) also slows the pace; a lost connection does not.
    void TryAgainLater(SPending pending, const std::string &strReply, bool bCountTry, bool bBusy);
    bool Report(const SPending &pending, EDelivery eWhat, const std::string &strReply);
    void Stop(const std::string &strReason);

    SSmtpAccount m_account;
    SSettings m_settings;
    CSendPace &m_pace;
    std::atomic<bool> m_bAbandoned {false}; // ends the waits for the server's word at once
    EventSink m_onEvent;
    CopySink m_onCopyRefused;
    std::shared_ptr<const CTlsContext> m_pTls;

    mutable std::mutex m_lock;
    std::condition_variable m_changed;
    std::deque<SPending> m_queue;
    std::vector<SPending> m_retries;
    size_t m_nBusy = 0; // messages taken and not yet settled
    bool m_bInputEnded = false;
    bool m_bStopped = false;
    ELogin m_eLogin = ELogin::Unproved;
    std::optional<std::string> m_strStopReason;
    size_t m_nDelivered = 0;
    size_t m_nOpened = 0;
    size_t m_nOpen = 0;
    size_t m_nPeakOpen = 0;

    std::vector<std::thread> m_threads;
};
