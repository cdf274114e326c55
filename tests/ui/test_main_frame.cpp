// The main window driven through its real widgets, offscreen: start-up paths, command
// enabling, the Send Mail checks, the modified flag and the save question, Save As round trips,
// recent files, the editor's menu, Find/Replace, database failures and printing.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPrinter>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSettings>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QUrl>
#include <QWhatsThis>

#include "app/Settings.h"
#include "mail/SmtpAccount.h"
#include "support/RecordingPrompter.h"
#include "support/WidgetHelpers.h"
#include "ui/DialogHooks.h"
#include "ui/FindReplaceDlg.h"
#include "ui/HeaderBar.h"
#include "ui/HelpWindow.h"
#include "ui/MailOptionsDlg.h"
#include "ui/MainFrame.h"
#include "ui/MergixView.h"
#include "ui/MessagePrinter.h"
#include "ui/ScreenFit.h"
#include "ui/TestMergeInfoDlg.h"

namespace {

namespace fs = std::filesystem;
using Texts = std::vector<std::string>;
using EAnswer = CPrompter::EAnswer;

const std::string kData = MERGIX_TESTS_DIR "/data/";

class MainFrameTest : public testing::Test
{
protected:
    void SetUp() override
    {
        m_folder = fs::path(m_dir.path().toStdString());
        fs::copy_file(kData + "contacts.mdb", m_folder / "contacts.mdb");
        m_pStore = std::make_unique<QSettings>(
            QString::fromStdString((m_folder / "settings.ini").string()), QSettings::IniFormat);
        m_pFrame = std::make_unique<CMainFrame>(*m_pStore);
        SDocumentHooks hooks;
        hooks.startupChoice = [this] {
            ++m_nChoicesAsked;
            return m_nChoice;
        };
        hooks.chooseFileToOpen = [this] {
            return m_fileToOpen;
        };
        hooks.runWizard = [this]() -> std::optional<SWizardResult> {
            if (!m_bWizardFinishes)
                return std::nullopt;
            // The wizard works on the document's own connection.
            CMergixDoc &doc = m_pFrame->Document();
            doc.OpenSource((m_folder / "contacts.mdb").string());
            doc.OpenTableRecordset("Contacts");
            return SWizardResult {(m_folder / "contacts.mdb").string(), "Contacts", "Email", "Club",
                "club@example.com", "News", "replies@example.com"};
        };
        m_pFrame->Document().SetHooks(hooks);
        m_pFrame->FileCommands().SetDialogs({[this] { return m_fileToOpen; },
            [this](const std::string &) {
                return m_fileToSave;
            }});
        m_pFrame->show();
    }
    void TearDown() override
    {
        m_pFrame->Document().SetModifiedFlag(false);
        m_pFrame.reset();
    }

    QAction *Action(const char *pName) const
    {
        return m_pFrame->findChild<QAction *>(QString::fromLatin1(pName));
    }
    bool MailCommandsEnabled() const
    {
        bool bAll = true;
        bool bAny = false;
        for (const char *pName : {"actionSendMail", "actionTestMailMerge", "actionRefreshDatabase",
                 "actionSave", "actionSaveAs"}) {
            bAll = bAll && Action(pName)->isEnabled();
            bAny = bAny || Action(pName)->isEnabled();
        }
        EXPECT_EQ(bAll, bAny) << "some commands on, some off";
        return bAll;
    }
    std::string WriteMerge(const std::string &strName, const std::string &strDatabase,
        const std::string &strTable = "Contacts")
    {
        std::ofstream out(m_folder / strName, std::ios::binary);
        for (const std::string &strText : {strDatabase, std::string("Email"),
                 std::string("Club <club@example.com>"), std::string("replies@example.com"),
                 std::string("News"), strTable, std::string("Dear <<FirstName>>,\r\nHello.")}) {
            out.put(static_cast<char>(strText.size()));
            out << strText;
        }
        return (m_folder / strName).string();
    }

    QTemporaryDir m_dir;
    fs::path m_folder;
    CRecordingPrompter m_prompter;
    std::unique_ptr<QSettings> m_pStore;
    std::unique_ptr<CMainFrame> m_pFrame;
    int m_nChoice = 2;
    int m_nChoicesAsked = 0;
    bool m_bWizardFinishes = true;
    std::optional<std::string> m_fileToOpen;
    std::optional<std::string> m_fileToSave;
};

TEST_F(MainFrameTest, HiddenBarsComeBackFromTheViewMenuAndTheFileMenuFramesTheRecentFiles)
{
    m_pFrame->show();
    for (const auto &[pAction, pBar] : {std::pair {"actionViewHeaderBar", "headerToolBar"},
             std::pair {"actionViewFormatBar", "formatToolBar"}}) {
        SCOPED_TRACE(pAction);
        auto *pToolBar = m_pFrame->findChild<QToolBar *>(QString::fromLatin1(pBar));
        ASSERT_NE(pToolBar, nullptr);
        pToolBar->hide(); // as its context menu hides it
        EXPECT_FALSE(Action(pAction)->isChecked());
        Action(pAction)->trigger();
        EXPECT_TRUE(pToolBar->isVisible());
        EXPECT_TRUE(Action(pAction)->isChecked());
    }
    // New, Open, Save, Save As | the recent files | Exit.
    m_pFrame->Start(WriteMerge("club.mgx", "contacts.mdb"));
    const QList<QAction *> items = m_pFrame->menuBar()->actions().first()->menu()->actions();
    QStringList shape;
    for (QAction *pItem : items)
        shape << (pItem->isSeparator() ? QStringLiteral("|") : pItem->objectName());
    EXPECT_EQ(shape.join(u' '),
        QStringLiteral("actionNew actionOpen actionSave actionSaveAs | actionRecentFile1 | "
                       "actionExit"));
}

TEST_F(MainFrameTest, F1InADialogOpensTheGuideBesideItAndEscClosesTheGuideAlone)
{
    CDialogHelpKey helpKey;
    qApp->installEventFilter(&helpKey);
    m_pFrame->show();
    CTestMergeInfoDlg info(m_pFrame.get());
    info.open(); // modal to the main window
    QApplication::processEvents();
    ASSERT_EQ(QApplication::activeModalWidget(), &info);
    QWidget *pFocus = info.focusWidget() ? info.focusWidget() : &info;
    QTest::keyClick(pFocus, Qt::Key_F1);
    auto *pHelp = info.findChild<CHelpWindow *>();
    ASSERT_NE(pHelp, nullptr);
    EXPECT_TRUE(pHelp->isVisible());
    EXPECT_FALSE(pHelp->isModal());
    EXPECT_EQ(HelpTopicOf(info), QStringLiteral("testing"));
    // The guide is the dialog's own window, so the dialog does not block it.
    EXPECT_EQ(pHelp->parentWidget(), &info);
    EXPECT_TRUE(pHelp->isWindow());
    pHelp->activateWindow();
    QApplication::processEvents();
    QTest::keyClick(pHelp, Qt::Key_Escape);
    QApplication::processEvents();
    EXPECT_FALSE(pHelp->isVisible());
    EXPECT_TRUE(info.isVisible());
    EXPECT_EQ(QApplication::activeWindow(), &info); // the keyboard goes back to the dialog

    // A dialog's own Help command opens the guide the same way.
    m_pFrame->ShowHelpTopic(QStringLiteral("testing"));
    EXPECT_TRUE(info.findChild<CHelpWindow *>()->isVisible());
    info.reject();
    qApp->removeEventFilter(&helpKey);
    // Every dialog of the program has a topic, and the guide the program carries has it.
    QFile guide(QStringLiteral(":/help/index.html"));
    ASSERT_TRUE(guide.open(QIODevice::ReadOnly));
    const QString strGuide = QString::fromUtf8(guide.readAll());
    for (const char *pName : {"startupDlg", "newWizard", "serverConnectDlg", "findReplaceDlg",
             "insertIfDlg", "linkDlg", "pictureDlg", "fontDlg", "colourDlg", "attachmentsDlg",
             "chooseRecipientsDlg", "selectByRulesDlg", "saveSearchDlg", "testMergeInfoDlg",
             "testMergeResultsDlg", "mailOptionsDlg", "passwordDlg", "signInWaitDlg",
             "dnsRecordDlg", "progressDlg", "saveFailedListDialog", "aboutDlg", "previewPane"}) {
        QWidget window;
        window.setObjectName(QString::fromLatin1(pName));
        const QString strTopic = HelpTopicOf(window);
        EXPECT_FALSE(strTopic.isEmpty()) << pName;
        EXPECT_TRUE(strGuide.contains(QStringLiteral("<a name=\"%1\">").arg(strTopic))) << pName;
    }
}

TEST_F(MainFrameTest, MessageBoxesAndFileDialogsHaveTheTopicOfWhatOpenedThem)
{
    QDialog rules;
    rules.setObjectName(QStringLiteral("selectByRulesDlg"));
    QMessageBox question(&rules);
    EXPECT_EQ(HelpTopicOf(question), QStringLiteral("rules"));
    QDialog attachments;
    attachments.setObjectName(QStringLiteral("attachmentsDlg"));
    QFileDialog addFiles(&attachments);
    EXPECT_EQ(HelpTopicOf(addFiles), QStringLiteral("copies"));
    QFileDialog openMerge(m_pFrame.get());
    EXPECT_EQ(HelpTopicOf(openMerge), QStringLiteral("files"));

    // The main window's message boxes belong to the command that shows them, while it runs.
    QMessageBox fromFrame(m_pFrame.get());
    EXPECT_EQ(HelpTopicOf(fromFrame), QString());
    QString strDuringOpen;
    m_pFrame->FileCommands().SetDialogs({[&] {
                                             strDuringOpen = HelpTopicOf(fromFrame);
                                             return std::optional<std::string>();
                                         },
        [](const std::string &) {
            return std::optional<std::string>();
        }});
    Action("actionOpen")->trigger();
    EXPECT_EQ(strDuringOpen, QStringLiteral("files"));
    EXPECT_EQ(HelpTopicOf(fromFrame), QString());

    QFile guide(QStringLiteral(":/help/index.html"));
    ASSERT_TRUE(guide.open(QIODevice::ReadOnly));
    const QString strGuide = QString::fromUtf8(guide.readAll());
    for (QAction *pAction : m_pFrame->findChildren<QAction *>()) {
        const QString strTopic = CommandHelpTopic(pAction->objectName());
        if (strTopic.isEmpty())
            continue;
        EXPECT_TRUE(strGuide.contains(QStringLiteral("<a name=\"%1\">").arg(strTopic)))
            << pAction->objectName().toStdString();
    }
}

TEST_F(MainFrameTest, TheGuideOpensBesideTheWindowItExplains)
{
    QDialog owner;
    owner.move(0, 0);
    owner.resize(120, 100);
    owner.show();
    ShowHelpWindow(owner, QStringLiteral("testing"));
    auto *pHelp = owner.findChild<CHelpWindow *>();
    ASSERT_NE(pHelp, nullptr);
    EXPECT_FALSE(pHelp->frameGeometry().intersects(owner.frameGeometry()));
    EXPECT_TRUE(owner.screen()->availableGeometry().contains(pHelp->frameGeometry()));
    // Without room beside it, the guide keeps to the screen's edge on the wider side.
    pHelp->close();
    const QRect free = owner.screen()->availableGeometry();
    owner.setGeometry(free.left() + 40, free.top(), free.width() - 200, 100);
    ShowHelpWindow(owner, QStringLiteral("testing"));
    EXPECT_LE(pHelp->frameGeometry().right(), free.right());
    EXPECT_GE(pHelp->frameGeometry().right(), free.right() - WindowFrameSize(*pHelp).width());
    // Moved by the user, it stays where it was put at the next F1.
    pHelp->move(5, 5);
    ShowHelpWindow(owner, QStringLiteral("sending"));
    EXPECT_EQ(pHelp->pos(), QPoint(5, 5));
}

TEST_F(MainFrameTest, TheWindowFitsALaptopScreenAndALargerFontWidensTheHeaderFields)
{
    // It opens no larger than the screen (the test screen is 800 by 600).
    const QSize available = m_pFrame->screen()->availableGeometry().size();
    EXPECT_LE(m_pFrame->width(), available.width());
    EXPECT_LE(m_pFrame->height(), available.height());
    // At 144 dpi the window is drawn 1.5 times larger: it must still fit 1280 pixels.
    m_pFrame->Start(WriteMerge("club.mgx", "contacts.mdb"));
    EXPECT_LE(m_pFrame->minimumSizeHint().width() * 3 / 2, 1280);

    // A larger system font: at the narrowest window, a usual sender still shows whole.
    const QFont normal = QApplication::font();
    QFont larger = normal;
    larger.setPointSizeF(normal.pointSizeF() * 1.5);
    QApplication::setFont(larger);
    QApplication::processEvents();
    m_pFrame->resize(m_pFrame->minimumSizeHint());
    QApplication::processEvents();
    CHeaderBar &bar = m_pFrame->HeaderBar();
    const QString strSender = QStringLiteral("Mergix Sample <sample@example.com>");
    bar.FromEdit()->setText(strSender);
    const int nNeeded = bar.FromEdit()->fontMetrics().horizontalAdvance(strSender);
    EXPECT_GT(bar.FromEdit()->width(), nNeeded);
    EXPECT_GT(bar.ReplyToEdit()->width(),
        bar.ReplyToEdit()->fontMetrics().horizontalAdvance(QStringLiteral("replies@example.com")));
    // A wider window gives the fields the room.
    const int nNarrowWidth = bar.FromEdit()->width();
    m_pFrame->resize(m_pFrame->width() + 300, m_pFrame->height());
    QApplication::processEvents();
    EXPECT_GT(bar.FromEdit()->width(), nNarrowWidth);
    QApplication::setFont(normal);
}

TEST_F(MainFrameTest, TheFailedListIsSavedAsCsvWhenTheNameHasNoExtension)
{
    const QString strFolder = QDir::tempPath();
    QStringList chosen;
    for (const QString &strTyped : {QStringLiteral("failed-run"), QStringLiteral("list.txt")}) {
        QTimer::singleShot(0, [&] {
            auto *pDialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
            ASSERT_NE(pDialog, nullptr);
            EXPECT_EQ(pDialog->objectName(), QStringLiteral("saveFailedListDialog"));
            auto *pName = pDialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
            ASSERT_NE(pName, nullptr);
            pName->setText(strFolder + u'/' + strTyped);
            static_cast<QDialog *>(pDialog)->accept(); // as Save does
        });
        chosen << ChooseFailedListPath(m_pFrame.get());
    }
    EXPECT_EQ(chosen,
        QStringList({strFolder + QStringLiteral("/failed-run.csv"),
            strFolder + QStringLiteral("/list.txt")}));
}

TEST_F(MainFrameTest, StartUpPathsAndTheCommandsTheyEnable)
{
    // Cancel at the start-up choice: an empty, unconfigured merge.
    m_pFrame->Start(std::nullopt);
    EXPECT_EQ(m_nChoicesAsked, 1);
    EXPECT_FALSE(MailCommandsEnabled());
    EXPECT_FALSE(m_pFrame->View().isEnabled());
    EXPECT_TRUE(m_pFrame->View().isReadOnly());
    EXPECT_FALSE(m_pFrame->HeaderBar().InsertFieldButton()->isEnabled());
    EXPECT_EQ(m_pFrame->windowTitle(), QStringLiteral("Untitled - Mergix"));

    // File New runs the wizard from now on; its merge enables everything.
    Action("actionNew")->trigger();
    EXPECT_EQ(m_nChoicesAsked, 1);
    EXPECT_TRUE(MailCommandsEnabled());
    EXPECT_TRUE(m_pFrame->View().isEnabled());
    EXPECT_EQ(m_pFrame->HeaderBar().FromEdit()->text(), QStringLiteral("Club <club@example.com>"));
    EXPECT_EQ(m_pFrame->HeaderBar().SelectedToField(), "Email");

    // A cancelled wizard on a fresh start leaves nothing open behind.
    CMainFrame second(*m_pStore);
    SDocumentHooks hooks;
    hooks.startupChoice = [] {
        return 0;
    };
    hooks.runWizard = [&second]() -> std::optional<SWizardResult> {
        second.Document().OpenSource(kData + "contacts.mdb"); // the wizard's own look
        second.Document().OpenTableRecordset("Contacts");
        return std::nullopt;
    };
    second.Document().SetHooks(hooks);
    second.Start(std::nullopt);
    EXPECT_EQ(second.Document().Source(), nullptr);
    EXPECT_FALSE(second.findChild<QAction *>(QStringLiteral("actionSendMail"))->isEnabled());
}

TEST_F(MainFrameTest, OpeningFromTheChoiceOrTheCommandLine)
{
    const std::string strMerge = WriteMerge("club.mgx", "contacts.mdb");
    m_nChoice = 1;
    m_fileToOpen = strMerge;
    m_pFrame->Start(std::nullopt);
    EXPECT_EQ(m_pFrame->windowTitle(), QStringLiteral("club.mgx - Mergix"));
    EXPECT_TRUE(MailCommandsEnabled());
    EXPECT_EQ(m_pFrame->View().PlainText(), "Dear <<FirstName>>,\r\nHello.");

    CMainFrame direct(*m_pStore);
    int nAsked = 0;
    SDocumentHooks hooks;
    hooks.startupChoice = [&nAsked] {
        return ++nAsked, 2;
    };
    direct.Document().SetHooks(hooks);
    direct.Start(strMerge);
    EXPECT_EQ(nAsked, 0);
    EXPECT_EQ(direct.windowTitle(), QStringLiteral("club.mgx - Mergix"));
    direct.View().SetPlainText("Dear all,");
    direct.findChild<QAction *>(QStringLiteral("actionNew"))->trigger();
    EXPECT_EQ(nAsked, 1); // the choice comes at the first File New
    // Declining it leaves the open merge as it was, ready to send.
    EXPECT_EQ(direct.windowTitle(), QStringLiteral("club.mgx - Mergix"));
    EXPECT_EQ(direct.View().PlainText(), "Dear all,");
    EXPECT_FALSE(direct.View().isReadOnly());
    EXPECT_TRUE(direct.findChild<QAction *>(QStringLiteral("actionSendMail"))->isEnabled());
    EXPECT_TRUE(direct.findChild<QAction *>(QStringLiteral("actionSave"))->isEnabled());
}

TEST_F(MainFrameTest, SendMailChecksTheHeaderInOrder)
{
    CSettings(*m_pStore).SetSmtpServerName("mail.example.com");
    m_pFrame->Start(std::nullopt);
    Action("actionNew")->trigger();
    CHeaderBar &bar = m_pFrame->HeaderBar();
    bar.FromEdit()->clear();
    bar.SubjectEdit()->clear();
    Action("actionSendMail")->trigger();
    EXPECT_EQ(m_prompter.TakeTexts(), Texts {"Please specify a from e-mail address and name"});
    EXPECT_EQ(m_pFrame->focusWidget(), bar.FromEdit());
    bar.FromEdit()->setText(QStringLiteral("a <a@example.com>"));
    Action("actionSendMail")->trigger();
    EXPECT_EQ(m_prompter.TakeTexts(), Texts {"Please specify a subject"});
    EXPECT_EQ(m_pFrame->focusWidget(), bar.SubjectEdit());
    bar.SubjectEdit()->setText(QStringLiteral("  "));
    bar.ReplyToEdit()->clear();
    Action("actionSendMail")->trigger();
    EXPECT_EQ(m_prompter.TakeTexts(), Texts {"Please specify a reply-to e-mail address"});
    EXPECT_EQ(m_pFrame->focusWidget(), bar.ReplyToEdit());

    // Without a stored server Mail Options comes first; Cancel there ends the command quietly.
    CSettings(*m_pStore).SetSmtpServerName("");
    int nDialogs = 0;
    QTimer::singleShot(0, [&nDialogs] {
        if (auto *pDlg = qobject_cast<CMailOptionsDlg *>(QApplication::activeModalWidget())) {
            ++nDialogs;
            EXPECT_EQ(UnnamedCombos(*pDlg), QStringList());
            pDlg->reject();
        }
    });
    Action("actionSendMail")->trigger();
    EXPECT_EQ(nDialogs, 1);
    EXPECT_TRUE(m_prompter.Entries().empty());

    // A stored server that cannot be used is named before anything else.
    CSettings(*m_pStore).SetSmtpServerName("mail.example.com:0");
    QTimer::singleShot(0, [] {
        if (auto *pDlg = qobject_cast<CMailOptionsDlg *>(QApplication::activeModalWidget()))
            pDlg->reject();
    });
    Action("actionSendMail")->trigger();
    EXPECT_EQ(m_prompter.TakeTexts(),
        Texts {"The SMTP server \"mail.example.com:0\" is not valid: its port must be a number "
               "from 1 to 65535."});
}

TEST_F(MainFrameTest, TheReminderIsSkippedOnceSwitchedOffAndDroppedFilesOpen)
{
    m_pFrame->Start(WriteMerge("club.mgx", "contacts.mdb"));
    int nReminders = 0;
    std::vector<bool> runs;
    std::string strShown;
    CMainFrame::SHooks hooks;
    hooks.testMergeInfo = [&]() -> std::optional<bool> {
        ++nReminders;
        return true; // "Don't remind me again", OK
    };
    hooks.chooseRecipients = [&](bool bTestMode) -> std::optional<std::string> {
        runs.push_back(bTestMode);
        return std::string("results");
    };
    hooks.showTestResults = [&](const std::string &strResults) {
        strShown = strResults;
    };
    m_pFrame->SetHooks(hooks);
    Action("actionTestMailMerge")->trigger();
    Action("actionTestMailMerge")->trigger();
    EXPECT_EQ(nReminders, 1);
    EXPECT_EQ(CSettings(*m_pStore).DontRemind(), 1);
    EXPECT_EQ(runs, (std::vector<bool> {true, true}));
    EXPECT_EQ(strShown, "results");

    // A merge file dropped on the window opens like File Open.
    const std::string strOther = WriteMerge("other.mgx", "contacts.mdb");
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(QString::fromStdString(strOther))});
    EXPECT_TRUE(m_pFrame->OpenDroppedFile(mime));
    EXPECT_EQ(m_pFrame->windowTitle(), QStringLiteral("other.mgx - Mergix"));

    // Offscreen the lock keys cannot be read: no indicator rather than a wrong one.
    EXPECT_EQ(m_pFrame->findChild<QLabel *>(QStringLiteral("capsLockIndicator")), nullptr);

    // Every command and control of the frame explains itself in What's This mode.
    for (QAction *pAction : m_pFrame->findChildren<QAction *>()) {
        if (pAction->objectName().startsWith(QStringLiteral("action"))) {
            EXPECT_FALSE(pAction->whatsThis().isEmpty()) << pAction->objectName().toStdString();
        }
    }
    for (QWidget *pWidget : m_pFrame->HeaderBar().findChildren<QWidget *>()) {
        if (qobject_cast<QLineEdit *>(pWidget) || qobject_cast<QComboBox *>(pWidget)
            || qobject_cast<QPushButton *>(pWidget)) {
            EXPECT_FALSE(pWidget->whatsThis().isEmpty()) << pWidget->objectName().toStdString();
        }
    }
}

TEST_F(MainFrameTest, MailOptionsAskWhichPortCountsWhenTheNameGivesAnother)
{
    CMailOptionsDlg dlg(m_pFrame.get(), true);
    auto *pPort = Child<QSpinBox>(dlg, "portSpin");
    const auto tryOk = [&](const std::string &strName, int nPort, CPrompter::EAnswer answer) {
        dlg.SetServerName(strName);
        pPort->setValue(nPort);
        dlg.show();
        m_prompter.ScriptAnswer(answer);
        dlg.accept();
    };
    // Cancel keeps the dialog open on Port.
    tryOk("127.0.0.1:2525", 2599, CPrompter::EAnswer::Cancel);
    EXPECT_EQ(m_prompter.TakeTexts(),
        Texts {"The server name \"127.0.0.1:2525\" gives port 2525, and Port says 2599. Send to "
               "port 2599? (No sends to port 2525.)"});
    EXPECT_TRUE(dlg.isVisible());
    // Yes: Port wins, and the name loses its port.
    tryOk("127.0.0.1:2525", 2599, CPrompter::EAnswer::Yes);
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_EQ(dlg.Account().strServer, "127.0.0.1");
    EXPECT_EQ(Endpoint(dlg.Account()), "127.0.0.1:2599");
    // No: the name's port wins, and Port shows it.
    tryOk("[::1]:2525", 2599, CPrompter::EAnswer::No);
    EXPECT_EQ(dlg.Account().strServer, "[::1]:2525");
    EXPECT_EQ(pPort->value(), 2525);
    EXPECT_EQ(m_prompter.TakeTexts().size(), 2u);
    // No conflict, no question: the same port twice, or Port left at Default.
    tryOk("mail.example.com:587", 587, CPrompter::EAnswer::Cancel);
    tryOk("mail.example.com:587", 0, CPrompter::EAnswer::Cancel);
    tryOk("[::1]", 2599, CPrompter::EAnswer::Cancel);
    EXPECT_TRUE(m_prompter.TakeTexts().empty());
    EXPECT_FALSE(dlg.isVisible());
}

TEST_F(MainFrameTest, MailOptionsRefuseAKeyOthersCanReadAndALinkThatIsNotHttps)
{
    const std::string strKey = (m_folder / "mail.key").string();
    ASSERT_EQ(std::system(("openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:2048 -out '"
                  + strKey + "' 2>/dev/null")
                              .c_str()),
        0);
    ::chmod(strKey.c_str(), 0644);
    CMailOptionsDlg dlg(m_pFrame.get(), false);
    dlg.SetDkim({"example.org", "mail2026", strKey});
    dlg.SetUnsubscribe({"leave@example.org", "http://example.org/leave?id=<<ID>>"});
    EXPECT_TRUE(Child<QGroupBox>(dlg, "dkimGroup")->isChecked());
    dlg.show();
    dlg.accept();
    ASSERT_EQ(m_prompter.Entries().size(), 1u);
    EXPECT_NE(m_prompter.TakeTexts()[0].find("can be read by other users"), std::string::npos);
    EXPECT_TRUE(dlg.isVisible());

    ::chmod(strKey.c_str(), 0600);
    dlg.accept();
    ASSERT_EQ(m_prompter.Entries().size(), 1u);
    EXPECT_NE(m_prompter.TakeTexts()[0].find("must start with https://"), std::string::npos);
    EXPECT_TRUE(dlg.isVisible());

    Child<QLineEdit>(dlg, "unsubscribeUrlEdit")
        ->setText(QStringLiteral("https://example.org/l?id=<<ID>>"));
    dlg.accept();
    EXPECT_TRUE(m_prompter.Entries().empty());
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_EQ(dlg.Dkim().strKeyFile, strKey);
    EXPECT_EQ(dlg.Unsubscribe().strUrl, "https://example.org/l?id=<<ID>>");
    // Signing switched off stores no key.
    Child<QGroupBox>(dlg, "dkimGroup")->setChecked(false);
    EXPECT_TRUE(dlg.Dkim().IsEmpty());
}

TEST_F(MainFrameTest, MailOptionsRequireANameOnlyForSending)
{
    CMailOptionsDlg required(m_pFrame.get(), true);
    required.show();
    required.accept();
    EXPECT_EQ(m_prompter.TakeTexts(),
        Texts {"Please enter the name for the SMTP server that will\nbe used to send mail"});
    EXPECT_TRUE(required.isVisible());
    required.SetServerName("   ");
    required.accept();
    EXPECT_FALSE(required.isVisible());
    EXPECT_EQ(required.ServerName(), "   "); // blanks are taken as typed

    CMailOptionsDlg optional(m_pFrame.get(), false);
    optional.show();
    optional.accept();
    EXPECT_TRUE(m_prompter.Entries().empty());
    EXPECT_EQ(optional.result(), QDialog::Accepted);
}

TEST_F(MainFrameTest, MailOptionsSwitchToAnOAuthLoginWhoseProviderFillsTheServer)
{
    CMailOptionsDlg dlg(m_pFrame.get(), false);
    SOAuthSettings registration;
    registration.eProvider = EOAuthProvider::Custom;
    registration.strTokenUrl = "https://login.example.org/token";
    dlg.SetAccount({"mail.example.com", ESmtpSecurity::Tls, 465, "", "", ""});
    dlg.SetOAuth(std::nullopt, registration);
    dlg.show();
    auto *pLogin = Child<QComboBox>(dlg, "loginCombo");
    auto *pProvider = Child<QComboBox>(dlg, "providerCombo");
    EXPECT_TRUE(Child<QLineEdit>(dlg, "passwordEdit")->isVisible());
    EXPECT_FALSE(Child<QGroupBox>(dlg, "oauthGroup")->isVisible());
    EXPECT_FALSE(dlg.OAuth());

    // The stored registration comes back with the switch; Custom shows its endpoints.
    pLogin->setCurrentIndex(1);
    EXPECT_FALSE(Child<QLineEdit>(dlg, "passwordEdit")->isVisible());
    EXPECT_TRUE(Child<QGroupBox>(dlg, "oauthGroup")->isVisible());
    EXPECT_TRUE(Child<QLineEdit>(dlg, "tokenUrlEdit")->isVisible());
    EXPECT_EQ(Child<QLineEdit>(dlg, "tokenUrlEdit")->text().toStdString(),
        "https://login.example.org/token");
    EXPECT_FALSE(Child<QLineEdit>(dlg, "tenantEdit")->isVisible());
    // Only a provider the user picks changes the server.
    EXPECT_EQ(dlg.Account().strServer, "mail.example.com");
    pProvider->setCurrentIndex(0);
    emit pProvider->activated(0);
    EXPECT_TRUE(Child<QLineEdit>(dlg, "tenantEdit")->isVisible());
    EXPECT_FALSE(Child<QLineEdit>(dlg, "tokenUrlEdit")->isVisible());
    EXPECT_EQ(dlg.Account().strServer, "smtp.office365.com");
    EXPECT_EQ(dlg.Account().eSecurity, ESmtpSecurity::StartTls);
    EXPECT_EQ(dlg.Account().nPort, 587);
    pProvider->setCurrentIndex(1);
    emit pProvider->activated(1);
    EXPECT_EQ(dlg.Account().strServer, "smtp.gmail.com");
    // Arrowing on to Custom gives the user's own server back; one typed over a preset stays.
    const auto choose = [&](int nProvider) {
        pProvider->setCurrentIndex(nProvider);
        emit pProvider->activated(nProvider);
    };
    choose(2);
    EXPECT_EQ(dlg.Account().strServer, "mail.example.com");
    EXPECT_EQ(dlg.Account().eSecurity, ESmtpSecurity::Tls);
    EXPECT_EQ(dlg.Account().nPort, 465);
    choose(1);
    dlg.SetServerName("smtp.club.example");
    choose(2);
    EXPECT_EQ(dlg.Account().strServer, "smtp.club.example");
    EXPECT_EQ(dlg.Account().nPort, 587);
    choose(1);

    // Choosing OAuth 2.0 takes the provider it shows, as choosing that provider would.
    CMailOptionsDlg fresh(m_pFrame.get(), false);
    fresh.SetAccount({"", ESmtpSecurity::None, 25, "", "", ""});
    fresh.SetOAuth(std::nullopt, SOAuthSettings {});
    auto *pFreshLogin = Child<QComboBox>(fresh, "loginCombo");
    pFreshLogin->setCurrentIndex(1);
    emit pFreshLogin->activated(1);
    EXPECT_EQ(Child<QComboBox>(fresh, "providerCombo")->currentIndex(), 0);
    EXPECT_EQ(fresh.Account().strServer, "smtp.office365.com");
    EXPECT_EQ(fresh.Account().eSecurity, ESmtpSecurity::StartTls);
    EXPECT_EQ(fresh.Account().nPort, 587);

    // Nothing to sign in with yet: each missing piece is named at its field.
    int nSignIns = 0;
    dlg.SetSignIn(
        [&](const SSmtpAccount &account, const SOAuthSettings &oauth) {
            ++nSignIns;
            EXPECT_EQ(account.strUser, "club@gmail.com");
            EXPECT_EQ(oauth.eProvider, EOAuthProvider::Google);
            EXPECT_EQ(oauth.strClientId, "123.apps.googleusercontent.com");
            return std::optional<std::string>("Signed in as club@gmail.com");
        },
        "Not signed in");
    auto *pSignIn = Child<QPushButton>(dlg, "signInButton");
    pSignIn->click();
    EXPECT_EQ(m_prompter.TakeTexts(),
        Texts {"Please enter the user name: the address of the mailbox you sign in with."});
    EXPECT_EQ(dlg.focusWidget(), Child<QLineEdit>(dlg, "userEdit"));
    Child<QLineEdit>(dlg, "userEdit")->setText(QStringLiteral("club@gmail.com"));
    dlg.accept();
    ASSERT_EQ(m_prompter.Entries().size(), 1u);
    EXPECT_NE(m_prompter.TakeTexts()[0].find("client ID"), std::string::npos);
    EXPECT_EQ(dlg.focusWidget(), Child<QLineEdit>(dlg, "clientIdEdit"));
    EXPECT_TRUE(dlg.isVisible());
    Child<QLineEdit>(dlg, "clientIdEdit")
        ->setText(QStringLiteral(" 123.apps.googleusercontent.com "));
    pSignIn->click();
    EXPECT_EQ(nSignIns, 1);
    EXPECT_EQ(
        Child<QLabel>(dlg, "signInStatus")->text().toStdString(), "Signed in as club@gmail.com");
    dlg.accept();
    EXPECT_TRUE(m_prompter.Entries().empty());
    EXPECT_FALSE(dlg.isVisible());
    ASSERT_TRUE(dlg.OAuth());
    EXPECT_EQ(dlg.OAuth()->eProvider, EOAuthProvider::Google);
    EXPECT_EQ(dlg.OAuth()->strClientId, "123.apps.googleusercontent.com");
}

TEST_F(MainFrameTest, MailOptionsFitTheScreenAndScrollTheFormOnlyWhenItIsTaller)
{
    // With a larger font, the password form fits the test screen whole, a custom sign-in does
    // not.
    const QFont normal = QApplication::font();
    QFont larger = normal;
    larger.setPointSizeF(normal.pointSizeF() * 1.5);
    QApplication::setFont(larger);
    CMailOptionsDlg dlg(m_pFrame.get(), false);
    const auto settle = [] {
        // A form's new size reaches the dialog through posted layout requests.
        for (int i = 0; i < 5; ++i)
            QApplication::processEvents();
    };
    dlg.show();
    settle();
    auto *pScroll = Child<QScrollArea>(dlg, "formScroll");
    auto *pForm = Child<QWidget>(dlg, "formContents");
    const auto fitsAcross = [&] {
        // Never cut at the right: the form is as wide as the room it is shown in.
        EXPECT_GE(pScroll->viewport()->width(), pForm->minimumSizeHint().width());
        EXPECT_EQ(pForm->width(), pScroll->viewport()->width());
    };
    EXPECT_EQ(pScroll->verticalScrollBar()->maximum(), 0);
    EXPECT_GE(pForm->height(), pForm->sizeHint().height());
    fitsAcross();

    SOAuthSettings custom;
    custom.eProvider = EOAuthProvider::Custom;
    dlg.SetOAuth(custom, custom);
    settle();
    // Its title bar fits on the screen too, above OK and Cancel.
    EXPECT_LE(
        dlg.height() + WindowFrameSize(dlg).height(), dlg.screen()->availableGeometry().height());
    EXPECT_GT(WindowFrameSize(dlg).height(), 0);
    EXPECT_GT(pScroll->verticalScrollBar()->maximum(), 0);
    EXPECT_TRUE(Child<QPushButton>(dlg, "signInButton")->isVisible());
    fitsAcross();
    // Tabbing to a field below the fold scrolls it into view.
    auto *pUnsubscribe = Child<QLineEdit>(dlg, "unsubscribeUrlEdit");
    auto *pMailto = Child<QLineEdit>(dlg, "unsubscribeMailtoEdit");
    pMailto->setFocus();
    QTest::keyClick(pMailto, Qt::Key_Tab);
    EXPECT_EQ(dlg.focusWidget(), pUnsubscribe);
    settle();
    const QPoint top = pUnsubscribe->mapTo(pScroll->viewport(), QPoint(0, 0));
    EXPECT_GE(top.y(), 0);
    EXPECT_LE(top.y() + pUnsubscribe->height(), pScroll->viewport()->height());
    // So does a field reached by its Alt+letter, or put in focus by a check.
    pScroll->verticalScrollBar()->setValue(0);
    Child<QLineEdit>(dlg, "serverEdit")->setFocus();
    pUnsubscribe->setFocus();
    settle();
    const QPoint again = pUnsubscribe->mapTo(pScroll->viewport(), QPoint(0, 0));
    EXPECT_GE(again.y(), 0);
    EXPECT_LE(again.y() + pUnsubscribe->height(), pScroll->viewport()->height());

    // Back to a password: the form fits again and asks for no scrolling.
    Child<QComboBox>(dlg, "loginCombo")->setCurrentIndex(0);
    settle();
    EXPECT_EQ(pScroll->verticalScrollBar()->maximum(), 0);
    fitsAcross();
    QApplication::setFont(normal);
}

TEST_F(MainFrameTest, MailOptionsKeepTheLoginAndSendAsksForAPasswordOnce)
{
    // No session bus, so no keyring: the password stays in memory for this run.
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/bus");
    m_pFrame->Start(WriteMerge("club.mgx", "contacts.mdb"));
    const auto fill = [](int nSecurity, const char *pUser, const char *pPassword, bool bOk) {
        QTimer::singleShot(0, [=] {
            auto *pDlg = qobject_cast<CMailOptionsDlg *>(QApplication::activeModalWidget());
            ASSERT_NE(pDlg, nullptr);
            pDlg->findChild<QLineEdit *>(QStringLiteral("serverEdit"))
                ->setText(QStringLiteral("mail.example.com"));
            pDlg->findChild<QComboBox *>(QStringLiteral("securityCombo"))
                ->setCurrentIndex(nSecurity);
            pDlg->findChild<QLineEdit *>(QStringLiteral("userEdit"))
                ->setText(QString::fromLatin1(pUser));
            pDlg->findChild<QLineEdit *>(QStringLiteral("passwordEdit"))
                ->setText(QString::fromLatin1(pPassword));
            pDlg->accept();
            if (!bOk) {
                EXPECT_TRUE(pDlg->isVisible()); // the login over plain text was refused
                pDlg->reject();
            }
        });
    };
    // A login without encryption is refused in the dialog and nothing is stored.
    fill(0, "ann", "typed in options", false);
    Action("actionOptions")->trigger();
    EXPECT_EQ(m_prompter.TakeTexts(),
        Texts {"A user name is set for the SMTP server, but its connection is not encrypted, so "
               "the password would travel in plain text. Choose STARTTLS or TLS as the "
               "connection security, or remove the user name."});
    EXPECT_EQ(CSettings(*m_pStore).SmtpAccount().strUser, "");

    fill(1, "ann", "typed in options", true);
    Action("actionOptions")->trigger();
    EXPECT_EQ(m_prompter.TakeTexts(),
        Texts {"No keyring service is running on this desktop, so the password is kept only "
               "until Mergix closes."});
    const SSmtpAccount stored = CSettings(*m_pStore).SmtpAccount();
    EXPECT_EQ(stored.eSecurity, ESmtpSecurity::StartTls);
    EXPECT_EQ(stored.strUser, "ann");
    EXPECT_EQ(Endpoint(stored), "mail.example.com:587");
    m_pStore->sync();
    std::ifstream settingsFile(m_pStore->fileName().toStdString());
    const std::string strSettings {std::istreambuf_iterator<char>(settingsFile), {}};
    EXPECT_EQ(strSettings.find("typed in options"), std::string::npos) << strSettings;

    std::vector<std::string> prompts;
    std::vector<std::string> sentWith;
    CMainFrame::SHooks hooks;
    hooks.askPassword = [&](const std::string &strPrompt) -> std::optional<std::string> {
        prompts.push_back(strPrompt);
        if (prompts.size() == 2)
            return std::nullopt; // Cancel
        return std::string("typed when asked");
    };
    hooks.chooseRecipients = [&](bool) -> std::optional<std::string> {
        sentWith.push_back(m_pFrame->SendingAccount().strPassword);
        return std::nullopt;
    };
    m_pFrame->SetHooks(hooks);
    Action("actionSendMail")->trigger(); // the password typed in Mail Options
    m_pFrame->Passwords().ForgetInMemory(PasswordKey(stored)); // as after a refused login
    Action("actionSendMail")->trigger(); // asked
    Action("actionSendMail")->trigger(); // remembered
    m_pFrame->Passwords().ForgetInMemory(PasswordKey(stored));
    Action("actionSendMail")->trigger(); // asked, and Cancel sends nothing
    EXPECT_EQ(prompts,
        (std::vector<std::string> {"Password of ann at mail.example.com:587:",
            "Password of ann at mail.example.com:587:"}));
    EXPECT_EQ(sentWith,
        (std::vector<std::string> {"typed in options", "typed when asked", "typed when asked"}));
    qunsetenv("DBUS_SESSION_BUS_ADDRESS");
}

TEST_F(MainFrameTest, TypingMarksTheMergeModifiedAndClosingAsks)
{
    const std::string strMerge = WriteMerge("club.mgx", "contacts.mdb");
    m_pFrame->Start(strMerge);
    EXPECT_FALSE(m_pFrame->Document().IsModified());
    m_pFrame->View().setFocus();
    QTest::keyClicks(&m_pFrame->View(), QStringLiteral("More news"));
    EXPECT_TRUE(m_pFrame->Document().IsModified());

    m_prompter.ScriptAnswer(EAnswer::Cancel);
    EXPECT_FALSE(m_pFrame->close());
    EXPECT_EQ(m_prompter.TakeTexts(), Texts {"Save changes to club.mgx?"});
    EXPECT_TRUE(m_pFrame->isVisible());

    // New asks too. No, then declining the start-up choice, keeps the change and asks again;
    // No before a new merge is made drops it.
    m_prompter.ScriptAnswer(EAnswer::No);
    Action("actionNew")->trigger();
    EXPECT_EQ(m_prompter.TakeTexts(), Texts {"Save changes to club.mgx?"});
    EXPECT_TRUE(m_pFrame->Document().IsModified());
    EXPECT_NE(m_pFrame->View().PlainText().find("More news"), std::string::npos);
    m_prompter.ScriptAnswer(EAnswer::No);
    Action("actionNew")->trigger();
    EXPECT_EQ(m_prompter.TakeTexts(), Texts {"Save changes to club.mgx?"});
    EXPECT_FALSE(m_pFrame->Document().IsModified());

    // A header field counts as well; Yes saves before the window closes.
    m_pFrame->Start(strMerge);
    m_pFrame->HeaderBar().SubjectEdit()->setFocus();
    QTest::keyClicks(m_pFrame->HeaderBar().SubjectEdit(), QStringLiteral("!"));
    EXPECT_TRUE(m_pFrame->Document().IsModified());
    m_prompter.ScriptAnswer(EAnswer::Yes);
    EXPECT_TRUE(m_pFrame->close());
    CMergixDoc reread;
    ASSERT_TRUE(reread.ReadMergeFile(strMerge));
    EXPECT_EQ(reread.m_strSubject, "News!");
}

TEST_F(MainFrameTest, SaveAsKeepsAllSevenSettingsAndTheRecentList)
{
    const std::string strMerge = WriteMerge("club.mgx", "contacts.mdb");
    m_pFrame->Start(strMerge);
    CHeaderBar &bar = m_pFrame->HeaderBar();
    bar.FromEdit()->setText(QStringLiteral("Zoë <zoe@example.com>"));
    bar.ReplyToEdit()->setText(QStringLiteral("r@example.com"));
    bar.SubjectEdit()->setText(QStringLiteral("Été"));
    bar.SelectToField("FirstName");
    m_pFrame->View().SetPlainText("Grüße <<City>>\r\nline two\r\n");
    m_fileToSave = (m_folder / "copy").string(); // typed without an extension
    Action("actionSaveAs")->trigger();
    EXPECT_EQ(m_pFrame->windowTitle(), QStringLiteral("copy.mgx - Mergix"));

    CMergixDoc reread;
    ASSERT_TRUE(reread.ReadMergeFile((m_folder / "copy.mgx").string()));
    EXPECT_EQ(reread.m_strDatabasePath, "contacts.mdb");
    EXPECT_EQ(reread.m_strTableName, "Contacts");
    EXPECT_EQ(reread.m_strToField, "FirstName");
    EXPECT_EQ(reread.m_strFrom, "Zoë <zoe@example.com>");
    EXPECT_EQ(reread.m_strReplyTo, "r@example.com");
    EXPECT_EQ(reread.m_strSubject, "Été");
    EXPECT_EQ(reread.m_strBody, "Grüße <<City>>\r\nline two\r\n");

    // Newest first, four at most; one that has gone is reported and dropped.
    for (const char *pName : {"a.mgx", "b.mgx", "c.mgx"})
        m_pFrame->FileCommands().OpenFile(WriteMerge(pName, "contacts.mdb"));
    const Texts recent = CSettings(*m_pStore).RecentFiles();
    ASSERT_EQ(recent.size(), 4u);
    EXPECT_EQ(recent[0], (m_folder / "c.mgx").string());
    EXPECT_EQ(recent[3], (m_folder / "copy.mgx").string());
    fs::remove(m_folder / "b.mgx");
    m_prompter.TakeTexts();
    EXPECT_FALSE(m_pFrame->FileCommands().OpenRecentFile(1));
    EXPECT_EQ(m_prompter.TakeTexts(), Texts {(m_folder / "b.mgx").string() + " was not found."});
    EXPECT_EQ(CSettings(*m_pStore).RecentFiles().size(), 3u);
}

TEST_F(MainFrameTest, EditorMenuPasteAndFindReplace)
{
    m_pFrame->Start(WriteMerge("club.mgx", "contacts.mdb"));
    CMergixView &view = m_pFrame->View();
    view.SetPlainText("one cat, two cats, Cat");
    std::unique_ptr<QMenu> pMenu(view.CreatePopupMenu());
    const QList<QAction *> items = pMenu->actions();
    ASSERT_EQ(items.size(), 5);
    EXPECT_FALSE(items[0]->isEnabled()); // Cut
    EXPECT_FALSE(items[1]->isEnabled()); // Copy
    EXPECT_TRUE(items[2]->isEnabled());
    EXPECT_TRUE(items[4]->isEnabled());
    view.selectAll();
    pMenu.reset(view.CreatePopupMenu());
    EXPECT_TRUE(pMenu->actions()[0]->isEnabled());

    EXPECT_EQ(view.ReplaceAll(QStringLiteral("cat"), QStringLiteral("dog"), {}), 3);
    EXPECT_EQ(view.PlainText(), "one dog, two dogs, dog");
    EXPECT_EQ(view.ReplaceAll(QStringLiteral("dog"), QStringLiteral("cat"),
                  QTextDocument::FindCaseSensitively | QTextDocument::FindWholeWords),
        2);

    // A plain message takes the words of pasted formatted text, not its formatting.
    auto *pMime = new QMimeData;
    pMime->setHtml(QStringLiteral("<b>Bold</b> <i>words</i>"));
    QApplication::clipboard()->setMimeData(pMime);
    view.SetPlainText("");
    view.paste();
    EXPECT_TRUE(m_pFrame->Document().IsModified());
    EXPECT_FALSE(view.toHtml().contains(QStringLiteral("font-weight:700")));
    EXPECT_EQ(view.PlainText(), "Bold words");
}

// The names of the shown controls that Tab visits in a window, from its first one on.
std::vector<std::string> TabOrder(QWidget &window, QWidget &first)
{
    std::vector<std::string> names;
    QWidget *pWidget = &first;
    do {
        if (pWidget->isVisibleTo(&window) && (pWidget->focusPolicy() & Qt::TabFocus))
            names.push_back(pWidget->objectName().toStdString());
        pWidget = pWidget->nextInFocusChain();
    } while (pWidget != &first && names.size() < 50);
    return names;
}

TEST_F(MainFrameTest, TabGoesFromWhatToFindToWhatToPutInItsPlace)
{
    m_pFrame->Start(WriteMerge("club.mgx", "contacts.mdb"));
    Action("actionReplace")->trigger();
    auto *pDialog = m_pFrame->findChild<QDialog *>(QStringLiteral("findReplaceDlg"));
    ASSERT_NE(pDialog, nullptr);
    QWidget *pFind = Child<QLineEdit>(*pDialog, "findEdit");
    EXPECT_EQ(TabOrder(*pDialog, *pFind),
        std::vector<std::string>({"findEdit", "replaceEdit", "matchCaseCheck", "wholeWordCheck",
            "findNextButton", "replaceButton", "replaceAllButton", "closeButton"}));
    pDialog->hide();
    Action("actionFind")->trigger();
    EXPECT_EQ(TabOrder(*pDialog, *pFind),
        std::vector<std::string>({"findEdit", "matchCaseCheck", "wholeWordCheck", "upCheck",
            "findNextButton", "closeButton"}));
    pDialog->hide();
}

TEST_F(MainFrameTest, ContextHelpFromAScreenReaderEntersTheModeAndDoesNotStayPressed)
{
    EXPECT_EQ(UnnamedCombos(*m_pFrame), QStringList());
    QAction *pContextHelp = Action("actionContextHelp");
    ASSERT_NE(pContextHelp, nullptr);
    QWidget *pButton
        = m_pFrame->findChild<QToolBar *>(QStringLiteral("toolBar"))->widgetForAction(pContextHelp);
    ASSERT_NE(pButton, nullptr);
    QAccessibleInterface *pAccessible = QAccessible::queryAccessibleInterface(pButton);
    ASSERT_NE(pAccessible, nullptr);
    ASSERT_NE(pAccessible->actionInterface(), nullptr);
    const QStringList actions = pAccessible->actionInterface()->actionNames();
    for (const QString &strAction : actions) {
        SCOPED_TRACE(strAction.toStdString());
        pAccessible->actionInterface()->doAction(strAction);
        EXPECT_TRUE(QWhatsThis::inWhatsThisMode());
        QWhatsThis::leaveWhatsThisMode();
        EXPECT_FALSE(pContextHelp->isChecked());
        EXPECT_FALSE(pButton->property("checked").toBool());
    }
    EXPECT_TRUE(actions.contains(QAccessibleActionInterface::pressAction()));
}

TEST_F(MainFrameTest, ADamagedDatabaseGivesTheStopBoxAndTheProgramGoesOn)
{
    std::ofstream(m_folder / "broken.mdb") << std::string(8192, 'x');
    m_pFrame->Start(WriteMerge("broken.mgx", "broken.mdb"));
    ASSERT_EQ(m_prompter.Entries().size(), 1u);
    EXPECT_EQ(m_prompter.Entries()[0].icon, CPrompter::EIcon::Stop);
    EXPECT_NE(
        m_prompter.TakeTexts()[0].find("is not a Microsoft Access database"), std::string::npos);
    EXPECT_FALSE(MailCommandsEnabled());

    // The next command works; a database that breaks under Refresh is reported the same way.
    m_pFrame->Start(WriteMerge("club.mgx", "contacts.mdb"));
    EXPECT_TRUE(MailCommandsEnabled());
    fs::resize_file(m_folder / "contacts.mdb", 5000);
    Action("actionRefreshDatabase")->trigger();
    ASSERT_EQ(m_prompter.Entries().size(), 1u);
    EXPECT_EQ(m_prompter.Entries()[0].icon, CPrompter::EIcon::Stop);
    EXPECT_TRUE(m_pFrame->isEnabled()); // the progress window gave the frame back
    EXPECT_FALSE(MailCommandsEnabled());
}

TEST_F(MainFrameTest, TheMessagePrintsAsText)
{
    const std::string strPdf = (m_folder / "message.pdf").string();
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(QString::fromStdString(strPdf));
    ASSERT_EQ(PrintMergeFile(WriteMerge("club.mgx", "contacts.mdb"), &printer), 0);
    std::string strText;
    if (std::FILE *pPipe = ::popen(("pdftotext '" + strPdf + "' -").c_str(), "r")) {
        char buffer[4096];
        for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pPipe)) > 0;)
            strText.append(buffer, n);
        ::pclose(pPipe);
    }
    EXPECT_NE(strText.find("Dear <<FirstName>>,"), std::string::npos) << strText;
    EXPECT_NE(strText.find("Hello."), std::string::npos) << strText;
}

} // namespace
