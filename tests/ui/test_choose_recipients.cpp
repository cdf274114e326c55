// Choose Recipients over the sample merge: loading order and the buttons, elided cells, a test
// merge that matches the command line's byte for byte, a send to the real test server with one
// refused recipient, and a fault that shows once per run.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include <QApplication>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QTimer>

#include <unistd.h>

#include "document/MergixDoc.h"
#include "document/MgxArchive.h"
#include "engine/Progress.h"
#include "mail/RecordList.h"
#include "mail/ResumeMatch.h"
#include "support/RecordingPrompter.h"
#include "support/SmtpTestServer.h"
#include "support/WidgetHelpers.h"
#include "ui/ChooseRecipientsDlg.h"
#include "ui/ElidingDelegate.h"
#include "ui/ProgressDlg.h"

namespace {

using Texts = std::vector<std::string>;
const std::string kSample = MERGIX_EXAMPLES_DIR "/sample.mgx";

class ChooseRecipientsTest : public testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(m_doc.OnOpenDocument(kSample)); }

    CMergeRun::SInput Input(const std::string &strServer = {}) const
    {
        CMergeRun::SInput input = CMergeRun::InputOf(m_doc);
        input.serverName = [strServer] {
            return strServer;
        };
        return input;
    }
    static QTableView *View(CChooseRecipientsDlg &dlg)
    {
        return dlg.findChild<QTableView *>(QStringLiteral("recordList"));
    }
    static void SelectRows(CChooseRecipientsDlg &dlg, std::initializer_list<int> rows)
    {
        QTableView *pView = View(dlg);
        for (const int nRow : rows)
            pView->selectionModel()->select(pView->model()->index(nRow, 0),
                QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }

    CRecordingPrompter m_prompter;
    CMergixDoc m_doc;
};

TEST_F(ChooseRecipientsTest, LoadsNewestFirstAndSelectsAllOrNone)
{
    CChooseRecipientsDlg dlg(m_doc, Input());
    dlg.SetTestMode(true);
    dlg.Load();
    dlg.show();
    ASSERT_EQ(dlg.List().RowCount(), 12);
    EXPECT_EQ(dlg.List().CellText(0, 0), "12"); // the last record read stands on top
    EXPECT_EQ(dlg.List().CellText(11, 0), "1");
    EXPECT_EQ(dlg.findChild<QPushButton *>(QStringLiteral("runButton"))->text(),
        QStringLiteral("&Test Merge"));
    EXPECT_EQ(dlg.windowTitle(), QStringLiteral("Choose Recipients"));

    // The count under the list; addresses show whole.
    const auto count = [&] {
        return dlg.findChild<QLabel *>(QStringLiteral("selectionCount"))->text().toStdString();
    };
    EXPECT_EQ(count(), "0 of 12 selected");
    const int nEmail = m_doc.MergeFields().FindColumn("Email");
    ASSERT_GE(nEmail, 0);
    EXPECT_GE(View(dlg)->columnWidth(nEmail),
        View(dlg)->fontMetrics().horizontalAdvance(QStringLiteral("anna.mueller@example.com")));
    dlg.OnSelectAll();
    EXPECT_EQ(View(dlg)->selectionModel()->selectedRows().size(), 12);
    EXPECT_EQ(count(), "12 of 12 selected");
    dlg.OnUnselectAll();
    EXPECT_TRUE(View(dlg)->selectionModel()->selectedRows().isEmpty());
    SelectRows(dlg, {2, 5});
    EXPECT_EQ(count(), "2 of 12 selected");
    dlg.OnUnselectAll();
    EXPECT_EQ(dlg.focusWidget(), View(dlg));

    // Nothing selected: the message, and the dialog stays.
    dlg.accept();
    EXPECT_EQ(m_prompter.TakeTexts(),
        Texts {"There were no items selected. Please select some items and then continue the "
               "e-mail merge."});
    EXPECT_EQ(dlg.result(), 0);
}

TEST_F(ChooseRecipientsTest, AStoppedLoadSaysThatTheListHoldsPartOfTheTable)
{
    const std::filesystem::path folder
        = std::filesystem::temp_directory_path() / ("mergix-stopped-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    {
        std::ofstream csv(folder / "members.csv");
        csv << "ID,Email\n";
        for (int i = 1; i <= 20000; ++i)
            csv << i << ",member" << i << "@example.com\n";
        CMgxArchive merge;
        for (const char *pString :
            {"members.csv", "Email", "Club <club@example.com>", "", "News", "members", "Hello"})
            merge.WriteString(pString);
        std::ofstream(folder / "members.mgx", std::ios::binary) << merge.Bytes();
    }
    CMergixDoc doc;
    ASSERT_TRUE(doc.OnOpenDocument((folder / "members.mgx").string()));
    CChooseRecipientsDlg dlg(doc, CMergeRun::InputOf(doc));
    // The progress window is closed at once, which cancels, and the question is answered Yes.
    QTimer::singleShot(0, [] {
        for (QWidget *pWindow : QApplication::topLevelWidgets()) {
            if (auto *pProgress = qobject_cast<CProgressDlg *>(pWindow))
                pProgress->close(); // as the window's close button does
        }
    });
    m_prompter.ScriptAnswer(true);
    dlg.Load();
    EXPECT_EQ(m_prompter.TakeTexts(),
        Texts {"Are you sure you want to Cancel?\nNot all items will be shown."});
    const int nRows = dlg.List().RowCount();
    ASSERT_GT(nRows, 0);
    ASSERT_LT(nRows, 20000);
    const QLocale locale;
    EXPECT_EQ(dlg.findChild<QLabel *>(QStringLiteral("selectionCount"))->text(),
        QStringLiteral(
            "0 of %1 selected (loading stopped: %1 of the table's %2 records are listed)")
            .arg(locale.toString(nRows), locale.toString(20000)));
    std::filesystem::remove_all(folder);
}

TEST_F(ChooseRecipientsTest, AResumeOpensWithTheRecipientsStillToReachSelected)
{
    // The run being continued reached all but pat and the two zoes.
    CRecordList all;
    all.SetColumns(m_doc.m_fieldNames);
    CNullProgress quiet;
    all.Load(*m_doc.Table(), quiet);
    const int nTo = m_doc.MergeFields().FindColumn(m_doc.m_strToField);
    ASSERT_GE(nTo, 0);
    CMergeRun::SInput input = Input();
    for (int nRow = 0; nRow < all.RowCount(); ++nRow) {
        const std::string strTo(all.CellText(nRow, nTo));
        if (!strTo.starts_with("pat") && !strTo.starts_with("zoe"))
            ++input.earlier.doneAddresses[ResumeAddressKey(strTo)];
    }
    CChooseRecipientsDlg dlg(m_doc, std::move(input));
    dlg.Load();
    dlg.show();
    const QModelIndexList selected = View(dlg)->selectionModel()->selectedRows();
    std::set<std::string> addresses;
    for (const QModelIndex &index : selected)
        addresses.insert(std::string(dlg.List().CellText(index.row(), nTo)));
    EXPECT_EQ(addresses,
        (std::set<std::string> {
            "pat@example.org", "zoe.dupont@example.com", "zoe.martin@example.org"}));
    EXPECT_EQ(selected.size(), 3);
}

TEST_F(ChooseRecipientsTest, TabLeavesTheListAndItsSelectionAloneAndEnterPressesTheFocusedButton)
{
    CChooseRecipientsDlg dlg(m_doc, Input());
    dlg.Load();
    dlg.show();
    dlg.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dlg));
    QTableView *pView = View(dlg);
    SelectRows(dlg, {1, 3, 4});
    const auto selectedRows = [pView] {
        std::set<int> rows;
        for (const QModelIndex &index : pView->selectionModel()->selectedRows())
            rows.insert(index.row());
        return rows;
    };
    const std::set<int> chosen {1, 3, 4};
    ASSERT_EQ(selectedRows(), chosen);

    // Round the dialog twice: the list is one stop, and being passed through changes nothing.
    int nListStops = 0;
    for (int i = 0; i < 10; ++i) {
        QWidget *pFrom = QApplication::focusWidget();
        ASSERT_NE(pFrom, nullptr);
        QTest::keyClick(pFrom, Qt::Key_Tab);
        if (QApplication::focusWidget() == pView) {
            ++nListStops;
            EXPECT_NE(pFrom, pView) << "Tab stayed in the list";
        }
        EXPECT_EQ(selectedRows(), chosen) << "after Tab " << i + 1;
    }
    EXPECT_EQ(nListStops, 2);
    // Shift+Tab out of the list leaves it as it was, too.
    pView->setFocus();
    QTest::keyClick(pView, Qt::Key_Backtab);
    EXPECT_NE(QApplication::focusWidget(), pView);
    EXPECT_EQ(selectedRows(), chosen);

    // Enter on a focused Select All selects all, and sends nothing.
    auto *pSelectAll = Child<QPushButton>(dlg, "selectAllButton");
    pSelectAll->setFocus();
    QTest::keyClick(pSelectAll, Qt::Key_Return);
    EXPECT_EQ(static_cast<int>(selectedRows().size()), dlg.List().RowCount());
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_TRUE(m_prompter.Entries().empty());
    // Enter on a focused Close closes, and sends nothing either.
    auto *pClose = Child<QPushButton>(dlg, "closeButton");
    pClose->setFocus();
    QTest::keyClick(pClose, Qt::Key_Return);
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_EQ(dlg.result(), QDialog::Rejected);
    EXPECT_TRUE(m_prompter.Entries().empty());
}

TEST_F(ChooseRecipientsTest, LongCellsAreCutWithThreeDots)
{
    const QFontMetrics metrics(QFont(QStringLiteral("Liberation Sans"), 10));
    const QString strLong = QString(150, u'x');
    const QString strShown = CElidingDelegate::ShownText(strLong, metrics, 80);
    EXPECT_TRUE(strShown.endsWith(QStringLiteral("...")));
    EXPECT_LE(metrics.horizontalAdvance(strShown), 76);
    // Wide enough for everything: still at most the first 99 characters.
    EXPECT_EQ(CElidingDelegate::ShownText(strLong, metrics, 100000), QString(99, u'x'));
    EXPECT_EQ(
        CElidingDelegate::ShownText(QStringLiteral("Ann"), metrics, 200), QStringLiteral("Ann"));
}

TEST_F(ChooseRecipientsTest, ATestMergeOfTwoRowsMatchesTheCommandLine)
{
    CChooseRecipientsDlg dlg(m_doc, Input());
    dlg.SetTestMode(true);
    dlg.Load();
    SelectRows(dlg, {0, 1}); // records 12 and 11
    dlg.accept();
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    const std::string strExpected = CommandLineTestMerge(kSample, "--where ID 'Greater than' 10");
    ASSERT_FALSE(strExpected.empty());
    EXPECT_EQ(dlg.TestResults(), strExpected);
}

TEST_F(ChooseRecipientsTest, ASendListsTheRefusedRecipientAndDeliversTheRest)
{
    CSmtpTestServer server("^pat@");
    ASSERT_FALSE(server.Server().empty()) << server.Error();
    CChooseRecipientsDlg dlg(m_doc, Input(server.Server()));
    dlg.Load();
    dlg.OnSelectAll();
    dlg.accept();
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(m_prompter.TakeTexts(),
        Texts {"There was an error sending one or more messages to the following "
               "addresses:\r\n\r\npat@example.org\r\n"});
    EXPECT_EQ(server.Messages().size(), 11u);
    EXPECT_EQ(dlg.SendSummary(), "11 messages sent; 1 failed.");
}

TEST_F(ChooseRecipientsTest, AFaultInEveryRecordShowsOnce)
{
    CMergeRun::SInput input = Input();
    input.strTemplate = "{IF \"<<City>>\" \"Resembles\" \"x\" THEN \"a\" ELSE \"b\" \"CASENO\"}";
    CChooseRecipientsDlg dlg(m_doc, input);
    dlg.SetTestMode(true);
    dlg.Load();
    SelectRows(dlg, {0, 1, 2, 3, 4});
    dlg.accept();
    EXPECT_EQ(m_prompter.TakeTexts(), Texts {"Unknown comparison!"});
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
}

} // namespace
