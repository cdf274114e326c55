#include "ui/HelpWindow.h"

#include <QScrollBar>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

CHelpWindow::CHelpWindow(QWidget *pParent) : QDialog(pParent), m_pBrowser(new QTextBrowser(this))
{
    setObjectName(QStringLiteral("helpWindow"));
    setWindowTitle(QStringLiteral("Mergix Help"));
    m_pBrowser->setObjectName(QStringLiteral("helpBrowser"));
    m_pBrowser->setAccessibleName(QStringLiteral("Help text"));
    m_pBrowser->setSource(QUrl(QStringLiteral("qrc:/help/index.html")));
    auto *pLayout = new QVBoxLayout(this);
    pLayout->addWidget(m_pBrowser);
    resize(640, 560);
}

void CHelpWindow::ShowTopic(const QString &strAnchor)
{
    if (strAnchor.isEmpty())
        m_pBrowser->verticalScrollBar()->setValue(0);
    else
        m_pBrowser->scrollToAnchor(strAnchor);
    show();
    raise();
}
