// Insert Field and Insert If: the field menu in field order, the tag replacing the selection,
// the 1000-field limit, the Insert If dialog's states, checks and the block it builds.
#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QRadioButton>
#include <QSettings>
#include <QTemporaryDir>

#include "support/RecordingPrompter.h"
#include "support/SampleFrameTest.h"
#include "support/WhenShown.h"
#include "support/WidgetHelpers.h"
#include "ui/InsertIfDlg.h"
#include "ui/MainFrame.h"
#include "ui/MergixView.h"

namespace {

using Texts = std::vector<std::string>;

class InsertionTest : public CSampleFrameTest
{ };

TEST_F(InsertionTest, TheFieldMenuFollowsTheFieldOrderAndReplacesTheSelection)
{
    std::unique_ptr<QMenu> pMenu(m_pFrame->CreateFieldMenu());
    const QList<QAction *> items = pMenu->actions();
    const std::vector<std::string> &names = m_pFrame->Document().m_fieldNames;
    ASSERT_EQ(items.size(), qsizetype(names.size()));
    for (size_t i = 0; i < names.size(); ++i)
        EXPECT_EQ(items[qsizetype(i)]->text().toStdString(), names[i]);

    CMergixView &view = m_pFrame->View();
    view.SetPlainText("Hello NAME!");
    QTextCursor cursor = view.textCursor();
    cursor.setPosition(6);
    cursor.setPosition(10, QTextCursor::KeepAnchor);
    view.setTextCursor(cursor);
    EXPECT_FALSE(m_pFrame->Document().IsModified());
    items[1]->trigger(); // FirstName
    EXPECT_EQ(view.PlainText(), "Hello <<FirstName>>!");
    EXPECT_TRUE(m_pFrame->Document().IsModified());
    view.undo(); // the insertion can be undone
    EXPECT_EQ(view.PlainText(), "Hello NAME!");

    // More than 1000 fields: the message once, then the first 1000.
    std::vector<std::string> many;
    for (int i = 0; i < 1001; ++i)
        many.push_back("F" + std::to_string(i));
    m_pFrame->Document().m_fieldNames = many;
    pMenu.reset(m_pFrame->CreateFieldMenu());
    EXPECT_EQ(m_prompter.TakeTexts(),
        Texts {"No more than 1000 fields can be displayed at once.\nSome fields may be missing"});
    EXPECT_EQ(pMenu->actions().size(), 1000);
    EXPECT_EQ(pMenu->actions().back()->text(), QStringLiteral("F999"));
}

TEST_F(InsertionTest, InsertIfStartsAsThePartSaysAndChecksInOrder)
{
    CInsertIfDlg dlg({"Region", "city", "Age"});
    EXPECT_EQ(UnnamedCombos(dlg), QStringList());
    auto *pField = Child<QComboBox>(dlg, "fieldCombo");
    EXPECT_EQ(Items(pField),
        (QStringList {QStringLiteral("Age"), QStringLiteral("city"), QStringLiteral("Region")}));
    EXPECT_EQ(pField->currentText(), QStringLiteral("Age"));
    EXPECT_EQ(Child<QComboBox>(dlg, "comparisonCombo")->currentText(), QStringLiteral("Equals"));
    EXPECT_EQ(Child<QComboBox>(dlg, "comparisonCombo")->count(), 8);
    EXPECT_TRUE(Child<QLineEdit>(dlg, "thenTextEdit")->isEnabled());
    EXPECT_FALSE(Child<QComboBox>(dlg, "thenFieldCombo")->isEnabled());
    EXPECT_FALSE(Child<QComboBox>(dlg, "otherwiseFieldCombo")->isEnabled());
    Child<QRadioButton>(dlg, "thenFieldRadio")->setChecked(true);
    EXPECT_FALSE(Child<QLineEdit>(dlg, "thenTextEdit")->isEnabled());
    EXPECT_TRUE(Child<QComboBox>(dlg, "thenFieldCombo")->isEnabled());
    Child<QRadioButton>(dlg, "thenTextRadio")->setChecked(true);

    dlg.show();
    dlg.accept();
    EXPECT_EQ(m_prompter.TakeTexts(), Texts {"Please enter some comparison text"});
    EXPECT_EQ(dlg.focusWidget(), Child<QLineEdit>(dlg, "compareToEdit"));
    EXPECT_TRUE(dlg.isVisible());
    Child<QComboBox>(dlg, "comparisonCombo")->setCurrentText(QStringLiteral("Is blank"));
    dlg.accept(); // an empty compare-to text is fine for "Is blank"
    EXPECT_TRUE(m_prompter.Entries().empty());
    EXPECT_EQ(dlg.Result(), "{IF \"<<Age>>\" \"Is blank\" \"\" THEN \"\" ELSE \"\" \"CASENO\"}");

    SIfBlockParts parts;
    parts.strComparison = "Equals";
    parts.strCompareTo = "x";
    EXPECT_EQ(CheckIfBlock(parts), EIfBlockProblem::NoField);
    parts.strComparison.clear();
    EXPECT_EQ(CheckIfBlock(parts), EIfBlockProblem::NoComparison);
}

TEST_F(InsertionTest, TheBlockIsBuiltPieceByPieceAndInserted)
{
    WhenShown<CInsertIfDlg>([](CInsertIfDlg &dlg) {
        Child<QComboBox>(dlg, "fieldCombo")->setCurrentText(QStringLiteral("City"));
        Child<QLineEdit>(dlg, "compareToEdit")->setText(QStringLiteral("Boston"));
        Child<QLineEdit>(dlg, "thenTextEdit")->setText(QStringLiteral("Hello neighbour"));
        Child<QRadioButton>(dlg, "otherwiseFieldRadio")->setChecked(true);
        Child<QComboBox>(dlg, "otherwiseFieldCombo")->setCurrentText(QStringLiteral("LastName"));
        dlg.accept();
    });
    m_pFrame->View().SetPlainText("");
    m_pFrame->OnInsertIf();
    EXPECT_EQ(m_pFrame->View().PlainText(),
        "{IF \"<<City>>\" \"Equals\" \"Boston\" THEN \"Hello neighbour\" ELSE \"<<LastName>>\" "
        "\"CASENO\"}");
    EXPECT_TRUE(m_pFrame->Document().IsModified());

    WhenShown<CInsertIfDlg>([](CInsertIfDlg &dlg) {
        Child<QLineEdit>(dlg, "compareToEdit")->setText(QStringLiteral("\"quoted\""));
        Child<QCheckBox>(dlg, "caseSensitiveCheck")->setChecked(true);
        dlg.accept();
    });
    m_pFrame->View().SetPlainText("");
    m_pFrame->OnInsertIf();
    EXPECT_EQ(m_pFrame->View().PlainText(),
        "{IF \"<<Active>>\" \"Equals\" \"\"quoted\"\" THEN \"\" ELSE \"\" \"CASEYES\"}");
}

} // namespace
