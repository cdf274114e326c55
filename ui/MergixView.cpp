#include "ui/MergixView.h"

#include <QContextMenuEvent>
#include <QImage>
#include <QMenu>
#include <QMimeData>
#include <QTextBlock>
#include <QTextDocumentFragment>
#include <QTextList>
#include <QUrl>

#include "ui/FormattedText.h"

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
    if (m_bFormatted)
        return PlainTwin(*document());
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

std::string CMergixView::FormattedHtml() const
{
    return m_bFormatted ? toHtml().toStdString() : std::string();
}

void CMergixView::SetFormattedHtml(const std::string &strHtml)
{
    if (!strHtml.empty()) {
        m_bSettingText = true;
        setHtml(QString::fromStdString(strHtml));
        m_bSettingText = false;
    }
    SetFormatted(!strHtml.empty());
}

void CMergixView::MakePlain()
{
    const std::string strText = PlainTwin(*document());
    // One undo step back to the formatted text would leave the flag behind it: none is kept.
    SetPlainText(strText);
    SetFormatted(false);
    emit EditedByUser();
}

void CMergixView::SetFormatted(bool bFormatted)
{
    if (m_bFormatted == bFormatted)
        return;
    m_bFormatted = bFormatted;
    emit FormattedChanged(bFormatted);
}

void CMergixView::MarkFormatted()
{
    SetFormatted(true);
}

void CMergixView::ApplyCharFormat(const QTextCharFormat &format)
{
    MarkFormatted();
    MergeFormatOnWordOrSelection(textCursor(), format);
}

void CMergixView::SetBold(bool bBold)
{
    QTextCharFormat format;
    format.setFontWeight(bBold ? QFont::Bold : QFont::Normal);
    ApplyCharFormat(format);
}

void CMergixView::SetItalic(bool bItalic)
{
    QTextCharFormat format;
    format.setFontItalic(bItalic);
    ApplyCharFormat(format);
}

void CMergixView::SetUnderline(bool bUnderline)
{
    QTextCharFormat format;
    format.setFontUnderline(bUnderline);
    ApplyCharFormat(format);
}

void CMergixView::SetFontFamily(const QString &strFamily)
{
    QTextCharFormat format;
    format.setFontFamilies({strFamily});
    ApplyCharFormat(format);
}

void CMergixView::SetFontSize(qreal dPoints)
{
    if (dPoints <= 0)
        return;
    QTextCharFormat format;
    format.setFontPointSize(dPoints);
    ApplyCharFormat(format);
}

void CMergixView::SetTextColor(const QColor &color)
{
    QTextCharFormat format;
    format.setForeground(color);
    ApplyCharFormat(format);
}

void CMergixView::SetList(QTextListFormat::Style style)
{
    MarkFormatted();
    QTextCursor cursor = textCursor();
    cursor.beginEditBlock();
    if (style == QTextListFormat::ListStyleUndefined) {
        // Each paragraph of the selection leaves its list.
        for (QTextBlock block = document()->findBlock(cursor.selectionStart());
             block.isValid() && block.position() <= cursor.selectionEnd(); block = block.next()) {
            if (QTextList *pList = block.textList())
                pList->remove(block);
            QTextCursor blockCursor(block);
            QTextBlockFormat format = block.blockFormat();
            format.setIndent(0);
            blockCursor.setBlockFormat(format);
        }
    } else {
        QTextListFormat listFormat;
        if (const QTextList *pList = cursor.currentList())
            listFormat = pList->format();
        listFormat.setStyle(style);
        if (cursor.currentList() == nullptr)
            listFormat.setIndent(1);
        cursor.createList(listFormat);
    }
    cursor.endEditBlock();
}

void CMergixView::SetAlignment(Qt::Alignment alignment)
{
    MarkFormatted();
    setAlignment(alignment);
}

void CMergixView::InsertLink(const QString &strUrl, const QString &strText)
{
    MarkFormatted();
    QTextCursor cursor = WithWholeTags(textCursor());
    QTextCharFormat format;
    format.setAnchor(true);
    format.setAnchorHref(strUrl);
    format.setForeground(QColor(0x0B, 0x57, 0xD0));
    format.setFontUnderline(true);
    if (cursor.hasSelection()) {
        cursor.mergeCharFormat(format);
    } else {
        cursor.insertText(strText.isEmpty() ? strUrl : strText, format);
        // What is typed next is no longer part of the link.
        setCurrentCharFormat(QTextCharFormat());
    }
}

bool CMergixView::InsertPicture(const QString &strPath)
{
    const QImage image(strPath);
    if (image.isNull())
        return false;
    MarkFormatted();
    document()->addResource(QTextDocument::ImageResource, QUrl(strPath), image);
    QTextImageFormat format;
    format.setName(strPath);
    if (image.width() > 600) {
        format.setWidth(600);
        format.setHeight(image.height() * 600.0 / image.width());
    }
    textCursor().insertImage(format);
    return true;
}

void CMergixView::insertFromMimeData(const QMimeData *pSource)
{
    // A plain message takes only the words of what is pasted or dropped.
    if (m_bFormatted)
        QTextEdit::insertFromMimeData(pSource);
    else if (pSource->hasText())
        insertPlainText(pSource->text());
    else if (pSource->hasHtml())
        insertPlainText(QTextDocumentFragment::fromHtml(pSource->html()).toPlainText());
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
