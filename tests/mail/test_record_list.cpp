// The record list and the selection by rules, over the contacts fixture (values from its
// manifest: records 1 to 12 in table order, record k at row 12 - k once all are loaded).
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <set>
#include <string>

#include <QAbstractItemModelTester>
#include <QTemporaryDir>

#include "engine/Progress.h"
#include "engine/Variant.h"
#include "mail/RecordList.h"
#include "mail/RuleSelection.h"
#include "mail/StoredValueDigest.h"
#include "sources/access/DaoDatabase.h"
#include "sources/access/DaoRecordset.h"
#include "support/RecordingPrompter.h"
#include "support/ScopedLocale.h"

namespace {

using Texts = std::vector<std::string>;
const std::string kData = MERGIX_TESTS_DIR "/data/";

// Cancel is pressed at the given step of the loading (0: never).
class CCancellingProgress final : public CProgress
{
public:
    explicit CCancellingProgress(int nCancelAt = 0) : m_nCancelAt(nCancelAt) { }
    void Create() override { }
    void SetCaption(const std::string &) override { }
    void SetStatusText(const std::string &s) override { texts.push_back(s); }
    void SetBarRange(int, int) override { }
    int SetBarPos(int) override { return 0; }
    int SetBarStep(int n) override
    {
        nStep = n;
        return 0;
    }
    int StepBar() override { return 0; }
    bool CheckCancel() override { return ++m_nChecks == m_nCancelAt; }
    void DestroyWindow() override { }

    Texts texts;
    int nStep = -1;

private:
    int m_nCancelAt;
    int m_nChecks = 0;
};

class RecordListTest : public testing::Test
{
protected:
    void Open(const std::string &strTable, const std::string &strFile = kData + "contacts.mdb")
    {
        m_database.Open(strFile);
        m_recordset.OpenTable(&m_database, strTable);
        m_fields.clear();
        for (int i = 0; i < m_recordset.GetFieldCount(); ++i)
            m_fields.push_back(m_recordset.GetFieldInfo(i).m_strName);
    }
    void Load(const std::string &strTable, int nCancelAt = 0,
        const std::string &strFile = kData + "contacts.mdb")
    {
        Open(strTable, strFile);
        m_list.SetColumns(m_fields);
        CCancellingProgress progress(nCancelAt);
        m_list.Load(m_recordset, progress);
    }
    // The IDs of the selected rows' records.
    std::set<std::string> SelectedIds() const
    {
        std::set<std::string> ids;
        for (int nRow : m_list.SelectedRows())
            ids.emplace(m_list.CellText(nRow, 0));
        return ids;
    }
    // The record digests from the top down.
    std::vector<std::string> Digests() const
    {
        std::vector<std::string> digests;
        for (int nRow = 0; nRow < m_list.RowCount(); ++nRow)
            digests.push_back(HexText(m_list.RecordDigest(nRow)));
        return digests;
    }
    CRuleSet Rule(const std::string &strField, const std::string &strCondition,
        const std::string &strText) const
    {
        CRuleSet rules;
        rules.FirstField = strField;
        rules.FirstCondition = strCondition;
        rules.FirstText = strText;
        return rules;
    }

    CRecordingPrompter m_prompter;
    CDaoDatabase m_database;
    CDaoRecordset m_recordset;
    std::vector<std::string> m_fields;
    CRecordList m_list;
};

TEST_F(RecordListTest, RecordsAreListedNewestOnTopAsTexts)
{
    QAbstractItemModelTester tester(&m_list, QAbstractItemModelTester::FailureReportingMode::Fatal);
    Open("Orders");
    m_list.SetColumns(m_fields);
    CCancellingProgress progress;
    m_list.Load(m_recordset, progress);
    EXPECT_EQ(progress.texts, (Texts {"Moving to first item...", "Loading items..."}));
    EXPECT_EQ(progress.nStep, 32700 / 4);
    ASSERT_EQ(m_list.RowCount(), 4);
    ASSERT_EQ(m_list.ColumnCount(), 7);
    EXPECT_EQ(m_list.CellText(0, 0), "4");
    EXPECT_EQ(m_list.CellText(3, 0), "1");
    EXPECT_EQ(m_list.CellText(3, 2), "Widget");
    EXPECT_EQ(m_list.CellText(3, 4), "9.99");
    EXPECT_EQ(m_list.CellText(3, 5), "5/1/2023 10:00:00 AM");
    EXPECT_EQ(m_list.CellText(3, 6), "TRUE");
    EXPECT_EQ(m_list.CellText(1, 5), "12/29/1899 6:00:00 PM"); // stored as -1.75
    EXPECT_EQ(m_list.CellText(1, 2), "Schraube M4");
    EXPECT_EQ(m_list.data(m_list.index(3, 2)).toString(), QStringLiteral("Widget"));
    EXPECT_EQ(m_list.headerData(2, Qt::Horizontal).toString(), QStringLiteral("Product"));
    EXPECT_EQ(m_list.RowOfRecord(0), 3);
    EXPECT_EQ(m_list.RowOfRecord(4), -1);
    EXPECT_TRUE(m_prompter.Entries().empty());

    Load("Contacts");
    EXPECT_EQ(m_list.CellText(4, 0), "8"); // record k stands at row 12 - k
    EXPECT_EQ(m_list.CellText(4, 5), ""); // NULL
    EXPECT_EQ(m_list.CellText(6, 11), "7"); // Level is a Byte: its digits
    EXPECT_EQ(m_list.CellText(6, 8), "TRUE");
    EXPECT_EQ(m_list.CellText(6, 15), "10.50");
    EXPECT_EQ(m_list.CellText(6, 14), "{0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0}");
    EXPECT_EQ(m_list.CellText(6, 13), ""); // OLE
    EXPECT_EQ(m_list.CellText(3, 12).size(), 1648u);
    EXPECT_EQ(m_list.CellText(6, 9), "100.000000");
    EXPECT_EQ(m_list.CellText(8, 7), "6/1/1850");

    Load("Empty");
    EXPECT_EQ(m_list.RowCount(), 0);
}

// A copy of a fixture with one text replaced by another of the same length, as if edited.
std::string EditedCopy(
    const std::string &strFile, const std::string &strFrom, const std::string &strTo)
{
    std::ifstream in(kData + strFile, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), {});
    const size_t nAt = bytes.find(strFrom);
    EXPECT_NE(nAt, std::string::npos);
    EXPECT_EQ(bytes.find(strFrom, nAt + 1), std::string::npos);
    bytes.replace(nAt, strFrom.size(), strTo);
    static QTemporaryDir folder;
    const std::string strCopy
        = folder.filePath(QString::fromStdString("edited-" + strFile)).toStdString();
    std::ofstream(strCopy, std::ios::binary) << bytes;
    return strCopy;
}

TEST_F(RecordListTest, ARecordIsKnownByItsStoredValuesInAnyLocaleAndDespiteOtherEdits)
{
    std::vector<std::string> english;
    std::vector<std::string> german;
    std::string strEnglishDate;
    {
        CScopedLocale locale("en_US");
        Load("Contacts");
        english = Digests();
        strEnglishDate = m_list.CellText(11, 7);
    }
    {
        CScopedLocale locale("de_DE");
        Load("Contacts");
        german = Digests();
        EXPECT_NE(m_list.CellText(11, 7), strEnglishDate); // shown otherwise, stored the same
    }
    EXPECT_EQ(german, english);
    EXPECT_EQ(std::set<std::string>(english.begin(), english.end()).size(), 12u);

    // The table has an AutoNumber field: a record whose City was edited is the same record.
    Load("Contacts", 0, EditedCopy("contacts.mdb", "Berlin", "Bremen"));
    EXPECT_EQ(m_list.CellText(9, 4), "Bremen");
    EXPECT_EQ(Digests(), english);

    // Without one, every value tells the records apart, and an edited record is another.
    Load("People", 0, kData + "linked.mdb");
    const std::vector<std::string> people = Digests();
    EXPECT_EQ(std::set<std::string>(people.begin(), people.end()).size(), 3u);
    Load("People", 0, EditedCopy("linked.mdb", "Alan Turing", "Alan Turinx"));
    const std::vector<std::string> edited = Digests();
    EXPECT_EQ(edited[0], people[0]);
    EXPECT_NE(edited[1], people[1]);
    EXPECT_EQ(edited[2], people[2]);
}

// Send journals store these digests: the bytes and the hash must never change.
TEST(StoredValueDigestTest, TheDigestOfARecordStaysWhatJournalsRecorded)
{
    CStoredValueDigest digest;
    for (int nRound = 0; nRound < 2; ++nRound) { // Take starts the next record afresh
        digest.Add(CVariant::String("Ann"));
        digest.Add(CVariant::Long(5));
        digest.Add(CVariant::Null());
        digest.Add(CVariant::Date(46364));
        EXPECT_EQ(HexText(digest.Take()), "5732b374ffe9ef6e589036904ed35835");
    }
}

TEST_F(RecordListTest, CancellingTheLoadKeepsWhatWasRead)
{
    m_prompter.ScriptAnswer(true);
    Load("Contacts", 1);
    EXPECT_EQ(m_prompter.TakeTexts(),
        Texts {"Are you sure you want to Cancel?\nNot all items will be shown."});
    ASSERT_EQ(m_list.RowCount(), 1);
    EXPECT_EQ(m_list.Label(0), "1");

    m_prompter.ScriptAnswer(false);
    Load("Contacts", 1);
    EXPECT_EQ(m_prompter.TakeTexts().size(), 1u);
    EXPECT_EQ(m_list.RowCount(), 12);
}

TEST_F(RecordListTest, SelectionByHandAndByLabel)
{
    Load("Contacts");
    m_list.SelectAll();
    EXPECT_EQ(m_list.SelectedRows().size(), 12u);
    m_list.UnselectAll();
    EXPECT_TRUE(m_list.SelectedRows().empty());

    // Labels are first-field texts: here the IDs; the search takes the topmost row and ignores
    // ASCII letter case.
    m_list.SetColumns({"FirstName", "ID"});
    for (const char *pName : {"Ann", "anna", "John", "Anna", "John"})
        m_list.AddRecord({pName});
    m_list.SelectRowByLabel("ANNA", true);
    m_list.SelectRowByLabel("john", true);
    EXPECT_EQ(m_list.SelectedRows(), (std::vector<int> {0, 1}));
    m_list.SelectRowByLabel("Nobody", true);
    m_list.SelectRowByLabel("anna", false);
    EXPECT_EQ(m_list.SelectedRows(), (std::vector<int> {0}));
}

TEST_F(RecordListTest, RulesCombineLeftToRightWithoutPrecedence)
{
    Load("Contacts");
    // (City is London Or Age > 40) And Not Active: records 1, 6, 7, 9 and 12.
    CRuleSet rules = Rule("City", "Equals", "London");
    rules.SecondEnable = 1, rules.SecondField = "Age", rules.SecondCondition = "Greater than";
    rules.SecondText = "40", rules.SecondBoolean = CRuleSet::kOr;
    rules.ThirdEnable = 1, rules.ThirdField = "Active", rules.ThirdCondition = "Equals";
    rules.ThirdText = "false", rules.ThirdBoolean = CRuleSet::kAndNot;
    m_list.SetSelected(0, true); // record 12, chosen by hand, is kept only if it matches
    m_list.SetSelected(m_list.RowOfRecord(2), true); // record 3 does not match
    SelectByRules(rules, m_fields, m_recordset, m_list);
    EXPECT_EQ(SelectedIds(), (std::set<std::string> {"1", "6", "7", "9", "12"}));

    // Two rows on one field: 10 < Age < 20 (record 8's Age is NULL, record 11's is 0).
    rules = Rule("Age", "Greater than", "10");
    rules.SecondEnable = 1, rules.SecondField = "Age", rules.SecondCondition = "Less than";
    rules.SecondText = "20", rules.SecondBoolean = CRuleSet::kAnd;
    SelectByRules(rules, m_fields, m_recordset, m_list);
    EXPECT_EQ(SelectedIds(), (std::set<std::string> {"2", "3"}));
    EXPECT_TRUE(m_prompter.Entries().empty());
}

TEST_F(RecordListTest, AMatchSelectsItsOwnRowEvenWhenLabelsCollide)
{
    Load("Contacts");
    // The first field of these rows is FirstName: "John" twice, and "Anna" beside "anna".
    m_fields[0] = "ID";
    CRuleSet rules = Rule("FirstName", "Equals", "Anna");
    rules.CaseSensitive = 1;
    SelectByRules(rules, m_fields, m_recordset, m_list);
    EXPECT_EQ(m_list.SelectedRows(), (std::vector<int> {m_list.RowOfRecord(1)}));

    rules = Rule("Email", "Equals", "john.smith@example.com");
    SelectByRules(rules, m_fields, m_recordset, m_list);
    EXPECT_EQ(m_list.SelectedRows(), (std::vector<int> {m_list.RowOfRecord(0)}));
    EXPECT_EQ(m_list.CellText(m_list.RowOfRecord(0), 3), "john.smith@example.com");

    // Records that a cancelled load never reached select nothing.
    m_prompter.ScriptAnswer(true);
    Load("Contacts", 5);
    m_prompter.TakeTexts();
    SelectByRules(Rule("FirstName", "Is not blank", ""), m_fields, m_recordset, m_list);
    EXPECT_EQ(m_list.SelectedRows().size(), 5u);
    EXPECT_EQ(SelectedIds(), (std::set<std::string> {"1", "2", "3", "4", "5"}));
}

TEST_F(RecordListTest, RulesAreCheckedBeforeTheyRun)
{
    Open("Contacts");
    EXPECT_EQ(CheckRuleFields(Rule("City", "Equals", "x"), m_fields), "");
    EXPECT_EQ(CheckRuleFields(Rule("city", "Equals", "x"), m_fields),
        "The selection rules name the field \"city\", which the table does not have.");
    CRuleSet rules = Rule("City", "Equals", "x");
    rules.ThirdField = "Nope"; // row 3 is off: not checked
    EXPECT_EQ(CheckRuleFields(rules, m_fields), "");
    rules.ThirdEnable = 1;
    EXPECT_NE(CheckRuleFields(rules, m_fields), "");

    const auto problem = [](const CRuleSet &r) {
        const auto found = ValidateRuleSet(r);
        return found ? found->strMessage : std::string("ok");
    };
    EXPECT_EQ(problem(Rule("City", "Equals", "")), "Please enter some comparison text");
    EXPECT_EQ(problem(Rule("City", "Is blank", "")), "ok");
    EXPECT_EQ(problem(Rule("City", "Is not blank", "")), "ok");
    EXPECT_EQ(problem(Rule("City", "Equals", " ")), "ok");
    rules = Rule("City", "Equals", "x");
    rules.SecondEnable = 1, rules.SecondCondition = "Less than";
    EXPECT_EQ(problem(rules), "Please enter some comparison text for the second item");
    rules.SecondText = "y";
    EXPECT_EQ(problem(rules), "Please choose a boolean comparison");
    EXPECT_EQ(ValidateRuleSet(rules)->control, ERuleControl::SecondBoolean);
    rules.SecondBoolean = CRuleSet::kOr, rules.ThirdEnable = 1, rules.ThirdCondition = "Equals";
    EXPECT_EQ(problem(rules), "Please enter some comparison text for the third item");
    rules.ThirdText = "z";
    EXPECT_EQ(problem(rules), "Please choose a second boolean comparison");
}

TEST_F(RecordListTest, UnknownCombinationCodesAreReportedPerRecord)
{
    Load("Orders");
    CRuleSet rules = Rule("Product", "Is not blank", "");
    rules.SecondEnable = 1, rules.SecondField = "Product", rules.SecondCondition = "Is blank";
    rules.SecondBoolean = 7;
    SelectByRules(rules, m_fields, m_recordset, m_list);
    EXPECT_EQ(m_prompter.TakeTexts(), Texts(4, "Bad Boolean combination!"));
    EXPECT_TRUE(m_list.SelectedRows().empty());
}

} // namespace
