// The test-merge information and results dialogs, through the frame's Test Mail Merge command:
// the DontRemind paths, and the results shown as the run made them, read-only, readable by the
// keyboard and a screen reader, and held once however long they are.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>

#include <malloc.h>
#include <unistd.h>

#include "app/Settings.h"
#include "support/RecordingPrompter.h"
#include "support/WhenShown.h"
#include "support/WidgetHelpers.h"
#include "ui/DialogHooks.h"
#include "ui/MainFrame.h"
#include "ui/TestMergeInfoDlg.h"
#include "ui/TestMergeResultsDlg.h"
#include "ui/TextLinesView.h"

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
    std::string strShown = strResults;
    std::erase(strShown, '\r');
    EXPECT_EQ(dlg.Results(), strShown);
    EXPECT_EQ(dlg.windowTitle(), QStringLiteral("Test Mail Merge Results"));

    // Typing changes nothing; Enter is the Done button's.
    dlg.show();
    auto *pView = dlg.findChild<CTextLinesView *>(QStringLiteral("resultsView"));
    ASSERT_NE(pView, nullptr);
    pView->setFocus();
    QTest::keyClicks(pView, QStringLiteral("xy"));
    QTest::keyClick(pView, Qt::Key_Delete);
    EXPECT_EQ(dlg.Results(), strShown);
    EXPECT_TRUE(dlg.isVisible());
    QTest::keyClick(pView, Qt::Key_Return);
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
}

TEST_F(TestMergeDialogsTest, TheKeyboardSelectsAndCopiesAndAScreenReaderReadsTheResults)
{
    CTestMergeResultsDlg dlg;
    dlg.SetResults("To: ann@example.org\r\nDear Ann, your order for K\xc3\xb6ln is ready.\r\n\r\n"
                   "To: bob@example.org\r\nDear Bob,\r\n");
    dlg.show();
    auto *pView = dlg.findChild<CTextLinesView *>(QStringLiteral("resultsView"));
    pView->setFocus();
    // Down keeps the column; Shift+End selects to the end of the row; Ctrl+C copies it.
    QTest::keyClick(pView, Qt::Key_Right);
    QTest::keyClick(pView, Qt::Key_Right);
    QTest::keyClick(pView, Qt::Key_Right);
    QTest::keyClick(pView, Qt::Key_Right);
    QTest::keyClick(pView, Qt::Key_Right);
    QTest::keyClick(pView, Qt::Key_Down);
    QTest::keyClick(pView, Qt::Key_End, Qt::ShiftModifier);
    EXPECT_EQ(pView->SelectedText(), QStringLiteral("Ann, your order for K\u00f6ln is ready."));
    QTest::keyClick(pView, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), pView->SelectedText());
    QTest::keyClick(pView, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(pView->SelectedText().size(), QString::fromStdString(dlg.Results()).size());
    QTest::keyClick(pView, Qt::Key_Home, Qt::ControlModifier);
    EXPECT_TRUE(pView->SelectedText().isEmpty());

    // What a screen reader reads: a read-only text named by its label, the whole of it, and
    // the line at the caret, in Qt's character counts (the ö is one).
    QAccessibleInterface *pAccessible = QAccessible::queryAccessibleInterface(pView);
    ASSERT_NE(pAccessible, nullptr);
    EXPECT_EQ(pAccessible->role(), QAccessible::EditableText);
    EXPECT_TRUE(pAccessible->state().readOnly);
    EXPECT_EQ(pAccessible->text(QAccessible::Name),
        QStringLiteral("Here are the results of the test mail merge:"));
    QAccessibleTextInterface *pText = pAccessible->textInterface();
    ASSERT_NE(pText, nullptr);
    const QString strAll = QString::fromStdString(dlg.Results());
    EXPECT_EQ(pText->characterCount(), strAll.size());
    EXPECT_EQ(pText->text(0, pText->characterCount()), strAll);
    QTest::keyClick(pView, Qt::Key_Down);
    QTest::keyClick(pView, Qt::Key_Down);
    QTest::keyClick(pView, Qt::Key_Down);
    const int nCaret = pText->cursorPosition();
    EXPECT_EQ(nCaret, strAll.indexOf(QStringLiteral("To: bob")));
    int nStart = 0;
    int nEnd = 0;
    EXPECT_EQ(pText->textAtOffset(nCaret, QAccessible::LineBoundary, &nStart, &nEnd),
        QStringLiteral("To: bob@example.org\n"));
    EXPECT_EQ(pText->textBeforeOffset(nCaret, QAccessible::LineBoundary, &nStart, &nEnd),
        QStringLiteral("\n"));
    EXPECT_EQ(pText->textAtOffset(nCaret + 5, QAccessible::WordBoundary, &nStart, &nEnd),
        QStringLiteral("bob"));
    EXPECT_EQ(nStart, nCaret + 4);
    EXPECT_EQ(pText->textAtOffset(strAll.indexOf(QStringLiteral("ln is")) - 1,
                  QAccessible::CharBoundary, &nStart, &nEnd),
        QStringLiteral("\u00f6"));
    pText->setSelection(0, 4, 7);
    EXPECT_EQ(pView->SelectedText(), QStringLiteral("ann"));
}

// Resident memory of this process, in bytes.
size_t ResidentBytes()
{
    std::ifstream statm("/proc/self/statm");
    size_t nSize = 0;
    size_t nResident = 0;
    statm >> nSize >> nResident;
    return nResident * static_cast<size_t>(sysconf(_SC_PAGESIZE));
}

TEST(TestMergeInfoTest, ItsTextIsWholeAtAnySizeTheDialogTakes)
{
    CTestMergeInfoDlg info;
    info.show();
    EXPECT_EQ(LabelsCutAtTheSmallestSize(info), "");
}

TEST(TestMergeResultsTest, AFormattedMergesMessagesAreShownAsTheyWillArrive)
{
    const std::string strRule(64, '-');
    CTestMergeResultsDlg dlg;
    dlg.SetResults(strRule + "\r\nTo: ann@example.org\r\nDear Ann\r\n\r\n" + strRule
        + "\r\nTo: bob@example.org\r\nDear Bob\r\n\r\n" + strRule
        + "\r\nTo: cy@example.org\r\nDear Cy\r\n\r\n");
    dlg.SetFormattedMessages({{"To: ann@example.org\r\n",
                                  "<html><body style=\"x\"><p><b>Dear</b> Ann</p></body></html>"},
                                 {"To: bob@example.org\r\n",
                                     "<html><body><p><b>Dear</b> Bob &lt;b&gt;</p></body></html>"}},
        {});
    dlg.show();
    auto *pBrowser = dlg.findChild<QTextBrowser *>(QStringLiteral("formattedResults"));
    ASSERT_NE(pBrowser, nullptr);
    EXPECT_TRUE(pBrowser->isVisible());
    EXPECT_FALSE(dlg.findChild<CTextLinesView *>()->isVisible());
    const QString strShown = pBrowser->toPlainText();
    EXPECT_TRUE(strShown.contains(QStringLiteral("To: ann@example.org")));
    EXPECT_TRUE(strShown.contains(QStringLiteral("Dear Bob <b>")));
    EXPECT_TRUE(strShown.contains(QStringLiteral("The first 2 of 3 messages are shown.")));
    EXPECT_TRUE(pBrowser->toHtml().contains(QStringLiteral("font-weight:700")));
    // The text stays what the run made, for copying.
    EXPECT_NE(dlg.Results().find("Dear Cy"), std::string::npos);
}

TEST_F(TestMergeDialogsTest, ALongResultIsHeldOnceAndGivenBackWhenItsWindowCloses)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizer's allocator keeps freed memory on purpose";
#endif
    const CMainFrame::SHooks hooks = FrameDialogHooks(*m_pFrame);
    // Fonts and the dialog's first painting are paid for once, before measuring.
    WhenShown<CTestMergeResultsDlg>([](CTestMergeResultsDlg &dlg) { dlg.accept(); });
    hooks.showTestResults("To: ann@example.org\r\n");

    std::string strResults;
    for (int i = 0; i < 200000; ++i) {
        strResults += std::string(64, '-') + "\r\nTo: member" + std::to_string(i)
            + "@example.org\r\nDear member " + std::to_string(i)
            + ",\r\nThe club meets on Thursday at eight in the hall on Station Road.\r\n\r\n";
    }
    malloc_trim(0); // what building the text left behind
    const size_t nBefore = ResidentBytes();
    const size_t nText = strResults.size();
    size_t nShown = 0;
    size_t nRows = 0;
    WhenShown<CTestMergeResultsDlg>([&](CTestMergeResultsDlg &dlg) {
        QApplication::processEvents(); // painted
        nShown = ResidentBytes();
        nRows = dlg.findChild<CTextLinesView *>()->Lines().RowCount();
        dlg.accept();
    });
    hooks.showTestResults(std::move(strResults));
    EXPECT_GE(nRows, 1000000U);
    // The window with its text costs at most twice the text; closing it gives back the text and
    // all the rest.
    const auto nCost = static_cast<long long>(nShown) - static_cast<long long>(nBefore)
        + static_cast<long long>(nText);
    EXPECT_LE(nCost, 2 * static_cast<long long>(nText)) << "text " << nText;
    const auto nKept = static_cast<long long>(ResidentBytes()) - static_cast<long long>(nBefore)
        + static_cast<long long>(nText);
    EXPECT_LE(nKept, static_cast<long long>(nText / 10)) << "text " << nText;
}

} // namespace
