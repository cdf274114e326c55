#include "ui/MainFrame.h"

#include <memory>

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QShortcut>
#include <QStackedWidget>
#include <QStatusBar>
#include <QStyle>
#include <QToolBar>
#include <QWhatsThis>

#include "app/CommandDispatcher.h"
#include "sources/sql/ServerSource.h"
#include "ui/FormatCommands.h"
#include "ui/FrameControls.h"
#include "ui/HeaderBar.h"
#include "ui/HelpWindow.h"
#include "ui/LockIndicators.h"
#include "ui/MergixView.h"
#include "ui/PreviewPane.h"
#include "ui/ProgressDlg.h"
#include "ui/ScreenFit.h"

CMainFrame::CMainFrame(QSettings &store, QWidget *pParent)
    : QMainWindow(pParent)
    , m_settings(store)
    , m_fileCommands(m_doc, m_settings,
          {[this] { return ChooseFileToOpen(); },
              [this](const std::string &strSuggested) {
                  return ChooseFileToSave(strSuggested);
              }})
    , m_pHeaderBar(new CHeaderBar)
    , m_pView(new CMergixView(this))
    , m_pCentral(new QStackedWidget(this))
    , m_pPreview(new CPreviewPane(this))
    , m_pControls(std::make_unique<CFrameControls>(*m_pHeaderBar, *m_pView))
{
    setObjectName(QStringLiteral("mainFrame"));
    m_pCentral->addWidget(m_pView);
    m_pCentral->addWidget(m_pPreview);
    setCentralWidget(m_pCentral);
    setAcceptDrops(true);
    // Never larger than the screen at first, as on a laptop at 144 dpi.
    ResizeWithinScreen(*this, QSize(860, 620));
    CreateActions();
    CreateBars();

    m_doc.SetControls(m_pControls.get());
    m_doc.SetProgressFactory([this] { return std::make_unique<CProgressDlg>(this); });
    m_doc.SetStateObserver([this] { UpdateCommandStates(); });
    const auto markModified = [this] {
        m_doc.SetModifiedFlag(true);
    };
    connect(m_pView, &CMergixView::EditedByUser, this, markModified);
    connect(m_pHeaderBar, &CHeaderBar::EditedByUser, this, markModified);
    UseServerPasswords();
    UpdateCommandStates();
    UpdateTitle();
    UpdateRecentFiles();
}

void CMainFrame::UseServerPasswords()
{
    // A database server's password: from the keyring, else asked for and kept there; one the
    // server refused is asked for again.
    const auto key = ServerPasswordKey;
    SetServerPasswordSource(
        [this, key](const SServerAddress &address) -> std::optional<std::string> {
            if (std::optional<std::string> kept = m_passwords.Read(key(address)))
                return kept;
            if (!m_hooks.askPassword)
                return std::nullopt;
            std::optional<std::string> password = m_hooks.askPassword(
                "Password of " + address.strUser + " at " + ServerAddressText(address) + ":");
            if (password)
                m_passwords.Store(key(address), *password);
            return password;
        },
        [this, key](const SServerAddress &address) { m_passwords.Forget(key(address)); });
}

CMainFrame::~CMainFrame()
{
    SetServerPasswordSource({});
    m_doc.SetStateObserver({});
    m_doc.SetControls(nullptr);
}

void CMainFrame::SetHooks(SHooks hooks)
{
    m_hooks = std::move(hooks);
    UpdateCommandStates();
}

QAction *CMainFrame::AddAction(const QString &strName, const QString &strText,
    const QList<QKeySequence> &keys, const QString &strPrompt, void (CMainFrame::*handler)())
{
    auto *pAction = new QAction(strText, this);
    pAction->setObjectName(strName);
    pAction->setShortcuts(keys);
    // A prompt is the status bar text, a line break, and the tooltip.
    const qsizetype nBreak = strPrompt.indexOf(u'\n');
    pAction->setStatusTip(strPrompt.left(nBreak));
    if (nBreak >= 0)
        pAction->setToolTip(strPrompt.mid(nBreak + 1));
    if (handler)
        connect(pAction, &QAction::triggered, this, [this, handler, strName] {
            const CRunningCommandTopic topic(*this, strName);
            Run([=, this] { (this->*handler)(); });
        });
    addAction(pAction); // the shortcut works wherever the focus is in the frame
    return pAction;
}

void CMainFrame::Run(const std::function<void()> &command)
{
    // Every command works on the message as it is edited.
    m_pPreviewAction->setChecked(false);
    RunCommand(command);
    ApplyDocumentToView();
    UpdateCommandStates();
    UpdateTitle();
    UpdateRecentFiles();
}

void CMainFrame::CreateActions()
{
    QStyle *pStyle = style();
    QMenu *pFile = m_pFileMenu = menuBar()->addMenu(QStringLiteral("&File"));
    pFile->addAction(AddAction(QStringLiteral("actionNew"), QStringLiteral("&New"),
        {QKeySequence(Qt::CTRL | Qt::Key_N)}, QStringLiteral("Create a new merge\nNew"),
        &CMainFrame::OnFileNew));
    pFile->addAction(AddAction(QStringLiteral("actionOpen"), QStringLiteral("&Open..."),
        {QKeySequence(Qt::CTRL | Qt::Key_O)}, QStringLiteral("Open an existing merge\nOpen"),
        &CMainFrame::OnFileOpen));
    QAction *pSave = AddAction(QStringLiteral("actionSave"), QStringLiteral("&Save"),
        {QKeySequence(Qt::CTRL | Qt::Key_S)}, QStringLiteral("Save the merge to disk\nSave"),
        &CMainFrame::OnFileSave);
    QAction *pSaveAs = AddAction(QStringLiteral("actionSaveAs"), QStringLiteral("Save &As..."), {},
        QStringLiteral("Save the merge under a new name\nSave As"), &CMainFrame::OnFileSaveAs);
    pFile->addActions({pSave, pSaveAs});
    // The recent files go between two separators, which fold into one while there are none.
    pFile->setSeparatorsCollapsible(true);
    pFile->addSeparator();
    m_pRecentSeparator = pFile->addSeparator();
    QAction *pExit = AddAction(QStringLiteral("actionExit"), QStringLiteral("E&xit"), {},
        QStringLiteral("Quit the application; asks to save a changed merge\nExit"), nullptr);
    connect(pExit, &QAction::triggered, this, &QWidget::close);
    pFile->addAction(pExit);
    m_needDatabase = {pSave, pSaveAs};
    pFile->actions()[0]->setIcon(pStyle->standardIcon(QStyle::SP_FileIcon));
    pFile->actions()[1]->setIcon(pStyle->standardIcon(QStyle::SP_DialogOpenButton));
    pSave->setIcon(pStyle->standardIcon(QStyle::SP_DialogSaveButton));

    // Edit commands go to the editor.
    QMenu *pEdit = menuBar()->addMenu(QStringLiteral("&Edit"));
    const auto editAction = [&](const char *pName, const char *pText, QList<QKeySequence> keys,
                                const char *pPrompt, auto slot) {
        QAction *pAction = AddAction(QString::fromLatin1(pName), QString::fromUtf8(pText), keys,
            QString::fromUtf8(pPrompt), nullptr);
        connect(pAction, &QAction::triggered, m_pView, slot);
        pEdit->addAction(pAction);
        return pAction;
    };
    editAction("actionUndo", "&Undo",
        {QKeySequence(Qt::CTRL | Qt::Key_Z), QKeySequence(Qt::ALT | Qt::Key_Backspace)},
        "Undo the last action\nUndo", &QTextEdit::undo);
    pEdit->addSeparator();
    editAction("actionCut", "Cu&t",
        {QKeySequence(Qt::CTRL | Qt::Key_X), QKeySequence(Qt::SHIFT | Qt::Key_Delete)},
        "Cut the current selection's contents to the clipboard\nCut", &QTextEdit::cut);
    editAction("actionCopy", "&Copy",
        {QKeySequence(Qt::CTRL | Qt::Key_C), QKeySequence(Qt::CTRL | Qt::Key_Insert)},
        "Copy the current selection's contents to the clipboard\nCopy", &QTextEdit::copy);
    editAction("actionPaste", "&Paste",
        {QKeySequence(Qt::CTRL | Qt::Key_V), QKeySequence(Qt::SHIFT | Qt::Key_Insert)},
        "Paste the clipboard's contents into the current selection\nPaste", &QTextEdit::paste);
    editAction("actionClear", "C&lear", {QKeySequence(Qt::Key_Delete)},
        "Erase the selection\nErase", [this] { m_pView->textCursor().removeSelectedText(); });
    editAction("actionSelectAll", "Select &All", {QKeySequence(Qt::CTRL | Qt::Key_A)},
        "Select the entire message\nSelect All", &QTextEdit::selectAll);
    pEdit->addSeparator();
    m_pFindAction = editAction("actionFind", "&Find", {QKeySequence(Qt::CTRL | Qt::Key_F)},
        "Find the specified text\nFind", [this] { OnFind(false); });
    editAction("actionFindNext", "F&ind Next", {QKeySequence(Qt::Key_F3)},
        "Repeat the last search\nFind Next", [this] { OnFindNext(); });
    editAction("actionReplace", "R&eplace", {QKeySequence(Qt::CTRL | Qt::Key_H)},
        "Replace specific text with different text\nReplace", [this] { OnFind(true); });
    // The editor and the header edits handle the editing keys themselves, each for its own
    // text; the menu shows them. Find, Find Next and Replace work from anywhere in the window.
    for (QAction *pAction : pEdit->actions()) {
        if (pAction != m_pFindAction && pAction->objectName() != QStringLiteral("actionFindNext")
            && pAction->objectName() != QStringLiteral("actionReplace"))
            pAction->setShortcutContext(Qt::WidgetShortcut);
    }
    auto *pAltBackspace = new QShortcut(QKeySequence(Qt::ALT | Qt::Key_Backspace), m_pView);
    pAltBackspace->setContext(Qt::WidgetShortcut);
    connect(pAltBackspace, &QShortcut::activated, m_pView, &QTextEdit::undo);

    QMenu *pViewMenu = menuBar()->addMenu(QStringLiteral("&View"));
    m_pViewToolBar = pViewMenu->addAction(QStringLiteral("&Toolbar"));
    m_pViewToolBar->setObjectName(QStringLiteral("actionViewToolbar"));
    m_pViewToolBar->setStatusTip(QStringLiteral("Show or hide the toolbar"));
    m_pViewStatusBar = pViewMenu->addAction(QStringLiteral("&Status Bar"));
    m_pViewStatusBar->setObjectName(QStringLiteral("actionViewStatusBar"));
    m_pViewStatusBar->setStatusTip(QStringLiteral("Show or hide the status bar"));
    m_pViewHeaderBar = pViewMenu->addAction(QStringLiteral("&Header Bar"));
    m_pViewHeaderBar->setObjectName(QStringLiteral("actionViewHeaderBar"));
    m_pViewHeaderBar->setStatusTip(QStringLiteral("Show or hide the message header bar"));
    m_pViewFormatBar = pViewMenu->addAction(QStringLiteral("&Formatting Toolbar"));
    m_pViewFormatBar->setObjectName(QStringLiteral("actionViewFormatBar"));
    m_pViewFormatBar->setStatusTip(QStringLiteral("Show or hide the formatting toolbar"));
    pViewMenu->addSeparator();
    m_pPreviewAction = AddAction(QStringLiteral("actionPreview"), QStringLiteral("&Preview"),
        {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_P)},
        QStringLiteral("Show each record's message as it will arrive\nPreview"), nullptr);
    m_pPreviewAction->setCheckable(true);
    m_pPreviewAction->setIcon(QIcon::fromTheme(QStringLiteral("document-print-preview")));
    if (m_pPreviewAction->icon().isNull())
        m_pPreviewAction->setIconText(QStringLiteral("Preview"));
    connect(m_pPreviewAction, &QAction::toggled, this, &CMainFrame::ShowPreview);
    connect(m_pPreview, &CPreviewPane::CloseRequested, m_pPreviewAction,
        [this] { m_pPreviewAction->setChecked(false); });
    pViewMenu->addAction(m_pPreviewAction);

    m_pFormat = new CFormatCommands(*this, *m_pView);
    menuBar()->addMenu(m_pFormat->Menu());
    m_needEditor = m_pFormat->Actions();

    QMenu *pMail = menuBar()->addMenu(QStringLiteral("&Mail"));
    QAction *pSend = AddAction(QStringLiteral("actionSendMail"), QStringLiteral("&Send Mail"),
        {QKeySequence(Qt::CTRL | Qt::Key_M)},
        QStringLiteral("Bring up the send mail dialog box to begin an e-mail merge\nSend Mail"),
        &CMainFrame::OnSendMail);
    pMail->addAction(pSend);
    pMail->addSeparator();
    m_pInsertField = AddAction(QStringLiteral("actionInsertField"), QStringLiteral("&Insert Field"),
        {QKeySequence(Qt::CTRL | Qt::Key_I)}, {}, &CMainFrame::OnInsertField);
    m_pInsertIf = AddAction(QStringLiteral("actionInsertIf"), QStringLiteral("I&nsert IF"), {}, {},
        &CMainFrame::OnInsertIf);
    QAction *pTest = AddAction(QStringLiteral("actionTestMailMerge"),
        QStringLiteral("&Test Mail Merge"), {QKeySequence(Qt::CTRL | Qt::Key_T)},
        QStringLiteral("Test the e-mail merge\nTest e-mail merge"), &CMainFrame::OnTestMailMerge);
    QAction *pRefresh
        = AddAction(QStringLiteral("actionRefreshDatabase"), QStringLiteral("&Refresh Database"),
            {}, QStringLiteral("Refresh the contents of the database\nRefresh"),
            &CMainFrame::OnRefreshDatabase);
    pMail->addActions({m_pInsertField, m_pInsertIf, pTest, pRefresh});
    pMail->addSeparator();
    pMail->addAction(AddAction(QStringLiteral("actionOptions"), QStringLiteral("&Options"), {}, {},
        &CMainFrame::OnOptions));
    pSend->setIcon(pStyle->standardIcon(QStyle::SP_ArrowForward));
    pTest->setIcon(pStyle->standardIcon(QStyle::SP_FileDialogContentsView));
    pRefresh->setIcon(pStyle->standardIcon(QStyle::SP_BrowserReload));
    m_needDatabase += {pSend, m_pInsertField, m_pInsertIf, pTest, pRefresh, m_pPreviewAction};

    // The guide and the About box change nothing, so they leave a preview at its record.
    QMenu *pHelp = menuBar()->addMenu(QStringLiteral("&Help"));
    QAction *pHelpTopics = AddAction(QStringLiteral("actionHelpTopics"),
        QStringLiteral("&Help Topics"), {QKeySequence(Qt::Key_F1)},
        QStringLiteral("List the help topics\nHelp Topics"), nullptr);
    connect(pHelpTopics, &QAction::triggered, this, &CMainFrame::OnHelpTopics);
    pHelp->addAction(pHelpTopics);
    // A plain command that enters the mode: the checkable action Qt offers can be toggled by a
    // screen reader without entering it, and then stays pressed.
    {
        const std::unique_ptr<QAction> pQtAction(QWhatsThis::createAction());
        m_pContextHelp = new QAction(pQtAction->icon(), QString(), this);
    }
    connect(m_pContextHelp, &QAction::triggered, this, [] { QWhatsThis::enterWhatsThisMode(); });
    m_pContextHelp->setObjectName(QStringLiteral("actionContextHelp"));
    m_pContextHelp->setText(QStringLiteral("&Context Help"));
    m_pContextHelp->setShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F1));
    m_pContextHelp->setStatusTip(
        QStringLiteral("Display help for clicked buttons, menus and windows"));
    addAction(m_pContextHelp);
    pHelp->addAction(m_pContextHelp);
    pHelp->addSeparator();
    QAction *pAbout = AddAction(QStringLiteral("actionAbout"), QStringLiteral("&About Mergix..."),
        {}, QStringLiteral("Display program information and version number\nAbout"), nullptr);
    connect(pAbout, &QAction::triggered, this, &CMainFrame::OnAppAbout);
    pHelp->addAction(pAbout);
    auto *pPrint = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_P), this);
    connect(pPrint, &QShortcut::activated, this, [this] { Run([this] { OnPrint(); }); });
}

void CMainFrame::CreateBars()
{
    m_pToolBar = addToolBar(QStringLiteral("Toolbar"));
    m_pToolBar->setObjectName(QStringLiteral("toolBar"));
    const auto action = [this](const char *pName) {
        return findChild<QAction *>(QString::fromLatin1(pName));
    };
    m_pToolBar->addActions({action("actionNew"), action("actionOpen"), action("actionSave")});
    m_pToolBar->addSeparator();
    for (const char *pName : {"actionCut", "actionCopy", "actionPaste"}) {
        QAction *pAction = action(pName);
        pAction->setIcon(QIcon::fromTheme(
            QString::fromLatin1(pName).mid(6).toLower().prepend(QStringLiteral("edit-"))));
        if (pAction->icon().isNull())
            pAction->setIconText(pAction->toolTip());
        m_pToolBar->addAction(pAction);
    }
    m_pToolBar->addSeparator();
    m_pToolBar->addActions({action("actionSendMail"), action("actionTestMailMerge"),
        action("actionPreview"), action("actionRefreshDatabase")});
    m_pToolBar->addSeparator();
    m_pToolBar->addAction(m_pContextHelp);

    addToolBarBreak();
    addToolBar(m_pFormat->ToolBar());
    addToolBarBreak();
    m_pHeaderToolBar = addToolBar(QStringLiteral("Message Header"));
    m_pHeaderToolBar->setObjectName(QStringLiteral("headerToolBar"));
    m_pHeaderToolBar->addWidget(m_pHeaderBar);
    m_pHeaderToolBar->setAllowedAreas(Qt::AllToolBarAreas);
    connect(m_pHeaderBar->InsertFieldButton(), &QPushButton::clicked, m_pInsertField,
        &QAction::trigger);
    connect(m_pHeaderBar->InsertIfButton(), &QPushButton::clicked, m_pInsertIf, &QAction::trigger);
    // A click leaves the focus where it was, so that the field goes into the Cc or Bcc edit
    // the user was typing in; Tab still reaches the button.
    m_pHeaderBar->InsertFieldButton()->setFocusPolicy(Qt::TabFocus);
    m_pHeaderBar->SetAttachmentsEditor(
        [this](const std::vector<std::string> &entries) { return EditAttachments(entries); });

    statusBar()->setObjectName(QStringLiteral("statusBar"));
    statusBar()->showMessage(QStringLiteral("Ready"));
    new CLockIndicators(statusBar());
    m_pViewToolBar->setCheckable(true);
    m_pViewToolBar->setChecked(true);
    connect(m_pViewToolBar, &QAction::toggled, m_pToolBar, &QToolBar::setVisible);
    connect(m_pToolBar, &QToolBar::visibilityChanged, m_pViewToolBar, &QAction::setChecked);
    // A bar hidden from the toolbars' context menu comes back from the View menu.
    for (const auto &[pAction, pBar] : {std::pair {m_pViewHeaderBar, m_pHeaderToolBar},
             std::pair {m_pViewFormatBar, m_pFormat->ToolBar()}}) {
        pAction->setCheckable(true);
        pAction->setChecked(true);
        connect(pAction, &QAction::toggled, pBar, &QToolBar::setVisible);
        connect(pBar, &QToolBar::visibilityChanged, pAction, &QAction::setChecked);
    }
    m_pViewStatusBar->setCheckable(true);
    m_pViewStatusBar->setChecked(true);
    connect(m_pViewStatusBar, &QAction::toggled, statusBar(), &QStatusBar::setVisible);

    m_pInsertField->setWhatsThis(m_pHeaderBar->InsertFieldButton()->whatsThis());
    m_pInsertIf->setWhatsThis(m_pHeaderBar->InsertIfButton()->whatsThis());
    findChild<QAction *>(QStringLiteral("actionOptions"))
        ->setWhatsThis(QStringLiteral("Sets the SMTP server through which messages are sent."));
    for (QAction *pAction : findChildren<QAction *>()) {
        if (pAction->whatsThis().isEmpty())
            pAction->setWhatsThis(pAction->statusTip());
    }
    m_pToolBar->setWhatsThis(QStringLiteral("The commands used most: files, editing and mail."));
    m_pHeaderToolBar->setWhatsThis(
        QStringLiteral("The message header: sender, the address field, subject, Reply-To, copies "
                       "and attachments."));
    statusBar()->setWhatsThis(QStringLiteral("Describes the command under the pointer."));

    // F6 and Shift+F6 go between the two panes: the header bar and the editor.
    for (const QKeySequence &key :
        {QKeySequence(Qt::Key_F6), QKeySequence(Qt::SHIFT | Qt::Key_F6)}) {
        auto *pShortcut = new QShortcut(key, this);
        connect(pShortcut, &QShortcut::activated, this, [this] {
            if (m_pView->hasFocus() || focusWidget() == m_pView)
                m_pHeaderBar->FromEdit()->setFocus(Qt::ShortcutFocusReason);
            else
                m_pView->setFocus(Qt::ShortcutFocusReason);
        });
    }
}
