#include "mail/SessionDeliveries.h"

#include <algorithm>
#include <system_error>
#include <utility>

#include "mail/SmtpSession.h"
#include "mail/TlsContext.h"

CSessionDeliveries::CSessionDeliveries(
    SSmtpAccount account, SSettings settings, CSendPace &pace, EventSink onEvent)
    : m_account(std::move(account))
    , m_settings(settings)
    , m_pace(pace)
    , m_onEvent(std::move(onEvent))
    , m_pTls(m_account.eSecurity == ESmtpSecurity::None
              ? nullptr
              : std::make_shared<const CTlsContext>(m_account.strExtraCaFile))
{
    const size_t nConnections = std::max<size_t>(m_settings.nConnections, 1);
    for (size_t i = 0; i < nConnections; ++i) {
        try {
            m_threads.emplace_back([this, i] { ConnectionThread(i); });
        } catch (const std::system_error &) {
            break; // fewer connections, as many as the system allows
        }
    }
    if (m_threads.empty())
        Stop("No thread could be started to send the messages.");
}

CSessionDeliveries::~CSessionDeliveries()
{
    Abandon();
    for (std::thread &thread : m_threads)
        thread.join();
}

bool CSessionDeliveries::TryQueue(SMessage &message)
{
    std::lock_guard lock(m_lock);
    if (m_bStopped || m_queue.size() >= std::max<size_t>(m_settings.nQueueLimit, 1))
        return false;
    m_queue.push_back({std::move(message), 0, Clock::now(), m_pace.Now()});
    m_changed.notify_all();
    return true;
}

void CSessionDeliveries::WaitForRoom(Clock::duration timeout)
{
    std::unique_lock lock(m_lock);
    m_changed.wait_for(lock, timeout, [this] {
        return m_bStopped || m_queue.size() < std::max<size_t>(m_settings.nQueueLimit, 1);
    });
}

bool CSessionDeliveries::WaitUntilDone(Clock::duration timeout)
{
    std::unique_lock lock(m_lock);
    if (!m_bInputEnded) {
        m_bInputEnded = true;
        m_changed.notify_all();
    }
    return m_changed.wait_for(lock, timeout,
        [this] { return m_nBusy == 0 && m_retries.empty() && (m_queue.empty() || m_bStopped); });
}

void CSessionDeliveries::Abandon()
{
    m_bAbandoned = true;
    std::vector<SPending> retries;
    {
        std::lock_guard lock(m_lock);
        m_bStopped = true;
        m_bInputEnded = true;
        m_queue.clear();
        retries.swap(m_retries);
        m_changed.notify_all();
    }
    for (const SPending &pending : retries)
        Report(pending, EDelivery::Failed, kCancelledRetry);
}

std::optional<std::string> CSessionDeliveries::StopReason() const
{
    std::lock_guard lock(m_lock);
    return m_strStopReason;
}

size_t CSessionDeliveries::InFlight() const
{
    std::lock_guard lock(m_lock);
    return m_nBusy;
}

size_t CSessionDeliveries::Delivered() const
{
    std::lock_guard lock(m_lock);
    return m_nDelivered;
}

size_t CSessionDeliveries::ConnectionsOpened() const
{
    std::lock_guard lock(m_lock);
    return m_nOpened;
}

size_t CSessionDeliveries::PeakConnections() const
{
    std::lock_guard lock(m_lock);
    return m_nPeakOpen;
}

void CSessionDeliveries::Stop(const std::string &strReason)
{
    std::lock_guard lock(m_lock);
    if (!m_strStopReason)
        m_strStopReason = strReason;
    m_bStopped = true;
    m_eLogin = ELogin::Failed;
    m_queue.clear();
    m_retries.clear();
    m_changed.notify_all();
}

std::optional<CSessionDeliveries::SPending> CSessionDeliveries::Take()
{
    std::unique_lock lock(m_lock);
    for (;;) {
        if (m_bStopped)
            return std::nullopt;
        const Clock::time_point now = Clock::now();
        if (!m_queue.empty()) {
            SPending pending = std::move(m_queue.front());
            m_queue.pop_front();
            ++m_nBusy;
            m_changed.notify_all(); // room in the queue
            return pending;
        }
        const auto soonest = std::min_element(m_retries.begin(), m_retries.end(),
            [](const SPending &a, const SPending &b) { return a.due < b.due; });
        if (soonest != m_retries.end() && soonest->due <= now) {
            SPending pending = std::move(*soonest);
            m_retries.erase(soonest);
            ++m_nBusy;
            return pending;
        }
        if (m_bInputEnded && m_queue.empty() && m_retries.empty())
            return std::nullopt;
        if (soonest != m_retries.end()) {
            // A copy: the list may grow, and move its entries, while this thread waits.
            const Clock::time_point due = soonest->due;
            m_changed.wait_until(lock, due);
        } else
            m_changed.wait(lock);
    }
}

void CSessionDeliveries::TryAgainLater(
    SPending pending, const std::string &strReply, bool bCountTry, bool bBusy)
{
    if (bCountTry)
        ++pending.nTries;
    const std::optional<std::chrono::milliseconds> pause
        = m_pace.Patience().PauseAfter(pending.nTries);
    if (!pause) {
        Report(pending, EDelivery::Failed, strReply);
        std::lock_guard lock(m_lock);
        --m_nBusy;
        m_changed.notify_all();
        return;
    }
    if (bBusy)
        m_pace.ServerBusy(pending.turn, *pause);
    pending.due = Clock::now() + *pause;
    pending.bAgain = true;
    Report(pending, EDelivery::Deferred, strReply);
    std::lock_guard lock(m_lock);
    --m_nBusy;
    if (!m_bStopped)
        m_retries.push_back(std::move(pending));
    m_changed.notify_all();
}

bool CSessionDeliveries::Report(
    const SPending &pending, EDelivery eWhat, const std::string &strReply)
{
    return !m_onEvent || m_onEvent(pending.message, eWhat, strReply);
}

void CSessionDeliveries::ConnectionThread(size_t nIndex)
{
    if (nIndex > 0) {
        // The others wait until the first connection has logged in.
        std::unique_lock lock(m_lock);
        m_changed.wait(lock, [this] { return m_eLogin != ELogin::Unproved || m_bStopped; });
        if (m_eLogin != ELogin::Proved || m_bStopped)
            return;
    }
    CSmtpSession session(m_account, m_pTls);
    session.m_replyTimeout = m_settings.replyTimeout;
    session.m_connectTimeout = m_settings.connectTimeout;
    session.m_dataReplyTimeout = m_settings.dataReplyTimeout;
    session.m_pAbandon = &m_bAbandoned;
    bool bFreshConnection = false;
    const auto closed = [this] {
        std::lock_guard lock(m_lock);
        --m_nOpen;
    };
    while (std::optional<SPending> pending = Take()) {
        // Another try keeps the run's pace like a new message.
        if (pending->bAgain) {
            if (!m_pace.WaitForTurn(&m_bAbandoned)) {
                Report(*pending, EDelivery::Failed, kCancelledRetry);
                std::lock_guard lock(m_lock);
                --m_nBusy;
                m_changed.notify_all();
                continue;
            }
            pending->turn = m_pace.Now();
        }
        if (!session.IsOpen()) {
            std::string strMessage;
            const CSmtpSession::EOpen eOpen = session.Open(strMessage);
            bool bProved = false;
            {
                std::lock_guard lock(m_lock);
                bProved = m_eLogin == ELogin::Proved;
                if (eOpen == CSmtpSession::EOpen::Ready) {
                    ++m_nOpened;
                    m_nPeakOpen = std::max(m_nPeakOpen, ++m_nOpen);
                    if (!bProved) {
                        m_eLogin = ELogin::Proved;
                        m_changed.notify_all();
                    }
                }
            }
            if (eOpen != CSmtpSession::EOpen::Ready) {
                // Before the first login, or when trying again cannot help, the run stops with
                // one message; a connection lost later only delays this message.
                if (!bProved || eOpen == CSmtpSession::EOpen::Refused) {
                    Stop(strMessage);
                    std::lock_guard lock(m_lock);
                    --m_nBusy;
                    m_changed.notify_all();
                    break;
                }
                TryAgainLater(std::move(*pending), strMessage, true, false);
                continue;
            }
            bFreshConnection = true;
        }
        const CSmtpSession::SOutcome outcome = session.Send(
            pending->message.strEnvelopeFrom, pending->message.strEnvelopeTo, pending->message.data,
            [&] { return Report(*pending, EDelivery::Sending, {}); }, pending->message.copies);
        const bool bWasFresh = std::exchange(bFreshConnection, false);
        if (!session.IsOpen())
            closed();
        switch (outcome.eResult) {
        case CSmtpSession::EResult::Accepted: {
            m_pace.Accepted(pending->turn);
            if (m_onCopyRefused) {
                for (const auto &[strCopy, strReply] : outcome.refusedCopies)
                    m_onCopyRefused(pending->message, strCopy, strReply);
            }
            Report(*pending, EDelivery::Sent, outcome.strReply);
            std::lock_guard lock(m_lock);
            ++m_nDelivered;
            --m_nBusy;
            m_changed.notify_all();
            break;
        }
        case CSmtpSession::EResult::ConnectionLost:
            // A server may close a connection that waited: that costs no try, and the message
            // goes out again at once on a new one.
            TryAgainLater(std::move(*pending), outcome.strReply, bWasFresh, false);
            break;
        case CSmtpSession::EResult::TemporaryFailure:
            TryAgainLater(std::move(*pending), outcome.strReply, true, true);
            break;
        case CSmtpSession::EResult::PermanentFailure:
        case CSmtpSession::EResult::InDoubt: {
            Report(*pending,
                outcome.eResult == CSmtpSession::EResult::InDoubt ? EDelivery::InDoubt
                                                                  : EDelivery::Failed,
                outcome.strReply);
            std::lock_guard lock(m_lock);
            --m_nBusy;
            m_changed.notify_all();
            break;
        }
        }
    }
    if (session.IsOpen()) {
        session.Quit();
        closed();
    }
}
