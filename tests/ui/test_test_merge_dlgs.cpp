// The test-merge information and results dialogs, through the frame's Test Mail Merge command:
// the DontRemind paths, and the results shown as the run made them, read-only.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include <QApplication>
#include <QCheckBox>
#include <QPlainTextEdit>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>

#include "app/Settings.h"
#include "support/RecordingPrompter.h"
#include "support/WhenShown.h"
#include "ui/DialogHooks.h"
#include "ui/MainFrame.h"
#include "ui/TestMergeInfoDlg.h"
#include "ui/TestMergeResultsDlg.h"

namespace {

class TestMergeDialogsTest : public testing::Test
{
protected:
    void SetUp() override
    {
        m_pStore = std::make_unique<QSettings>(
            m_dir.filePath(QStringLiteral("settings.ini")), QSettings::IniFormat);
        m_pFrame = std::make_unique<CMainFrame>(*m_pStore);
        CMainFrame::SHooks hooks = FrameDialogHooks(*m_pFrame);
        hooks.chooseRecipients = [this](bool bTestMode) -> std::optional<std::string> {
            ++m_nRecipientRuns;
            EXPECT_TRUE(bTestMode);
            return std::nullopt; // Close: no results
        };
        m_pFrame->SetHooks(hooks);
    }
    bool Reminded()
    {
        bool bShown = false;
        WhenShown<CTestMergeInfoDlg>([&bShown](CTestMergeInfoDlg &dlg) {
            bShown = true;
            dlg.accept();
        });
        m_pFrame->OnTestMailMerge();
        QApplication::processEvents();
        return bShown;
    }

    QTemporaryDir m_dir;
    CRecordingPrompter m_prompter;
    std::unique_ptr<QSettings> m_pStore;
    std::unique_ptr<CMainFrame> m_pFrame;
    int m_nRecipientRuns = 0;
};

TEST_F(TestMergeDialogsTest, TheReminderUntilItIsSwitchedOff)
{
    // Cancel ends the command and writes nothing.
    WhenShown<CTestMergeInfoDlg>([](CTestMergeInfoDlg &dlg) { dlg.reject(); });
    m_pFrame->OnTestMailMerge();
    EXPECT_EQ(m_nRecipientRuns, 0);
    EXPECT_FALSE(m_pStore->contains(QStringLiteral("DontRemind")));

    // OK with the box unticked writes 0, and the reminder comes again.
    EXPECT_TRUE(Reminded());
    EXPECT_EQ(m_pStore->value(QStringLiteral("DontRemind")).toInt(), 0);
    EXPECT_TRUE(m_pStore->contains(QStringLiteral("DontRemind")));
    EXPECT_EQ(m_nRecipientRuns, 1);

    // Ticked: 1, and from then on straight to the recipients.
    WhenShown<CTestMergeInfoDlg>([](CTestMergeInfoDlg &dlg) {
        dlg.findChild<QCheckBox *>(QStringLiteral("dontRemindCheck"))->setChecked(true);
        dlg.accept();
    });
    m_pFrame->OnTestMailMerge();
    EXPECT_EQ(CSettings(*m_pStore).DontRemind(), 1);
    EXPECT_FALSE(Reminded());
    EXPECT_EQ(m_nRecipientRuns, 3);
}

TEST_F(TestMergeDialogsTest, ResultsAreShownAsMadeAndCannotBeEdited)
{
    const std::string strResults = std::string(64, '-') + "\r\nTo: ann@example.org\r\nDear Ann,\r\n"
        + "\r\n" + std::string(64, '-') + "\r\nTo: bob@example.org\r\nDear Bob,\r\n\r\n";
    CTestMergeResultsDlg dlg;
    dlg.SetResults(strResults);
    EXPECT_EQ(dlg.Results(), strResults);
    auto *pEdit = dlg.findChild<QPlainTextEdit *>(QStringLiteral("resultsEdit"));
    EXPECT_TRUE(pEdit->isReadOnly());
    EXPECT_EQ(dlg.windowTitle(), QStringLiteral("Test Mail Merge Results"));
}

} // namespace
