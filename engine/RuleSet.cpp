#include "engine/RuleSet.h"

#include "engine/Fault.h"

namespace {

bool NeedsText(const std::string &strCondition, const std::string &strText)
{
    return strText.empty() && strCondition != "Is blank" && strCondition != "Is not blank";
}

} // namespace

std::optional<SRuleProblem> ValidateRuleSet(const CRuleSet &rules)
{
    if (NeedsText(rules.FirstCondition, rules.FirstText))
        return SRuleProblem {"Please enter some comparison text", ERuleControl::FirstText};
    if (rules.SecondEnable == 1 && NeedsText(rules.SecondCondition, rules.SecondText))
        return SRuleProblem {
            "Please enter some comparison text for the second item", ERuleControl::SecondText};
    if (rules.ThirdEnable == 1 && NeedsText(rules.ThirdCondition, rules.ThirdText))
        return SRuleProblem {
            "Please enter some comparison text for the third item", ERuleControl::ThirdText};
    if (rules.SecondEnable == 1 && rules.SecondBoolean == CRuleSet::kNone)
        return SRuleProblem {"Please choose a boolean comparison", ERuleControl::SecondBoolean};
    if (rules.ThirdEnable == 1 && rules.ThirdBoolean == CRuleSet::kNone)
        return SRuleProblem {
            "Please choose a second boolean comparison", ERuleControl::ThirdBoolean};
    return std::nullopt;
}

bool CombineRuleResults(bool bRunning, int nCode, bool bRow)
{
    switch (nCode) {
    case CRuleSet::kAnd:
        return bRunning && bRow;
    case CRuleSet::kOr:
        return bRunning || bRow;
    case CRuleSet::kAndNot:
        return bRunning && !bRow;
    default:
        ReportFault("Bad Boolean combination!");
        return false;
    }
}
