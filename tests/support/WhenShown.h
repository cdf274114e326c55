#pragma once

#include <functional>

#include <QApplication>
#include <QTimer>

// Acts on the next modal dialog of the type once it runs: looks every 10 ms, for at most five
// seconds, so that work done before the dialog's own loop (which lets events through) cannot
// make the action miss it.
template<typename T> void WhenShown(std::function<void(T &)> action, int nTriesLeft = 500)
{
    QTimer::singleShot(10, [action, nTriesLeft] {
        if (auto *pDlg = qobject_cast<T *>(QApplication::activeModalWidget()))
            action(*pDlg);
        else if (nTriesLeft > 0)
            WhenShown<T>(action, nTriesLeft - 1);
    });
}
