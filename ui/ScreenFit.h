#pragma once

#include <QSize>

class QWidget;

// Gives a window the size it wants, but never more than its screen's free area leaves inside the
// window's title bar and border: a laptop at 144 dpi has room for 853 by 533 of the sizes the
// program asks for.
void ResizeWithinScreen(QWidget &window, QSize wanted);
// What the window manager's title bar and border add to a window's width and height.
QSize WindowFrameSize(const QWidget &window);
