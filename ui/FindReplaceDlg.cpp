#include "ui/FindReplaceDlg.h"

#include <QLayout>

#include "engine/Prompter.h"
#include "ui/MergixView.h"
#include "ui_FindReplaceDlg.h"

CFindReplaceDlg::CFindReplaceDlg(CMergixView &view, QWidget *pParent)
    : QDialog(pParent), m_pUi(new Ui::CFindReplaceDlg), m_view(view)
{
    m_pUi->setupUi(this);
    layout()->setSizeConstraint(QLayout::SetFixedSize); // nothing to gain from more room
    setObjectName(QStringLiteral("findReplaceDlg"));
    connect(m_pUi->findNextButton, &QPushButton::clicked, this, &CFindReplaceDlg::FindNext);
    connect(m_pUi->replaceButton, &QPushButton::clicked, this, &CFindReplaceDlg::ReplaceOne);
    connect(m_pUi->replaceAllButton, &QPushButton::clicked, this, &CFindReplaceDlg::ReplaceAll);
    connect(m_pUi->closeButton, &QPushButton::clicked, this, &QDialog::hide);
}

CFindReplaceDlg::~CFindReplaceDlg()
{
    delete m_pUi;
}

void CFindReplaceDlg::Open(bool bReplace)
{
    setWindowTitle(bReplace ? QStringLiteral("Replace") : QStringLiteral("Find"));
    for (QWidget *pWidget : std::initializer_list<QWidget *> {m_pUi->replaceLabel,
             m_pUi->replaceEdit, m_pUi->replaceButton, m_pUi->replaceAllButton})
        pWidget->setVisible(bReplace);
    m_pUi->upCheck->setVisible(!bReplace);
    if (m_view.textCursor().hasSelection())
        m_pUi->findEdit->setText(m_view.textCursor().selectedText());
    adjustSize();
    show();
    raise();
    m_pUi->findEdit->setFocus();
    m_pUi->findEdit->selectAll();
}

QTextDocument::FindFlags CFindReplaceDlg::Flags() const
{
    QTextDocument::FindFlags flags;
    if (m_pUi->matchCaseCheck->isChecked())
        flags |= QTextDocument::FindCaseSensitively;
    if (m_pUi->wholeWordCheck->isChecked())
        flags |= QTextDocument::FindWholeWords;
    if (m_pUi->upCheck->isVisible() && m_pUi->upCheck->isChecked())
        flags |= QTextDocument::FindBackward;
    return flags;
}

bool CFindReplaceDlg::FindNext()
{
    const QString strText = m_pUi->findEdit->text();
    if (strText.isEmpty())
        return false;
    if (m_view.FindText(strText, Flags()))
        return true;
    ShowMessage(
        "Cannot find the string '" + strText.toStdString() + "'.", CPrompter::EIcon::Information);
    return false;
}

void CFindReplaceDlg::ReplaceOne()
{
    const QString strText = m_pUi->findEdit->text();
    QTextCursor cursor = m_view.textCursor();
    const Qt::CaseSensitivity cs
        = m_pUi->matchCaseCheck->isChecked() ? Qt::CaseSensitive : Qt::CaseInsensitive;
    if (!m_view.isReadOnly() && cursor.hasSelection()
        && cursor.selectedText().compare(strText, cs) == 0)
        cursor.insertText(m_pUi->replaceEdit->text());
    FindNext();
}

int CFindReplaceDlg::ReplaceAll()
{
    const int nCount
        = m_view.ReplaceAll(m_pUi->findEdit->text(), m_pUi->replaceEdit->text(), Flags());
    ShowMessage(
        std::to_string(nCount) + (nCount == 1 ? " occurrence" : " occurrences") + " replaced.",
        CPrompter::EIcon::Information);
    return nCount;
}
