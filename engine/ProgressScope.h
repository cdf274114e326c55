#pragma once

#include <memory>
#include <utility>

#include "engine/Progress.h"

// Closes the progress window when the operation ends, also when it ends by an exception.
class CProgressScope final
{
public:
    explicit CProgressScope(std::unique_ptr<CProgress> pProgress)
        : m_pProgress(std::move(pProgress))
    {
        m_pProgress->Create();
        m_pProgress->SetBarRange(0, 100);
        m_pProgress->SetBarPos(0);
    }
    ~CProgressScope() { m_pProgress->DestroyWindow(); }
    CProgressScope(const CProgressScope &) = delete;
    CProgressScope &operator=(const CProgressScope &) = delete;
    CProgress *operator->() const { return m_pProgress.get(); }

private:
    std::unique_ptr<CProgress> m_pProgress;
};
