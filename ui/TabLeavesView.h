#pragma once

#include <QObject>

class QAbstractItemView;

// Makes Tab and Shift+Tab leave an item view for the next or previous control, as everywhere
// else in a dialog, instead of moving from cell to cell and selecting on the way. The arrows
// still move inside the view.
class CTabLeavesView final : public QObject
{
    Q_OBJECT

public:
    explicit CTabLeavesView(QAbstractItemView *pView);

protected:
    bool eventFilter(QObject *pWatched, QEvent *pEvent) override;

private:
    QAbstractItemView *m_pView;
};
