#include "ui/ScreenFit.h"

#include <QScreen>
#include <QStyle>
#include <QWidget>

QSize WindowFrameSize(const QWidget &window)
{
    // Known once the window manager has framed the window; before, the style's title bar and
    // border stand in for it.
    const QSize shown = window.frameGeometry().size() - window.geometry().size();
    if (window.isVisible() && shown.height() > 0)
        return shown;
    const int nBorder = window.style()->pixelMetric(QStyle::PM_MdiSubWindowFrameWidth);
    const int nTitle = window.style()->pixelMetric(QStyle::PM_TitleBarHeight);
    return QSize(2 * nBorder, nTitle + 2 * nBorder);
}

void ResizeWithinScreen(QWidget &window, QSize wanted)
{
    if (const QScreen *pScreen = window.screen())
        wanted = wanted.boundedTo(pScreen->availableGeometry().size() - WindowFrameSize(window));
    window.resize(wanted);
}
