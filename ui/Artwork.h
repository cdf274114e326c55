#pragma once

#include <QIcon>
#include <QPixmap>

// The program's pictures, drawn rather than shipped: the application icon (an envelope), the
// banner of the start-up choice and the wizard, and the two pictures of the start-up choice.
QIcon ApplicationIcon();
QPixmap BannerPixmap(int nWidth, int nHeight);
QPixmap CreateMergePixmap(int nSize);
QPixmap OpenMergePixmap(int nSize);
