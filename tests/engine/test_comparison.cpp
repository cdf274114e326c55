#include <gtest/gtest.h>

#include <string>

#include "engine/Comparison.h"
#include "engine/Data.h"
#include "engine/Variant.h"
#include "support/RecordingPrompter.h"

namespace {

using Texts = std::vector<std::string>;

class ComparisonTest : public testing::Test
{
protected:
    CRecordingPrompter m_prompter;
};

TEST_F(ComparisonTest, CaseSensitivityUpperCasesBothSides)
{
    const CData smith("Smith", dbText);
    EXPECT_FALSE(EvaluateComparison(smith, "Equals", "smith", true));
    EXPECT_TRUE(EvaluateComparison(smith, "Equals", "smith", false));
    EXPECT_TRUE(EvaluateComparison(smith, "Not equal to", "smith", true));

    const CData apple("apple", dbText);
    EXPECT_FALSE(EvaluateComparison(apple, "Less than", "B", true));
    EXPECT_TRUE(EvaluateComparison(apple, "Less than", "B", false));
    EXPECT_TRUE(EvaluateComparison(apple, "Greater than or equal", "B", true));

    // Only ASCII letters change case; the bytes of other characters stay as they are.
    const CData accented("\xC3\xA9t\xC3\xA9", dbText);
    EXPECT_TRUE(EvaluateComparison(accented, "Equals", "\xC3\xA9T\xC3\xA9", false));
    EXPECT_FALSE(EvaluateComparison(accented, "Equals", "\xC3\x89T\xC3\x89", false));

    // The caller's value is not changed.
    EXPECT_EQ(smith.m_strValue, "Smith");
}

TEST_F(ComparisonTest, NamesSelectTheirOperators)
{
    const CData five("5", dbLong);
    EXPECT_TRUE(EvaluateComparison(five, "Equals", "5.9", true));
    EXPECT_FALSE(EvaluateComparison(five, "Not equal to", "5", true));
    EXPECT_TRUE(EvaluateComparison(five, "Less than", "6", true));
    EXPECT_TRUE(EvaluateComparison(five, "Greater than", "-6", true));
    EXPECT_TRUE(EvaluateComparison(five, "Less than or equal", "5", true));
    EXPECT_FALSE(EvaluateComparison(five, "Greater than or equal", "6", true));
    EXPECT_TRUE(EvaluateComparison(CData("true", dbBoolean), "Equals", "True", false));
    EXPECT_TRUE(m_prompter.Entries().empty());
}

TEST_F(ComparisonTest, UnknownNamesAreReportedAndFalse)
{
    const CData text("x", dbText);
    for (const char *pName : {"equals", "Equals ", "", "Is Blank", "Contains"}) {
        EXPECT_FALSE(EvaluateComparison(text, pName, "x", true)) << pName;
        EXPECT_EQ(m_prompter.TakeTexts(), Texts {"Unknown comparison!"}) << pName;
    }
}

TEST_F(ComparisonTest, BlankFollowsTheEmptyTextOfEachKind)
{
    struct SCase
    {
        CData value;
        bool bBlank;
    };
    CData nullValue;
    nullValue = CVariant::Null();
    CData dateFromRecord;
    dateFromRecord = CVariant::Date(0.0);
    const SCase cases[] = {
        {CData("", dbText), true},
        {CData(" ", dbText), false},
        {nullValue, true},
        {CData("0", dbLong), true},
        {CData("5", dbLong), false},
        {CData("0", dbInteger), true},
        {CData("0.0", dbDouble), true},
        {CData("0.5", dbSingle), false},
        {CData("0", dbCurrency), true},
        {CData("0.0001", dbCurrency), false},
        {CData("", dbDate), true},
        {dateFromRecord, false},
        {CData("2026-12-08", dbDate), false},
    };
    for (const SCase &c : cases) {
        // The compare-to text is ignored.
        EXPECT_EQ(EvaluateComparison(c.value, "Is blank", "whatever", true), c.bBlank)
            << c.value.m_nType << " " << c.value.GetString();
        EXPECT_EQ(EvaluateComparison(c.value, "Is not blank", "", false), !c.bBlank)
            << c.value.m_nType << " " << c.value.GetString();
    }
    EXPECT_TRUE(m_prompter.Entries().empty());

    // A boolean's empty text is no boolean: reported, then compared as FALSE.
    EXPECT_TRUE(EvaluateComparison(CData("FALSE", dbBoolean), "Is blank", "", true));
    EXPECT_EQ(m_prompter.TakeTexts(), Texts {"Bad BOOL type in StringToBool"});

    // An unset value is neither blank nor not blank.
    EXPECT_FALSE(EvaluateComparison(CData(), "Is blank", "", true));
    EXPECT_FALSE(EvaluateComparison(CData(), "Is not blank", "", true));
    EXPECT_EQ(
        m_prompter.TakeTexts(), Texts(2, "Unknown COleVariant data type in CData::operator..."));
}

} // namespace
