#pragma once

#include <string>
#include <vector>

#include "engine/Progress.h"

// A progress window stand-in that records what the run shows and answers Cancel on the
// nCancelAt-th check (never when it is 0).
class CScriptedProgress final : public CProgress
{
public:
    void Create() override { ++nCreated; }
    void SetCaption(const std::string &s) override { strCaption = s; }
    void SetStatusText(const std::string &s) override { texts.push_back(s); }
    void SetBarRange(int, int nHigh) override { nRangeHigh = nHigh; }
    int SetBarPos(int n) override
    {
        nPos = n;
        return 0;
    }
    int SetBarStep(int n) override
    {
        nStep = n;
        return 0;
    }
    int StepBar() override
    {
        nPos += nStep;
        return nPos - nStep;
    }
    bool CheckCancel() override { return ++nChecks == nCancelAt; }
    void DestroyWindow() override { ++nDestroyed; }

    int nCreated = 0, nDestroyed = 0, nRangeHigh = 0, nPos = -1, nStep = -1, nChecks = 0;
    int nCancelAt = 0;
    std::string strCaption;
    std::vector<std::string> texts;
};
