#pragma once

#include <QStyledItemDelegate>

// Draws a cell from at most the first 99 characters of its text, cut with "..." when it is
// wider than the cell; the model keeps the whole text.
class CElidingDelegate final : public QStyledItemDelegate
{
    Q_OBJECT

public:
    using QStyledItemDelegate::QStyledItemDelegate;

    static constexpr int kMaxShown = 99;
    // The text as a cell of this width shows it.
    static QString ShownText(const QString &strText, const QFontMetrics &metrics, int nWidth);

protected:
    void initStyleOption(QStyleOptionViewItem *pOption, const QModelIndex &index) const override;
};
