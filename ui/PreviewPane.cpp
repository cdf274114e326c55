#include "ui/PreviewPane.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QShortcut>
#include <QVBoxLayout>

CPreviewBrowser::CPreviewBrowser(QWidget *pParent) : QTextBrowser(pParent)
{
    setOpenLinks(false);
    setOpenExternalLinks(false);
}

QVariant CPreviewBrowser::loadResource(int nType, const QUrl &url)
{
    if (nType == QTextDocument::ImageResource && url.scheme() == u"cid") {
        for (const SInlineImage &image : m_images) {
            if (url.path() == QString::fromStdString(image.strContentId))
                return QImage(QString::fromStdString(image.strPath));
        }
    }
    return {};
}

CPreviewPane::CPreviewPane(QWidget *pParent)
    : QWidget(pParent)
    , m_pFirst(new QPushButton(QStringLiteral("First"), this))
    , m_pPrevious(new QPushButton(QStringLiteral("Previous"), this))
    , m_pPosition(new QLabel(this))
    , m_pNext(new QPushButton(QStringLiteral("Next"), this))
    , m_pLast(new QPushButton(QStringLiteral("Last"), this))
    , m_pTo(new QLineEdit(this))
    , m_pCc(new QLineEdit(this))
    , m_pSubject(new QLineEdit(this))
    , m_pBody(new CPreviewBrowser(this))
{
    setObjectName(QStringLiteral("previewPane"));
    setWhatsThis(QStringLiteral("The message each record gets, as it will arrive. The message "
                                "cannot be edited while it is previewed."));
    auto *pClose = new QPushButton(QStringLiteral("Close Preview"), this);
    const struct
    {
        QPushButton *pButton;
        const char *pName;
        QKeySequence key;
    } buttons[] = {{m_pFirst, "previewFirst", QKeySequence(Qt::CTRL | Qt::Key_Home)},
        {m_pPrevious, "previewPrevious", QKeySequence(Qt::Key_PageUp)},
        {m_pNext, "previewNext", QKeySequence(Qt::Key_PageDown)},
        {m_pLast, "previewLast", QKeySequence(Qt::CTRL | Qt::Key_End)},
        {pClose, "previewClose", QKeySequence(Qt::Key_Escape)}};
    for (const auto &button : buttons) {
        button.pButton->setObjectName(QString::fromLatin1(button.pName));
        button.pButton->setToolTip(button.pButton->text() + QStringLiteral(" (")
            + button.key.toString(QKeySequence::NativeText) + QLatin1Char(')'));
        auto *pShortcut = new QShortcut(button.key, this);
        pShortcut->setContext(Qt::WidgetWithChildrenShortcut);
        connect(pShortcut, &QShortcut::activated, button.pButton, &QPushButton::click);
    }
    m_pPosition->setObjectName(QStringLiteral("previewPosition"));
    connect(m_pFirst, &QPushButton::clicked, this, [this] { ShowRecord(0); });
    connect(m_pPrevious, &QPushButton::clicked, this, [this] { ShowRecord(m_nRow - 1); });
    connect(m_pNext, &QPushButton::clicked, this, [this] { ShowRecord(m_nRow + 1); });
    connect(m_pLast, &QPushButton::clicked, this, [this] { ShowRecord(RowCount() - 1); });
    connect(pClose, &QPushButton::clicked, this, &CPreviewPane::CloseRequested);

    auto *pNavigation = new QHBoxLayout;
    pNavigation->addWidget(m_pFirst);
    pNavigation->addWidget(m_pPrevious);
    pNavigation->addWidget(m_pPosition);
    pNavigation->addWidget(m_pNext);
    pNavigation->addWidget(m_pLast);
    pNavigation->addStretch();
    pNavigation->addWidget(pClose);

    auto *pHeader = new QFormLayout;
    const struct
    {
        QLineEdit *pEdit;
        const char *pName;
        const char *pLabel;
    } fields[] = {{m_pTo, "previewTo", "To:"}, {m_pCc, "previewCc", "Cc:"},
        {m_pSubject, "previewSubject", "Subject:"}};
    for (const auto &field : fields) {
        field.pEdit->setObjectName(QString::fromLatin1(field.pName));
        field.pEdit->setReadOnly(true);
        auto *pLabel = new QLabel(QString::fromLatin1(field.pLabel), this);
        pLabel->setBuddy(field.pEdit);
        field.pEdit->setAccessibleName(QString::fromLatin1(field.pLabel).chopped(1));
        pHeader->addRow(pLabel, field.pEdit);
    }
    m_pBody->setObjectName(QStringLiteral("previewBody"));
    m_pBody->setAccessibleName(QStringLiteral("Message as sent"));

    auto *pLayout = new QVBoxLayout(this);
    pLayout->addLayout(pNavigation);
    pLayout->addLayout(pHeader);
    pLayout->addWidget(m_pBody, 1);
}

void CPreviewPane::Start(CMergeRun::SInput input, std::unique_ptr<CRecordList> pList)
{
    m_pPreview.reset();
    m_input = std::move(input);
    m_pList = std::move(pList);
    m_input.pList = m_pList.get();
    m_pPreview = std::make_unique<CMessagePreview>(m_input);
    m_pBody->SetImages(m_pPreview->Images());
    ShowRecord(0);
}

void CPreviewPane::ShowRecord(int nRecord)
{
    const int nCount = RowCount();
    m_nRow = std::clamp(nRecord, 0, std::max(nCount - 1, 0));
    const QLocale locale;
    m_pPosition->setText(nCount == 0
            ? QStringLiteral("No records")
            : QStringLiteral("Record %1 of %2")
                  .arg(locale.toString(m_nRow + 1), locale.toString(nCount)));
    m_pFirst->setEnabled(m_nRow > 0);
    m_pPrevious->setEnabled(m_nRow > 0);
    m_pNext->setEnabled(m_nRow + 1 < nCount);
    m_pLast->setEnabled(m_nRow + 1 < nCount);
    if (nCount == 0 || !m_pPreview) {
        for (QLineEdit *pEdit : {m_pTo, m_pCc, m_pSubject})
            pEdit->clear();
        m_pBody->clear();
        return;
    }
    // Records in the list's own order: the record list shows the last one first.
    const CMessagePreview::SMessage message
        = m_pPreview->Make(*m_pList, m_pList->RowOfRecord(m_nRow));
    m_pTo->setText(QString::fromStdString(message.strTo));
    m_pCc->setText(QString::fromStdString(message.strCc));
    m_pSubject->setText(QString::fromStdString(message.strSubject));
    if (message.strHtml.empty())
        m_pBody->setPlainText(QString::fromStdString(message.strText));
    else
        m_pBody->setHtml(QString::fromStdString(message.strHtml));
}
