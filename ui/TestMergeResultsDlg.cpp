#include "ui/TestMergeResultsDlg.h"

#include "ui_TestMergeResultsDlg.h"

CTestMergeResultsDlg::CTestMergeResultsDlg(QWidget *pParent)
    : QDialog(pParent), m_pUi(new Ui::CTestMergeResultsDlg)
{
    m_pUi->setupUi(this);
    setObjectName(QStringLiteral("testMergeResultsDlg"));
    QFont font(QStringLiteral("Liberation Mono"));
    font.setStyleHint(QFont::Monospace);
    m_pUi->resultsView->setFont(font);
    connect(m_pUi->doneButton, &QPushButton::clicked, this, &QDialog::accept);
}

CTestMergeResultsDlg::~CTestMergeResultsDlg()
{
    delete m_pUi;
}

void CTestMergeResultsDlg::SetResults(std::string strResults)
{
    m_pUi->resultsView->SetText(std::move(strResults));
}

const std::string &CTestMergeResultsDlg::Results() const
{
    return m_pUi->resultsView->Lines().Text();
}
