#include "engine/ProgressSteps.h"

#include <algorithm>
#include <cstdint>

#include "engine/Progress.h"

CProgressSteps::CProgressSteps(CProgress &progress, int nRange, size_t nItems)
    : m_progress(progress), m_nRange(std::max(nRange, 0)), m_nItems(nItems)
{
    if (m_nItems > 0)
        m_progress.SetBarStep(m_nRange / static_cast<int>(std::min<size_t>(m_nItems, INT32_MAX)));
}

void CProgressSteps::Advance()
{
    ++m_nDone;
    if (m_nItems <= static_cast<size_t>(m_nRange)) {
        m_progress.StepBar();
        return;
    }
    const int nPos = static_cast<int>(
        static_cast<unsigned long long>(m_nRange) * std::min(m_nDone, m_nItems) / m_nItems);
    if (nPos != m_nShown) {
        m_nShown = nPos;
        m_progress.SetBarPos(nPos);
    }
}
