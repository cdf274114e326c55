#pragma once

#include <functional>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "engine/Fault.h"

// For as long as it lives, engine faults are shown once per distinct text, the first time each
// occurs, and counted: a fault in every record of a large table must not bring a message per
// record. The work still uses the substitute result every time.
class CDistinctFaults final
{
public:
    // Show is called for the first occurrence of each text (outside any lock).
    explicit CDistinctFaults(std::function<void(const std::string &)> show);
    ~CDistinctFaults();
    CDistinctFaults(const CDistinctFaults &) = delete;
    CDistinctFaults &operator=(const CDistinctFaults &) = delete;

    // Each distinct text with how often it occurred, in the order first reported.
    std::vector<std::pair<std::string, long long>> Counts() const;

private:
    void Report(const std::string &strText);

    std::function<void(const std::string &)> m_show;
    FaultHook m_previous;
    mutable std::mutex m_lock;
    std::vector<std::pair<std::string, long long>> m_faults;
};
