#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/Data.h"
#include "engine/MergeTemplate.h"
#include "support/RecordingPrompter.h"

namespace {

using Texts = std::vector<std::string>;

constexpr const char *kCaseMessage
    = "Unknown 'Case Sensitive' argument in if -- defaulting to case\ninsensitive.";

class CRow final : public CMergeRecord
{
public:
    explicit CRow(std::vector<std::string> cells) : m_cells(std::move(cells)) { }
    std::string_view CellText(int nColumn) const override
    {
        if (static_cast<size_t>(nColumn) >= m_cells.size())
            return {};
        return m_cells[static_cast<size_t>(nColumn)];
    }

private:
    std::vector<std::string> m_cells;
};

class TemplateTest : public testing::Test
{
protected:
    std::string Expand(const std::string &strTemplate, const CRow &row)
    {
        return ExpandTemplate(
            strTemplate, CollectIfStatements(strTemplate, m_fields), m_fields, row);
    }
    std::string Expand(const std::string &strTemplate) { return Expand(strTemplate, m_boston); }

    CRecordingPrompter m_prompter;
    const CMergeFields m_fields {{"Name", "City", "Region", "Age", "Member", "Joined", "Fee"},
        {dbText, dbText, dbText, dbInteger, dbBoolean, dbDate, dbCurrency}};
    const CRow m_boston {{"Ann", "Boston", "MA", "18", "TRUE", "12/8/2026", "12.5"}};
    const CRow m_denver {{"Bob", "Denver", "CO", "17", "FALSE", "1/2/1890 6:00:00 AM", "0"}};
};

TEST_F(TemplateTest, ExtractQuotedFollowsItsPositions)
{
    EXPECT_EQ(ExtractQuoted(R"(x "ab" "cd")", 0), (std::pair<std::string, size_t> {"ab", 6}));
    EXPECT_EQ(ExtractQuoted(R"(x "ab" "cd")", 6), (std::pair<std::string, size_t> {"cd", 10}));
    // The closing quote is the last character: the next position stays on it.
    EXPECT_EQ(ExtractQuoted(R"("ab")", 0), (std::pair<std::string, size_t> {"ab", 3}));
    EXPECT_EQ(ExtractQuoted(R"("")", 0), (std::pair<std::string, size_t> {"", 1}));
    // A missing quote sends the next search back to index 1 (0 for a single character).
    EXPECT_EQ(ExtractQuoted("abc", 0), (std::pair<std::string, size_t> {"", 1}));
    EXPECT_EQ(ExtractQuoted(R"(a "bc)", 0), (std::pair<std::string, size_t> {"", 1}));
    EXPECT_EQ(ExtractQuoted("\"", 0), (std::pair<std::string, size_t> {"", 0}));
    EXPECT_EQ(ExtractQuoted("", 0), (std::pair<std::string, size_t> {"", 0}));
    EXPECT_EQ(ExtractQuoted("ab", 9), (std::pair<std::string, size_t> {"", 1}));
}

TEST_F(TemplateTest, ParseIfTakesTheQuotedTextsInOrder)
{
    const IfStatement statement = ParseIf(
        R"({IF "<<City>>" "Equals" "Boston" THEN "Hello neighbour" ELSE "<<Region>>" "CASEYES")");
    EXPECT_EQ(statement.m_strFieldName, "City");
    EXPECT_EQ(statement.m_strComparison, "Equals");
    EXPECT_EQ(statement.m_strCompareTo, "Boston");
    EXPECT_EQ(statement.m_strThen, "Hello neighbour");
    EXPECT_EQ(statement.m_strElse, "<<Region>>");
    EXPECT_EQ(statement.m_bCaseSensitive, 1);
    EXPECT_EQ(ParseIf(R"({"<<A>>" "" "" "" "" "CASENO")").m_strFieldName, "A");
    EXPECT_EQ(ParseIf(R"({"[[City]]" "" "" "" "" "CASENO")").m_strFieldName, "City");
    EXPECT_EQ(ParseIf(R"({"<<>>" "" "" "" "" "CASENO")").m_strFieldName, "");
    EXPECT_TRUE(m_prompter.Entries().empty());

    EXPECT_EQ(ParseIf(R"({"<<A>>" "" "" "" "" "caseyes")").m_bCaseSensitive, 0);
    EXPECT_EQ(m_prompter.TakeTexts(), Texts {kCaseMessage});
}

TEST_F(TemplateTest, CollectFindsEveryBraceBlockWithItsPositions)
{
    const std::string strTemplate
        = R"(Hi {IF "<<City>>" "Equals" "x" THEN "" ELSE "" "CASENO"} and {"<<Nope>>" "Is blank" "" "" "" "CASEYES"} {open)";
    const std::vector<IfStatement> statements = CollectIfStatements(strTemplate, m_fields);
    ASSERT_EQ(statements.size(), 2u);
    EXPECT_EQ(statements[0].m_nStart, 3);
    EXPECT_EQ(statements[0].m_nEnd, static_cast<int>(strTemplate.find('}') + 1));
    EXPECT_EQ(statements[0].m_nColumn, 1);
    EXPECT_EQ(statements[1].m_nStart, static_cast<int>(strTemplate.find("{\"<<Nope")));
    EXPECT_EQ(statements[1].m_nColumn, -1);
    EXPECT_TRUE(m_prompter.Entries().empty());
}

TEST_F(TemplateTest, FieldTagsAreReplacedByExactName)
{
    EXPECT_EQ(Expand("Dear <<Name>> of <<City>>, <<Region>>"), "Dear Ann of Boston, MA");
    EXPECT_EQ(Expand("[<<city>>][<< City >>][<<Nope>>][<<>>]"), "[][][][]");
    EXPECT_EQ(Expand("a < b, x<y, <<City>, <<City>>>, <<<City>>, <<"),
        "a < b, x<y, <<City>, Boston>, , <<");
    EXPECT_EQ(Expand("<<Name>><<City>>"), "AnnBoston");
    EXPECT_EQ(Expand("<"), "<");
    EXPECT_EQ(Expand("<<Name> <<City>>"), "<<Name> Boston");
    EXPECT_EQ(
        Expand("Plain text, no tags.\r\nSecond line."), "Plain text, no tags.\r\nSecond line.");

    const std::vector<FieldTag> tags = CollectFieldTags("x <<City>> <<Nope>>", m_fields);
    ASSERT_EQ(tags.size(), 2u);
    EXPECT_EQ(tags[0].m_nColumn, 1);
    EXPECT_EQ(tags[0].m_nStart, 2);
    EXPECT_EQ(tags[0].m_nEnd, 10);
    EXPECT_EQ(tags[1].m_nColumn, -1);
    EXPECT_TRUE(m_prompter.Entries().empty());
}

TEST_F(TemplateTest, FieldTextsAreInsertedLiterally)
{
    const CRow tricky {{"<<City>>", "{IF \"<<Name>>\"}", "\tx", "18"}};
    EXPECT_EQ(
        Expand("<<Name>>|<<City>>|<<Region>>", tricky), "<<City>>|{IF \"<<Name>>\"}|        x");
    const CRow unicode {{"José", "Zürich"}};
    EXPECT_EQ(Expand("Grüße, <<Name>> aus <<City>> — ✓", unicode), "Grüße, José aus Zürich — ✓");
}

TEST_F(TemplateTest, TabsBecomeEightSpacesLast)
{
    EXPECT_EQ(Expand("\ta\t\tb"), "        a                b");
    EXPECT_EQ(ExpandTabs("no tabs"), "no tabs");
    EXPECT_EQ(Expand("{\"<<City>>\" \"Equals\" \"Boston\" \"\t<<Name>>\" \"\" \"CASENO\"}"),
        "        Ann");
}

TEST_F(TemplateTest, IfBlocksChooseThenOrElsePerRecord)
{
    const std::string strTemplate
        = R"({IF "<<Age>>" "Greater than" "17" THEN "<<Name>>" ELSE "" "CASENO"})";
    EXPECT_EQ(Expand(strTemplate, m_boston), "Ann");
    EXPECT_EQ(Expand(strTemplate, m_denver), "");

    const std::string strCity
        = R"({IF "<<City>>" "Equals" "boston" THEN "Hello neighbour" ELSE "<<Region>>" "CASENO"})";
    EXPECT_EQ(Expand(strCity, m_boston), "Hello neighbour");
    EXPECT_EQ(Expand(strCity, m_denver), "CO");
    std::string strSensitive = strCity;
    strSensitive.replace(strSensitive.find("CASENO"), 6, "CASEYES");
    EXPECT_EQ(Expand(strSensitive, m_boston), "MA");

    // Typed fields compare in their kind.
    EXPECT_EQ(Expand(R"({"<<Member>>" "Equals" "true" "yes" "no" "CASENO"})", m_boston), "yes");
    EXPECT_EQ(
        Expand(R"({"<<Joined>>" "Less than" "1900-01-01" "old" "new" "CASENO"})", m_denver), "old");
    EXPECT_EQ(
        Expand(R"({"<<Joined>>" "Equals" "2026-12-08" "today" "" "CASENO"})", m_boston), "today");
    EXPECT_EQ(Expand(R"({"<<Fee>>" "Is blank" "" "free" "paid" "CASENO"})", m_denver), "free");
    EXPECT_TRUE(m_prompter.Entries().empty());
}

TEST_F(TemplateTest, CompareToTextIsTakenAsWritten)
{
    const CRow same {{"Ann", "<<Region>>", "<<Region>>"}};
    const std::string strTemplate
        = R"({"<<City>>" "Equals" "<<Region>>" "literal" "field" "CASEYES"})";
    EXPECT_EQ(Expand(strTemplate, same), "literal");
    EXPECT_EQ(Expand(strTemplate, m_boston), "field");
}

TEST_F(TemplateTest, BlocksShiftEachOther)
{
    const std::string strTemplate
        = R"(A{"<<City>>" "Equals" "Boston" "long replacement text" "" "CASENO"}B)"
          R"({"<<Age>>" "Less than" "18" "minor" "adult" "CASENO"}C<<Name>>)";
    EXPECT_EQ(Expand(strTemplate, m_boston), "Along replacement textBadultCAnn");
    EXPECT_EQ(Expand(strTemplate, m_denver), "ABminorCBob");
}

TEST_F(TemplateTest, MalformedBlocksAreTextNotErrors)
{
    // Every brace pair is a block: {hello} has only empty quoted texts.
    const std::string strHello = "a{hello}b";
    const std::vector<IfStatement> statements = CollectIfStatements(strHello, m_fields);
    EXPECT_EQ(m_prompter.TakeTexts(), Texts {kCaseMessage});
    for (const CRow *pRow : {&m_boston, &m_denver}) {
        EXPECT_EQ(ExpandTemplate(strHello, statements, m_fields, *pRow), "ab");
        EXPECT_EQ(m_prompter.TakeTexts(), Texts {"Unknown comparison!"});
    }

    EXPECT_EQ(Expand("a { b <<Name>>"), "a { b Ann");
    EXPECT_EQ(Expand("x } y"), "x } y");
    // A stray "{" joins the block after it.
    EXPECT_EQ(Expand(R"(a { b {IF "<<City>>" "Equals" "Boston" THEN "yes" ELSE "no" "CASENO"} c)"),
        "a yes c");
    // A quote inside a then text ends it early; the texts after it shift.
    EXPECT_EQ(
        Expand(R"({IF "<<City>>" "Equals" "Boston" THEN "say "hi"" ELSE "no" "CASENO"})"), "say ");
    EXPECT_EQ(m_prompter.TakeTexts(), Texts {kCaseMessage});
    // An unknown field compares as empty text, with no message.
    EXPECT_EQ(Expand(R"({"<<Nope>>" "Is blank" "" "empty" "full" "CASENO"})"), "empty");
    EXPECT_TRUE(m_prompter.Entries().empty());
}

TEST_F(TemplateTest, StatementsFromAnotherTemplateAreSkipped)
{
    const std::string strLong
        = R"(0123456789{"<<City>>" "Equals" "Boston" "yes" "no" "CASENO"} and some more text here)";
    const std::vector<IfStatement> statements = CollectIfStatements(strLong, m_fields);
    EXPECT_EQ(ExpandTemplate("short <<Name>>", statements, m_fields, m_boston), "short Ann");

    std::vector<IfStatement> reversed = CollectIfStatements("{} {}", m_fields);
    m_prompter.TakeTexts();
    std::swap(reversed[0], reversed[1]);
    EXPECT_EQ(ExpandTemplate("{} {}", reversed, m_fields, m_boston), "{} ");
}

TEST_F(TemplateTest, LongCellsAreCutWithoutSplittingACharacter)
{
    const CRow longCells {{std::string(1500, 'a'), std::string(1021, 'b') + "\xC3\xA9" + "zz"}};
    EXPECT_EQ(Expand("<<Name>>", longCells), std::string(1022, 'a'));
    EXPECT_EQ(Expand("<<City>>", longCells), std::string(1021, 'b'));
    EXPECT_EQ(
        MergeCellText(std::string(1020, 'c') + "\xC3\xA9"), std::string(1020, 'c') + "\xC3\xA9");
    // The cut applies to the value an {IF} block compares as well.
    const CRow exact {{std::string(1022, 'a') + "TAIL"}};
    EXPECT_EQ(
        Expand(R"({"<<Name>>" "Equals" ")" + std::string(1022, 'a') + R"(" "cut" "" "CASEYES"})",
            exact),
        "cut");
}

} // namespace
