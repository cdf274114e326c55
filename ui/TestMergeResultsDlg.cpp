#include "ui/TestMergeResultsDlg.h"

#include "ui_TestMergeResultsDlg.h"

CTestMergeResultsDlg::CTestMergeResultsDlg(QWidget *pParent)
    : QDialog(pParent), m_pUi(new Ui::CTestMergeResultsDlg)
{
    m_pUi->setupUi(this);
    setObjectName(QStringLiteral("testMergeResultsDlg"));
    QFont font(QStringLiteral("Liberation Mono"));
    font.setStyleHint(QFont::Monospace);
    m_pUi->resultsEdit->setFont(font);
    m_pUi->resultsEdit->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    connect(m_pUi->doneButton, &QPushButton::clicked, this, &QDialog::accept);
}

CTestMergeResultsDlg::~CTestMergeResultsDlg()
{
    delete m_pUi;
}

void CTestMergeResultsDlg::SetResults(const std::string &strResults)
{
    QString text = QString::fromStdString(strResults);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    m_pUi->resultsEdit->setPlainText(text);
}

std::string CTestMergeResultsDlg::Results() const
{
    std::string strOut;
    for (const char c : m_pUi->resultsEdit->toPlainText().toStdString()) {
        if (c == '\n')
            strOut += '\r';
        strOut += c;
    }
    return strOut;
}
