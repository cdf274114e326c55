#pragma once

#include "engine/DateTime.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The locale-dependent texts of currency and date values, all in this one place. They follow
// the default QLocale: the user's system locale, unless a test pins another.

// The decimal mark of the locale, as UTF-8 bytes.
std::string LocaleDecimalMark();

// A currency count (1/10000 units) as a plain number: the locale's decimal mark, no grouping,
// no trailing zeros (12.5, 3.1415, -2.5, 0).
std::string CurrencyToText(int64_t nCount);

// The locale's short date with a four-digit year, followed by the time of day (with seconds)
// when it is not midnight. The value is rounded to the nearest second. Empty when the date
// lies outside the years 100 to 9999 or is not a number.
std::optional<std::string> DateToText(double dt);

// Parses what DateToText produces, ISO 8601 dates and date-times (2026-12-08,
// 2026-12-08 14:30[:00]) and a time alone (which lands on 30 December 1899).
// Text that is no date gives 0 with status Invalid; a date outside the years 100 to 9999
// gives -1 with status Invalid.
CDateTime TextToDate(std::string_view text);
