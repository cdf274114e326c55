#include "ui/MergixView.h"

#include <QContextMenuEvent>
#include <QMenu>

CMergixView::CMergixView(QWidget *pParent) : QTextEdit(pParent)
{
    setObjectName(QStringLiteral("messageEditor"));
    setAccessibleName(QStringLiteral("Message"));
    setWhatsThis(QStringLiteral(
        "The message that every selected record receives. Field tags such as <<City>> are "
        "replaced by the record's values, and {IF} blocks choose between two texts."));
    QFont font(QStringLiteral("Times New Roman"));
    font.setBold(false);
    document()->setDefaultFont(font);
    setFont(font);
    connect(this, &QTextEdit::textChanged, this, [this] {
        if (!m_bSettingText)
            emit EditedByUser();
    });
    SetReady(false);
}

std::string CMergixView::PlainText() const
{
    std::string strText = toPlainText().toStdString();
    std::string strOut;
    strOut.reserve(strText.size() + strText.size() / 16);
    for (const char c : strText) {
        if (c == '\n')
            strOut += '\r';
        strOut += c;
    }
    return strOut;
}

void CMergixView::SetPlainText(const std::string &strText)
{
    QString text = QString::fromStdString(strText);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    m_bSettingText = true;
    setPlainText(text);
    m_bSettingText = false;
}

void CMergixView::SetReady(bool bReady)
{
    setReadOnly(!bReady);
    setEnabled(bReady);
}

QMenu *CMergixView::CreatePopupMenu()
{
    auto *pMenu = new QMenu(this);
    pMenu->setObjectName(QStringLiteral("editorPopup"));
    const bool bSelection = textCursor().hasSelection();
    QAction *pCut = pMenu->addAction(QStringLiteral("Cu&t"), this, &QTextEdit::cut);
    pCut->setEnabled(bSelection && !isReadOnly());
    QAction *pCopy = pMenu->addAction(QStringLiteral("&Copy"), this, &QTextEdit::copy);
    pCopy->setEnabled(bSelection);
    pMenu->addAction(QStringLiteral("&Paste"), this, &QTextEdit::paste);
    pMenu->addSeparator();
    pMenu->addAction(QStringLiteral("Select A&ll"), this, &QTextEdit::selectAll);
    return pMenu;
}

void CMergixView::contextMenuEvent(QContextMenuEvent *pEvent)
{
    QMenu *pMenu = CreatePopupMenu();
    pMenu->setAttribute(Qt::WA_DeleteOnClose);
    pMenu->popup(pEvent->globalPos());
}

bool CMergixView::FindText(const QString &strText, QTextDocument::FindFlags flags)
{
    return !strText.isEmpty() && find(strText, flags);
}

int CMergixView::ReplaceAll(
    const QString &strText, const QString &strWith, QTextDocument::FindFlags flags)
{
    if (strText.isEmpty() || isReadOnly())
        return 0;
    flags &= ~QTextDocument::FindBackward;
    int nCount = 0;
    QTextCursor edit(document());
    edit.beginEditBlock();
    for (QTextCursor found = document()->find(strText, 0, flags); !found.isNull();
         found = document()->find(strText, found, flags)) {
        found.insertText(strWith);
        ++nCount;
    }
    edit.endEditBlock();
    return nCount;
}
