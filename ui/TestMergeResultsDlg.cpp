#include "ui/TestMergeResultsDlg.h"

#include "ui_TestMergeResultsDlg.h"

#include "ui/PreviewPane.h"

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

void CTestMergeResultsDlg::SetFormattedMessages(
    std::vector<CMergeRun::STestMessage> messages, const std::vector<SInlineImage> &images)
{
    auto *pBrowser = new CPreviewBrowser(this);
    pBrowser->setObjectName(QStringLiteral("formattedResults"));
    pBrowser->setAccessibleName(QStringLiteral("Messages as sent"));
    pBrowser->setWhatsThis(QStringLiteral(
        "The formatted messages the test merge made, each after its header lines, with their "
        "pictures and links as the recipients will see them. Nothing was sent."));
    pBrowser->SetImages(images);
    QString strHtml;
    for (const CMergeRun::STestMessage &message : messages) {
        // Each message's body within its own document, after its header lines.
        const QString strMessage = QString::fromStdString(message.strHtml);
        const qsizetype nBody = strMessage.indexOf(u"<body");
        const qsizetype nStart = nBody < 0 ? 0 : strMessage.indexOf(u'>', nBody) + 1;
        const qsizetype nEnd = strMessage.lastIndexOf(u"</body>");
        strHtml += QStringLiteral("<hr /><pre>")
            + QString::fromStdString(message.strHeader).toHtmlEscaped().trimmed()
            + QStringLiteral("</pre>")
            // the body's own style (its font) kept on a block around it
            + (nBody < 0 ? QStringLiteral("<div>")
                         : QStringLiteral("<div") + strMessage.mid(nBody + 5, nStart - nBody - 5))
            + strMessage.mid(nStart, (nEnd < nStart ? strMessage.size() : nEnd) - nStart)
            + QStringLiteral("</div>");
    }
    // Each message of the text begins with a line of hyphens.
    const std::string &strText = Results();
    const std::string strRule(64, '-');
    size_t nAll = 0;
    for (size_t nAt = strText.find(strRule); nAt != std::string::npos;
         nAt = strText.find(strRule, nAt + strRule.size()))
        ++nAll;
    if (nAll > messages.size())
        strHtml += QStringLiteral("<hr /><p><i>The first %1 of %2 messages are shown.</i></p>")
                       .arg(messages.size())
                       .arg(nAll);
    pBrowser->setHtml(strHtml);
    m_pUi->layout->replaceWidget(m_pUi->resultsView, pBrowser);
    m_pUi->resultsView->hide();
}

const std::string &CTestMergeResultsDlg::Results() const
{
    return m_pUi->resultsView->Lines().Text();
}
