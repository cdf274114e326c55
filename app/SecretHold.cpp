#include "app/SecretHold.h"

#include <cstdlib>
#include <cstring>

#ifdef __linux__
#include <sys/prctl.h>
#endif
#include <sys/resource.h>

void KeepSecretsOutOfCoreDumps()
{
#ifdef __linux__
    ::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
#endif
    rlimit limit {};
    if (::getrlimit(RLIMIT_CORE, &limit) == 0) {
        limit.rlim_cur = 0;
        ::setrlimit(RLIMIT_CORE, &limit);
    }
}

std::optional<std::string> TakeFromEnvironment(const char *pName)
{
    char *pValue = std::getenv(pName);
    if (!pValue)
        return std::nullopt;
    std::string strValue(pValue);
    // Through a volatile pointer, so that the overwrite is not left out as a dead store.
    volatile char *pBytes = pValue;
    for (size_t i = 0; i < strValue.size(); ++i)
        pBytes[i] = '\0';
    ::unsetenv(pName);
    return strValue;
}
