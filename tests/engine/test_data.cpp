#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

#include "engine/Conversions.h"
#include "engine/Data.h"
#include "engine/Variant.h"
#include "support/RecordingPrompter.h"
#include "support/ScopedLocale.h"

namespace {

using Texts = std::vector<std::string>;

CData FromVariant(const CVariant &variant)
{
    CData data;
    data = variant;
    return data;
}

class DataTest : public testing::Test
{
protected:
    CRecordingPrompter m_prompter;
};

TEST_F(DataTest, NumberConversionsReadPrefixesAndWrap)
{
    EXPECT_EQ(StringToLong("  42abc"), 42);
    EXPECT_EQ(StringToLong(" \t\n\v\f\r-17"), -17);
    EXPECT_EQ(StringToLong("+8"), 8);
    EXPECT_EQ(StringToLong("- 5"), 0);
    EXPECT_EQ(StringToLong("abc"), 0);
    EXPECT_EQ(StringToLong("4294967297"), 1);
    EXPECT_EQ(StringToLong("2147483648"), std::numeric_limits<int32_t>::min());
    EXPECT_EQ(StringToShort("70000"), 4464);
    EXPECT_EQ(StringToShort("-32769"), 32767);

    EXPECT_DOUBLE_EQ(StringToDbl("  -1.5e3xyz"), -1500.0);
    EXPECT_DOUBLE_EQ(StringToDbl(".5"), 0.5);
    EXPECT_DOUBLE_EQ(StringToDbl("7."), 7.0);
    EXPECT_DOUBLE_EQ(StringToDbl("3e"), 3.0);
    EXPECT_DOUBLE_EQ(StringToDbl("2E+2"), 200.0);
    EXPECT_DOUBLE_EQ(StringToDbl("."), 0.0);
    EXPECT_DOUBLE_EQ(StringToDbl("inf"), 0.0);
    EXPECT_DOUBLE_EQ(StringToDbl("1,5"), 1.0);
    EXPECT_EQ(StringToDbl("1e999"), std::numeric_limits<double>::infinity());
    EXPECT_EQ(StringToDbl("-1e999"), -std::numeric_limits<double>::infinity());
    EXPECT_EQ(StringToDbl("1e-999"), 0.0);
    EXPECT_EQ(StringToFloat("1e300"), std::numeric_limits<float>::infinity());
    EXPECT_FLOAT_EQ(StringToFloat("0.1"), 0.1f);
    EXPECT_TRUE(m_prompter.Entries().empty());
}

TEST_F(DataTest, NumberConversionsIgnoreTheLocale)
{
    CScopedLocale german("de_DE");
    EXPECT_DOUBLE_EQ(StringToDbl("2.5"), 2.5);
    EXPECT_EQ(CData("0.1", dbDouble).GetString(), "0.100000");
}

TEST_F(DataTest, CurrencyIsTruncatedExactlyFromItsDigits)
{
    EXPECT_EQ(StringToCurrency("3.14159").m_nCount, 31415);
    EXPECT_EQ(StringToCurrency("-3.14159").m_nCount, -31415);
    EXPECT_EQ(StringToCurrency("-2.5").m_nCount, -25000);
    EXPECT_EQ(StringToCurrency("12.345").m_nCount, 123450);
    EXPECT_EQ(StringToCurrency("0.0001").m_nCount, 1);
    EXPECT_EQ(StringToCurrency("0.00009").m_nCount, 0);
    EXPECT_EQ(StringToCurrency("1.5e2").m_nCount, 1500000);
    EXPECT_EQ(StringToCurrency("12345e-6").m_nCount, 123);
    EXPECT_EQ(StringToCurrency("abc").m_nCount, 0);
    EXPECT_EQ(StringToCurrency("").m_status, EValueStatus::Valid);
    // Beyond the 32-bit units the amount is still exact, and beyond the currency range
    // it is clamped instead of wrapping.
    EXPECT_EQ(StringToCurrency("3000000000.5").m_nCount, 30000000005000);
    EXPECT_EQ(StringToCurrency("1e30").m_nCount, std::numeric_limits<int64_t>::max());
    EXPECT_EQ(StringToCurrency("-1e30").m_nCount, -std::numeric_limits<int64_t>::max());
}

TEST_F(DataTest, CurrencyTextUsesTheLocaleDecimalMarkAndReadsBack)
{
    EXPECT_EQ(CData("12.5", dbCurrency).GetString(), "12.5");
    EXPECT_EQ(CData("3.14159", dbCurrency).GetString(), "3.1415");
    EXPECT_EQ(CData("-2.5", dbCurrency).GetString(), "-2.5");
    EXPECT_EQ(CData("12.345", dbCurrency).GetString(), "12.345");
    EXPECT_EQ(CData("", dbCurrency).GetString(), "0");
    EXPECT_EQ(CData("1000000", dbCurrency).GetString(), "1000000");
    EXPECT_EQ(FromVariant(CVariant::Currency(std::numeric_limits<int64_t>::min())).GetString(),
        "-922337203685477.5808");

    CScopedLocale german("de_DE");
    const CData price("12,5", dbCurrency);
    EXPECT_EQ(price.m_curValue.m_nCount, 125000);
    EXPECT_EQ(price.GetString(), "12,5");
    EXPECT_TRUE(price == "12.5");
    EXPECT_TRUE(price == price.GetString());
    EXPECT_FALSE(price == "12,3");
}

TEST_F(DataTest, BooleansAcceptTrueAndFalseInAnyCase)
{
    const CData yes("true", dbBoolean);
    EXPECT_EQ(yes.m_nType, VT_BOOL);
    EXPECT_EQ(yes.GetString(), "TRUE");
    EXPECT_EQ(CData("fAlSe", dbBoolean).GetString(), "FALSE");
    EXPECT_TRUE(m_prompter.Entries().empty());

    for (const char *pText : {"yes", "", " TRUE", "1"}) {
        const CData bad(pText, dbBoolean);
        EXPECT_EQ(bad.m_bValue, 0) << pText;
        EXPECT_EQ(m_prompter.TakeTexts(), Texts {"Bad BOOL type in StringToBool"}) << pText;
    }
    EXPECT_EQ(m_prompter.Entries().size(), 0u);
}

TEST_F(DataTest, BuildingFromTextGivesTheKindOfTheFieldType)
{
    EXPECT_EQ(CData("  42abc", dbLong).m_lValue, 42);
    EXPECT_EQ(CData("abc", dbInteger).m_iValue, 0);
    EXPECT_EQ(CData("70000", dbInteger).m_iValue, 4464);
    EXPECT_EQ(CData("70000", dbInteger).GetString(), "4464");
    EXPECT_EQ(CData("2.5", dbSingle).GetString(), "2.500000");
    EXPECT_EQ(CData("0.1", dbDouble).GetString(), "0.100000");
    EXPECT_EQ(CData("-5", dbInteger).GetString(), "-5");

    const CData byteText("7", dbByte);
    EXPECT_EQ(byteText.m_nType, VT_BSTR);
    EXPECT_TRUE(byteText > "10"); // compared as text: "7" sorts after "10"

    for (short type : {dbText, dbMemo}) {
        const CData text("  Grüße <x> ", type);
        EXPECT_EQ(text.m_nType, VT_BSTR);
        EXPECT_EQ(text.GetString(), "  Grüße <x> ");
    }

    const CData decimal("-123.4500", dbDecimal);
    EXPECT_EQ(decimal.m_nType, VT_DECIMAL);
    EXPECT_EQ(decimal.GetString(), "-123.4500");
    EXPECT_TRUE(decimal == "-123.4500");
    EXPECT_FALSE(decimal == "-123.45");
    EXPECT_TRUE(m_prompter.Entries().empty());
}

TEST_F(DataTest, UnknownFieldTypeIsReportedOnceAndComparesAsText)
{
    for (short type : {dbBinary, dbLongBinary, dbGUID, short(0), short(-3)}) {
        const CData data("{1234}", type);
        EXPECT_EQ(m_prompter.TakeTexts(), Texts {"Unknown datatype in CData::CData (dbType)"});
        EXPECT_EQ(data.m_nType, VT_NULL);
        EXPECT_EQ(data.m_strValue, "*ERROR*");
        EXPECT_TRUE(data == "*ERROR*");
        EXPECT_TRUE(data < "a");
        EXPECT_EQ(data.GetString(), "");
        EXPECT_TRUE(m_prompter.Entries().empty());
    }
}

TEST_F(DataTest, VariantsKeepTheirKind)
{
    EXPECT_EQ(FromVariant(CVariant::Short(-5)).GetString(), "-5");
    EXPECT_EQ(FromVariant(CVariant::Long(-2147483647 - 1)).GetString(), "-2147483648");
    EXPECT_EQ(FromVariant(CVariant::Float(2.5f)).GetString(), "2.500000");
    EXPECT_EQ(FromVariant(CVariant::Double(0.1)).GetString(), "0.100000");
    EXPECT_EQ(FromVariant(CVariant::Double(-1e20)).GetString(), "-100000000000000000000.000000");
    EXPECT_EQ(FromVariant(CVariant::Currency(125000)).GetString(), "12.5");
    EXPECT_EQ(FromVariant(CVariant::String("Boston")).GetString(), "Boston");
    EXPECT_EQ(FromVariant(CVariant::Decimal("0.0000001")).GetString(), "0.0000001");

    const CData yes = FromVariant(CVariant::Bool(true));
    EXPECT_EQ(yes.m_bValue, 1);
    EXPECT_EQ(yes.GetString(), "TRUE");
    EXPECT_TRUE(yes == "true");
    EXPECT_TRUE(yes == "TRUE");
    EXPECT_TRUE(FromVariant(CVariant::Bool(false)) < "TRUE");

    // A byte is a number: its digits, held and compared as text.
    const CData byte = FromVariant(CVariant::Byte(65));
    EXPECT_EQ(byte.m_nType, VT_UI1);
    EXPECT_EQ(byte.GetString(), "65");
    EXPECT_TRUE(byte == "65");
    EXPECT_EQ(FromVariant(CVariant::Byte(0)).GetString(), "0");
    EXPECT_EQ(FromVariant(CVariant::Byte(255)).GetString(), "255");
    EXPECT_TRUE(m_prompter.Entries().empty());
}

TEST_F(DataTest, NullAndUnsupportedVariantsBecomeNull)
{
    CVariant binary;
    binary.m_vt = VT_ARRAY | VT_UI1;
    for (const CVariant &variant : {CVariant::Null(), CVariant(), binary}) {
        CData data = FromVariant(CVariant::String("left over"));
        data = variant;
        EXPECT_EQ(data.m_nType, VT_NULL);
        EXPECT_EQ(data.GetString(), "");
        EXPECT_TRUE(data == "");
        EXPECT_TRUE(data < "a");
        EXPECT_FALSE(data > "");
    }
}

TEST_F(DataTest, TextOrderIsByUnsignedByte)
{
    const CData zebra("Zebra", dbText);
    EXPECT_TRUE(zebra < "apple");
    EXPECT_TRUE(CData("abc", dbText) < "abcd");
    EXPECT_TRUE(CData("", dbText) < " ");
    EXPECT_TRUE(CData("\xE9", dbText) > "z");
    EXPECT_TRUE(CData("\xC3\xA9t\xC3\xA9", dbText) > "zoo");
    EXPECT_TRUE(CData("Smith", dbText) != "smith");
    EXPECT_TRUE(CData("Smith", dbText) <= "Smith");
    EXPECT_TRUE(CData("Smith", dbText) >= "Smith");
    EXPECT_FALSE(CData("Smith", dbText) > "Smith");
}

// Each kind against each relation: value, text, expected ==, !=, <, >, <=, >=.
struct SRelationCase
{
    CData value;
    const char *pText;
    bool bResults[6];
};

TEST_F(DataTest, OperatorsCompareInTheValueKind)
{
    const SRelationCase cases[] = {
        {CData("5", dbLong), "5.9", {true, false, false, false, true, true}},
        {CData("-3", dbInteger), "2", {false, true, true, false, true, false}},
        {CData("2.5", dbSingle), "2.4", {false, true, false, true, false, true}},
        {CData("0.1", dbDouble), "0.1", {true, false, false, false, true, true}},
        {CData("12.5", dbCurrency), "12.50009", {true, false, false, false, true, true}},
        {CData("-2.5", dbCurrency), "-2", {false, true, true, false, true, false}},
        {CData("FALSE", dbBoolean), "true", {false, true, true, false, true, false}},
        {CData("b", dbText), "a", {false, true, false, true, false, true}},
    };
    for (const SRelationCase &c : cases) {
        EXPECT_EQ(c.value == c.pText, c.bResults[0]) << c.value.GetString() << " == " << c.pText;
        EXPECT_EQ(c.value != c.pText, c.bResults[1]) << c.value.GetString() << " != " << c.pText;
        EXPECT_EQ(c.value < c.pText, c.bResults[2]) << c.value.GetString() << " < " << c.pText;
        EXPECT_EQ(c.value > c.pText, c.bResults[3]) << c.value.GetString() << " > " << c.pText;
        EXPECT_EQ(c.value <= c.pText, c.bResults[4]) << c.value.GetString() << " <= " << c.pText;
        EXPECT_EQ(c.value >= c.pText, c.bResults[5]) << c.value.GetString() << " >= " << c.pText;
    }
    EXPECT_TRUE(CData("0", dbCurrency) == "");
    EXPECT_TRUE(m_prompter.Entries().empty());
}

TEST_F(DataTest, UnsetValueReportsEveryUse)
{
    const CData unset;
    EXPECT_EQ(unset.m_nType, CData::kNoType);
    EXPECT_EQ(unset.GetString(), "*ERROR*");
    ASSERT_EQ(m_prompter.Entries().size(), 1u);
    EXPECT_EQ(m_prompter.Entries()[0].icon, CPrompter::EIcon::Exclamation);
    EXPECT_FALSE(m_prompter.Entries()[0].bQuestion);
    EXPECT_EQ(m_prompter.TakeTexts(), Texts {"Unknown type in CData::GetString()"});

    EXPECT_FALSE(unset == "");
    EXPECT_FALSE(unset != "");
    EXPECT_FALSE(unset < "x");
    EXPECT_FALSE(unset > "");
    EXPECT_FALSE(unset <= "");
    EXPECT_FALSE(unset >= "");
    EXPECT_EQ(
        m_prompter.TakeTexts(), Texts(6, "Unknown COleVariant data type in CData::operator..."));
}

} // namespace
