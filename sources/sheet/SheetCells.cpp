#include "sources/sheet/SheetCells.h"

#include <cmath>

#include "engine/DateTime.h"

uint32_t CTextPool::Add(std::string_view text)
{
    // The callers keep the total below SheetLimits::kMaxTextBytes, far below 4 GB.
    m_strText.append(text);
    m_ends.push_back(static_cast<uint32_t>(m_strText.size()));
    return static_cast<uint32_t>(m_ends.size() - 1);
}

std::string_view CTextPool::At(uint32_t nIndex) const
{
    const uint32_t nBegin = nIndex == 0 ? 0 : m_ends.at(nIndex - 1);
    return std::string_view(m_strText).substr(nBegin, m_ends.at(nIndex) - nBegin);
}

void CTextPool::ShrinkToFit()
{
    m_strText.shrink_to_fit();
    m_ends.shrink_to_fit();
}

std::string ColumnLetters(uint32_t nColumn)
{
    std::string strLetters;
    for (uint64_t n = uint64_t(nColumn) + 1; n > 0; n = (n - 1) / 26)
        strLetters.insert(strLetters.begin(), static_cast<char>('A' + (n - 1) % 26));
    return strLetters;
}

double OleDateOfDays(double dDays)
{
    const auto nSeconds
        = static_cast<int64_t>(std::llround(dDays * double(CDateTime::kSecondsPerDay)));
    return CDateTime::FromSeconds(nSeconds);
}
