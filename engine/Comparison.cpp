#include "engine/Comparison.h"

#include <utility>

#include "engine/AsciiCase.h"
#include "engine/Fault.h"

bool EvaluateComparison(
    CData value, std::string strComparison, std::string strCompareTo, bool bCaseSensitive)
{
    if (!bCaseSensitive) {
        UpperCaseAscii(strCompareTo);
        UpperCaseAscii(value.m_strValue);
    }
    if (strComparison == kComparisonNames[0])
        return value == std::move(strCompareTo);
    if (strComparison == kComparisonNames[1])
        return value != std::move(strCompareTo);
    if (strComparison == kComparisonNames[2])
        return value < std::move(strCompareTo);
    if (strComparison == kComparisonNames[3])
        return value > std::move(strCompareTo);
    if (strComparison == kComparisonNames[4])
        return value <= std::move(strCompareTo);
    if (strComparison == kComparisonNames[5])
        return value >= std::move(strCompareTo);
    if (strComparison == kComparisonNames[6])
        return value == std::string();
    if (strComparison == kComparisonNames[7])
        return value != std::string();
    ReportFault("Unknown comparison!");
    return false;
}
