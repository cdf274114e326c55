#pragma once

#include <optional>
#include <string>

// Reads a line from the terminal without showing it; nothing when there is no terminal.
std::optional<std::string> AskPasswordOnTerminal(const std::string &strPrompt);
