#include "engine/DateTime.h"

#include <cmath>

int64_t CDateTime::ToSeconds(double dt)
{
    if (!std::isfinite(dt))
        dt = 0.0;
    // One day of slack on each side keeps the clamp from moving in-range values.
    if (dt < kFirstDay - 1.0)
        dt = kFirstDay - 1.0;
    if (dt > kLastDay + 1.0)
        dt = kLastDay + 1.0;
    const double day = std::trunc(dt);
    const double fraction = std::fabs(dt - day);
    // A fraction that rounds up to a whole day lands on the next calendar day, which on the
    // linear line is simply the next multiple of a day, whatever the sign of the day.
    return static_cast<int64_t>(day) * kSecondsPerDay
        + static_cast<int64_t>(std::llround(fraction * kSecondsPerDay));
}

std::pair<int64_t, int64_t> CDateTime::DayAndTime(int64_t nSeconds)
{
    int64_t nDay = nSeconds / kSecondsPerDay;
    int64_t nTime = nSeconds % kSecondsPerDay;
    if (nTime < 0) {
        nTime += kSecondsPerDay;
        --nDay;
    }
    return {nDay, nTime};
}

double CDateTime::FromSeconds(int64_t nSeconds)
{
    const auto [nDay, nTime] = DayAndTime(nSeconds);
    const double fraction = static_cast<double>(nTime) / kSecondsPerDay;
    return nDay >= 0 ? static_cast<double>(nDay) + fraction : static_cast<double>(nDay) - fraction;
}

bool CDateTime::IsInRange(double dt)
{
    if (!std::isfinite(dt))
        return false;
    const int64_t nSeconds = ToSeconds(dt);
    return nSeconds >= static_cast<int64_t>(kFirstDay) * kSecondsPerDay
        && nSeconds < (static_cast<int64_t>(kLastDay) + 1) * kSecondsPerDay;
}
