#include "ui/MailOptionsDlg.h"

#include "engine/Prompter.h"
#include "ui_MailOptionsDlg.h"

CMailOptionsDlg::CMailOptionsDlg(QWidget *pParent, bool bServerRequired)
    : QDialog(pParent), m_pUi(new Ui::CMailOptionsDlg), m_bServerRequired(bServerRequired)
{
    m_pUi->setupUi(this);
    setObjectName(QStringLiteral("mailOptionsDlg"));
    connect(m_pUi->buttonBox, &QDialogButtonBox::accepted, this, &CMailOptionsDlg::accept);
    connect(m_pUi->buttonBox, &QDialogButtonBox::rejected, this, &CMailOptionsDlg::reject);
}

CMailOptionsDlg::~CMailOptionsDlg()
{
    delete m_pUi;
}

void CMailOptionsDlg::SetServerName(const std::string &strName)
{
    m_pUi->serverEdit->setText(QString::fromStdString(strName));
}

std::string CMailOptionsDlg::ServerName() const
{
    return m_pUi->serverEdit->text().toStdString();
}

void CMailOptionsDlg::accept()
{
    if (m_bServerRequired && m_pUi->serverEdit->text().isEmpty()) {
        ShowMessage("Please enter the name for the SMTP server that will\nbe used to send mail");
        m_pUi->serverEdit->setFocus();
        return;
    }
    QDialog::accept();
}
