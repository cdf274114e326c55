#pragma once

#include "mail/RunClock.h"

// A run clock that moves only when the run sleeps, or when a test moves it.
class CFakeClock final : public CRunClock
{
public:
    Clock::time_point Now() const override { return m_now; }
    std::time_t WallNow() const override { return 1796731200; } // 2026-12-08 12:00 UTC
    void Sleep(Clock::duration duration) override
    {
        m_now += duration;
        m_slept += duration;
    }
    Clock::time_point m_now {};
    Clock::duration m_slept {};
};
