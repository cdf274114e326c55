#pragma once

#include "engine/Currency.h"
#include "engine/DateTime.h"

#include <cstdint>
#include <string>

// Conversions of typed-in text to each kind of field value. Numbers never fail: text that is
// not a number gives 0. Numbers are read with a point as decimal mark whatever the locale, as
// the number texts of field values are written.

// TRUE or FALSE in any letter case gives 1 or 0; any other text is reported as a fault and
// gives 0.
int32_t StringToBool(std::string text);
// Optional white space, an optional sign and decimal digits; wraps around on overflow.
int32_t StringToLong(std::string text);
// StringToLong cut to its low 16 bits (70000 gives 4464).
int16_t StringToShort(std::string text);
// The longest prefix in decimal floating-point syntax after optional white space.
double StringToDbl(std::string text);
float StringToFloat(std::string text);
// The number truncated (not rounded) to 1/10000, read exactly from its digits so that
// 12.345 gives 12.345; the locale's decimal mark is accepted beside the point. Amounts beyond
// the currency range are clamped to it.
CCurrency StringToCurrency(std::string text);
// See TextToDate: 0 Invalid for text that is no date, -1 Invalid for one out of range.
CDateTime StringToDate(std::string text);
std::string StringToString(std::string text);
