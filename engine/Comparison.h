#pragma once

#include "engine/Data.h"

#include <array>
#include <string>
#include <string_view>

// The comparison names in the order every list offers them. Conditions store and evaluate
// the name, never the position.
inline constexpr std::array<std::string_view, 8> kComparisonNames = {
    "Equals",
    "Not equal to",
    "Less than",
    "Greater than",
    "Less than or equal",
    "Greater than or equal",
    "Is blank",
    "Is not blank",
};

// Decides one condition: does the value stand in the named relation to the compare-to text?
// Without case sensitivity the ASCII letters of both the compare-to text and the value's text
// are upper-cased first. "Is blank" and "Is not blank" ignore the compare-to text. An unknown
// name (names match exactly) is reported as a fault and gives false.
bool EvaluateComparison(
    CData value, std::string strComparison, std::string strCompareTo, bool bCaseSensitive);
