#include "ui/HelpWindow.h"

#include "ui/ScreenFit.h"

#include <QKeyEvent>
#include <QScrollBar>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>
#include <QWhatsThis>

CHelpWindow::CHelpWindow(QWidget *pParent) : QDialog(pParent), m_pBrowser(new QTextBrowser(this))
{
    setModal(false);
    setObjectName(QStringLiteral("helpWindow"));
    setWindowTitle(QStringLiteral("Mergix Help"));
    m_pBrowser->setObjectName(QStringLiteral("helpBrowser"));
    m_pBrowser->setAccessibleName(QStringLiteral("Help text"));
    m_pBrowser->setSource(QUrl(QStringLiteral("qrc:/help/index.html")));
    auto *pLayout = new QVBoxLayout(this);
    pLayout->addWidget(m_pBrowser);
    ResizeWithinScreen(*this, QSize(640, 560));
    // Closed, the guide gives the keyboard back to the window it was opened from, also where no
    // window manager does.
    connect(this, &QDialog::finished, this, [this] {
        if (QWidget *pOwner = parentWidget())
            pOwner->activateWindow();
    });
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

void ShowHelpWindow(QWidget &owner, const QString &strAnchor)
{
    auto *pHelp = owner.findChild<CHelpWindow *>(QString(), Qt::FindDirectChildrenOnly);
    if (!pHelp)
        pHelp = new CHelpWindow(&owner);
    pHelp->ShowTopic(strAnchor);
    pHelp->activateWindow();
}

QString HelpTopicOf(const QWidget &window)
{
    static const std::pair<const char *, const char *> kTopics[] = {
        {"mainFrame", ""},
        {"previewPane", "preview"},
        {"startupDlg", "setup"},
        {"newWizard", "setup"},
        {"serverConnectDlg", "setup"},
        {"findReplaceDlg", "writing"},
        {"insertIfDlg", "writing"},
        {"linkDlg", "formatting"},
        {"pictureDlg", "formatting"},
        {"fontDlg", "formatting"},
        {"colourDlg", "formatting"},
        {"attachmentsDlg", "copies"},
        {"chooseRecipientsDlg", "recipients"},
        {"selectByRulesDlg", "rules"},
        {"saveSearchDlg", "rules"},
        {"testMergeInfoDlg", "testing"},
        {"testMergeResultsDlg", "testing"},
        {"mailOptionsDlg", "options"},
        {"passwordDlg", "login"},
        {"signInWaitDlg", "login"},
        {"dnsRecordDlg", "signing"},
        {"progressDlg", "sending"},
        {"saveFailedListDialog", "sending"},
        {"aboutDlg", "help"},
    };
    const QString strName = window.objectName();
    for (const auto &[pName, pTopic] : kTopics) {
        if (strName == QLatin1String(pName))
            return QString::fromLatin1(pTopic);
    }
    return {};
}

bool CDialogHelpKey::eventFilter(QObject *pWatched, QEvent *pEvent)
{
    if (pEvent->type() != QEvent::KeyPress || !pWatched->isWidgetType())
        return false;
    const auto *pKey = static_cast<QKeyEvent *>(pEvent);
    if (pKey->key() != Qt::Key_F1
        || (pKey->modifiers() != Qt::NoModifier && pKey->modifiers() != Qt::ShiftModifier))
        return false;
    QWidget *pWindow = static_cast<QWidget *>(pWatched)->window();
    auto *pDialog = qobject_cast<QDialog *>(pWindow);
    if (!pDialog || qobject_cast<CHelpWindow *>(pDialog))
        return false;
    // Shift+F1: the next click explains the control it lands on, as in the main window.
    if (pKey->modifiers() == Qt::ShiftModifier)
        QWhatsThis::enterWhatsThisMode();
    else
        ShowHelpWindow(*pDialog, HelpTopicOf(*pDialog));
    return true;
}
