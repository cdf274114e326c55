#pragma once

#include <functional>

// Runs one user command. A database failure ends the command: its description is shown with
// the stop icon and the program goes on. No exception goes further.
// Returns false when the command ended that way.
bool RunCommand(const std::function<void()> &command);
