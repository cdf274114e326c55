// Renders the dialogs that the real program shows only in the middle of a command (Mail
// Options, Find and Replace, the progress window, About) into PNG files, for a person to look
// at. Run under a real X server (scripts/screenshots.sh uses Xvfb).
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QInputDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QTextCursor>
#include <QTimer>

#include "app/Settings.h"
#include "document/MergixDoc.h"
#include "engine/Progress.h"
#include "mail/RecordList.h"
#include "ui/AboutDlg.h"
#include "ui/AttachmentPath.h"
#include "ui/AttachmentsDlg.h"
#include "ui/ChooseRecipientsDlg.h"
#include "ui/DialogHooks.h"
#include "ui/DnsRecordDlg.h"
#include "ui/FindReplaceDlg.h"
#include "ui/HeaderBar.h"
#include "ui/HelpWindow.h"
#include "ui/InsertIfDlg.h"
#include "ui/MailOptionsDlg.h"
#include "ui/MainFrame.h"
#include "ui/MergixView.h"
#include "ui/MessageBoxPrompter.h"
#include "ui/NewWizardSheetDlg.h"
#include "ui/ProgressDlg.h"
#include "ui/SaveSearchDlg.h"
#include "ui/SelectByRulesDlg.h"
#include "ui/ServerConnectDlg.h"
#include "ui/StartupDlg.h"
#include "ui/TestMergeInfoDlg.h"
#include "ui/TestMergeResultsDlg.h"

namespace {

void Save(QWidget &widget, const QString &strFolder, const char *pName)
{
    widget.show();
    for (int i = 0; i < 20; ++i)
        QApplication::processEvents();
    widget.grab().save(QDir(strFolder).filePath(QString::fromLatin1(pName)));
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QString strFolder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    QDir().mkpath(strFolder);

    CStartupDlg startup;
    Save(startup, strFolder, "startup-choice.png");

    // The guide, at the topic F1 opens in Choose Recipients.
    CHelpWindow help;
    help.ShowTopic(QStringLiteral("recipients"));
    Save(help, strFolder, "help.png");
    help.hide();

    CMailOptionsDlg options(nullptr, false);
    QInputDialog password;
    SetUpPasswordDialog(password, "Password of club@example.com at smtp.example.com:587:");
    Save(password, strFolder, "password.png");

    QMessageBox failed;
    SetUpActionBox(failed,
        "There was an error sending one or more messages to the following addresses:\r\n\r\n"
        "pat@example.org\r\nzoe.dupont@example.com\r\n",
        "Save failed list...", CPrompter::EIcon::Exclamation);
    Save(failed, strFolder, "failed-list.png");

    options.SetRatePerMinute(120);
    options.SetAccount(
        {"smtp.example.com", ESmtpSecurity::StartTls, 587, "club@example.com", "", ""});
    Save(options, strFolder, "mail-options.png");
    {
        CMailOptionsDlg oauth(nullptr, false);
        oauth.SetAccount(
            {"smtp.office365.com", ESmtpSecurity::StartTls, 587, "club@example.com", "", ""});
        SOAuthSettings microsoft;
        microsoft.strTenant = "example.org";
        microsoft.strClientId = "0b6f3a52-8c1d-4e7a-9f2b-5d3c1a7e9b40";
        oauth.SetOAuth(microsoft, microsoft);
        oauth.SetSignIn([](const SSmtpAccount &,
                            const SOAuthSettings &) { return std::optional<std::string>(); },
            "Signed in as club@example.com; kept in the keyring");
        Save(oauth, strFolder, "mail-options-oauth.png");
        SOAuthSettings custom;
        custom.eProvider = EOAuthProvider::Custom;
        custom.strClientId = "mergix";
        custom.strAuthorizationUrl = "https://login.example.org/oauth2/authorize";
        custom.strTokenUrl = "https://login.example.org/oauth2/token";
        custom.strScope = "smtp.send offline_access";
        oauth.SetOAuth(custom, custom);
        Save(oauth, strFolder, "mail-options-oauth-custom.png");
    }
    CDnsRecordDlg record("example.org",
        "mail2026._domainkey.example.org. IN TXT (\n    \"v=DKIM1; k=rsa; "
        "p=MIIBIjANBgkqhkiG9w0BAQEFAAOCAQ8AMIIBCgKCAQEAs1LKE6ocXz\" )");
    Save(record, strFolder, "dns-record.png");

    QSettings store(QDir(strFolder).filePath(QStringLiteral("render.ini")), QSettings::IniFormat);
    CMainFrame frame(store);
    frame.View().SetReady(true);
    frame.View().SetPlainText("Dear <<FirstName>>,\r\nthe club meets on Friday.");
    CFindReplaceDlg find(frame.View(), nullptr);
    find.Open(true);
    Save(find, strFolder, "find-replace.png");

    CProgressDlg progress(nullptr, QStringLiteral("Sending mail..."));
    progress.m_showDelay = std::chrono::milliseconds(0);
    progress.Create();
    progress.SetStatusText("Sending mail...");
    progress.SetBarRange(0, 32000);
    progress.SetBarPos(13440);
    Save(progress, strFolder, "progress.png");
    progress.SetStatusText("Sending mail... (120 a minute; done at about 14:35)");
    Save(progress, strFolder, "progress-rate.png");
    progress.DestroyWindow();

    CTestMergeInfoDlg info;
    Save(info, strFolder, "test-merge-info.png");
    info.resize(info.minimumSize());
    Save(info, strFolder, "test-merge-info-smallest.png");
    CTestMergeResultsDlg results;
    results.SetResults(std::string(64, '-') + "\r\nTo: ana.garcia@example.org\r\nDear Ana,\r\n\r\n"
        + "Greetings to Sevilla!\r\n\r\n" + std::string(64, '-')
        + "\r\nTo: liam.obrien@example.com\r\nDear Liam,\r\n\r\n");
    Save(results, strFolder, "test-merge-results.png");

    {
        CServerConnectDlg server;
        std::string strError;
        server.SetAddress(*ParseServerAddress(
            "postgresql://club@db.example.org/members?sslmode=require", strError));
        Save(server, strFolder, "server-connect.png");
    }

    // The wizard's three pages on the sample's database, and Choose Recipients on the sample.
    const QString strExamples = QStringLiteral(MERGIX_EXAMPLES_DIR);
    CMergixDoc wizardDoc;
    CNewWizardSheetDlg wizard(wizardDoc);
    wizard.show();
    wizard.restart();
    Save(wizard, strFolder, "wizard-1-file.png");
    wizard.FileEdit()->setText(strExamples + QStringLiteral("/contacts.mdb"));
    wizard.next();
    Save(wizard, strFolder, "wizard-2-table.png");
    wizard.next();
    wizard.FromNameEdit()->setText(QStringLiteral("The Club"));
    wizard.FromAddressEdit()->setText(QStringLiteral("club@example.com"));
    wizard.ToCombo()->setCurrentIndex(3);
    Save(wizard, strFolder, "wizard-3-message.png");
    // The smallest the window may be made: nothing may be cut there.
    wizard.resize(wizard.minimumSize());
    Save(wizard, strFolder, "wizard-3-message-smallest.png");
    wizard.resize(wizard.sizeHint());
    // Page 2 on a workbook: its sheets, the hidden ones marked.
    wizard.back();
    wizard.back();
    wizard.FileEdit()->setText(QStringLiteral(MERGIX_TESTS_DIR "/data/sheet-tricky.xlsx"));
    wizard.next();
    Save(wizard, strFolder, "wizard-2-sheets.png");
    wizard.hide();

    CMergixDoc doc;
    doc.OnOpenDocument(QString(strExamples + QStringLiteral("/sample.mgx")).toStdString());
    CMergeRun::SInput input = CMergeRun::InputOf(doc);
    CChooseRecipientsDlg recipients(doc, input);
    recipients.Load();
    for (const int nRow : {1, 2, 5})
        recipients.List().SetSelected(nRow, true);
    recipients.ShowListSelection();
    Save(recipients, strFolder, "choose-recipients.png");

    // Attachments with a fixed file and a template, the template selected and previewed for
    // the first record (the list's bottom row).
    const CRecordList &records = recipients.List();
    CAttachmentsDlg attachments(
        CAttachmentList({"price-list.pdf", "invoices/<<FirstName>>.pdf"}, doc.AttachmentFolder()),
        [&](const std::string &strEntry) -> std::optional<std::string> {
            return AttachmentPathForRecord(strEntry, doc.MergeFields(),
                CRecordListRow(records, records.RowCount() - 1), doc.AttachmentFolder());
        });
    attachments.findChild<QListWidget *>(QStringLiteral("entryList"))->setCurrentRow(1);
    Save(attachments, strFolder, "attachments.png");

    // Select by Rules with rows 2 and 3 on and a saved set chosen; Save Search Settings.
    CSettings settings(store);
    CRuleSet rules;
    rules.FirstField = "City";
    rules.FirstCondition = "Equals";
    rules.FirstText = "London";
    rules.SecondEnable = 1;
    rules.SecondField = "City";
    rules.SecondCondition = "Equals";
    rules.SecondText = "Berlin";
    rules.SecondBoolean = CRuleSet::kOr;
    rules.ThirdEnable = 1;
    rules.ThirdField = "Age";
    rules.ThirdCondition = "Less than";
    rules.ThirdText = "18";
    rules.ThirdBoolean = CRuleSet::kAndNot;
    settings.SaveRuleSet("Club towns", rules);
    CSelectByRulesDlg selectByRules(doc.m_fieldNames, settings);
    selectByRules.ListSavedSets();
    selectByRules.findChild<QComboBox *>(QStringLiteral("savedCombo"))->setCurrentIndex(0);
    selectByRules.LoadSavedSet();
    Save(selectByRules, strFolder, "select-by-rules.png");
    CSaveSearchDlg saveSearch;
    Save(saveSearch, strFolder, "save-search.png");

    // Insert Field's menu under its button, and Insert If.
    frame.Document().m_fieldNames = doc.m_fieldNames;
    frame.show();
    QMenu *pFieldMenu = frame.CreateFieldMenu();
    pFieldMenu->popup(frame.HeaderBar().InsertFieldButton()->mapToGlobal(
        QPoint(0, frame.HeaderBar().InsertFieldButton()->height())));
    Save(*pFieldMenu, strFolder, "insert-field-menu.png");
    pFieldMenu->hide();
    CInsertIfDlg insertIf(doc.m_fieldNames);
    Save(insertIf, strFolder, "insert-if.png");

    // A formatted message on the sample merge, then its preview of the second record.
    {
        QSettings formattedStore(
            QDir(strFolder).filePath(QStringLiteral("render-formatted.ini")), QSettings::IniFormat);
        CMainFrame formatted(formattedStore);
        formatted.resize(900, 640);
        formatted.Start(std::string(MERGIX_EXAMPLES_DIR "/sample.mgx"));
        CMergixView &view = formatted.View();
        QTextCursor cursor = view.textCursor();
        cursor.setPosition(0);
        cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
        view.setTextCursor(cursor);
        view.SetBold(true);
        view.SetFontSize(14);
        cursor.movePosition(QTextCursor::End);
        view.setTextCursor(cursor);
        cursor.insertText(QStringLiteral("\nWhat is on this month:\nThe summer fair\nA walk by the "
                                         "river\nPay your fee online"));
        cursor.movePosition(QTextCursor::PreviousBlock);
        cursor.movePosition(QTextCursor::PreviousBlock, QTextCursor::KeepAnchor);
        view.setTextCursor(cursor);
        view.SetList(QTextListFormat::ListDisc);
        cursor.movePosition(QTextCursor::End);
        cursor.movePosition(QTextCursor::StartOfBlock, QTextCursor::KeepAnchor);
        view.setTextCursor(cursor);
        view.InsertLink(QStringLiteral("https://club.example/pay?id=<<ID>>"), QString());
        Save(formatted, strFolder, "main-window-formatted.png");
        formatted.findChild<QAction *>(QStringLiteral("actionPreview"))->trigger();
        formatted.findChild<QPushButton *>(QStringLiteral("previewNext"))->click();
        Save(formatted, strFolder, "preview.png");
        formatted.findChild<QAction *>(QStringLiteral("actionPreview"))->trigger();
        // The narrowest the window may be made: the header bar must still show its fields.
        formatted.resize(formatted.minimumSizeHint().width(), 640);
        Save(formatted, strFolder, "main-window-smallest.png");
        formatted.resize(900, 640);
        // The same merge's test results, shown formatted.
        CMergeRun::SInput input = CMergeRun::InputOf(formatted.Document());
        input.strTemplate = view.PlainText();
        input.strFormattedBody = view.FormattedHtml();
        CRecordList list;
        list.SetColumns(formatted.Document().m_fieldNames);
        CNullProgress loading;
        list.Load(*formatted.Document().Table(), loading);
        list.SelectAll();
        input.pList = &list;
        input.bTestMode = true;
        input.bInteractive = false;
        CMergeRun run;
        CNullProgress running;
        run.Run(input, running);
        CTestMergeResultsDlg formattedResults;
        formattedResults.SetResults(run.TakeTestResults());
        formattedResults.SetFormattedMessages(run.TakeFormattedTests(), run.TestImages());
        formattedResults.resize(640, 520);
        Save(formattedResults, strFolder, "test-merge-results-formatted.png");
        formatted.Document().SetModifiedFlag(false);
        QFile::remove(QDir(strFolder).filePath(QStringLiteral("render-formatted.ini")));
    }

    CAboutDlg about;
    Save(about, strFolder, "about.png");
    QFile::remove(QDir(strFolder).filePath(QStringLiteral("render.ini")));
    return 0;
}
