#pragma once

#include <optional>

// Runs Mergix without windows when the arguments ask for it (--test-merge, --send, --help) and
// returns the exit code: 0 done, 1 some deliveries failed, 2 usage, file or database errors.
// Returns nothing when the arguments are for the windowed program (none, or one .mgx path).
std::optional<int> RunCommandLine(int argc, char *argv[]);
