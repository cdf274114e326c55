#include "ui/DnsRecordDlg.h"

#include "ui/ScreenFit.h"

#include <QClipboard>
#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

CDnsRecordDlg::CDnsRecordDlg(
    const std::string &strDomain, const std::string &strRecord, QWidget *pParent)
    : QDialog(pParent)
{
    setObjectName(QStringLiteral("dnsRecordDlg"));
    setWindowTitle(QStringLiteral("DNS Record"));
    auto *pLayout = new QVBoxLayout(this);
    auto *pLabel = new QLabel(QStringLiteral("Publish this TXT record in the DNS of %1:")
                                  .arg(QString::fromStdString(strDomain)),
        this);
    auto *pText = new QPlainTextEdit(QString::fromStdString(strRecord), this);
    pText->setObjectName(QStringLiteral("recordText"));
    pText->setReadOnly(true);
    pText->setWhatsThis(QStringLiteral(
        "The TXT record that publishes the public half of the DKIM key. Add it to the DNS of the "
        "domain; until then, receivers cannot check the signatures."));
    pText->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    pLabel->setBuddy(pText);
    auto *pButtons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    QPushButton *pCopy = pButtons->addButton(QStringLiteral("&Copy"), QDialogButtonBox::ActionRole);
    pCopy->setWhatsThis(QStringLiteral("Copies the whole record to the clipboard."));
    connect(pCopy, &QPushButton::clicked, pText,
        [pText] { QGuiApplication::clipboard()->setText(pText->toPlainText()); });
    connect(pButtons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    pLayout->addWidget(pLabel);
    pLayout->addWidget(pText);
    pLayout->addWidget(pButtons);
    ResizeWithinScreen(*this, QSize(640, 260));
}
