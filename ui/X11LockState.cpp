#include "ui/X11LockState.h"

#include <QGuiApplication>

#include <X11/XKBlib.h>

std::optional<unsigned int> ReadX11LockState()
{
    auto *pX11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    Display *pDisplay = pX11 ? pX11->display() : nullptr;
    unsigned int nState = 0;
    if (!pDisplay || XkbGetIndicatorState(pDisplay, XkbUseCoreKbd, &nState) != Success)
        return std::nullopt;
    return nState;
}
