#include "ui/SelectByRulesDlg.h"

#include <QButtonGroup>
#include <QLayout>

#include "app/Settings.h"
#include "engine/Comparison.h"
#include "engine/Prompter.h"
#include "ui/FieldNames.h"
#include "ui/SaveSearchDlg.h"
#include "ui_SelectByRulesDlg.h"

namespace {

void SetCombo(QComboBox *pCombo, const std::string &strText)
{
    const int nIndex = pCombo->findText(QString::fromStdString(strText), Qt::MatchFixedString);
    if (nIndex >= 0)
        pCombo->setCurrentIndex(nIndex);
}

// A group with none chosen (-1) shows no choice.
void SetGroup(QButtonGroup *pGroup, int nCode)
{
    if (QAbstractButton *pButton = pGroup->button(nCode)) {
        pButton->setChecked(true);
        return;
    }
    pGroup->setExclusive(false);
    for (QAbstractButton *pButton : pGroup->buttons())
        pButton->setChecked(false);
    pGroup->setExclusive(true);
}

} // namespace

CSelectByRulesDlg::CSelectByRulesDlg(
    const std::vector<std::string> &fieldNames, CSettings &settings, QWidget *pParent)
    : QDialog(pParent)
    , m_pUi(new Ui::CSelectByRulesDlg)
    , m_settings(settings)
    , m_pFirstGroup(new QButtonGroup(this))
    , m_pSecondGroup(new QButtonGroup(this))
{
    m_pUi->setupUi(this);
    layout()->setSizeConstraint(QLayout::SetFixedSize); // nothing to gain from more room
    setObjectName(QStringLiteral("selectByRulesDlg"));
    const QStringList names = SortedFieldNames(fieldNames);
    for (QComboBox *pCombo :
        {m_pUi->row1FieldCombo, m_pUi->row2FieldCombo, m_pUi->row3FieldCombo}) {
        pCombo->addItems(names);
        pCombo->setCurrentIndex(names.isEmpty() ? -1 : 0);
    }
    for (QComboBox *pCombo :
        {m_pUi->row1ComparisonCombo, m_pUi->row2ComparisonCombo, m_pUi->row3ComparisonCombo}) {
        for (const std::string_view name : kComparisonNames)
            pCombo->addItem(QString::fromUtf8(name.data(), qsizetype(name.size())));
        pCombo->setCurrentIndex(0); // "Equals"
    }
    m_pFirstGroup->addButton(m_pUi->group1AndRadio, CRuleSet::kAnd);
    m_pFirstGroup->addButton(m_pUi->group1OrRadio, CRuleSet::kOr);
    m_pFirstGroup->addButton(m_pUi->group1AndNotRadio, CRuleSet::kAndNot);
    m_pSecondGroup->addButton(m_pUi->group2AndRadio, CRuleSet::kAnd);
    m_pSecondGroup->addButton(m_pUi->group2OrRadio, CRuleSet::kOr);
    m_pSecondGroup->addButton(m_pUi->group2AndNotRadio, CRuleSet::kAndNot);

    // On every change, not only clicks: a screen reader toggles the box without a click.
    connect(m_pUi->row2EnableCheck, &QCheckBox::toggled, this,
        [this] { UpdateRowStates(ERows::Second); });
    connect(m_pUi->row3EnableCheck, &QCheckBox::toggled, this,
        [this] { UpdateRowStates(ERows::Third); });
    connect(m_pUi->savedCombo, &CDropDownCombo::AboutToDropDown, this,
        &CSelectByRulesDlg::ListSavedSets);
    connect(m_pUi->savedCombo, &QComboBox::activated, this, &CSelectByRulesDlg::LoadSavedSet);
    connect(m_pUi->saveButton, &QPushButton::clicked, this, &CSelectByRulesDlg::OnSave);
    connect(m_pUi->deleteButton, &QPushButton::clicked, this, &CSelectByRulesDlg::OnDelete);
    connect(m_pUi->selectButton, &QPushButton::clicked, this, &CSelectByRulesDlg::accept);
    connect(m_pUi->cancelButton, &QPushButton::clicked, this, &QDialog::reject);
    UpdateRowStates(ERows::Both);
}

CSelectByRulesDlg::~CSelectByRulesDlg()
{
    delete m_pUi;
}

CRuleSet CSelectByRulesDlg::Rules() const
{
    CRuleSet rules;
    rules.CaseSensitive = m_pUi->caseSensitiveCheck->isChecked() ? 1 : 0;
    rules.FirstField = m_pUi->row1FieldCombo->currentText().toStdString();
    rules.FirstCondition = m_pUi->row1ComparisonCombo->currentText().toStdString();
    rules.FirstText = m_pUi->row1TextEdit->text().toStdString();
    rules.SecondEnable = m_pUi->row2EnableCheck->isChecked() ? 1 : 0;
    rules.SecondField = m_pUi->row2FieldCombo->currentText().toStdString();
    rules.SecondCondition = m_pUi->row2ComparisonCombo->currentText().toStdString();
    rules.SecondText = m_pUi->row2TextEdit->text().toStdString();
    rules.SecondBoolean = m_pFirstGroup->checkedId();
    rules.ThirdEnable = m_pUi->row3EnableCheck->isChecked() ? 1 : 0;
    rules.ThirdField = m_pUi->row3FieldCombo->currentText().toStdString();
    rules.ThirdCondition = m_pUi->row3ComparisonCombo->currentText().toStdString();
    rules.ThirdText = m_pUi->row3TextEdit->text().toStdString();
    rules.ThirdBoolean = m_pSecondGroup->checkedId();
    return rules;
}

void CSelectByRulesDlg::ShowRules(const CRuleSet &rules)
{
    m_pUi->caseSensitiveCheck->setChecked(rules.CaseSensitive == 1);
    SetCombo(m_pUi->row1FieldCombo, rules.FirstField);
    SetCombo(m_pUi->row1ComparisonCombo, rules.FirstCondition);
    m_pUi->row1TextEdit->setText(QString::fromStdString(rules.FirstText));
    m_pUi->row2EnableCheck->setChecked(rules.SecondEnable == 1);
    SetCombo(m_pUi->row2FieldCombo, rules.SecondField);
    SetCombo(m_pUi->row2ComparisonCombo, rules.SecondCondition);
    m_pUi->row2TextEdit->setText(QString::fromStdString(rules.SecondText));
    SetGroup(m_pFirstGroup, rules.SecondBoolean);
    m_pUi->row3EnableCheck->setChecked(rules.ThirdEnable == 1);
    SetCombo(m_pUi->row3FieldCombo, rules.ThirdField);
    SetCombo(m_pUi->row3ComparisonCombo, rules.ThirdCondition);
    m_pUi->row3TextEdit->setText(QString::fromStdString(rules.ThirdText));
    SetGroup(m_pSecondGroup, rules.ThirdBoolean);
    UpdateRowStates(ERows::Both);
}

void CSelectByRulesDlg::UpdateRowStates(ERows which)
{
    const auto enableRow = [](std::initializer_list<QWidget *> widgets, bool bEnable) {
        for (QWidget *pWidget : widgets)
            pWidget->setEnabled(bEnable);
    };
    const auto second = {static_cast<QWidget *>(m_pUi->row2IfLabel),
        static_cast<QWidget *>(m_pUi->row2FieldCombo),
        static_cast<QWidget *>(m_pUi->row2ComparisonCombo),
        static_cast<QWidget *>(m_pUi->row2TextEdit)};
    const auto third = {static_cast<QWidget *>(m_pUi->row3IfLabel),
        static_cast<QWidget *>(m_pUi->row3FieldCombo),
        static_cast<QWidget *>(m_pUi->row3ComparisonCombo),
        static_cast<QWidget *>(m_pUi->row3TextEdit)};
    if (which == ERows::Second || which == ERows::Both) {
        const bool bOn = m_pUi->row2EnableCheck->isChecked();
        enableRow(second, bOn);
        for (QAbstractButton *pButton : m_pFirstGroup->buttons())
            pButton->setEnabled(bOn);
        m_pUi->row3EnableCheck->setEnabled(bOn);
        if (!bOn) {
            m_pUi->row2EnableCheck->setChecked(false);
            if (which == ERows::Second) {
                m_pUi->row3EnableCheck->setChecked(false); // row 3 goes off with row 2
                which = ERows::Third;
            }
        }
    }
    if (which == ERows::Third || which == ERows::Both) {
        const bool bOn = m_pUi->row3EnableCheck->isChecked();
        enableRow(third, bOn);
        for (QAbstractButton *pButton : m_pSecondGroup->buttons())
            pButton->setEnabled(bOn);
        if (bOn)
            m_pUi->row3EnableCheck->setEnabled(true);
        else
            m_pUi->row3EnableCheck->setChecked(false);
    }
}

void CSelectByRulesDlg::ListSavedSets()
{
    m_pUi->savedCombo->clear();
    for (const std::string &strName : m_settings.SavedRuleSets())
        m_pUi->savedCombo->addItem(QString::fromStdString(strName));
    m_pUi->savedCombo->setCurrentIndex(-1);
}

void CSelectByRulesDlg::LoadSavedSet()
{
    const std::string strName = m_pUi->savedCombo->currentText().toStdString();
    if (strName.empty())
        return;
    ShowRules(m_settings.LoadRuleSet(strName));
}

void CSelectByRulesDlg::OnSave()
{
    CSaveSearchDlg dlg(this);
    if (dlg.exec() != QDialog::Accepted)
        return;
    if (const std::string strProblem = m_settings.SaveRuleSet(dlg.Name(), Rules());
        !strProblem.empty())
        ShowMessage(strProblem);
}

void CSelectByRulesDlg::OnDelete()
{
    const std::string strName = m_pUi->savedCombo->currentText().toStdString();
    if (strName.empty()
        || !AskYesNo("Delete the saved rule set \"" + strName + "\"?", CPrompter::EIcon::Question))
        return;
    m_settings.DeleteRuleSet(strName);
    m_pUi->savedCombo->clear();
}

QWidget *CSelectByRulesDlg::ControlOf(ERuleControl control) const
{
    switch (control) {
    case ERuleControl::FirstText:
        return m_pUi->row1TextEdit;
    case ERuleControl::SecondText:
        return m_pUi->row2TextEdit;
    case ERuleControl::ThirdText:
        return m_pUi->row3TextEdit;
    case ERuleControl::SecondBoolean:
        return m_pUi->group1AndRadio;
    case ERuleControl::ThirdBoolean:
        return m_pUi->group2AndRadio;
    }
    return nullptr;
}

void CSelectByRulesDlg::accept()
{
    if (const auto problem = ValidateRuleSet(Rules())) {
        ShowMessage(problem->strMessage);
        ControlOf(problem->control)->setFocus();
        return;
    }
    QDialog::accept();
}
