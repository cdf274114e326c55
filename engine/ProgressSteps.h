#pragma once

#include <cstddef>

class CProgress;

// Moves a progress bar of a given range across a count of items, one item at a time. While
// the range holds more positions than there are items, each item is one step of range / count;
// beyond, where that step would be zero and the bar would stand still, the bar is placed by the
// share of items done, and moved only when that changes.
class CProgressSteps final
{
public:
    // Sets the step of the bar.
    CProgressSteps(CProgress &progress, int nRange, size_t nItems);
    // One more item done.
    void Advance();

private:
    CProgress &m_progress;
    int m_nRange;
    size_t m_nItems;
    size_t m_nDone = 0;
    int m_nShown = 0;
};
