#pragma once

#include <functional>
#include <string>

// Faults of the engine never stop the work: each one is reported here and the caller goes on
// with a substitute result. By default the text is shown through the prompter as a message
// with the exclamation icon; a hook can take the reports instead.
void ReportFault(const std::string &strText);

using FaultHook = std::function<void(const std::string &)>;
// Installs a hook (an empty one restores the default) and returns the previous hook.
FaultHook SetFaultHook(FaultHook hook);
