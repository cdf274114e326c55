#pragma once

#include "engine/ValueStatus.h"

#include <cstdint>
#include <utility>

// A date and time as OLE Automation counts it: days since 30 December 1899, the fraction
// being the time of day. For a negative value the integer part is the day and the fraction,
// taken as positive, the time of that day (-1.25 is 29 December 1899, 06:00).
struct CDateTime
{
    // 1 January 100 and 31 December 9999, the range the date conversions accept.
    static constexpr double kFirstDay = -657434.0;
    static constexpr double kLastDay = 2958465.0;
    static constexpr int64_t kSecondsPerDay = 86400;

    double m_dt = 0.0;
    EValueStatus m_status = EValueStatus::Valid;

    // The value as a point on a linear time line, rounded to the nearest second; 0 is
    // 30 December 1899 00:00. Values outside the accepted range (or not finite) are clamped.
    static int64_t ToSeconds(double dt);
    // A second of the time line as its calendar day (0 is 30 December 1899) and the second of
    // that day (0 to 86399).
    static std::pair<int64_t, int64_t> DayAndTime(int64_t nSeconds);
    // The inverse of ToSeconds: the OLE day count of a second on the time line.
    static double FromSeconds(int64_t nSeconds);
    static bool IsInRange(double dt);
};
