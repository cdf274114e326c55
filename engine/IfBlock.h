#pragma once

#include <string>

// The parts of one {IF} block as the Insert If dialog collects them.
struct SIfBlockParts
{
    std::string strField;
    std::string strComparison;
    std::string strCompareTo;
    bool bCaseSensitive = false;
    bool bThenIsText = true;
    std::string strThenText;
    std::string strThenField;
    bool bOtherwiseIsText = true;
    std::string strOtherwiseText;
    std::string strOtherwiseField;
};

// Which check of the parts failed, for the dialog to show its message and move the focus.
enum class EIfBlockProblem { None, NoComparison, NoCompareToText, NoField };

// The checks of Insert, in their order; the message of a failed one.
EIfBlockProblem CheckIfBlock(const SIfBlockParts &parts);
const char *IfBlockMessage(EIfBlockProblem problem);

// The block, piece by piece as the template language reads it: nothing escaped, no line break.
std::string BuildIfBlock(const SIfBlockParts &parts);

// A field tag: "<<" + name + ">>".
std::string MakeFieldTag(const std::string &strName);
