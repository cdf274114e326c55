#pragma once

#include <optional>
#include <string>

// A set of up to three selection rules: rows 2 and 3 are switched on one by one and joined to
// what comes before them, strictly left to right. Each member bears the name under which a
// saved set stores it.
struct CRuleSet
{
    // Combination codes of SecondBoolean and ThirdBoolean.
    static constexpr int kNone = -1;
    static constexpr int kAnd = 0;
    static constexpr int kOr = 1;
    static constexpr int kAndNot = 2;

    int CaseSensitive = 0;
    std::string FirstField;
    std::string FirstCondition;
    std::string FirstText;
    int SecondEnable = 0;
    std::string SecondField;
    std::string SecondCondition;
    std::string SecondText;
    int SecondBoolean = kNone;
    int ThirdEnable = 0;
    std::string ThirdField;
    std::string ThirdCondition;
    std::string ThirdText;
    int ThirdBoolean = kNone;
};

// Which control of the rules dialog a failed check puts the focus on.
enum class ERuleControl { FirstText, SecondText, ThirdText, SecondBoolean, ThirdBoolean };

struct SRuleProblem
{
    std::string strMessage;
    ERuleControl control;
};

// The checks of the Select button, in their order; the first failing one, or nothing.
std::optional<SRuleProblem> ValidateRuleSet(const CRuleSet &rules);

// Combines the running result with a row's result by a combination code. An unknown code is
// reported ("Bad Boolean combination!") and gives false.
bool CombineRuleResults(bool bRunning, int nCode, bool bRow);
