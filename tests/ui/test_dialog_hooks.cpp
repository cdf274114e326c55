// The program's own dialogs plugged into the frame, driven as a user would: File New through
// the real wizard, and Send Mail / Test Mail Merge opening Choose Recipients in the right mode.
#include <gtest/gtest.h>

#include <functional>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "app/Settings.h"
#include "support/RecordingPrompter.h"
#include "support/WhenShown.h"
#include "support/WidgetHelpers.h"
#include "ui/ChooseRecipientsDlg.h"
#include "ui/DialogHooks.h"
#include "ui/HeaderBar.h"
#include "ui/HelpWindow.h"
#include "ui/MainFrame.h"
#include "ui/MergixView.h"
#include "ui/MessageBoxPrompter.h"
#include "ui/NewWizardSheetDlg.h"
#include "ui/TestMergeResultsDlg.h"

namespace {

const std::string kData = MERGIX_TESTS_DIR "/data/";

class DialogHooksTest : public testing::Test
{
protected:
    void SetUp() override
    {
        m_pStore = std::make_unique<QSettings>(
            m_dir.filePath(QStringLiteral("settings.ini")), QSettings::IniFormat);
        m_pFrame = std::make_unique<CMainFrame>(*m_pStore);
        SDocumentHooks documentHooks = DocumentDialogHooks(*m_pFrame);
        documentHooks.startupChoice = [] {
            return 0;
        }; // "Create a new e-mail merge"
        m_pFrame->Document().SetHooks(documentHooks);
        m_pFrame->SetHooks(FrameDialogHooks(*m_pFrame));
        m_pFrame->show();
    }
    QAction *Action(const char *pName) const
    {
        return m_pFrame->findChild<QAction *>(QString::fromLatin1(pName));
    }

    QTemporaryDir m_dir;
    CRecordingPrompter m_prompter;
    std::unique_ptr<QSettings> m_pStore;
    std::unique_ptr<CMainFrame> m_pFrame;
};

TEST_F(DialogHooksTest, TheWizardSetsUpTheMergeAndTheRecipientsOpenInTheirMode)
{
    WhenShown<CNewWizardSheetDlg>([](CNewWizardSheetDlg &wizard) {
        EXPECT_EQ(UnnamedCombos(wizard), QStringList());
        wizard.FileEdit()->setText(QString::fromStdString(kData + "contacts.mdb"));
        wizard.next();
        wizard.next();
        wizard.FromNameEdit()->setText(QStringLiteral("The Club"));
        wizard.FromAddressEdit()->setText(QStringLiteral("club@example.com"));
        wizard.ToCombo()->setCurrentText(QStringLiteral("Email"));
        wizard.ReplyToEdit()->setText(QStringLiteral("replies@example.com"));
        wizard.SubjectEdit()->setText(QStringLiteral("News"));
        wizard.button(QWizard::FinishButton)->click();
    });
    m_pFrame->Start(std::nullopt);
    CHeaderBar &bar = m_pFrame->HeaderBar();
    EXPECT_EQ(bar.FromEdit()->text(), QStringLiteral("The Club <club@example.com>"));
    EXPECT_EQ(bar.SelectedToField(), "Email");
    EXPECT_EQ(bar.SubjectEdit()->text(), QStringLiteral("News"));
    EXPECT_TRUE(m_pFrame->View().isEnabled());
    EXPECT_TRUE(m_pFrame->View().PlainText().empty());
    EXPECT_TRUE(Action("actionSendMail")->isEnabled());

    CSettings(*m_pStore).SetSmtpServerName("127.0.0.1:1");
    QString strRunText;
    int nRows = 0;
    const auto look = [&](CChooseRecipientsDlg &dlg) {
        strRunText = dlg.findChild<QPushButton *>(QStringLiteral("runButton"))->text();
        nRows = dlg.List().RowCount();
        dlg.reject(); // Close
    };
    WhenShown<CChooseRecipientsDlg>(look);
    Action("actionSendMail")->trigger();
    EXPECT_EQ(strRunText, QStringLiteral("&Send Mail"));
    EXPECT_EQ(nRows, 12);

    CSettings(*m_pStore).SetDontRemind(1);
    bool bResultsShown = false;
    WhenShown<CChooseRecipientsDlg>(look);
    QTimer::singleShot(50, [&bResultsShown] {
        bResultsShown = qobject_cast<CTestMergeResultsDlg *>(QApplication::activeModalWidget());
    });
    Action("actionTestMailMerge")->trigger();
    EXPECT_EQ(strRunText, QStringLiteral("&Test Merge"));
    EXPECT_FALSE(bResultsShown); // Close shows no results
    EXPECT_TRUE(m_prompter.Entries().empty());
}

TEST(MessageBoxPrompterTest, EnterAnswersNoWhereYesCannotBeTakenBack)
{
    CMessageBoxPrompter prompter;
    QString strDefault;
    const auto pressEnter = [&strDefault](QMessageBox &box) {
        strDefault = box.defaultButton() ? box.defaultButton()->text() : QString();
        QTest::keyClick(&box, Qt::Key_Return);
    };
    WhenShown<QMessageBox>(pressEnter);
    EXPECT_FALSE(prompter.AskYesNoDefaultNo("Send it again?", CPrompter::EIcon::Question));
    EXPECT_EQ(strDefault.remove(QLatin1Char('&')), QStringLiteral("No"));
    WhenShown<QMessageBox>(pressEnter);
    EXPECT_TRUE(prompter.AskYesNo("Save the rules?", CPrompter::EIcon::Question));

    // A message from within a dialog stands over that dialog, and F1 there opens its topic.
    QDialog rules;
    rules.setObjectName(QStringLiteral("selectByRulesDlg"));
    rules.setModal(true);
    rules.show();
    QApplication::processEvents();
    QString strTopic;
    WhenShown<QMessageBox>([&strTopic](QMessageBox &box) {
        strTopic = HelpTopicOf(box);
        box.accept();
    });
    prompter.ShowMessage("Please enter some comparison text", CPrompter::EIcon::Exclamation);
    EXPECT_EQ(strTopic, QStringLiteral("rules"));
}

} // namespace
