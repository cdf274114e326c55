#include "engine/DistinctFaults.h"

#include <algorithm>

CDistinctFaults::CDistinctFaults(std::function<void(const std::string &)> show)
    : m_show(std::move(show))
{
    m_previous = SetFaultHook([this](const std::string &strText) { Report(strText); });
}

CDistinctFaults::~CDistinctFaults()
{
    SetFaultHook(std::move(m_previous));
}

std::vector<std::pair<std::string, long long>> CDistinctFaults::Counts() const
{
    std::lock_guard lock(m_lock);
    return m_faults;
}

void CDistinctFaults::Report(const std::string &strText)
{
    {
        std::lock_guard lock(m_lock);
        const auto found = std::find_if(m_faults.begin(), m_faults.end(),
            [&strText](const auto &fault) { return fault.first == strText; });
        if (found != m_faults.end()) {
            ++found->second;
            return;
        }
        m_faults.emplace_back(strText, 1);
    }
    // A message box runs an event loop, so the text is shown with no lock held.
    if (m_show)
        m_show(strText);
}
