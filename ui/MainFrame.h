#pragma once

#include <QMainWindow>

// The main window. For now it holds only the frame itself; the header bar, the editor and
// the commands are added as they are built.
class CMainFrame final : public QMainWindow
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CMainFrame)

public:
    explicit CMainFrame(QWidget *pParent = nullptr);
    ~CMainFrame() override;
};
