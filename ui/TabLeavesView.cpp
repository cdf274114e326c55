#include "ui/TabLeavesView.h"

#include <QAbstractItemView>
#include <QKeyEvent>

CTabLeavesView::CTabLeavesView(QAbstractItemView *pView) : QObject(pView), m_pView(pView)
{
    pView->setTabKeyNavigation(false);
    pView->installEventFilter(this);
}

bool CTabLeavesView::eventFilter(QObject *pWatched, QEvent *pEvent)
{
    if (pWatched != m_pView || pEvent->type() != QEvent::KeyPress)
        return false;
    const auto *pKey = static_cast<QKeyEvent *>(pEvent);
    if (pKey->modifiers() & (Qt::ControlModifier | Qt::AltModifier))
        return false;
    const bool bBack = pKey->key() == Qt::Key_Backtab
        || (pKey->key() == Qt::Key_Tab && (pKey->modifiers() & Qt::ShiftModifier));
    if (!bBack && pKey->key() != Qt::Key_Tab)
        return false;
    // The next control that takes Tab, passing over the view's own parts.
    QWidget *pNext = bBack ? m_pView->previousInFocusChain() : m_pView->nextInFocusChain();
    while (pNext != m_pView
        && (m_pView->isAncestorOf(pNext) || !pNext->isVisible() || !pNext->isEnabled()
            || !(pNext->focusPolicy() & Qt::TabFocus)))
        pNext = bBack ? pNext->previousInFocusChain() : pNext->nextInFocusChain();
    pNext->setFocus(bBack ? Qt::BacktabFocusReason : Qt::TabFocusReason);
    return true;
}
