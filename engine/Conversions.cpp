#include "engine/Conversions.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <string_view>
#include <utility>

#include "engine/AsciiCase.h"
#include "engine/Fault.h"
#include "engine/LocaleText.h"

namespace {

bool IsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

size_t SkipSpace(std::string_view text, size_t pos = 0)
{
    while (pos < text.size() && IsSpace(text[pos]))
        ++pos;
    return pos;
}

size_t SkipDigits(std::string_view text, size_t pos)
{
    while (pos < text.size() && IsDigit(text[pos]))
        ++pos;
    return pos;
}

// The longest prefix of a text in decimal floating-point syntax, taken apart.
struct SNumberText
{
    bool bFound = false;
    bool bNegative = false;
    size_t nMantissaStart = 0; // first digit or point, after the sign
    size_t nEnd = 0; // just past the number
    std::string_view intDigits;
    std::string_view fracDigits;
    int64_t nExponent = 0;
};

SNumberText ScanNumber(std::string_view text)
{
    SNumberText number;
    size_t pos = SkipSpace(text);
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
        number.bNegative = text[pos] == '-';
        ++pos;
    }
    number.nMantissaStart = pos;
    size_t end = SkipDigits(text, pos);
    number.intDigits = text.substr(pos, end - pos);
    if (end < text.size() && text[end] == '.') {
        const size_t fracEnd = SkipDigits(text, end + 1);
        number.fracDigits = text.substr(end + 1, fracEnd - end - 1);
        end = fracEnd;
    }
    if (number.intDigits.empty() && number.fracDigits.empty())
        return SNumberText {};
    number.bFound = true;
    if (end < text.size() && (text[end] == 'e' || text[end] == 'E')) {
        size_t expPos = end + 1;
        bool bExpNegative = false;
        if (expPos < text.size() && (text[expPos] == '+' || text[expPos] == '-')) {
            bExpNegative = text[expPos] == '-';
            ++expPos;
        }
        const size_t expEnd = SkipDigits(text, expPos);
        if (expEnd > expPos) {
            for (size_t i = expPos; i < expEnd && number.nExponent < 1000000; ++i)
                number.nExponent = number.nExponent * 10 + (text[i] - '0');
            if (bExpNegative)
                number.nExponent = -number.nExponent;
            end = expEnd;
        }
    }
    number.nEnd = end;
    return number;
}

// Decimal magnitude of a number that does not fit a double: above zero it overflowed.
int64_t DecimalMagnitude(const SNumberText &number)
{
    const size_t firstNonZero = number.intDigits.find_first_not_of('0');
    if (firstNonZero != std::string_view::npos)
        return static_cast<int64_t>(number.intDigits.size() - firstNonZero) + number.nExponent;
    const size_t fracNonZero = number.fracDigits.find_first_not_of('0');
    if (fracNonZero == std::string_view::npos)
        return std::numeric_limits<int64_t>::min();
    return -static_cast<int64_t>(fracNonZero) + number.nExponent;
}

// The digit of a number at a decimal position: 0 is the ones, 1 the tens, -1 the tenths.
int DigitAt(const SNumberText &number, int64_t nPosition)
{
    // Position of the digit within intDigits followed by fracDigits.
    const int64_t nIndex
        = static_cast<int64_t>(number.intDigits.size()) - 1 - nPosition + number.nExponent;
    if (nIndex < 0)
        return 0;
    const auto nUnsigned = static_cast<size_t>(nIndex);
    if (nUnsigned < number.intDigits.size())
        return number.intDigits[nUnsigned] - '0';
    if (nUnsigned - number.intDigits.size() < number.fracDigits.size())
        return number.fracDigits[nUnsigned - number.intDigits.size()] - '0';
    return 0;
}

} // namespace

int32_t StringToBool(std::string text)
{
    UpperCaseAscii(text);
    if (text == "TRUE")
        return 1;
    if (text == "FALSE")
        return 0;
    ReportFault("Bad BOOL type in StringToBool");
    return 0;
}

int32_t StringToLong(std::string text)
{
    size_t pos = SkipSpace(text);
    bool bNegative = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
        bNegative = text[pos] == '-';
        ++pos;
    }
    uint32_t nValue = 0; // unsigned, so that overflow wraps as a 32-bit count does
    for (; pos < text.size() && IsDigit(text[pos]); ++pos)
        nValue = nValue * 10u + static_cast<uint32_t>(text[pos] - '0');
    return static_cast<int32_t>(bNegative ? 0u - nValue : nValue);
}

int16_t StringToShort(std::string text)
{
    return static_cast<int16_t>(StringToLong(std::move(text)));
}

double StringToDbl(std::string text)
{
    const SNumberText number = ScanNumber(text);
    if (!number.bFound)
        return 0.0;
    double value = 0.0;
    const char *pFirst = text.data() + number.nMantissaStart;
    const auto [pEnd, error]
        = std::from_chars(pFirst, text.data() + number.nEnd, value, std::chars_format::general);
    if (error == std::errc::result_out_of_range)
        value = DecimalMagnitude(number) > 0 ? std::numeric_limits<double>::infinity() : 0.0;
    return number.bNegative ? -value : value;
}

float StringToFloat(std::string text)
{
    const double value = StringToDbl(std::move(text));
    // Converting a finite double beyond the float range is undefined, so clamp it first.
    constexpr double kMax = std::numeric_limits<float>::max();
    if (value > kMax)
        return std::numeric_limits<float>::infinity();
    if (value < -kMax)
        return -std::numeric_limits<float>::infinity();
    return static_cast<float>(value);
}

CCurrency StringToCurrency(std::string text)
{
    // Accept the locale's decimal mark where a point would stand, since currency texts are
    // shown with it.
    const std::string strMark = LocaleDecimalMark();
    if (strMark != ".") {
        size_t pos = SkipSpace(text);
        if (pos < text.size() && (text[pos] == '+' || text[pos] == '-'))
            ++pos;
        pos = SkipDigits(text, pos);
        if (text.compare(pos, strMark.size(), strMark) == 0)
            text = text.substr(0, pos) + "." + text.substr(pos + strMark.size());
    }

    const SNumberText number = ScanNumber(text);
    CCurrency currency;
    if (!number.bFound || DecimalMagnitude(number) == std::numeric_limits<int64_t>::min())
        return currency;

    // The largest count is 922337203685477.5807; anything of 16 or more integer digits is
    // beyond it and clamps.
    constexpr uint64_t kMaxMagnitude = static_cast<uint64_t>(std::numeric_limits<int64_t>::max());
    uint64_t nMagnitude = kMaxMagnitude;
    if (DecimalMagnitude(number) <= 15) {
        nMagnitude = 0;
        for (int64_t nPosition = 14; nPosition >= -4; --nPosition)
            nMagnitude = nMagnitude * 10 + static_cast<uint64_t>(DigitAt(number, nPosition));
        nMagnitude = std::min(nMagnitude, kMaxMagnitude);
    }
    currency.m_nCount
        = number.bNegative ? -static_cast<int64_t>(nMagnitude) : static_cast<int64_t>(nMagnitude);
    return currency;
}

CDateTime StringToDate(std::string text)
{
    return TextToDate(text);
}

std::string StringToString(std::string text)
{
    return text;
}
