#include "ui/DialogHooks.h"

#ifdef __GLIBC__
#include <malloc.h>
#endif

#include <QFileDialog>
#include <QInputDialog>
#include <QLineEdit>
#include <QStatusBar>

#include "engine/Prompter.h"
#include "mail/JournalPath.h"
#include "mail/SendPlan.h"
#include "ui/ChooseRecipientsDlg.h"
#include "ui/HeaderBar.h"
#include "ui/MergixView.h"
#include "ui/NewWizardSheetDlg.h"
#include "ui/OAuthSignInPrompt.h"
#include "ui/StartupDlg.h"
#include "ui/TestMergeInfoDlg.h"
#include "ui/TestMergeResultsDlg.h"

namespace {

// glibc keeps freed heap pages for the program's next allocations; after a long test merge they
// are better back with the system.
void ReleaseFreedMemory()
{
#ifdef __GLIBC__
    malloc_trim(0);
#endif
}

} // namespace

QString ChooseFailedListPath(QWidget *pParent)
{
    // A name typed without an extension gets ".csv", as the list is.
    QFileDialog dialog(pParent, QStringLiteral("Save failed list"), QString(),
        QStringLiteral("CSV Files (*.csv);;All Files (*)"));
    dialog.setObjectName(QStringLiteral("saveFailedListDialog"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("csv"));
    dialog.selectFile(QStringLiteral("failed.csv"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

void SetUpPasswordDialog(QInputDialog &dlg, const std::string &strPrompt)
{
    dlg.setObjectName(QStringLiteral("passwordDlg"));
    dlg.setWindowTitle(QStringLiteral("SMTP Password"));
    dlg.setLabelText(QString::fromStdString(strPrompt));
    dlg.setTextEchoMode(QLineEdit::Password);
    if (auto *pEdit = dlg.findChild<QLineEdit *>())
        pEdit->setAccessibleName(QStringLiteral("Password"));
}

CMainFrame::SHooks FrameDialogHooks(CMainFrame &frame)
{
    CMainFrame::SHooks hooks;
    hooks.testMergeInfo = [&frame]() -> std::optional<bool> {
        CTestMergeInfoDlg dlg(&frame);
        if (dlg.exec() != QDialog::Accepted)
            return std::nullopt;
        return dlg.DontRemind();
    };
    // What a formatted test merge shows formatted, from the run to its results window.
    struct SFormattedTests
    {
        std::vector<CMergeRun::STestMessage> messages;
        std::vector<SInlineImage> images;
    };
    auto pFormatted = std::make_shared<SFormattedTests>();
    hooks.chooseRecipients = [&frame, pFormatted](bool bTestMode) -> std::optional<std::string> {
        CMergeRun::SInput input = frame.EditedMessage();
        input.serverName = [&frame] {
            return frame.Settings().SmtpServerName();
        };
        input.account = frame.SendingAccount();
        input.nRatePerMinute = frame.Settings().RatePerMinute();
        input.dkim = frame.Settings().Dkim();
        input.unsubscribe = frame.Settings().Unsubscribe();
        // The journal of this merge decides, with the user, whom a send leaves out.
        CSendJournal journal;
        if (!bTestMode) {
            const CMergixDoc &doc = frame.Document();
            std::string strMessage;
            const std::optional<SSendPlan> plan = PlanSend(journal,
                JournalPathFor(
                    doc.GetPathName(), doc.m_strDatabasePath + "\n" + doc.m_strTableName),
                EResumeChoice::Ask, false, strMessage, CMergeRun::TemplateDigest(input));
            if (!plan)
                return std::nullopt;
            if (plan->bJournal) {
                journal.RecordMergeFile(doc.GetPathName());
                input.pJournal = &journal;
                input.journalRun.strServer = Endpoint(input.account);
                input.journalRun.strSelection = "chosen in Choose Recipients";
                input.journalRun.resumes = plan->resumes;
                input.earlier = plan->earlier;
                input.completed = plan->completed;
            }
            input.saveFailedList = [&frame](const std::vector<CRunRecord::SFailure> &failures) {
                const QString strPath = ChooseFailedListPath(&frame);
                if (strPath.isEmpty())
                    return;
                if (const std::string strError = WriteFailuresCsv(strPath.toStdString(), failures);
                    !strError.empty())
                    ShowMessage(strError);
            };
        }
        CChooseRecipientsDlg dlg(frame.Document(), std::move(input), &frame);
        dlg.SetTestMode(bTestMode);
        dlg.SetRuleSettings(&frame.Settings());
        QObject::connect(
            &dlg, &CChooseRecipientsDlg::HelpRequested, &frame, &CMainFrame::ShowHelpTopic);
        dlg.Load(); // a database failure ends the command with its message
        const bool bAccepted = dlg.exec() == QDialog::Accepted;
        frame.KeepReplacedRefreshToken();
        if (!dlg.SendSummary().empty())
            frame.statusBar()->showMessage(QString::fromStdString(dlg.SendSummary()));
        // A password the server refused is asked for again at the next send.
        if (dlg.LastOutcome() == CMergeRun::EOutcome::ServerRefused)
            frame.Passwords().ForgetInMemory(PasswordKey(frame.Settings().SmtpAccount()));
        if (!bAccepted || !bTestMode)
            return std::nullopt;
        pFormatted->messages = dlg.TakeFormattedTests();
        pFormatted->images = dlg.TestImages();
        return dlg.TakeTestResults();
    };
    hooks.signIn = [&frame](const SSmtpAccount &account, const SOAuthSettings &oauth) {
        return SignInWithBrowser(&frame, account, oauth, frame.Passwords());
    };
    hooks.askPassword = [&frame](const std::string &strPrompt) -> std::optional<std::string> {
        QInputDialog dlg(&frame);
        SetUpPasswordDialog(dlg, strPrompt);
        if (dlg.exec() != QDialog::Accepted)
            return std::nullopt;
        return dlg.textValue().toStdString();
    };
    hooks.showTestResults = [&frame, pFormatted](std::string strResults) {
        {
            CTestMergeResultsDlg dlg(&frame);
            dlg.SetResults(std::move(strResults));
            if (!pFormatted->messages.empty())
                dlg.SetFormattedMessages(
                    std::exchange(pFormatted->messages, {}), pFormatted->images);
            dlg.exec();
        }
        ReleaseFreedMemory(); // a long test's text goes back to the system with its window
    };
    return hooks;
}

SDocumentHooks DocumentDialogHooks(CMainFrame &frame)
{
    SDocumentHooks hooks;
    hooks.startupChoice = [] {
        CStartupDlg dlg;
        return dlg.exec() == QDialog::Accepted ? dlg.Choice() : 2;
    };
    hooks.runWizard = [&frame]() -> std::optional<SWizardResult> {
        CNewWizardSheetDlg wizard(frame.Document(), &frame);
        wizard.SetServerPasswordKeeper(
            [&frame](const SServerAddress &address, const std::string &strPassword) {
                frame.Passwords().Store(ServerPasswordKey(address), strPassword);
            });
        if (wizard.exec() != QDialog::Accepted)
            return std::nullopt;
        return wizard.Result();
    };
    hooks.chooseFileToOpen = [&frame]() -> std::optional<std::string> {
        const QString strPath = QFileDialog::getOpenFileName(&frame, QStringLiteral("Open"), {},
            QStringLiteral("Mergix Files (*.mgx);;All Files (*)"));
        if (strPath.isEmpty())
            return std::nullopt;
        return strPath.toStdString();
    };
    return hooks;
}
