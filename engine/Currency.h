#pragma once

#include "engine/ValueStatus.h"

#include <cstdint>

// A currency amount: a signed count of 1/10000 units, as Access stores it.
struct CCurrency
{
    static constexpr int64_t kScale = 10000;

    int64_t m_nCount = 0;
    EValueStatus m_status = EValueStatus::Valid;
};
