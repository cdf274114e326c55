#include "mail/SendPace.h"

#include <algorithm>
#include <thread>

namespace {

using namespace std::chrono_literals;

// How often a delivery thread that waits looks whether the run was cancelled.
constexpr auto kWaitSlice = 50ms;

// Sleeps that long on the system's clock; false when abandoned meanwhile.
bool SleepUnlessAbandoned(
    std::chrono::steady_clock::duration wait, const std::atomic<bool> *pAbandon)
{
    const auto end = std::chrono::steady_clock::now() + wait;
    for (;;) {
        if (pAbandon && *pAbandon)
            return false;
        const auto now = std::chrono::steady_clock::now();
        if (now >= end)
            return true;
        std::this_thread::sleep_for(
            std::min<std::chrono::steady_clock::duration>(end - now, kWaitSlice));
    }
}

} // namespace

std::optional<std::chrono::milliseconds> CSendPace::SPatience::PauseAfter(int nTries) const
{
    if (nTries >= nMaxTries)
        return std::nullopt;
    if (nTries <= 0)
        return 0ms; // not refused, only cut off: it may go again at once
    std::chrono::milliseconds pause = firstPause;
    for (int i = 1; i < nTries && pause < longestPause; ++i)
        pause *= 2;
    return std::min(pause, longestPause);
}

CSendPace::CSendPace(SPatience patience, int nRatePerMinute, CRunClock &clock)
    : m_patience(patience), m_clock(clock), m_start(clock.Now()), m_next(m_start)
{
    m_state.nRatePerMinute = std::max(nRatePerMinute, 0);
}

CSendPace::SState CSendPace::State() const
{
    std::lock_guard lock(m_lock);
    return m_state;
}

CSendPace::Clock::duration CSendPace::Interval() const
{
    return std::chrono::duration_cast<Clock::duration>(std::chrono::minutes(1))
        / m_state.nRatePerMinute;
}

std::optional<CSendPace::Clock::time_point> CSendPace::TakeTurn()
{
    std::lock_guard lock(m_lock);
    ++m_nTurns;
    if (m_state.nRatePerMinute <= 0)
        return std::nullopt;
    // A turn missed is not made up for: a burst could break the very limit the rate keeps.
    const Clock::time_point turn = std::max(m_next, m_clock.Now());
    m_next = turn + Interval();
    return turn;
}

bool CSendPace::WaitForTurn(const std::atomic<bool> *pAbandon)
{
    const std::optional<Clock::time_point> turn = TakeTurn();
    return SleepUnlessAbandoned(turn ? *turn - Now() : Clock::duration::zero(), pAbandon);
}

bool CSendPace::WaitToTryAgain(std::chrono::milliseconds pause, const std::atomic<bool> *pAbandon)
{
    return SleepUnlessAbandoned(pause, pAbandon) && WaitForTurn(pAbandon);
}

void CSendPace::ServerBusy(Clock::time_point turn, std::chrono::milliseconds pause)
{
    std::lock_guard lock(m_lock);
    const Clock::time_point now = m_clock.Now();
    ++m_state.nRefusals;
    if (now + pause >= m_state.retryAt) {
        m_state.retryAt = now + pause;
        m_state.retryWallTime
            = m_clock.WallNow() + std::chrono::ceil<std::chrono::seconds>(pause).count();
    }
    if (turn < m_lastSlowdown || !m_bTakenSinceSlowdown)
        return;
    double rate = m_state.nRatePerMinute;
    if (rate <= 0) {
        // The rate kept so far: every turn taken since the run began, and at least the
        // message refused.
        const auto elapsed = std::max<Clock::duration>(now - m_start, 1ms);
        rate = static_cast<double>(std::max<size_t>(m_nTurns, 1)) * 60.0
            / std::chrono::duration<double>(elapsed).count();
    }
    m_state.nRatePerMinute = static_cast<int>(std::clamp(rate / 2, double(kSlowestPerMinute), 1e6));
    m_lastSlowdown = now;
    m_bTakenSinceSlowdown = false;
    m_next = std::max(m_next, now + Interval());
}

void CSendPace::Accepted(Clock::time_point turn)
{
    std::lock_guard lock(m_lock);
    if (turn >= m_lastSlowdown)
        m_bTakenSinceSlowdown = true;
}
