// Cc, Bcc and attachments in the window: the attachment list's checks and stored paths, the
// file an entry names for a record, the Attachments dialog, the header bar's round trip and
// the main frame's glue (Insert Field into the subject and Cc, the preview from the table's first
// record).
#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "mail/RecordList.h"
#include "sources/TableCursor.h"
#include "support/RecordingPrompter.h"
#include "support/SampleFrameTest.h"
#include "support/ScriptedProgress.h"
#include "support/WidgetHelpers.h"
#include "ui/AttachmentList.h"
#include "ui/AttachmentPath.h"
#include "ui/AttachmentsDlg.h"
#include "ui/HeaderBar.h"
#include "ui/MainFrame.h"

namespace {

using Texts = std::vector<std::string>;

TEST(AttachmentListTest, ChosenFilesInsideTheMergeFolderAreKeptRelativeOthersAbsolute)
{
    CAttachmentList list({}, "/home/ann/club/");
    EXPECT_EQ(list.StoredPath("/home/ann/club/fees.pdf"), "fees.pdf");
    EXPECT_EQ(list.StoredPath("/home/ann/club/invoices/2024/a.pdf"), "invoices/2024/a.pdf");
    EXPECT_EQ(list.StoredPath("/home/ann/club/../other/x.pdf"), "/home/ann/club/../other/x.pdf");
    // A folder whose name only begins like the merge folder's is outside it.
    EXPECT_EQ(list.StoredPath("/home/ann/clubhouse/map.png"), "/home/ann/clubhouse/map.png");
    EXPECT_EQ(list.StoredPath("/tmp/a.pdf"), "/tmp/a.pdf");

    EXPECT_EQ(list.AddFiles({"/home/ann/club/fees.pdf", "/srv/rules.pdf"}), "");
    EXPECT_EQ(list.Entries(), (Texts {"fees.pdf", "/srv/rules.pdf"}));
    // A merge never saved has no folder to be relative to.
    CAttachmentList unsaved({}, "");
    EXPECT_EQ(unsaved.StoredPath("/home/ann/club/fees.pdf"), "/home/ann/club/fees.pdf");
}

TEST(AttachmentListTest, BadPathsAreRefusedWithTheirMessageAndTheListStaysAsItWas)
{
    CAttachmentList list({"fees.pdf"}, "/m/");
    EXPECT_EQ(list.AddTyped("  invoices/<<ID>>.pdf\t"), "");
    EXPECT_EQ(list.AddTyped(""), "Please type the path of a file to attach.");
    EXPECT_EQ(list.AddTyped("   "), "Please type the path of a file to attach.");
    EXPECT_EQ(list.AddTyped("a.pdf\nb.pdf"), "A path cannot contain a line break.");
    EXPECT_EQ(list.AddTyped("a.pdf\r"), "A path cannot contain a line break.");
    EXPECT_EQ(
        list.AddTyped("a\tb.pdf"), "A path cannot contain a control character such as a tab.");
    EXPECT_EQ(list.AddTyped("fees.pdf"), "\"fees.pdf\" is attached already.");
    // Of several chosen files the good ones go in; the first problem is reported.
    EXPECT_EQ(list.AddFiles({"/m/fees.pdf", "/m/new.pdf", "/m/invoices/<<ID>>.pdf"}),
        "\"fees.pdf\" is attached already.");
    EXPECT_EQ(list.Entries(), (Texts {"fees.pdf", "invoices/<<ID>>.pdf", "new.pdf"}));
}

TEST(AttachmentListTest, RemoveTakesTheGivenEntriesInAnyOrder)
{
    CAttachmentList list({"a", "b", "c", "d", "e"}, "");
    list.Remove({3, 0, 3, 9, -1});
    EXPECT_EQ(list.Entries(), (Texts {"b", "c", "e"}));
    list.Remove({2});
    EXPECT_EQ(list.Entries(), (Texts {"b", "c"}));
    list.Remove({});
    EXPECT_EQ(list.Entries(), (Texts {"b", "c"}));
}

TEST(AttachmentListTest, ThePreviewLineNamesTheFileOrWhyThereIsNone)
{
    CAttachmentList list({"fixed.pdf", "inv/<<ID>>.pdf"}, "/m/");
    std::vector<std::string> asked;
    const CAttachmentList::PathPreview preview
        = [&asked](const std::string &strEntry) -> std::optional<std::string> {
        asked.push_back(strEntry);
        return "/m/" + strEntry + "!";
    };
    EXPECT_EQ(list.PreviewLine(1, preview), "For the table's first record: /m/inv/<<ID>>.pdf!");
    EXPECT_EQ(asked, Texts {"inv/<<ID>>.pdf"});
    EXPECT_EQ(list.PreviewLine(-1, preview),
        "Select an entry to see the file it names for the table's first record.");
    EXPECT_EQ(list.PreviewLine(2, preview),
        "Select an entry to see the file it names for the table's first record.");
    EXPECT_EQ(asked.size(), 1u);
    EXPECT_EQ(
        list.PreviewLine(0, {}), "No list is open, so the file for a record cannot be shown.");
    EXPECT_EQ(list.PreviewLine(0, [](const std::string &) { return std::nullopt; }),
        "The list has no records, so the file for a record cannot be shown.");
    EXPECT_EQ(list.PreviewLine(1, [](const std::string &) { return std::string(); }),
        "For the table's first record this entry names no file.");
}

class CCells final : public CMergeRecord
{
public:
    explicit CCells(Texts cells) : m_cells(std::move(cells)) { }
    std::string_view CellText(int nColumn) const override
    {
        return static_cast<size_t>(nColumn) < m_cells.size() ? m_cells[size_t(nColumn)]
                                                             : std::string_view();
    }

private:
    Texts m_cells;
};

TEST(AttachmentPathTest, AnEntryIsMergedWithTheRecordAndTakenFromTheFolder)
{
    const CMergeFields fields {{"ID", "Town"}, {4, 10}};
    const CCells record({"17", "Leeds"});
    EXPECT_EQ(AttachmentPathForRecord("invoices/<<ID>>.pdf", fields, record, "/m/"),
        "/m/invoices/17.pdf");
    EXPECT_EQ(AttachmentPathForRecord(
                  R"({IF "<<Town>>" "Equals" "Leeds" THEN "north" ELSE "south" "CASENO"}/<<ID>>)",
                  fields, record, "/m/"),
        "/m/north/17");
    EXPECT_EQ(AttachmentPathForRecord("/srv/<<ID>>.pdf", fields, record, "/m/"), "/srv/17.pdf");
    // A tag of no field is left out, as in a body.
    EXPECT_EQ(AttachmentPathForRecord("x<<Nope>>.pdf", fields, record, "/m/"), "/m/x.pdf");
    EXPECT_EQ(AttachmentPathForRecord("<<Nope>>", fields, record, "/m/"), "");
    // Without a merge folder a relative path is taken from the working folder.
    EXPECT_EQ(AttachmentPathForRecord("<<ID>>.pdf", fields, record, ""),
        QDir::current().filePath(QStringLiteral("17.pdf")).toStdString());
}

QStringList ListedEntries(CAttachmentsDlg &dlg)
{
    return Items(Child<QListWidget>(dlg, "entryList"));
}

TEST(AttachmentsDlgTest, TypedPathsAreAddedRemovedAndPreviewedAndBadOnesKeepTheDialogOpen)
{
    CRecordingPrompter prompter;
    CAttachmentsDlg dlg(CAttachmentList({"fixed.pdf"}, "/m/"),
        [](const std::string &strEntry) -> std::optional<std::string> {
            return "/m/x-" + strEntry;
        });
    dlg.show();
    auto *pList = Child<QListWidget>(dlg, "entryList");
    auto *pPath = Child<QLineEdit>(dlg, "pathEdit");
    auto *pPreview = Child<QLineEdit>(dlg, "previewEdit");
    EXPECT_EQ(dlg.windowTitle(), QStringLiteral("Attachments"));
    EXPECT_EQ(pPreview->text(), QStringLiteral("For the table's first record: /m/x-fixed.pdf"));

    QTest::keyClicks(pPath, QStringLiteral("inv/<<ID>>.pdf"));
    Child<QPushButton>(dlg, "addPathButton")->click();
    EXPECT_EQ(ListedEntries(dlg),
        (QStringList {QStringLiteral("fixed.pdf"), QStringLiteral("inv/<<ID>>.pdf")}));
    EXPECT_TRUE(pPath->text().isEmpty());
    EXPECT_EQ(pList->currentRow(), 1); // the new entry is selected and previewed
    EXPECT_EQ(
        pPreview->text(), QStringLiteral("For the table's first record: /m/x-inv/<<ID>>.pdf"));

    Child<QPushButton>(dlg, "addPathButton")->click(); // nothing typed
    EXPECT_EQ(prompter.TakeTexts(), Texts {"Please type the path of a file to attach."});

    pPath->setText(QStringLiteral("third.pdf"));
    Child<QPushButton>(dlg, "addPathButton")->click();
    pList->setCurrentRow(0);
    Child<QPushButton>(dlg, "removeButton")->click();
    EXPECT_EQ(ListedEntries(dlg),
        (QStringList {QStringLiteral("inv/<<ID>>.pdf"), QStringLiteral("third.pdf")}));
    pList->setFocus();
    pList->setCurrentRow(1);
    QTest::keyClick(pList, Qt::Key_Delete); // Delete removes too
    EXPECT_EQ(ListedEntries(dlg), QStringList {QStringLiteral("inv/<<ID>>.pdf")});

    // A path typed but not added goes in with OK; a bad one keeps the dialog open.
    pPath->setText(QStringLiteral("a\tb"));
    dlg.accept();
    EXPECT_EQ(
        prompter.TakeTexts(), Texts {"A path cannot contain a control character such as a tab."});
    EXPECT_TRUE(dlg.isVisible());
    pPath->setText(QStringLiteral("  second.pdf "));
    QTest::keyClick(pPath, Qt::Key_Return); // Enter is OK
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(dlg.Entries(), (Texts {"inv/<<ID>>.pdf", "second.pdf"}));
}

TEST(AttachmentsDlgTest, EveryControlHasANameAndEscapeCancels)
{
    CAttachmentsDlg dlg(CAttachmentList({"a.pdf", "b.pdf"}, ""), {});
    dlg.show();
    EXPECT_EQ(Child<QLineEdit>(dlg, "previewEdit")->text(),
        QStringLiteral("No list is open, so the file for a record cannot be shown."));
    for (QWidget *pWidget : dlg.findChildren<QWidget *>()) {
        if (!(pWidget->focusPolicy() & Qt::TabFocus) || !pWidget->isVisible())
            continue;
        QAccessibleInterface *pAccessible = QAccessible::queryAccessibleInterface(pWidget);
        ASSERT_NE(pAccessible, nullptr);
        EXPECT_FALSE(pAccessible->text(QAccessible::Name).isEmpty())
            << pWidget->objectName().toStdString();
    }
    Child<QListWidget>(dlg, "entryList")->item(1)->setSelected(true);
    QTest::keyClick(&dlg, Qt::Key_Escape);
    EXPECT_EQ(dlg.result(), QDialog::Rejected);
}

TEST(HeaderBarTest, ExtrasComeBackAsSetAndOnlyTheUsersChangesCountAsEdits)
{
    CHeaderBar bar;
    QSignalSpy edited(&bar, &CHeaderBar::EditedByUser);
    const SMessageExtras extras {"<<ParentEmail>>, office@example.com", "archive@example.com",
        {"fees.pdf", "invoices/<<ID>>.pdf"}};
    bar.SetExtras(extras);
    EXPECT_EQ(bar.Extras(), extras);
    EXPECT_EQ(bar.AttachmentsButton()->text(), QStringLiteral("&Attachments (2)..."));
    EXPECT_EQ(bar.AttachmentsButton()->accessibleName(), QStringLiteral("Attachments..."));
    EXPECT_EQ(edited.count(), 0);

    QTest::keyClicks(bar.CcEdit(), QStringLiteral("; x@example.com"));
    const qsizetype nAfterCc = edited.count();
    EXPECT_GT(nAfterCc, 0);
    QTest::keyClicks(bar.BccEdit(), QStringLiteral("!"));
    EXPECT_EQ(edited.count(), nAfterCc + 1);
    EXPECT_EQ(bar.Extras().strCc, "<<ParentEmail>>, office@example.com; x@example.com");
    EXPECT_EQ(bar.Extras().strBcc, "archive@example.com!");

    bar.SetExtras({});
    EXPECT_TRUE(bar.Extras().IsEmpty());
    EXPECT_EQ(bar.AttachmentsButton()->text(), QStringLiteral("&Attachments..."));
    EXPECT_EQ(edited.count(), nAfterCc + 1);
}

TEST(HeaderBarTest, TheAttachmentsButtonEditsTheEntriesAndCountsThem)
{
    CHeaderBar bar;
    QSignalSpy edited(&bar, &CHeaderBar::EditedByUser);
    bar.SetExtras({"", "", {"a.pdf"}});
    std::optional<Texts> answer;
    Texts shown;
    bar.SetAttachmentsEditor([&](const Texts &entries) {
        shown = entries;
        return answer;
    });
    bar.AttachmentsButton()->click(); // cancelled
    EXPECT_EQ(shown, Texts {"a.pdf"});
    EXPECT_EQ(edited.count(), 0);
    answer = Texts {"a.pdf"}; // OK without a change
    bar.AttachmentsButton()->click();
    EXPECT_EQ(edited.count(), 0);

    answer = Texts {"a.pdf", "b.pdf", "c/<<ID>>.pdf"};
    bar.AttachmentsButton()->click();
    EXPECT_EQ(edited.count(), 1);
    EXPECT_EQ(bar.Extras().attachments, *answer);
    EXPECT_EQ(bar.AttachmentsButton()->text(), QStringLiteral("&Attachments (3)..."));
    EXPECT_EQ(bar.AttachmentsButton()->accessibleDescription(), QStringLiteral("3 files attached"));
}

// Triggers the item of the next pop-up menu once it shows, looking every 10 ms for five seconds.
void ChooseInPopupMenu(int nItem, int nTriesLeft = 500)
{
    QTimer::singleShot(10, [nItem, nTriesLeft] {
        if (auto *pMenu = qobject_cast<QMenu *>(QApplication::activePopupWidget())) {
            pMenu->actions()[nItem]->trigger();
            pMenu->close();
        } else if (nTriesLeft > 0) {
            ChooseInPopupMenu(nItem, nTriesLeft - 1);
        }
    });
}

class MessageExtrasFrameTest : public CSampleFrameTest
{ };

TEST_F(MessageExtrasFrameTest, InsertFieldGoesIntoTheFocusedSubjectOrCopyEditAndTypingMarksTheMerge)
{
    CHeaderBar &bar = m_pFrame->HeaderBar();
    bar.CcEdit()->setFocus();
    QApplication::processEvents();
    QTest::keyClicks(bar.CcEdit(), QStringLiteral("a@example.com, "));
    EXPECT_TRUE(m_pFrame->Document().IsModified());
    m_pFrame->Document().SetModifiedFlag(false);

    // The field menu opens from the button; its item goes into Cc, not into the message.
    const std::string strBody = m_pFrame->Document().m_strBody;
    ChooseInPopupMenu(1);
    QTest::mouseClick(bar.InsertFieldButton(), Qt::LeftButton);
    const std::string strField = m_pFrame->Document().m_fieldNames[1];
    EXPECT_EQ(bar.CcEdit()->text().toStdString(), "a@example.com, <<" + strField + ">>");
    EXPECT_TRUE(m_pFrame->Document().IsModified());
    // The focus comes back once the menu's window has gone, which a slow machine takes a while for.
    EXPECT_TRUE(QTest::qWaitFor([&] { return QApplication::focusWidget() == bar.CcEdit(); }, 5000));

    // The subject takes tags too.
    bar.SubjectEdit()->setFocus();
    QApplication::processEvents();
    bar.SubjectEdit()->setText(QStringLiteral("News for "));
    ChooseInPopupMenu(1);
    QTest::mouseClick(bar.InsertFieldButton(), Qt::LeftButton);
    EXPECT_EQ(bar.SubjectEdit()->text().toStdString(), "News for <<" + strField + ">>");
    EXPECT_EQ(m_pFrame->Document().m_strBody, strBody);
}

TEST_F(MessageExtrasFrameTest, ThePreviewMergesAnEntryWithTheTablesFirstRecord)
{
    CMergixDoc &doc = m_pFrame->Document();
    // The first record as the recipient list reads it, where it is the bottom row.
    CRecordList list;
    list.SetColumns(doc.m_fieldNames);
    CScriptedProgress progress;
    list.Load(*doc.Table(), progress);
    ASSERT_GT(list.RowCount(), 0);
    const int nColumn = doc.MergeFields().FindColumn(doc.m_fieldNames[1]);
    const std::string strValue(list.CellText(list.RowCount() - 1, nColumn));

    const CAttachmentList::PathPreview preview = m_pFrame->FirstRecordAttachmentPreview();
    ASSERT_TRUE(preview);
    // The path a send would attach: the merge's folder, with its ".." resolved.
    EXPECT_EQ(preview("cards/<<" + doc.m_fieldNames[1] + ">>.pdf"),
        QDir::cleanPath(
            QString::fromStdString(doc.AttachmentFolder() + "cards/" + strValue + ".pdf"))
            .toStdString());
    EXPECT_FALSE(doc.AttachmentFolder().empty());
}

} // namespace
