#include "engine/Prompter.h"

#include <atomic>
#include <cstdio>

namespace {

// Used before the application installs its own prompter and by programs without windows.
class CStderrPrompter final : public CPrompter
{
public:
    void ShowMessage(const std::string &strText, EIcon) override
    {
        std::fprintf(stderr, "Mergix: %s\n", strText.c_str());
    }
    bool AskYesNo(const std::string &strText, EIcon) override
    {
        std::fprintf(stderr, "Mergix: %s (answered No)\n", strText.c_str());
        return false;
    }
};

CStderrPrompter s_stderrPrompter;
std::atomic<CPrompter *> s_pPrompter {nullptr};

} // namespace

CPrompter *CPrompter::Install(CPrompter *pPrompter)
{
    return s_pPrompter.exchange(pPrompter);
}

CPrompter &CPrompter::Current()
{
    CPrompter *p = s_pPrompter.load();
    return p ? *p : s_stderrPrompter;
}

void ShowMessage(const std::string &strText, CPrompter::EIcon icon)
{
    CPrompter::Current().ShowMessage(strText, icon);
}

bool AskYesNo(const std::string &strText, CPrompter::EIcon icon)
{
    return CPrompter::Current().AskYesNo(strText, icon);
}

bool AskYesNoDefaultNo(const std::string &strText, CPrompter::EIcon icon)
{
    return CPrompter::Current().AskYesNoDefaultNo(strText, icon);
}

CPrompter::EAnswer AskYesNoCancel(const std::string &strText, CPrompter::EIcon icon)
{
    return CPrompter::Current().AskYesNoCancel(strText, icon);
}

bool OfferAction(const std::string &strText, const std::string &strAction, CPrompter::EIcon icon)
{
    return CPrompter::Current().OfferAction(strText, strAction, icon);
}
