// The commands of the main window: files, the Mail menu, printing, help, and keeping the
// title, the recent files and the enabled commands up to date.
#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStackedWidget>
#include <QToolBar>
#include <QUrl>

#include "app/CommandDispatcher.h"
#include "app/OAuthLogin.h"
#include "engine/Data.h"
#include "engine/IfBlock.h"
#include "engine/PrintableText.h"
#include "engine/Prompter.h"
#include "mail/MessageText.h"
#include "mail/RecordList.h"
#include "sources/TableCursor.h"
#include "ui/AboutDlg.h"
#include "ui/AttachmentPath.h"
#include "ui/AttachmentsDlg.h"
#include "ui/FindReplaceDlg.h"
#include "ui/FormatCommands.h"
#include "ui/HeaderBar.h"
#include "ui/HelpWindow.h"
#include "ui/InsertIfDlg.h"
#include "ui/MailOptionsDlg.h"
#include "ui/MainFrame.h"
#include "ui/MergixView.h"
#include "ui/MessagePrinter.h"
#include "ui/OAuthSignInPrompt.h"
#include "ui/PreviewPane.h"
#include "ui/ProgressDlg.h"

void CMainFrame::Start(const std::optional<std::string> &path)
{
    Run([&] {
        if (path)
            m_fileCommands.OpenFile(*path);
        else
            m_fileCommands.New();
    });
}

void CMainFrame::OnFileNew()
{
    m_fileCommands.New();
}

void CMainFrame::OnFileOpen()
{
    m_fileCommands.Open();
}

void CMainFrame::OnFileSave()
{
    m_fileCommands.Save();
}

void CMainFrame::OnFileSaveAs()
{
    m_fileCommands.SaveAs();
}

bool CMainFrame::EditMailOptions(bool bServerRequired)
{
    CMailOptionsDlg dlg(this, bServerRequired);
    connect(&dlg, &CMailOptionsDlg::HelpRequested, this, &CMainFrame::ShowHelpTopic);
    dlg.SetAccount(m_settings.SmtpAccount());
    dlg.SetRatePerMinute(m_settings.RatePerMinute());
    dlg.SetDkim(m_settings.Dkim());
    dlg.SetUnsubscribe(m_settings.Unsubscribe());
    const std::optional<SOAuthSettings> oauth = m_settings.OAuth();
    dlg.SetOAuth(oauth, m_settings.OAuthRegistration());
    if (m_hooks.signIn) {
        // The keyring is asked only for a login that uses it.
        dlg.SetSignIn(m_hooks.signIn,
            oauth ? SignInStatus(m_settings.SmtpAccount(), m_passwords) : "Not signed in");
    }
    if (dlg.exec() != QDialog::Accepted)
        return false;
    m_settings.SetOAuth(dlg.OAuth());
    m_settings.SetDkim(dlg.Dkim());
    m_settings.SetUnsubscribe(dlg.Unsubscribe());
    const SSmtpAccount account = dlg.Account();
    m_settings.SetSmtpAccount(account);
    m_settings.SetRatePerMinute(dlg.RatePerMinute());
    if (!dlg.OAuth() && !dlg.Password().empty() && !account.strUser.empty()
        && m_passwords.Store(PasswordKey(account), dlg.Password())
            == CPasswordKeeper::EPlace::Memory)
        ShowMessage("No keyring service is running on this desktop, so the password is kept "
                    "only until Mergix closes.",
            CPrompter::EIcon::Information);
    return true;
}

bool CMainFrame::ObtainPassword(const SSmtpAccount &account)
{
    const std::string strKey = PasswordKey(account);
    if (m_passwords.Read(strKey))
        return true;
    if (!m_hooks.askPassword)
        return false;
    const std::optional<std::string> password
        = m_hooks.askPassword("Password of " + account.strUser + " at " + Endpoint(account) + ":");
    if (!password)
        return false;
    m_passwords.Store(strKey, *password);
    return true;
}

bool CMainFrame::ObtainSignIn(const SSmtpAccount &account)
{
    if (m_passwords.Read(RefreshTokenKey(account)))
        return true;
    ShowMessage("Mergix is not signed in as " + PrintableText(account.strUser)
            + " yet. Please sign in with Sign in... in Mail Options.",
        CPrompter::EIcon::Information);
    return EditMailOptions(false) && m_passwords.Read(RefreshTokenKey(m_settings.SmtpAccount()));
}

void CMainFrame::KeepReplacedRefreshToken()
{
    if (!m_pTokenSource)
        return;
    if (const std::string strNow = m_pTokenSource->RefreshToken(); strNow != m_strStartRefreshToken)
        m_passwords.Store(RefreshTokenKey(m_settings.SmtpAccount()), strNow);
    m_pTokenSource.reset();
}

SSmtpAccount CMainFrame::SendingAccount()
{
    SSmtpAccount account = m_settings.SmtpAccount();
    m_pTokenSource.reset();
    if (const std::optional<SOAuthSettings> oauth = m_settings.OAuth(); oauth && account.LogsIn()) {
        m_strStartRefreshToken = m_passwords.Read(RefreshTokenKey(account)).value_or(std::string());
        m_pTokenSource = UseOAuthLogin(account, *oauth, m_strStartRefreshToken);
        return account;
    }
    if (account.NeedsPassword())
        account.strPassword = m_passwords.Read(PasswordKey(account)).value_or(std::string());
    return account;
}

void CMainFrame::OnSendMail()
{
    SSmtpAccount account = m_settings.SmtpAccount();
    // A stored server that cannot be used is named, and asked for again, before anything
    // starts.
    if (!account.strServer.empty()) {
        if (const std::string strProblem = CheckSmtpAccount(account); !strProblem.empty()) {
            ShowMessage(strProblem);
            account.strServer.clear();
        }
    }
    if (account.strServer.empty()) {
        if (!EditMailOptions(true))
            return;
        account = m_settings.SmtpAccount();
        if (const std::string strProblem = CheckSmtpAccount(account); !strProblem.empty()) {
            ShowMessage(strProblem);
            return;
        }
    }
    const std::pair<QLineEdit *, const char *> checks[] = {
        {m_pHeaderBar->FromEdit(), "Please specify a from e-mail address and name"},
        {m_pHeaderBar->SubjectEdit(), "Please specify a subject"},
        {m_pHeaderBar->ReplyToEdit(), "Please specify a reply-to e-mail address"},
    };
    for (const auto &[pEdit, pMessage] : checks) {
        if (pEdit->text().isEmpty()) {
            ShowMessage(pMessage);
            pEdit->setFocus();
            return;
        }
    }
    if (m_settings.OAuth() && account.LogsIn()) {
        if (!ObtainSignIn(account))
            return;
    } else if (account.NeedsPassword() && !ObtainPassword(account)) {
        return;
    }
    if (!m_hooks.chooseRecipients) {
        ShowMessage("Choosing recipients is not available in this version, so nothing was sent.",
            CPrompter::EIcon::Information);
        return;
    }
    m_hooks.chooseRecipients(false);
}

void CMainFrame::OnTestMailMerge()
{
    if (m_settings.DontRemind() == 0 && m_hooks.testMergeInfo) {
        const std::optional<bool> dontRemind = m_hooks.testMergeInfo();
        if (!dontRemind)
            return;
        m_settings.SetDontRemind(*dontRemind ? 1 : 0);
    }
    if (!m_hooks.chooseRecipients) {
        ShowMessage("Choosing recipients is not available in this version, so no test merge "
                    "was made.",
            CPrompter::EIcon::Information);
        return;
    }
    std::optional<std::string> results = m_hooks.chooseRecipients(true);
    if (results && m_hooks.showTestResults)
        m_hooks.showTestResults(std::move(*results));
}

void CMainFrame::OnRefreshDatabase()
{
    m_doc.RefreshDatabase();
}

QMenu *CMainFrame::CreateFieldMenu(QLineEdit *pTagEdit)
{
    constexpr size_t kMaxFields = 1000;
    const std::vector<std::string> &names = m_doc.m_fieldNames;
    if (names.size() > kMaxFields)
        ShowMessage("No more than " + std::to_string(kMaxFields)
            + " fields can be displayed at once.\nSome fields may be missing");
    auto *pMenu = new QMenu(this);
    pMenu->setObjectName(QStringLiteral("fieldMenu"));
    for (size_t i = 0; i < names.size() && i < kMaxFields; ++i) {
        const std::string strName = names[i];
        // Field names are shown as they are: no "&" becomes a mnemonic.
        QAction *pAction = pMenu->addAction(
            QString::fromStdString(strName).replace(QStringLiteral("&"), QStringLiteral("&&")));
        connect(pAction, &QAction::triggered, this, [this, strName, pTagEdit] {
            if (!pTagEdit) {
                InsertIntoMessage(MakeFieldTag(strName));
                return;
            }
            pTagEdit->insert(QString::fromStdString(MakeFieldTag(strName)));
            m_doc.SetModifiedFlag(true);
        });
    }
    return pMenu;
}

void CMainFrame::OnInsertField()
{
    QLineEdit *pTagEdit = FocusedTagEdit();
    QMenu *pMenu = CreateFieldMenu(pTagEdit);
    QPushButton *pButton = m_pHeaderBar->InsertFieldButton();
    pMenu->exec(pButton->mapToGlobal(QPoint(0, pButton->height())));
    if (pTagEdit)
        pTagEdit->setFocus();
    else
        m_pView->setFocus();
    pMenu->deleteLater();
}

QLineEdit *CMainFrame::FocusedTagEdit() const
{
    QWidget *pFocus = focusWidget();
    for (QLineEdit *pEdit :
        {m_pHeaderBar->SubjectEdit(), m_pHeaderBar->CcEdit(), m_pHeaderBar->BccEdit()}) {
        if (pFocus == pEdit)
            return pEdit;
    }
    return nullptr;
}

std::optional<std::vector<std::string>> CMainFrame::EditAttachments(
    const std::vector<std::string> &entries)
{
    CAttachmentsDlg dlg(
        CAttachmentList(entries, m_doc.AttachmentFolder()), FirstRecordAttachmentPreview(), this);
    if (dlg.exec() != QDialog::Accepted)
        return std::nullopt;
    return dlg.Entries();
}

CAttachmentList::PathPreview CMainFrame::FirstRecordAttachmentPreview()
{
    CTableCursor *pTable = m_doc.Table();
    if (!pTable)
        return {};
    // Read once for the whole dialog, as Choose Recipients reads its cells.
    auto pRecord = std::make_shared<CRecordList>();
    pRecord->SetColumns(m_doc.m_fieldNames);
    try {
        pTable->MoveFirst();
        if (!pTable->IsEOF()) {
            const int nFields = std::min<int>(pRecord->ColumnCount(), pTable->GetFieldCount());
            std::vector<std::string> cells;
            CData value;
            for (int i = 0; i < nFields; ++i) {
                value = pTable->GetFieldValue(i);
                cells.push_back(value.GetString());
            }
            pRecord->AddRecord(cells);
        }
    } catch (const std::exception &error) {
        ShowMessage(error.what());
        return {};
    }
    return [pRecord, fields = m_doc.MergeFields(), strFolder = m_doc.AttachmentFolder()](
               const std::string &strEntry) -> std::optional<std::string> {
        if (pRecord->RowCount() == 0)
            return std::nullopt;
        return AttachmentPathForRecord(strEntry, fields, CRecordListRow(*pRecord, 0), strFolder);
    };
}

void CMainFrame::OnInsertIf()
{
    CInsertIfDlg dlg(m_doc.m_fieldNames, this);
    if (dlg.exec() == QDialog::Accepted)
        InsertIntoMessage(dlg.Result());
}

void CMainFrame::InsertIntoMessage(const std::string &strText)
{
    m_pView->textCursor().insertText(QString::fromStdString(strText));
    m_doc.SetModifiedFlag(true);
    m_pView->setFocus();
}

void CMainFrame::OnOptions()
{
    EditMailOptions(false);
}

void CMainFrame::OnPrint()
{
    QPrinter printer;
    QPrintDialog dlg(&printer, this);
    if (dlg.exec() == QDialog::Accepted)
        PrintMessage(m_pView->document(), printer);
}

void CMainFrame::OnHelpTopics()
{
    ShowHelpTopic(HelpTopicOf(*m_pCentral->currentWidget()));
}

void CMainFrame::ShowHelpTopic(const QString &strAnchor)
{
    // Asked from a modal dialog, the guide is the dialog's, or the dialog would block it.
    QWidget *pModal = QApplication::activeModalWidget();
    ShowHelpWindow(pModal ? *pModal : *static_cast<QWidget *>(this), strAnchor);
}

void CMainFrame::OnAppAbout()
{
    CAboutDlg dlg(this);
    dlg.exec();
}

void CMainFrame::OnFind(bool bReplace)
{
    if (!m_pFindDlg)
        m_pFindDlg = new CFindReplaceDlg(*m_pView, this);
    m_pFindDlg->Open(bReplace);
}

void CMainFrame::OnFindNext()
{
    if (!m_pFindDlg)
        OnFind(false);
    else
        m_pFindDlg->FindNext();
}

CMergeRun::SInput CMainFrame::EditedMessage() const
{
    CMergeRun::SInput input;
    input.fields = m_doc.MergeFields();
    input.strToField = m_pHeaderBar->SelectedToField();
    input.strTemplate = m_pView->PlainText();
    input.strFormattedBody = m_pView->FormattedHtml();
    input.strFrom = m_pHeaderBar->FromEdit()->text().toStdString();
    input.strReplyTo = m_pHeaderBar->ReplyToEdit()->text().toStdString();
    input.strSubject = m_pHeaderBar->SubjectEdit()->text().toStdString();
    input.extras = m_pHeaderBar->Extras();
    input.strAttachmentFolder = m_doc.AttachmentFolder();
    return input;
}

void CMainFrame::ShowPreview(bool bOn)
{
    const bool bShown = m_pCentral->currentWidget() == m_pPreview;
    if (bOn == bShown)
        return;
    if (bOn) {
        auto pList = std::make_unique<CRecordList>();
        bool bLoaded = false;
        RunCommand([&] {
            if (!m_doc.IsConnectionOpen())
                return;
            CProgressDlg progress(this);
            pList->SetColumns(m_doc.m_fieldNames);
            pList->Load(*m_doc.Table(), progress);
            bLoaded = true;
        });
        if (!bLoaded) {
            const QSignalBlocker blocker(m_pPreviewAction);
            m_pPreviewAction->setChecked(false);
            return;
        }
        m_pPreview->Start(EditedMessage(), std::move(pList));
        m_pCentral->setCurrentWidget(m_pPreview);
        m_pPreview->findChild<QWidget *>(QStringLiteral("previewBody"))->setFocus();
    } else {
        m_pCentral->setCurrentWidget(m_pView);
        m_pView->setFocus();
    }
    // The message is not edited while it is previewed.
    m_pHeaderToolBar->setEnabled(!bOn);
    m_pFormat->ToolBar()->setEnabled(!bOn && m_doc.m_bDatabaseReady);
    for (QAction *pAction : m_needEditor)
        pAction->setEnabled(!bOn && m_doc.m_bDatabaseReady);
    m_pView->setReadOnly(bOn || !m_doc.m_bDatabaseReady);
}

void CMainFrame::UpdateCommandStates()
{
    const bool bOpen = m_doc.IsConnectionOpen();
    for (QAction *pAction : m_needDatabase)
        pAction->setEnabled(bOpen);
    m_pHeaderBar->InsertFieldButton()->setEnabled(bOpen);
    m_pHeaderBar->InsertIfButton()->setEnabled(bOpen);
}

void CMainFrame::ApplyDocumentToView()
{
    m_pView->SetReady(m_doc.m_bDatabaseReady);
    for (QAction *pAction : m_needEditor)
        pAction->setEnabled(m_doc.m_bDatabaseReady);
    m_pFormat->ToolBar()->setEnabled(m_doc.m_bDatabaseReady);
    m_pFormat->ShowCursorFormat();
}

void CMainFrame::UpdateTitle()
{
    setWindowTitle(QString::fromStdString(m_fileCommands.WindowTitle()));
}

void CMainFrame::UpdateRecentFiles()
{
    qDeleteAll(m_recentActions);
    m_recentActions.clear();
    const std::vector<std::string> paths = m_fileCommands.RecentFiles();
    for (size_t i = 0; i < paths.size(); ++i) {
        const QString strPath = QString::fromStdString(paths[i]);
        auto *pAction = new QAction(QStringLiteral("&%1 %2").arg(i + 1).arg(strPath), this);
        pAction->setObjectName(QStringLiteral("actionRecentFile%1").arg(i + 1));
        pAction->setStatusTip(QStringLiteral("Open this merge"));
        pAction->setWhatsThis(QStringLiteral("Opens a merge you opened or saved lately."));
        connect(pAction, &QAction::triggered, this, [this, i] {
            const CRunningCommandTopic topic(*this, QStringLiteral("actionOpen"));
            Run([this, i] { m_fileCommands.OpenRecentFile(i); });
        });
        m_pFileMenu->insertAction(m_pRecentSeparator, pAction);
        m_recentActions.push_back(pAction);
    }
}

std::optional<std::string> CMainFrame::ChooseFileToOpen()
{
    const QString strPath = QFileDialog::getOpenFileName(
        this, QStringLiteral("Open"), {}, QStringLiteral("Mergix Files (*.mgx);;All Files (*)"));
    if (strPath.isEmpty())
        return std::nullopt;
    return strPath.toStdString();
}

std::optional<std::string> CMainFrame::ChooseFileToSave(const std::string &strSuggested)
{
    const QString strPath = QFileDialog::getSaveFileName(this, QStringLiteral("Save As"),
        QString::fromStdString(strSuggested), QStringLiteral("Mergix Files (*.mgx)"));
    if (strPath.isEmpty())
        return std::nullopt;
    return strPath.toStdString();
}

void CMainFrame::closeEvent(QCloseEvent *pEvent)
{
    bool bClose = false;
    const CRunningCommandTopic topic(*this, QStringLiteral("actionExit"));
    Run([&] { bClose = m_fileCommands.SaveModified(); });
    if (bClose)
        pEvent->accept();
    else
        pEvent->ignore();
}

void CMainFrame::dragEnterEvent(QDragEnterEvent *pEvent)
{
    if (pEvent->mimeData()->hasUrls() && pEvent->mimeData()->urls().value(0).isLocalFile())
        pEvent->acceptProposedAction();
}

void CMainFrame::dropEvent(QDropEvent *pEvent)
{
    if (OpenDroppedFile(*pEvent->mimeData()))
        pEvent->acceptProposedAction();
}

bool CMainFrame::OpenDroppedFile(const QMimeData &mime)
{
    const QString strPath = mime.urls().value(0).toLocalFile();
    if (strPath.isEmpty())
        return false;
    activateWindow();
    Run([&] { m_fileCommands.OpenFile(strPath.toStdString()); });
    return true;
}
