#include "ui/ScreenFit.h"

#include <QScreen>
#include <QWidget>

void ResizeWithinScreen(QWidget &window, QSize wanted)
{
    if (const QScreen *pScreen = window.screen())
        wanted = wanted.boundedTo(pScreen->availableGeometry().size());
    window.resize(wanted);
}
