// The pace of a send run: the pauses between tries, the rate halved when the server is busy,
// and the turns on the run's clock.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>

#include "mail/SendPace.h"
#include "support/FakeRunClock.h"

namespace {

using namespace std::chrono_literals;

TEST(SendPaceTest, PausesDoubleUpToTheLongestUntilTheTriesAreUsedUp)
{
    // The defaults outlast a provider's limit per minute several times over.
    const CSendPace::SPatience defaults;
    std::chrono::milliseconds total {0};
    for (int nTries = 1; const auto pause = defaults.PauseAfter(nTries); ++nTries)
        total += *pause;
    EXPECT_GE(total, 5min);

    const CSendPace::SPatience patience {4, 100ms, 250ms};
    EXPECT_EQ(patience.PauseAfter(0), 0ms); // only cut off, never refused: at once
    EXPECT_EQ(patience.PauseAfter(1), 100ms);
    EXPECT_EQ(patience.PauseAfter(2), 200ms);
    EXPECT_EQ(patience.PauseAfter(3), 250ms);
    EXPECT_EQ(patience.PauseAfter(4), std::nullopt);
}

TEST(SendPaceTest, ARefusalHalvesTheRateOnceABusySpell)
{
    CFakeClock clock;
    const auto start = clock.m_now;
    CSendPace pace({}, 120, clock); // a turn every half second
    EXPECT_EQ(pace.TakeTurn(), start);
    EXPECT_EQ(pace.TakeTurn(), start + 500ms);

    // The second is refused: one a second from now on, the first of them a second away.
    clock.m_now = start + 600ms;
    pace.ServerBusy(start + 500ms, 15s);
    EXPECT_EQ(pace.State().nRatePerMinute, 60);
    EXPECT_EQ(pace.State().retryAt, clock.m_now + 15s);
    EXPECT_EQ(pace.State().retryWallTime, clock.WallNow() + 15);
    EXPECT_EQ(pace.TakeTurn(), start + 1600ms);

    // Refused again before the server took anything at the new rate: the same spell. Nor does
    // a message from before the slowdown end it.
    clock.m_now = start + 1700ms;
    pace.ServerBusy(start + 1600ms, 15s);
    pace.Accepted(start);
    EXPECT_EQ(pace.TakeTurn(), start + 2600ms);
    clock.m_now = start + 2700ms;
    pace.ServerBusy(start + 2600ms, 15s);
    EXPECT_EQ(pace.State().nRatePerMinute, 60);

    // Taken at the new rate, then refused: too fast still.
    pace.Accepted(start + 1600ms);
    pace.ServerBusy(start, 15s); // on its way before the slowdown: tells nothing
    EXPECT_EQ(pace.State().nRatePerMinute, 60);
    EXPECT_EQ(pace.TakeTurn(), start + 3600ms);
    clock.m_now = start + 3700ms;
    pace.ServerBusy(start + 3600ms, 15s);
    EXPECT_EQ(pace.State().nRatePerMinute, 30);
    EXPECT_EQ(pace.State().nRefusals, 5u);

    // A run held up goes on from now: turns missed are not made up for in a burst.
    clock.m_now = start + 60s;
    EXPECT_EQ(pace.TakeTurn(), start + 60s);
    EXPECT_EQ(pace.TakeTurn(), start + 62s);

    CSendPace slowest({}, 1, clock);
    slowest.ServerBusy(clock.m_now, 1s);
    EXPECT_EQ(slowest.State().nRatePerMinute, CSendPace::kSlowestPerMinute);
}

TEST(SendPaceTest, WithoutALimitTheRateKeptSoFarIsHalved)
{
    CFakeClock clock;
    CSendPace pace({}, 0, clock);
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(pace.TakeTurn(), std::nullopt);
    clock.m_now += 2s; // ten in two seconds: 300 a minute
    pace.ServerBusy(clock.m_now, 1s);
    EXPECT_EQ(pace.State().nRatePerMinute, 150);
    EXPECT_EQ(pace.TakeTurn(), clock.m_now + 400ms);
}

TEST(SendPaceTest, ACancelEndsTheWaitForAnotherTry)
{
    CSendPace pace({}, 0, CRunClock::System());
    std::atomic<bool> bAbandon {false};
    EXPECT_TRUE(pace.WaitToTryAgain(10ms, &bAbandon));
    bAbandon = true;
    EXPECT_FALSE(pace.WaitToTryAgain(10min, &bAbandon));
}

} // namespace
