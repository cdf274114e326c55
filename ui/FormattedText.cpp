#include "ui/FormattedText.h"

#include <QFileInfo>
#include <QTextBlock>
#include <QTextCharFormat>
#include <QTextDocument>
#include <QTextList>

std::string PlainTwin(const QTextDocument &document)
{
    QString strOut;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        if (block != document.begin())
            strOut += QStringLiteral("\r\n");
        if (const QTextList *pList = block.textList()) {
            const QTextListFormat::Style style = pList->format().style();
            const bool bNumbered = style == QTextListFormat::ListDecimal
                || style == QTextListFormat::ListLowerAlpha
                || style == QTextListFormat::ListUpperAlpha
                || style == QTextListFormat::ListLowerRoman
                || style == QTextListFormat::ListUpperRoman;
            strOut += bNumbered
                ? QString::number(pList->itemNumber(block) + 1) + QStringLiteral(". ")
                : QStringLiteral("- ");
        }
        QString strLink; // the link the text so far belongs to
        const auto endLink = [&] {
            if (!strLink.isEmpty())
                strOut += QStringLiteral(" (") + strLink + QLatin1Char(')');
            strLink.clear();
        };
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            const QTextCharFormat format = fragment.charFormat();
            const QString strHref = format.isAnchor() ? format.anchorHref() : QString();
            if (strHref != strLink)
                endLink();
            if (format.isImageFormat()) {
                strOut += QFileInfo(format.toImageFormat().name()).fileName();
                continue;
            }
            strLink = strHref;
            QString strText = fragment.text();
            strText.replace(QChar::LineSeparator, QStringLiteral("\r\n"));
            strText.remove(QChar::ObjectReplacementCharacter);
            strOut += strText;
        }
        endLink();
    }
    return strOut.toStdString();
}

QTextCursor WithWholeTags(QTextCursor cursor)
{
    if (!cursor.hasSelection())
        return cursor;
    const QTextDocument *pDocument = cursor.document();
    // Where a position inside a tag of its block moves to: the tag's start or end.
    const auto moved = [&](int nPosition, bool bToEnd) {
        const QTextBlock block = pDocument->findBlock(nPosition);
        const QString strText = block.text();
        const int nAt = nPosition - block.position();
        for (int nOpen = strText.indexOf(QStringLiteral("<<")); nOpen >= 0;) {
            const int nClose = strText.indexOf(QStringLiteral(">>"), nOpen + 2);
            if (nClose < 0)
                break;
            if (nAt > nOpen && nAt < nClose + 2)
                return block.position() + (bToEnd ? nClose + 2 : nOpen);
            nOpen = strText.indexOf(QStringLiteral("<<"), nClose + 2);
        }
        return nPosition;
    };
    const int nStart = moved(cursor.selectionStart(), false);
    const int nEnd = moved(cursor.selectionEnd(), true);
    cursor.setPosition(nStart);
    cursor.setPosition(nEnd, QTextCursor::KeepAnchor);
    return cursor;
}

void MergeFormatOnWordOrSelection(QTextCursor cursor, const QTextCharFormat &format)
{
    if (!cursor.hasSelection())
        cursor.select(QTextCursor::WordUnderCursor);
    WithWholeTags(cursor).mergeCharFormat(format);
}
