#include "ui/InsertIfDlg.h"

#include <QLayout>

#include "engine/Comparison.h"
#include "engine/Prompter.h"
#include "ui/FieldNames.h"
#include "ui_InsertIfDlg.h"

CInsertIfDlg::CInsertIfDlg(const std::vector<std::string> &fieldNames, QWidget *pParent)
    : QDialog(pParent), m_pUi(new Ui::CInsertIfDlg)
{
    m_pUi->setupUi(this);
    layout()->setSizeConstraint(QLayout::SetFixedSize); // nothing to gain from more room
    setObjectName(QStringLiteral("insertIfDlg"));
    // The field combos are sorted lists, as the list boxes they stand for.
    const QStringList names = SortedFieldNames(fieldNames);
    for (QComboBox *pCombo :
        {m_pUi->fieldCombo, m_pUi->thenFieldCombo, m_pUi->otherwiseFieldCombo}) {
        pCombo->addItems(names);
        pCombo->setCurrentIndex(names.isEmpty() ? -1 : 0);
    }
    for (const std::string_view name : kComparisonNames)
        m_pUi->comparisonCombo->addItem(QString::fromUtf8(name.data(), qsizetype(name.size())));
    m_pUi->comparisonCombo->setCurrentText(QStringLiteral("Equals"));

    connect(
        m_pUi->thenTextRadio, &QRadioButton::toggled, m_pUi->thenTextEdit, &QWidget::setEnabled);
    connect(
        m_pUi->thenTextRadio, &QRadioButton::toggled, m_pUi->thenFieldCombo, &QWidget::setDisabled);
    connect(m_pUi->otherwiseTextRadio, &QRadioButton::toggled, m_pUi->otherwiseTextEdit,
        &QWidget::setEnabled);
    connect(m_pUi->otherwiseTextRadio, &QRadioButton::toggled, m_pUi->otherwiseFieldCombo,
        &QWidget::setDisabled);
    connect(m_pUi->insertButton, &QPushButton::clicked, this, &CInsertIfDlg::accept);
    connect(m_pUi->cancelButton, &QPushButton::clicked, this, &QDialog::reject);
}

CInsertIfDlg::~CInsertIfDlg()
{
    delete m_pUi;
}

SIfBlockParts CInsertIfDlg::Parts() const
{
    SIfBlockParts parts;
    parts.strField = m_pUi->fieldCombo->currentText().toStdString();
    parts.strComparison = m_pUi->comparisonCombo->currentText().toStdString();
    parts.strCompareTo = m_pUi->compareToEdit->text().toStdString();
    parts.bCaseSensitive = m_pUi->caseSensitiveCheck->isChecked();
    parts.bThenIsText = m_pUi->thenTextRadio->isChecked();
    parts.strThenText = m_pUi->thenTextEdit->text().toStdString();
    parts.strThenField = m_pUi->thenFieldCombo->currentText().toStdString();
    parts.bOtherwiseIsText = m_pUi->otherwiseTextRadio->isChecked();
    parts.strOtherwiseText = m_pUi->otherwiseTextEdit->text().toStdString();
    parts.strOtherwiseField = m_pUi->otherwiseFieldCombo->currentText().toStdString();
    return parts;
}

void CInsertIfDlg::accept()
{
    const SIfBlockParts parts = Parts();
    const EIfBlockProblem problem = CheckIfBlock(parts);
    if (problem != EIfBlockProblem::None) {
        ShowMessage(IfBlockMessage(problem));
        QWidget *pFocus = m_pUi->fieldCombo;
        if (problem == EIfBlockProblem::NoComparison)
            pFocus = m_pUi->comparisonCombo;
        else if (problem == EIfBlockProblem::NoCompareToText)
            pFocus = m_pUi->compareToEdit;
        pFocus->setFocus();
        return;
    }
    m_strResult = BuildIfBlock(parts);
    QDialog::accept();
}
