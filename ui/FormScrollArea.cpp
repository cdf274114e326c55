#include "ui/FormScrollArea.h"

#include <QApplication>
#include <QEvent>
#include <QScrollBar>

CFormScrollArea::CFormScrollArea(QWidget *pParent) : QScrollArea(pParent)
{
    // Tab scrolls to the field it reaches by itself; a field reached by its Alt+letter, or put
    // in focus by a check that found it wrong, is scrolled into view too.
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget *, QWidget *pNow) {
        if (pNow && widget() && widget()->isAncestorOf(pNow))
            ensureWidgetVisible(pNow);
    });
}

int CFormScrollArea::ScrollBarAndFrameWidth() const
{
    return verticalScrollBar()->sizeHint().width() + 2 * frameWidth();
}

QSize CFormScrollArea::sizeHint() const
{
    // QScrollArea caps its hint at 24 lines; the form asks for all it needs, and the window
    // that holds it keeps within the screen.
    if (!widget())
        return QScrollArea::sizeHint();
    const QSize form = widget()->sizeHint();
    return {form.width() + ScrollBarAndFrameWidth(), form.height() + 2 * frameWidth()};
}

QSize CFormScrollArea::minimumSizeHint() const
{
    const QSize scrolling = QScrollArea::minimumSizeHint();
    if (!widget())
        return scrolling;
    return {widget()->minimumSizeHint().width() + ScrollBarAndFrameWidth(), scrolling.height()};
}

bool CFormScrollArea::eventFilter(QObject *pWatched, QEvent *pEvent)
{
    // Rows shown or hidden in the form: the window that holds it takes the new sizes.
    if (pWatched == widget() && pEvent->type() == QEvent::LayoutRequest)
        updateGeometry();
    return QScrollArea::eventFilter(pWatched, pEvent);
}
