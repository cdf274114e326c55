#pragma once

#include <string>

#include "engine/Prompter.h"

// Messages go to standard error, one line each; questions are answered Yes, since the command
// line asks nothing (an interrupt is its own confirmation).
class CConsolePrompter final : public CPrompter
{
public:
    void ShowMessage(const std::string &strText, EIcon) override { Print(strText); }
    bool AskYesNo(const std::string &, EIcon) override { return true; }

    // Each line of the text gets the program's name; control characters other than the line
    // breaks (which a quoted file text never brings: those are escaped where it is quoted)
    // are shown as escapes, so that no message can drive the terminal.
    static void Print(const std::string &strText);
};
