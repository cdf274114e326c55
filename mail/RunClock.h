#pragma once

#include <chrono>
#include <ctime>

// The time as a run sees it, so that its waits (the rate limit) can be tested with a clock
// that only moves when asked.
class CRunClock
{
public:
    using Clock = std::chrono::steady_clock;

    virtual ~CRunClock() = default;
    virtual Clock::time_point Now() const = 0;
    // The calendar time, for telling the user when a run will end.
    virtual std::time_t WallNow() const = 0;
    virtual void Sleep(Clock::duration duration) = 0;

    // The machine's own clocks.
    static CRunClock &System();
};
