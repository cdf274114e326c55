#include "engine/IfBlock.h"

EIfBlockProblem CheckIfBlock(const SIfBlockParts &parts)
{
    if (parts.strComparison.empty())
        return EIfBlockProblem::NoComparison;
    if (parts.strComparison != "Is blank" && parts.strComparison != "Is not blank"
        && parts.strCompareTo.empty())
        return EIfBlockProblem::NoCompareToText;
    if (parts.strField.empty())
        return EIfBlockProblem::NoField;
    return EIfBlockProblem::None;
}

const char *IfBlockMessage(EIfBlockProblem problem)
{
    switch (problem) {
    case EIfBlockProblem::NoComparison:
        return "Please choose a comparison";
    case EIfBlockProblem::NoCompareToText:
        return "Please enter some comparison text";
    case EIfBlockProblem::NoField:
        return "Please select the field to compare to";
    case EIfBlockProblem::None:
        break;
    }
    return "";
}

std::string MakeFieldTag(const std::string &strName)
{
    return "<<" + strName + ">>";
}

std::string BuildIfBlock(const SIfBlockParts &parts)
{
    const std::string strThen
        = parts.bThenIsText ? parts.strThenText : MakeFieldTag(parts.strThenField);
    const std::string strOtherwise
        = parts.bOtherwiseIsText ? parts.strOtherwiseText : MakeFieldTag(parts.strOtherwiseField);
    return "{IF \"<<" + parts.strField + ">>\" \"" + parts.strComparison + "\" \""
        + parts.strCompareTo + "\" THEN \"" + strThen + "\" ELSE \"" + strOtherwise + "\" "
        + (parts.bCaseSensitive ? "\"CASEYES\"}" : "\"CASENO\"}");
}
