#pragma once

#include <QDialog>

// "About Mergix": the program's name, version and icon.
class CAboutDlg final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CAboutDlg)

public:
    explicit CAboutDlg(QWidget *pParent = nullptr);
};
