#include "ui/ElidingDelegate.h"

#include <QFontMetrics>

QString CElidingDelegate::ShownText(const QString &strText, const QFontMetrics &metrics, int nWidth)
{
    QString text = strText.left(kMaxShown);
    const int nRoom = nWidth - 4;
    if (metrics.horizontalAdvance(text) < nRoom)
        return text;
    while (text.size() > 1 && metrics.horizontalAdvance(text + QStringLiteral("...")) > nRoom)
        text.chop(1);
    return text + QStringLiteral("...");
}

void CElidingDelegate::initStyleOption(
    QStyleOptionViewItem *pOption, const QModelIndex &index) const
{
    QStyledItemDelegate::initStyleOption(pOption, index);
    pOption->text = ShownText(pOption->text, pOption->fontMetrics, pOption->rect.width());
    pOption->textElideMode = Qt::ElideNone;
}
