#pragma once

#include <atomic>
#include <string>

#include "engine/Progress.h"

// Progress on standard error: a bar that redraws itself on a terminal, otherwise one line per
// status text. Cancel is an interrupt (Ctrl+C) raised through the flag.
class CConsoleProgress final : public CProgress
{
public:
    explicit CConsoleProgress(const std::atomic<bool> &bInterrupted);

    void Create() override { }
    void SetCaption(const std::string &) override { }
    void SetStatusText(const std::string &strText) override;
    void SetBarRange(int nLow, int nHigh) override;
    int SetBarPos(int nPos) override;
    int SetBarStep(int nStep) override;
    int StepBar() override;
    bool CheckCancel() override;
    void DestroyWindow() override;

private:
    void Draw();

    const std::atomic<bool> &m_bInterrupted;
    bool m_bCancelReported = false;
    bool m_bTerminal = false;
    std::string m_strStatus;
    int m_nLow = 0;
    int m_nHigh = 100;
    int m_nPos = 0;
    int m_nStep = 10;
    int m_nShownPercent = -1;
};
