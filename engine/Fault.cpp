#include "engine/Fault.h"

#include "engine/Prompter.h"

#include <mutex>
#include <utility>

namespace {

std::mutex s_hookMutex;
FaultHook s_hook;

} // namespace

void ReportFault(const std::string &strText)
{
    FaultHook hook;
    {
        std::lock_guard lock(s_hookMutex);
        hook = s_hook;
    }
    if (hook)
        hook(strText);
    else
        ShowMessage(strText);
}

FaultHook SetFaultHook(FaultHook hook)
{
    std::lock_guard lock(s_hookMutex);
    return std::exchange(s_hook, std::move(hook));
}
