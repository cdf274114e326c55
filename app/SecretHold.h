#pragma once

#include <optional>
#include <string>

// From the first password the program holds on, it makes no core dump and other programs of
// the user cannot read its memory, so no password is left behind in a file by a crash.
void KeepSecretsOutOfCoreDumps();

// Takes the variable's value out of the environment: its bytes are overwritten where the
// environment keeps them (so the process's environment no longer shows them) and the variable
// is removed, so no program started later inherits it. Nothing when it is not set.
std::optional<std::string> TakeFromEnvironment(const char *pName);
