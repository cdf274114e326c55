#pragma once

#include <QDialog>

namespace Ui {
class CStartupDlg;
}

// "Would you like to:" create a new e-mail merge (choice 0) or open an existing one (1).
class CStartupDlg final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CStartupDlg)

public:
    explicit CStartupDlg(QWidget *pParent = nullptr);
    ~CStartupDlg() override;

    int Choice() const;

private:
    Ui::CStartupDlg *m_pUi;
};
