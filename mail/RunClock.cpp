#include "mail/RunClock.h"

#include <thread>

namespace {

class CSystemClock final : public CRunClock
{
public:
    Clock::time_point Now() const override { return Clock::now(); }
    std::time_t WallNow() const override { return std::time(nullptr); }
    void Sleep(Clock::duration duration) override { std::this_thread::sleep_for(duration); }
};

} // namespace

CRunClock &CRunClock::System()
{
    static CSystemClock s_clock;
    return s_clock;
}
