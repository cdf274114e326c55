#include "ui/StartupDlg.h"

#include <QLayout>

#include "ui/Artwork.h"
#include "ui_StartupDlg.h"

CStartupDlg::CStartupDlg(QWidget *pParent) : QDialog(pParent), m_pUi(new Ui::CStartupDlg)
{
    m_pUi->setupUi(this);
    layout()->setSizeConstraint(QLayout::SetFixedSize); // nothing to gain from more room
    setObjectName(QStringLiteral("startupDlg"));
    m_pUi->banner->setPixmap(BannerPixmap(420, 72));
    m_pUi->createIcon->setPixmap(CreateMergePixmap(32));
    m_pUi->openIcon->setPixmap(OpenMergePixmap(32));
    connect(m_pUi->buttonBox, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(m_pUi->buttonBox, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

CStartupDlg::~CStartupDlg()
{
    delete m_pUi;
}

int CStartupDlg::Choice() const
{
    return m_pUi->openRadio->isChecked() ? 1 : 0;
}
