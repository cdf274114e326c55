#include "ui/HelpWindow.h"

#include "ui/ScreenFit.h"

#include <algorithm>
#include <optional>
#include <span>

#include <QFileDialog>
#include <QKeyEvent>
#include <QScreen>
#include <QScrollBar>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>
#include <QWhatsThis>

namespace {

constexpr const char *kRunningCommandTopic = "mergixCommandTopic";

using TopicTable = std::span<const std::pair<const char *, const char *>>;

// The topic the table gives the name; none for a name it does not list.
std::optional<QString> TopicIn(TopicTable topics, const QString &strName)
{
    for (const auto &[pName, pTopic] : topics) {
        if (strName == QLatin1String(pName))
            return QString::fromLatin1(pTopic);
    }
    return std::nullopt;
}

void PlaceBeside(QWidget &help, const QWidget &owner)
{
    // Beside the window it explains, right or left, where the screen has room: over it, the
    // guide would hide what it talks about. Without room, against the screen's edge on the wider
    // side, so it covers as little as it can.
    const QScreen *pScreen = owner.screen();
    if (!pScreen)
        return;
    const QRect free = pScreen->availableGeometry();
    const QRect explained = owner.window()->frameGeometry();
    const QSize size = help.size() + WindowFrameSize(help);
    const int nTop
        = std::max(free.top(), std::min(explained.top(), free.bottom() + 1 - size.height()));
    if (explained.right() + size.width() <= free.right())
        help.move(explained.right() + 1, nTop);
    else if (explained.left() - size.width() >= free.left())
        help.move(explained.left() - size.width(), nTop);
    else if (free.right() - explained.right() >= explained.left() - free.left())
        help.move(free.right() + 1 - size.width(), nTop);
    else
        help.move(free.left(), nTop);
}

} // namespace

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
    if (!pHelp->isVisible())
        PlaceBeside(*pHelp, owner);
    pHelp->ShowTopic(strAnchor);
    pHelp->activateWindow();
}

QString HelpTopicOf(const QWidget &window)
{
    static const std::pair<const char *, const char *> kTopics[] = {
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
    if (strName == QLatin1String("mainFrame"))
        return window.property(kRunningCommandTopic).toString();
    if (std::optional<QString> topic = TopicIn(kTopics, strName))
        return *topic;
    const QWidget *pOpener = window.parentWidget() ? window.parentWidget()->window() : nullptr;
    if (!pOpener)
        return {};
    // Opening and saving merges has a topic of its own; a file chosen for a dialog belongs to
    // that dialog's.
    if (qobject_cast<const QFileDialog *>(&window)
        && pOpener->objectName() == QLatin1String("mainFrame"))
        return QStringLiteral("files");
    return HelpTopicOf(*pOpener);
}

QString CommandHelpTopic(const QString &strAction)
{
    static const std::pair<const char *, const char *> kTopics[] = {
        {"actionNew", "files"},
        {"actionOpen", "files"},
        {"actionSave", "files"},
        {"actionSaveAs", "files"},
        {"actionExit", "files"},
        {"actionRefreshDatabase", "setup"},
        {"actionInsertField", "writing"},
        {"actionInsertIf", "writing"},
        {"actionReplace", "writing"},
        {"actionPreview", "preview"},
        {"actionTestMailMerge", "testing"},
        {"actionSendMail", "sending"},
        {"actionOptions", "options"},
    };
    return TopicIn(kTopics, strAction).value_or(QString());
}

CRunningCommandTopic::CRunningCommandTopic(QWidget &frame, const QString &strAction)
    : m_frame(frame), m_previous(frame.property(kRunningCommandTopic))
{
    m_frame.setProperty(kRunningCommandTopic, CommandHelpTopic(strAction));
}

CRunningCommandTopic::~CRunningCommandTopic()
{
    m_frame.setProperty(kRunningCommandTopic, m_previous);
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
    // Shift+F1 explains the control that has the keyboard, where it has a text; otherwise the
    // next click explains the control it lands on, as in the main window.
    if (pKey->modifiers() == Qt::ShiftModifier) {
        QWidget *pFocus = pDialog->focusWidget();
        if (pFocus && !pFocus->whatsThis().isEmpty())
            QWhatsThis::showText(
                pFocus->mapToGlobal(pFocus->rect().center()), pFocus->whatsThis(), pFocus);
        else
            QWhatsThis::enterWhatsThisMode();
    } else
        ShowHelpWindow(*pDialog, HelpTopicOf(*pDialog));
    return true;
}
