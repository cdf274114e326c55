#include "ui/TestMergeInfoDlg.h"

#include <QLayout>
#include <QStyle>

#include "ui_TestMergeInfoDlg.h"

CTestMergeInfoDlg::CTestMergeInfoDlg(QWidget *pParent)
    : QDialog(pParent), m_pUi(new Ui::CTestMergeInfoDlg)
{
    m_pUi->setupUi(this);
    setObjectName(QStringLiteral("testMergeInfoDlg"));
    // Nothing to gain from more room, and its text would be cut in less.
    layout()->setSizeConstraint(QLayout::SetFixedSize);
    m_pUi->icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxInformation).pixmap(32, 32));
    connect(m_pUi->buttonBox, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(m_pUi->buttonBox, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

CTestMergeInfoDlg::~CTestMergeInfoDlg()
{
    delete m_pUi;
}

bool CTestMergeInfoDlg::DontRemind() const
{
    return m_pUi->dontRemindCheck->isChecked();
}
