// Select by Rules and Save Search Settings: the initial states, the Enable chain, the checks
// with their focus, saved sets through the dialogs, and the selection they make in Choose
// Recipients, compared with the command line's.
#include <gtest/gtest.h>

#include <cstdio>

#include <QAbstractButton>
#include <QAccessible>
#include <QCheckBox>
#include <QComboBox>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

#include "app/Settings.h"
#include "document/MergixDoc.h"
#include "support/RecordingPrompter.h"
#include "support/WhenShown.h"
#include "support/WidgetHelpers.h"
#include "ui/ChooseRecipientsDlg.h"
#include "ui/SaveSearchDlg.h"
#include "ui/SelectByRulesDlg.h"

namespace {

using Texts = std::vector<std::string>;
const std::string kSample = MERGIX_EXAMPLES_DIR "/sample.mgx";

class SelectByRulesTest : public testing::Test
{
protected:
    void SetUp() override
    {
        m_pStore = std::make_unique<QSettings>(
            m_dir.filePath(QStringLiteral("settings.ini")), QSettings::IniFormat);
        m_pSettings = std::make_unique<CSettings>(*m_pStore);
        ASSERT_TRUE(m_doc.OnOpenDocument(kSample));
    }

    QTemporaryDir m_dir;
    CRecordingPrompter m_prompter;
    std::unique_ptr<QSettings> m_pStore;
    std::unique_ptr<CSettings> m_pSettings;
    CMergixDoc m_doc;
};

TEST_F(SelectByRulesTest, StartsAsThePartSaysAndChainsTheRows)
{
    CSelectByRulesDlg dlg({"Name", "City", "age"}, *m_pSettings);
    EXPECT_EQ(Child<QComboBox>(dlg, "row1FieldCombo")->currentText(), QStringLiteral("age"));
    EXPECT_EQ(
        Child<QComboBox>(dlg, "row3ComparisonCombo")->currentText(), QStringLiteral("Equals"));
    EXPECT_TRUE(Child<QComboBox>(dlg, "savedCombo")->currentText().isEmpty());
    auto *pEnable2 = Child<QCheckBox>(dlg, "row2EnableCheck");
    auto *pEnable3 = Child<QCheckBox>(dlg, "row3EnableCheck");
    EXPECT_TRUE(pEnable2->isEnabled());
    EXPECT_FALSE(pEnable3->isEnabled());
    EXPECT_FALSE(Child<QComboBox>(dlg, "row2FieldCombo")->isEnabled());
    EXPECT_FALSE(Child<QLabel>(dlg, "row3IfLabel")->isEnabled());
    EXPECT_FALSE(Child<QRadioButton>(dlg, "group1AndRadio")->isEnabled());
    EXPECT_FALSE(Child<QRadioButton>(dlg, "group1OrRadio")->isChecked());

    dlg.show();
    pEnable2->click();
    EXPECT_TRUE(Child<QLineEdit>(dlg, "row2TextEdit")->isEnabled());
    EXPECT_TRUE(Child<QRadioButton>(dlg, "group1AndRadio")->isEnabled());
    EXPECT_TRUE(pEnable3->isEnabled());
    EXPECT_FALSE(Child<QLineEdit>(dlg, "row3TextEdit")->isEnabled());
    pEnable3->click();
    Child<QLineEdit>(dlg, "row3TextEdit")->setText(QStringLiteral("kept"));
    EXPECT_TRUE(Child<QRadioButton>(dlg, "group2OrRadio")->isEnabled());
    pEnable2->click(); // off: row 3 goes off with it, its contents stay
    EXPECT_FALSE(pEnable3->isChecked());
    EXPECT_FALSE(pEnable3->isEnabled());
    EXPECT_FALSE(Child<QLineEdit>(dlg, "row3TextEdit")->isEnabled());
    EXPECT_EQ(Child<QLineEdit>(dlg, "row3TextEdit")->text(), QStringLiteral("kept"));
    EXPECT_EQ(dlg.Rules().ThirdEnable, 0);
}

TEST_F(SelectByRulesTest, SelectChecksInOrderWithTheFocus)
{
    CSelectByRulesDlg dlg({"City", "Age"}, *m_pSettings);
    dlg.show();
    const auto select = [&] {
        dlg.accept();
        const Texts texts = m_prompter.TakeTexts();
        return texts.empty() ? std::string() : texts[0];
    };
    EXPECT_EQ(select(), "Please enter some comparison text");
    EXPECT_EQ(dlg.focusWidget(), Child<QLineEdit>(dlg, "row1TextEdit"));
    Child<QLineEdit>(dlg, "row1TextEdit")->setText(QStringLiteral(" "));
    Child<QCheckBox>(dlg, "row2EnableCheck")->click();
    EXPECT_EQ(select(), "Please enter some comparison text for the second item");
    EXPECT_EQ(dlg.focusWidget(), Child<QLineEdit>(dlg, "row2TextEdit"));
    Child<QComboBox>(dlg, "row2ComparisonCombo")->setCurrentText(QStringLiteral("Is blank"));
    Child<QCheckBox>(dlg, "row3EnableCheck")->click();
    EXPECT_EQ(select(), "Please enter some comparison text for the third item");
    Child<QLineEdit>(dlg, "row3TextEdit")->setText(QStringLiteral("x"));
    EXPECT_EQ(select(), "Please choose a boolean comparison");
    EXPECT_EQ(dlg.focusWidget(), Child<QRadioButton>(dlg, "group1AndRadio"));
    Child<QRadioButton>(dlg, "group1OrRadio")->setChecked(true);
    EXPECT_EQ(select(), "Please choose a second boolean comparison");
    EXPECT_EQ(dlg.focusWidget(), Child<QRadioButton>(dlg, "group2AndRadio"));
    Child<QRadioButton>(dlg, "group2AndNotRadio")->setChecked(true);
    EXPECT_EQ(select(), "");
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
}

TEST_F(SelectByRulesTest, TheEnableBoxesWorkAlikeFromTheMouseAndFromAScreenReader)
{
    CSelectByRulesDlg dlg({"City", "Age"}, *m_pSettings);
    dlg.show();
    EXPECT_EQ(UnnamedCombos(dlg), QStringList());
    auto *pEnable2 = Child<QCheckBox>(dlg, "row2EnableCheck");
    auto *pEnable3 = Child<QCheckBox>(dlg, "row3EnableCheck");
    auto *pField2 = Child<QComboBox>(dlg, "row2FieldCombo");
    auto *pField3 = Child<QComboBox>(dlg, "row3FieldCombo");
    // What voice control and switch access do: the box's own "Toggle" action.
    const auto toggle = [](QCheckBox *pBox) {
        QAccessibleInterface *pAccessible = QAccessible::queryAccessibleInterface(pBox);
        ASSERT_NE(pAccessible, nullptr);
        ASSERT_NE(pAccessible->actionInterface(), nullptr);
        pAccessible->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
    };
    toggle(pEnable2);
    EXPECT_TRUE(pEnable2->isChecked());
    EXPECT_TRUE(pField2->isEnabled());
    EXPECT_TRUE(pEnable3->isEnabled());
    toggle(pEnable3);
    EXPECT_TRUE(pField3->isEnabled());
    // Off again: rule 3 goes with rule 2, and no row stays on but grey.
    toggle(pEnable2);
    EXPECT_FALSE(pField2->isEnabled());
    EXPECT_FALSE(pEnable3->isChecked());
    EXPECT_FALSE(pEnable3->isEnabled());
    EXPECT_FALSE(pField3->isEnabled());
    // The mouse does the same.
    pEnable2->click();
    EXPECT_TRUE(pField2->isEnabled());
    EXPECT_TRUE(pEnable3->isEnabled());
    EXPECT_FALSE(pField3->isEnabled());
}

TEST_F(SelectByRulesTest, EnterPressesTheFocusedButtonAndElsewhereSelects)
{
    // On a focused Cancel, Enter cancels: the rules do not replace the hand selection.
    {
        CSelectByRulesDlg dlg({"City", "Age"}, *m_pSettings);
        dlg.show();
        Child<QLineEdit>(dlg, "row1TextEdit")->setText(QStringLiteral("Paris"));
        auto *pCancel = Child<QPushButton>(dlg, "cancelButton");
        pCancel->setFocus();
        QTest::keyClick(pCancel, Qt::Key_Return);
        EXPECT_EQ(dlg.result(), QDialog::Rejected);
        EXPECT_FALSE(dlg.isVisible());
    }
    // In a text box, Enter is Select.
    CSelectByRulesDlg dlg({"City", "Age"}, *m_pSettings);
    dlg.show();
    auto *pText = Child<QLineEdit>(dlg, "row1TextEdit");
    pText->setText(QStringLiteral("Paris"));
    pText->setFocus();
    QTest::keyClick(pText, Qt::Key_Return);
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_TRUE(m_prompter.Entries().empty());
}

TEST_F(SelectByRulesTest, SavedSetsGoRoundTripThroughTheDialogs)
{
    {
        CSelectByRulesDlg dlg({"City", "Age"}, *m_pSettings);
        dlg.show();
        CRuleSet rules;
        rules.CaseSensitive = 1;
        rules.FirstField = "Age";
        rules.FirstCondition = "Greater than";
        rules.FirstText = "40";
        rules.SecondEnable = 1;
        rules.SecondField = "City";
        rules.SecondCondition = "Is not blank";
        rules.SecondBoolean = CRuleSet::kAndNot;
        rules.ThirdEnable = 0; // off, with contents
        rules.ThirdField = "City";
        rules.ThirdCondition = "Less than";
        rules.ThirdText = "M";
        rules.ThirdBoolean = CRuleSet::kOr;
        dlg.ShowRules(rules);

        // An empty name, then one the settings cannot hold, then a good one.
        WhenShown<CSaveSearchDlg>([this](CSaveSearchDlg &save) {
            save.accept();
            EXPECT_EQ(
                m_prompter.TakeTexts(), Texts {"Please choose a name for the saved settings"});
            save.findChild<QLineEdit *>()->setText(QStringLiteral("a/b"));
            save.accept();
            EXPECT_EQ(m_prompter.Entries().size(), 1u);
            m_prompter.TakeTexts();
            save.findChild<QLineEdit *>()->setText(QStringLiteral("Seniors"));
            save.accept();
        });
        dlg.OnSave();
        EXPECT_EQ(m_pSettings->SavedRuleSets(), Texts {"Seniors"});
    }
    CSelectByRulesDlg dlg({"City", "Age"}, *m_pSettings);
    dlg.show();
    dlg.ListSavedSets();
    auto *pSaved = Child<QComboBox>(dlg, "savedCombo");
    ASSERT_EQ(pSaved->count(), 1);
    pSaved->setCurrentIndex(0);
    dlg.LoadSavedSet();
    const CRuleSet loaded = dlg.Rules();
    EXPECT_EQ(loaded.CaseSensitive, 1);
    EXPECT_EQ(loaded.FirstCondition, "Greater than");
    EXPECT_EQ(loaded.FirstText, "40");
    EXPECT_EQ(loaded.SecondBoolean, CRuleSet::kAndNot);
    EXPECT_EQ(loaded.ThirdEnable, 0);
    EXPECT_EQ(loaded.ThirdText, "M");
    EXPECT_EQ(loaded.ThirdBoolean, CRuleSet::kOr);
    EXPECT_FALSE(Child<QLineEdit>(dlg, "row3TextEdit")->isEnabled());
    EXPECT_TRUE(Child<QLineEdit>(dlg, "row2TextEdit")->isEnabled());

    // Delete asks first: No keeps the set.
    m_prompter.ScriptAnswer(false);
    dlg.OnDelete();
    EXPECT_EQ(m_pSettings->SavedRuleSets().size(), 1u);
    m_prompter.ScriptAnswer(true);
    dlg.OnDelete();
    const Texts asked = m_prompter.TakeTexts();
    ASSERT_EQ(asked.size(), 2u);
    EXPECT_NE(asked[0].find("Delete the saved rule set"), std::string::npos);
    EXPECT_TRUE(pSaved->currentText().isEmpty());
    EXPECT_TRUE(m_pSettings->SavedRuleSets().empty());
}

TEST_F(SelectByRulesTest, RulesSelectTheRowsTheCommandLineSelects)
{
    CChooseRecipientsDlg recipients(m_doc, CMergeRun::InputOf(m_doc));
    recipients.SetTestMode(true);
    recipients.SetRuleSettings(m_pSettings.get());
    recipients.Load();
    recipients.show();
    auto *pView = recipients.findChild<QTableView *>(QStringLiteral("recordList"));
    pView->selectionModel()->select(pView->model()->index(5, 0),
        QItemSelectionModel::Select | QItemSelectionModel::Rows); // a hand pick

    // Cancel keeps the hand pick.
    WhenShown<CSelectByRulesDlg>([](CSelectByRulesDlg &dlg) { dlg.reject(); });
    recipients.OnSelectByRules();
    EXPECT_EQ(pView->selectionModel()->selectedRows().size(), 1);

    // City Equals London Or City Equals Berlin And Not Age Less than 18.
    WhenShown<CSelectByRulesDlg>([](CSelectByRulesDlg &dlg) {
        CRuleSet rules;
        rules.FirstField = "City";
        rules.FirstCondition = "Equals";
        rules.FirstText = "london";
        rules.SecondEnable = 1;
        rules.SecondField = "City";
        rules.SecondCondition = "Equals";
        rules.SecondText = "Berlin";
        rules.SecondBoolean = CRuleSet::kOr;
        rules.ThirdEnable = 1;
        rules.ThirdField = "Age";
        rules.ThirdCondition = "Less than";
        rules.ThirdText = "18";
        rules.ThirdBoolean = CRuleSet::kAndNot;
        dlg.ShowRules(rules);
        dlg.accept();
    });
    recipients.OnSelectByRules();
    EXPECT_TRUE(m_prompter.Entries().empty());
    recipients.accept(); // the test merge of what the rules selected
    const std::string strExpected = CommandLineTestMerge(
        kSample, "--where City Equals london --or City Equals Berlin --and-not Age 'Less than' 18");
    ASSERT_FALSE(strExpected.empty());
    EXPECT_EQ(recipients.TestResults(), strExpected);
}

} // namespace
