#pragma once

#include <string>

#include <QDialog>

namespace Ui {
class CMailOptionsDlg;
}

// "Mail Options": the name of the SMTP server. Opened from the Mail menu, where the name may be
// left empty, and by Send Mail when none is stored, where one is required before OK closes.
class CMailOptionsDlg final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CMailOptionsDlg)

public:
    CMailOptionsDlg(QWidget *pParent, bool bServerRequired);
    ~CMailOptionsDlg() override;

    void SetServerName(const std::string &strName);
    std::string ServerName() const;

    void accept() override;

private:
    Ui::CMailOptionsDlg *m_pUi;
    bool m_bServerRequired;
};
