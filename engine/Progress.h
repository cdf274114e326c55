#pragma once

#include <string>

// The operations of the progress window that long operations report to. Each call that moves
// the bar lets waiting window events through, so the windows repaint; Cancel only raises a
// flag that CheckCancel reports once.
class CProgress
{
public:
    virtual ~CProgress() = default;

    virtual void Create() = 0;
    virtual void SetCaption(const std::string &strText) = 0;
    virtual void SetStatusText(const std::string &strText) = 0;
    virtual void SetBarRange(int nLow, int nHigh) = 0;
    virtual int SetBarPos(int nPos) = 0;
    virtual int SetBarStep(int nStep) = 0;
    virtual int StepBar() = 0;
    virtual bool CheckCancel() = 0;
    virtual void DestroyWindow() = 0;
};

// Shows nothing; for work done without windows.
class CNullProgress final : public CProgress
{
public:
    void Create() override { }
    void SetCaption(const std::string &) override { }
    void SetStatusText(const std::string &) override { }
    void SetBarRange(int, int) override { }
    int SetBarPos(int) override { return 0; }
    int SetBarStep(int) override { return 0; }
    int StepBar() override { return 0; }
    bool CheckCancel() override { return false; }
    void DestroyWindow() override { }
};
