// The formatted message in the window: the plain-text twin of the editor's text, field tags
// formatted whole, pasting, the Format menu making a merge formatted and Plain Text undoing it,
// and a formatted merge saved and opened again.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QStackedWidget>
#include <QTest>
#include <QTextBrowser>
#include <QTextCursor>
#include <QTextDocument>
#include <QToolBar>

#include "support/SampleFrameTest.h"
#include "ui/FormattedText.h"
#include "ui/HelpWindow.h"
#include "ui/MainFrame.h"
#include "ui/MergixView.h"
#include "ui/PreviewPane.h"

namespace {

TEST(FormattedTextTest, ThePlainTwinKeepsLinksListsAndPictureNames)
{
    QTextDocument document;
    document.setHtml(QStringLiteral(
        "<p>Dear <b>&lt;&lt;Name&gt;&gt;</b>,<br>see <a href=\"https://club.example/?id=&lt;&lt;"
        "ID&gt;&gt;\">our <i>page</i></a> or <a href=\"mailto:office@club.example\">write</a>.</p>"
        "<ul><li>one</li><li>two</li></ul><ol><li>first</li><li>second</li></ol>"
        "<p><img src=\"/home/club/logo.png\"> Thanks</p>"));
    EXPECT_EQ(PlainTwin(document),
        "Dear <<Name>>,\r\nsee our page (https://club.example/?id=<<ID>>) or write "
        "(mailto:office@club.example).\r\n- one\r\n- two\r\n1. first\r\n2. second\r\n"
        "logo.png Thanks");
}

TEST(FormattedTextTest, AFieldTagIsFormattedWholeOrNotAtAll)
{
    QTextDocument document;
    document.setPlainText(QStringLiteral("Dear <<FirstName>> and <<City>>!\nbye"));
    QTextCursor cursor(&document);
    // From inside the first tag to inside the second: both tags whole.
    cursor.setPosition(8);
    cursor.setPosition(27, QTextCursor::KeepAnchor);
    const QTextCursor whole = WithWholeTags(cursor);
    EXPECT_EQ(whole.selectedText(), QStringLiteral("<<FirstName>> and <<City>>"));
    // Ends outside tags stay where they are.
    cursor.setPosition(0);
    cursor.setPosition(4, QTextCursor::KeepAnchor);
    EXPECT_EQ(WithWholeTags(cursor).selectedText(), QStringLiteral("Dear"));
    // With nothing selected, the word at the cursor inside a tag is the tag.
    cursor.setPosition(10);
    QTextCharFormat bold;
    bold.setFontWeight(QFont::Bold);
    MergeFormatOnWordOrSelection(cursor, bold);
    for (int nPosition = 5; nPosition <= 18; ++nPosition) {
        QTextCursor at(&document);
        at.setPosition(nPosition + 1);
        EXPECT_EQ(at.charFormat().fontWeight(), nPosition < 18 ? QFont::Bold : QFont::Normal)
            << nPosition;
    }
}

using FormattedEditorTest = CSampleFrameTest;

TEST_F(FormattedEditorTest, TheFormatMenuMakesTheMergeFormattedAndPlainTextUndoesIt)
{
    CMainFrame &frame = *m_pFrame;
    CMergixView &view = frame.View();
    const std::string strPlain = view.PlainText();
    auto *pMark = frame.findChild<QLabel *>(QStringLiteral("formattedMark"));
    ASSERT_NE(pMark, nullptr);
    EXPECT_FALSE(view.IsFormatted());
    EXPECT_TRUE(pMark->isHidden());
    EXPECT_EQ(view.FormattedHtml(), "");

    // A plain message takes only the words of what is pasted.
    QTextCursor end = view.textCursor();
    end.movePosition(QTextCursor::End);
    view.setTextCursor(end);
    auto *pMime = new QMimeData;
    pMime->setHtml(QStringLiteral("<b>pasted</b>"));
    pMime->setText(QStringLiteral("pasted"));
    QApplication::clipboard()->setMimeData(pMime);
    view.paste();
    EXPECT_FALSE(view.IsFormatted());
    EXPECT_EQ(view.PlainText(), strPlain + "pasted");
    EXPECT_EQ(view.textCursor().charFormat().fontWeight(), QFont::Normal);

    // Bold through the menu: the merge becomes formatted and is marked changed.
    view.selectAll();
    frame.Document().SetModifiedFlag(false);
    frame.findChild<QAction *>(QStringLiteral("actionBold"))->trigger();
    EXPECT_TRUE(view.IsFormatted());
    EXPECT_FALSE(pMark->isHidden());
    EXPECT_TRUE(frame.Document().IsModified());
    EXPECT_NE(view.FormattedHtml().find("font-weight:700"), std::string::npos);
    EXPECT_EQ(view.PlainText(), strPlain + "pasted");

    // Saved and opened again, it is still formatted.
    const std::string strPath = m_dir.filePath(QStringLiteral("formatted.mgx")).toStdString();
    ASSERT_TRUE(QFile::copy(QStringLiteral(MERGIX_TESTS_DIR "/../examples/contacts.mdb"),
        m_dir.filePath(QStringLiteral("contacts.mdb"))));
    frame.Document().UpdateDocumentFromControls();
    ASSERT_TRUE(frame.Document().OnSaveDocument(strPath));
    frame.Start(kSample);
    EXPECT_FALSE(view.IsFormatted());
    ASSERT_TRUE(frame.Document().OnOpenDocument(strPath));
    EXPECT_TRUE(view.IsFormatted());
    EXPECT_FALSE(pMark->isHidden());
    EXPECT_EQ(view.PlainText(), strPlain + "pasted");

    // Plain Text asks first; No keeps the formatting, Yes drops it and keeps the words.
    QAction *pPlain = frame.findChild<QAction *>(QStringLiteral("actionPlainText"));
    m_prompter.ScriptAnswer(false);
    pPlain->trigger();
    EXPECT_TRUE(view.IsFormatted());
    m_prompter.ScriptAnswer(true);
    pPlain->trigger();
    EXPECT_FALSE(view.IsFormatted());
    EXPECT_TRUE(pMark->isHidden());
    EXPECT_EQ(view.FormattedHtml(), "");
    EXPECT_EQ(view.PlainText(), strPlain + "pasted");
    EXPECT_EQ(m_prompter.TakeTexts().size(), 2u);
}

TEST_F(FormattedEditorTest, ThePreviewShowsEachRecordsMessageInPlaceOfTheEditor)
{
    CMainFrame &frame = *m_pFrame;
    CMergixView &view = frame.View();
    QTextCursor cursor = view.textCursor();
    cursor.setPosition(0);
    view.setTextCursor(cursor);
    frame.findChild<QAction *>(QStringLiteral("actionBold"))->trigger(); // "Dear"
    ASSERT_TRUE(view.IsFormatted());

    QAction *pPreview = frame.findChild<QAction *>(QStringLiteral("actionPreview"));
    auto *pPane = frame.findChild<CPreviewPane *>();
    auto *pStack = frame.findChild<QStackedWidget *>();
    const auto text = [&](const char *pName) {
        return frame.findChild<QLineEdit *>(QString::fromLatin1(pName))->text().toStdString();
    };
    const auto position = [&] {
        return frame.findChild<QLabel *>(QStringLiteral("previewPosition"))->text().toStdString();
    };
    auto *pBody = frame.findChild<QTextBrowser *>(QStringLiteral("previewBody"));
    pPreview->trigger();
    ASSERT_EQ(pStack->currentWidget(), pPane);
    EXPECT_EQ(position(), "Record 1 of 12");
    EXPECT_EQ(text("previewTo"), "john.smith@example.com");
    EXPECT_EQ(text("previewSubject"), "News from the club");
    EXPECT_TRUE(pBody->toHtml().contains(QStringLiteral("font-weight:700")));
    EXPECT_TRUE(pBody->toPlainText().startsWith(QStringLiteral("Dear John Smith,")));
    // Editing is off while previewing.
    EXPECT_TRUE(view.isReadOnly());
    EXPECT_FALSE(frame.findChild<QAction *>(QStringLiteral("actionBold"))->isEnabled());
    EXPECT_FALSE(frame.findChild<QToolBar *>(QStringLiteral("headerToolBar"))->isEnabled());

    // The keys go from record to record from the message.
    ASSERT_TRUE(pBody->hasFocus() || !frame.isActiveWindow());
    pBody->setFocus();
    QTest::keyClick(pBody, Qt::Key_PageDown);
    EXPECT_EQ(position(), "Record 2 of 12");
    EXPECT_NE(text("previewTo"), "john.smith@example.com");
    // The guide opens beside the preview, which stays at its record.
    frame.findChild<QAction *>(QStringLiteral("actionHelpTopics"))->trigger();
    auto *pHelp = frame.findChild<CHelpWindow *>();
    ASSERT_NE(pHelp, nullptr);
    EXPECT_TRUE(pHelp->isVisible());
    pHelp->close();
    EXPECT_EQ(pStack->currentWidget(), pPane);
    EXPECT_EQ(position(), "Record 2 of 12");
    QTest::keyClick(pBody, Qt::Key_End, Qt::ControlModifier);
    EXPECT_EQ(position(), "Record 12 of 12");
    EXPECT_FALSE(frame.findChild<QPushButton *>(QStringLiteral("previewNext"))->isEnabled());
    frame.findChild<QPushButton *>(QStringLiteral("previewFirst"))->click();
    EXPECT_EQ(position(), "Record 1 of 12");

    // Esc gives the editor back, editable.
    QTest::keyClick(pBody, Qt::Key_Escape);
    EXPECT_EQ(pStack->currentWidget(), &view);
    EXPECT_FALSE(pPreview->isChecked());
    EXPECT_FALSE(view.isReadOnly());
    EXPECT_TRUE(frame.findChild<QAction *>(QStringLiteral("actionBold"))->isEnabled());
    EXPECT_TRUE(frame.findChild<QToolBar *>(QStringLiteral("headerToolBar"))->isEnabled());
}

} // namespace
