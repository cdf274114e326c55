#pragma once

#include <atomic>
#include <chrono>
#include <ctime>
#include <mutex>
#include <optional>

#include "mail/RunClock.h"

// The pace of a send run: the turns its messages take to keep the rate, and how the run gives
// way when the server says it is busy (a 4xx reply). Then the rate halves (without a limit of
// its own, the run halves the rate it has kept so far) and the message refused waits a pause
// that doubles with each try, then takes a turn like any other. Shared by the run's thread and
// the delivery threads; its times are the run clock's.
class CSendPace final
{
public:
    using Clock = CRunClock::Clock;

    struct SPatience
    {
        // A message refused for now is tried this often in all before it is reported.
        int nMaxTries = 6;
        // The pause after the first refusal; each later one is twice the one before, up to the
        // longest. The defaults outlast a provider's limit per minute by several minutes.
        std::chrono::milliseconds firstPause {std::chrono::seconds(15)};
        std::chrono::milliseconds longestPause {std::chrono::minutes(4)};

        // The pause before the next try of a message tried that often; nothing once its tries
        // are used up.
        std::optional<std::chrono::milliseconds> PauseAfter(int nTries) const;
    };

    // What the status line shows.
    struct SState
    {
        int nRatePerMinute = 0; // 0: no limit
        // Refusals so far, and when the last one refused is tried again.
        size_t nRefusals = 0;
        Clock::time_point retryAt;
        std::time_t retryWallTime = 0;
    };

    // A rate of 0 is none.
    CSendPace(SPatience patience, int nRatePerMinute, CRunClock &clock);

    const SPatience &Patience() const { return m_patience; }
    Clock::time_point Now() const { return m_clock.Now(); }
    SState State() const;

    // Takes the next turn: when the message may go, or nothing when it may go at once because
    // there is no rate to keep.
    std::optional<Clock::time_point> TakeTurn();
    // Takes a turn and waits for it on the delivery thread; false when the wait was abandoned.
    bool WaitForTurn(const std::atomic<bool> *pAbandon);
    // Sleeps the pause (on the delivery thread) then waits for a turn; false when abandoned.
    bool WaitToTryAgain(std::chrono::milliseconds pause, const std::atomic<bool> *pAbandon);

    // The server refused a message for now that took its turn then; it goes again after the
    // pause. The first refusal of a busy spell halves the rate. The spell lasts until the
    // server takes a message sent at the new rate: a limit per hour or per minute refuses
    // everything until its window has passed, whatever the rate, and halving for each of those
    // refusals would slow the run far below the limit. Messages on their way before the last
    // slowdown tell nothing of the new rate either way.
    void ServerBusy(Clock::time_point turn, std::chrono::milliseconds pause);
    // The server took a message that took its turn then.
    void Accepted(Clock::time_point turn);

    static constexpr int kSlowestPerMinute = 1;

private:
    Clock::duration Interval() const; // under the lock, with a rate

    const SPatience m_patience;
    CRunClock &m_clock;
    const Clock::time_point m_start;

    mutable std::mutex m_lock;
    SState m_state;
    Clock::time_point m_next; // the next turn, while there is a rate
    Clock::time_point m_lastSlowdown = Clock::time_point::min();
    bool m_bTakenSinceSlowdown = true; // false while a busy spell lasts
    size_t m_nTurns = 0;
};
