#include "ui/HeaderBar.h"

#include <algorithm>

#include "engine/AsciiCase.h"
#include "ui/FieldNames.h"
#include "ui_HeaderBar.h"

CHeaderBar::CHeaderBar(QWidget *pParent) : QWidget(pParent), m_pUi(new Ui::CHeaderBar)
{
    m_pUi->setupUi(this);
    setObjectName(QStringLiteral("headerBar"));
    for (QLineEdit *pEdit : {m_pUi->fromEdit, m_pUi->subjectEdit, m_pUi->replyToEdit})
        connect(pEdit, &QLineEdit::textEdited, this, &CHeaderBar::EditedByUser);
    connect(m_pUi->toCombo, &QComboBox::activated, this, &CHeaderBar::EditedByUser);
}

CHeaderBar::~CHeaderBar()
{
    delete m_pUi;
}

QLineEdit *CHeaderBar::FromEdit() const
{
    return m_pUi->fromEdit;
}

QComboBox *CHeaderBar::ToCombo() const
{
    return m_pUi->toCombo;
}

QLineEdit *CHeaderBar::SubjectEdit() const
{
    return m_pUi->subjectEdit;
}

QLineEdit *CHeaderBar::ReplyToEdit() const
{
    return m_pUi->replyToEdit;
}

QPushButton *CHeaderBar::InsertFieldButton() const
{
    return m_pUi->insertFieldButton;
}

QPushButton *CHeaderBar::InsertIfButton() const
{
    return m_pUi->insertIfButton;
}

void CHeaderBar::SetToFieldList(const std::vector<std::string> &names)
{
    m_pUi->toCombo->clear();
    m_pUi->toCombo->addItems(SortedFieldNames(names));
    m_pUi->toCombo->setCurrentIndex(-1);
}

void CHeaderBar::SelectToField(const std::string &strName)
{
    int nFound = -1;
    for (int i = 0; i < m_pUi->toCombo->count() && nFound < 0; ++i) {
        if (EqualsIgnoringAsciiCase(m_pUi->toCombo->itemText(i).toStdString(), strName))
            nFound = i;
    }
    m_pUi->toCombo->setCurrentIndex(nFound);
}

std::string CHeaderBar::SelectedToField() const
{
    return m_pUi->toCombo->currentIndex() < 0 ? std::string()
                                              : m_pUi->toCombo->currentText().toStdString();
}

SMessageExtras CHeaderBar::Extras() const
{
    return m_extras;
}

void CHeaderBar::SetExtras(const SMessageExtras &extras)
{
    m_extras = extras;
}
