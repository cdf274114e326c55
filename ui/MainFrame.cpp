#include "ui/MainFrame.h"

CMainFrame::CMainFrame(QWidget *pParent) : QMainWindow(pParent)
{
    setObjectName(QStringLiteral("mainFrame"));
    setWindowTitle(QStringLiteral("Mergix"));
    resize(800, 600);
}

CMainFrame::~CMainFrame() = default;
