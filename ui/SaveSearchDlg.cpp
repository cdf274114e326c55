#include "ui/SaveSearchDlg.h"

#include <QLayout>

#include "app/Settings.h"
#include "engine/Prompter.h"
#include "ui_SaveSearchDlg.h"

CSaveSearchDlg::CSaveSearchDlg(QWidget *pParent) : QDialog(pParent), m_pUi(new Ui::CSaveSearchDlg)
{
    m_pUi->setupUi(this);
    layout()->setSizeConstraint(QLayout::SetFixedSize); // nothing to gain from more room
    setObjectName(QStringLiteral("saveSearchDlg"));
    connect(m_pUi->buttonBox, &QDialogButtonBox::accepted, this, &CSaveSearchDlg::accept);
    connect(m_pUi->buttonBox, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

CSaveSearchDlg::~CSaveSearchDlg()
{
    delete m_pUi;
}

std::string CSaveSearchDlg::Name() const
{
    return m_pUi->nameEdit->text().toStdString();
}

void CSaveSearchDlg::accept()
{
    std::string strProblem;
    if (m_pUi->nameEdit->text().isEmpty())
        strProblem = "Please choose a name for the saved settings";
    else
        strProblem = CSettings::CheckRuleSetName(Name());
    if (!strProblem.empty()) {
        ShowMessage(strProblem);
        m_pUi->nameEdit->setFocus();
        return;
    }
    QDialog::accept();
}
