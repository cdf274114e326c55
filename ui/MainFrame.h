#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include <QMainWindow>

#include "app/FileCommands.h"
#include "app/OAuthTokens.h"
#include "app/PasswordKeeper.h"
#include "app/Settings.h"
#include "document/MergixDoc.h"
#include "mail/MergeRun.h"
#include "ui/AttachmentList.h"

class QAction;
class QLineEdit;
class QMenu;
class QMimeData;
class QSettings;
class QToolBar;
class CFrameControls;
class CHeaderBar;
class CMergixView;

// The main window: menus, toolbar, the message header bar (a movable toolbar), the message
// editor and the status bar, over the one merge document. The Mail commands check what they
// need and hand over to the dialogs that plug in through the hooks.
class CMainFrame final : public QMainWindow
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CMainFrame)

public:
    // What the recipient, test-merge and insertion dialogs plug in.
    struct SHooks
    {
        // Runs Choose Recipients for sending or for a test; the test text when a test ran.
        std::function<std::optional<std::string>(bool bTestMode)> chooseRecipients;
        // The test-merge reminder: nothing for Cancel, else whether not to remind again.
        std::function<std::optional<bool>()> testMergeInfo;
        std::function<void(std::string strResults)> showTestResults;
        // Asks for the SMTP password with the prompt given; nothing for Cancel.
        std::function<std::optional<std::string>(const std::string &strPrompt)> askPassword;
        // Signs in with OAuth 2.0 in the browser and keeps the sign-in; the status to show, or
        // nothing when it did not come about.
        std::function<std::optional<std::string>(
            const SSmtpAccount &account, const SOAuthSettings &oauth)>
            signIn;
    };

    explicit CMainFrame(QSettings &store, QWidget *pParent = nullptr);
    ~CMainFrame() override;

    void SetHooks(SHooks hooks);
    CMergixDoc &Document() { return m_doc; }
    CSettings &Settings() { return m_settings; }
    CFileCommands &FileCommands() { return m_fileCommands; }
    CHeaderBar &HeaderBar() { return *m_pHeaderBar; }
    CMergixView &View() { return *m_pView; }
    CPasswordKeeper &Passwords() { return m_passwords; }
    // The stored account with the password of its login, or the access tokens of its OAuth 2.0
    // sign-in, for a send.
    SSmtpAccount SendingAccount();
    // Keeps the refresh token the provider handed out in place of the stored one during the
    // last send.
    void KeepReplacedRefreshToken();

    // The message as it stands in the window, for a run or the preview: the document's fields
    // and folder with the header bar's and the editor's texts.
    CMergeRun::SInput EditedMessage() const;

    // Start-up: opens the file, or makes a new merge (which asks the start-up choice).
    void Start(const std::optional<std::string> &path);

    void OnFileNew();
    void OnFileOpen();
    void OnFileSave();
    void OnFileSaveAs();
    void OnSendMail();
    void OnTestMailMerge();
    void OnRefreshDatabase();
    // Insert Field: the menu of the field names in field order (the first 1000), under the
    // header bar's button; the chosen field's tag replaces the editor's selection, or that of
    // the Cc or Bcc edit when one of them has the focus.
    void OnInsertField();
    QMenu *CreateFieldMenu(QLineEdit *pTagEdit = nullptr);
    void OnInsertIf();
    // Replaces the editor's selection, marks the merge changed and gives the editor the focus.
    void InsertIntoMessage(const std::string &strText);
    // The Attachments dialog over these entries: the entries OK accepted, or nothing.
    std::optional<std::vector<std::string>> EditAttachments(
        const std::vector<std::string> &entries);
    // The preview of the Attachments dialog: each entry merged with the first record of the
    // merge's table. Empty when no table is open.
    CAttachmentList::PathPreview FirstRecordAttachmentPreview();
    void OnOptions();
    void OnPrint();
    void OnHelpTopics();
    // The guide at a topic's anchor.
    void ShowHelpTopic(const QString &strAnchor);
    void OnAppAbout();
    // A file dropped on the window opens like File Open; false when it named no file.
    bool OpenDroppedFile(const QMimeData &mime);

protected:
    void closeEvent(QCloseEvent *pEvent) override;
    void dragEnterEvent(QDragEnterEvent *pEvent) override;
    void dropEvent(QDropEvent *pEvent) override;

private:
    void CreateActions();
    void CreateBars();
    void OnFind(bool bReplace);
    // View > Preview on or off; on, the list is loaded (with progress) and the first record's
    // message shown in place of the editor.
    void ShowPreview(bool bOn);
    void OnFindNext();
    QAction *AddAction(const QString &strName, const QString &strText,
        const QList<QKeySequence> &keys, const QString &strPrompt, void (CMainFrame::*handler)());
    // Runs a command through the dispatcher, then brings the window up to date.
    void Run(const std::function<void()> &command);
    void UpdateCommandStates();
    void UpdateTitle();
    void UpdateRecentFiles();
    void ApplyDocumentToView();
    // The Subject, Cc or Bcc edit when it has the focus (Insert Field puts its tag there), else
    // nullptr.
    QLineEdit *FocusedTagEdit() const;
    std::optional<std::string> ChooseFileToOpen();
    std::optional<std::string> ChooseFileToSave(const std::string &strSuggested);
    // Mail Options; stores what OK accepted, the password in the keeper. False for Cancel.
    bool EditMailOptions(bool bServerRequired);
    // Makes sure the login's password is known, asking for it when no keyring holds it.
    bool ObtainPassword(const SSmtpAccount &account);
    // Database servers' passwords come from the keyring or the password question.
    void UseServerPasswords();
    // Makes sure an OAuth 2.0 login has a sign-in, offering Mail Options to make one.
    bool ObtainSignIn(const SSmtpAccount &account);

    CSettings m_settings;
    CPasswordKeeper m_passwords;
    // The access tokens of the last send's OAuth 2.0 login, and the refresh token it began with.
    std::shared_ptr<CAccessTokenSource> m_pTokenSource;
    std::string m_strStartRefreshToken;
    CMergixDoc m_doc;
    CFileCommands m_fileCommands;
    SHooks m_hooks;
    CHeaderBar *m_pHeaderBar;
    CMergixView *m_pView;
    class QStackedWidget *m_pCentral; // the editor, or the preview in its place
    class CPreviewPane *m_pPreview;
    QAction *m_pPreviewAction = nullptr;
    std::unique_ptr<CFrameControls> m_pControls;
    QToolBar *m_pToolBar = nullptr;
    QToolBar *m_pHeaderToolBar = nullptr;
    QMenu *m_pFileMenu = nullptr;
    QAction *m_pRecentSeparator = nullptr;
    QList<QAction *> m_recentActions;
    QList<QAction *> m_needDatabase; // enabled while a merge's table is open
    QList<QAction *> m_needEditor; // enabled while the message can be edited
    class CFormatCommands *m_pFormat = nullptr;
    QAction *m_pInsertField = nullptr;
    QAction *m_pInsertIf = nullptr;
    QAction *m_pFindAction = nullptr;
    QAction *m_pViewToolBar = nullptr;
    QAction *m_pViewStatusBar = nullptr;
    QAction *m_pViewHeaderBar = nullptr;
    QAction *m_pViewFormatBar = nullptr;
    QAction *m_pContextHelp = nullptr;
    class CFindReplaceDlg *m_pFindDlg = nullptr;
};
