#include "ui/HeaderBar.h"

#include <algorithm>

#include <QEvent>

#include "engine/AsciiCase.h"
#include "ui/FieldNames.h"
#include "ui_HeaderBar.h"

CHeaderBar::CHeaderBar(QWidget *pParent) : QWidget(pParent), m_pUi(new Ui::CHeaderBar)
{
    m_pUi->setupUi(this);
    setObjectName(QStringLiteral("headerBar"));
    for (QLineEdit *pEdit :
        {m_pUi->fromEdit, m_pUi->subjectEdit, m_pUi->replyToEdit, m_pUi->ccEdit, m_pUi->bccEdit})
        connect(pEdit, &QLineEdit::textEdited, this, &CHeaderBar::EditedByUser);
    connect(m_pUi->toCombo, &QComboBox::activated, this, &CHeaderBar::EditedByUser);
    connect(m_pUi->attachmentsButton, &QPushButton::clicked, this, &CHeaderBar::OnAttachments);
    ShowAttachmentCount();
    FitFieldsToFont();
}

void CHeaderBar::FitFieldsToFont()
{
    // Wide enough for a usual name and address in the font in use, so a larger system font
    // widens the fields rather than cutting their text; a wider window widens them further.
    const int nChar = fontMetrics().horizontalAdvance(QLatin1Char('x'));
    m_pUi->fromEdit->setMinimumWidth(40 * nChar);
    m_pUi->replyToEdit->setMinimumWidth(26 * nChar);
    m_pUi->ccEdit->setMinimumWidth(14 * nChar);
    m_pUi->bccEdit->setMinimumWidth(14 * nChar);
}

void CHeaderBar::changeEvent(QEvent *pEvent)
{
    if (pEvent->type() == QEvent::FontChange)
        FitFieldsToFont();
    QWidget::changeEvent(pEvent);
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

QLineEdit *CHeaderBar::CcEdit() const
{
    return m_pUi->ccEdit;
}

QLineEdit *CHeaderBar::BccEdit() const
{
    return m_pUi->bccEdit;
}

QPushButton *CHeaderBar::AttachmentsButton() const
{
    return m_pUi->attachmentsButton;
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
    return {
        m_pUi->ccEdit->text().toStdString(), m_pUi->bccEdit->text().toStdString(), m_attachments};
}

void CHeaderBar::SetExtras(const SMessageExtras &extras)
{
    m_pUi->ccEdit->setText(QString::fromStdString(extras.strCc));
    m_pUi->bccEdit->setText(QString::fromStdString(extras.strBcc));
    m_attachments = extras.attachments;
    ShowAttachmentCount();
}

void CHeaderBar::OnAttachments()
{
    if (!m_attachmentsEditor)
        return;
    std::optional<std::vector<std::string>> entries = m_attachmentsEditor(m_attachments);
    if (!entries || *entries == m_attachments)
        return;
    m_attachments = std::move(*entries);
    ShowAttachmentCount();
    emit EditedByUser();
}

void CHeaderBar::ShowAttachmentCount()
{
    // The name a screen reader reads stays the same; the count goes in the description.
    QPushButton *pButton = m_pUi->attachmentsButton;
    const qsizetype nCount = static_cast<qsizetype>(m_attachments.size());
    if (nCount == 0) {
        pButton->setText(QStringLiteral("&Attachments..."));
        pButton->setAccessibleDescription(QStringLiteral("No files attached"));
        return;
    }
    pButton->setText(QStringLiteral("&Attachments (%1)...").arg(nCount));
    pButton->setAccessibleDescription(nCount == 1
            ? QStringLiteral("1 file attached")
            : QStringLiteral("%1 files attached").arg(nCount));
}
