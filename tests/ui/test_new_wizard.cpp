// The New merge wizard on the document's own connection: the checks of each page in order,
// the table and field lists, damaged and system-only databases, and going Back to change the
// file or the table.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QTemporaryDir>

#include "document/MergixDoc.h"
#include "support/RecordingPrompter.h"
#include "support/WidgetHelpers.h"
#include "ui/NewWizardSheetDlg.h"

namespace {

using Texts = std::vector<std::string>;
using EPage = CNewWizardSheetDlg::EPage;
const std::string kData = MERGIX_TESTS_DIR "/data/";

class NewWizardTest : public testing::Test
{
protected:
    void SetUp() override
    {
        m_wizard.show();
        m_wizard.restart();
    }
    void GoToTables(const std::string &strFile)
    {
        m_wizard.FileEdit()->setText(QString::fromStdString(strFile));
        m_wizard.next();
    }

    CRecordingPrompter m_prompter;
    CMergixDoc m_doc;
    CNewWizardSheetDlg m_wizard {m_doc};
};

TEST_F(NewWizardTest, TheFilePageNeedsAReadableFile)
{
    m_wizard.next();
    EXPECT_EQ(m_prompter.TakeTexts(), Texts {"Please specify the database file."});
    EXPECT_EQ(m_wizard.currentId(), EPage::FilePage);
    GoToTables("/nowhere/club.mdb");
    EXPECT_EQ(m_prompter.TakeTexts(), Texts {"The file:\n    /nowhere/club.mdb\nDoes not exist."});
    EXPECT_EQ(m_wizard.currentId(), EPage::FilePage);

    GoToTables(kData + "contacts.mdb");
    EXPECT_EQ(m_wizard.currentId(), EPage::TablePage);
    EXPECT_EQ(m_wizard.StatusText()->text(), QStringLiteral("Opening database..."));
    // Sorted; hidden and linked tables listed, system tables not; the first one chosen.
    EXPECT_EQ(Items(m_wizard.TableList()),
        (QStringList {QStringLiteral("Contacts"), QStringLiteral("Empty"),
            QStringLiteral("HiddenList"), QStringLiteral("LinkedPeople"),
            QStringLiteral("Orders")}));
    EXPECT_EQ(m_wizard.TableList()->currentItem()->text(), QStringLiteral("Contacts"));
    EXPECT_TRUE((m_doc.Source() != nullptr));
    m_wizard.back();
    EXPECT_TRUE(m_wizard.StatusText()->text().isEmpty());
}

TEST_F(NewWizardTest, DatabasesWithoutUsableTablesAreRefused)
{
    GoToTables(kData + "systemonly.mdb");
    EXPECT_EQ(m_wizard.TableList()->count(), 0);
    m_wizard.next();
    EXPECT_EQ(
        m_prompter.TakeTexts(), Texts {"Please select a table to use as the e-mail merge source"});
    EXPECT_EQ(m_wizard.currentId(), EPage::TablePage);

    // A file that is no database: the layer's message with the stop icon, an empty list.
    QTemporaryDir folder;
    const std::string strFake = folder.filePath(QStringLiteral("club.mdb")).toStdString();
    std::ofstream(strFake) << "Name,Email\nAda,ada@example.org\n";
    m_wizard.back();
    GoToTables(strFake);
    ASSERT_EQ(m_prompter.Entries().size(), 1u);
    EXPECT_EQ(m_prompter.Entries()[0].icon, CPrompter::EIcon::Stop);
    EXPECT_EQ(
        m_prompter.TakeTexts(), Texts {"\"" + strFake + "\" is not a Microsoft Access database."});
    EXPECT_EQ(m_wizard.TableList()->count(), 0);
    m_wizard.next();
    EXPECT_EQ(
        m_prompter.TakeTexts(), Texts {"Please select a table to use as the e-mail merge source"});

    // A damaged copy of a real database never hangs or crashes the wizard.
    const std::string strCut = folder.filePath(QStringLiteral("cut.mdb")).toStdString();
    std::filesystem::copy_file(kData + "contacts.mdb", strCut);
    std::filesystem::resize_file(strCut, 4096 * 3 + 100);
    m_wizard.back();
    GoToTables(strCut);
    EXPECT_EQ(m_prompter.TakeTexts(),
        Texts {"The database \"" + strCut + "\" is damaged and cannot be read."});
    EXPECT_EQ(m_wizard.TableList()->count(), 0);
}

TEST_F(NewWizardTest, FinishChecksTheHeaderInOrderAndBackReloads)
{
    GoToTables(kData + "contacts.mdb");
    m_wizard.next();
    ASSERT_EQ(m_wizard.currentId(), EPage::MessagePage);
    EXPECT_EQ(LabelsCutAtTheSmallestSize(m_wizard), "");
    m_wizard.resize(m_wizard.sizeHint());
    const QStringList fields = Items(m_wizard.ToCombo());
    ASSERT_GE(fields.size(), 4);
    EXPECT_EQ(fields.mid(0, 4),
        (QStringList {QStringLiteral("ID"), QStringLiteral("FirstName"), QStringLiteral("LastName"),
            QStringLiteral("Email")}));

    const Texts kMessages
        = {"Please enter the \"From\" name ", "Please enter the \"From\" e-mail address",
            "Please choose the field of the database that contains the e-mail address",
            "Please enter the Reply-To address", "Please enter the subject of the message"};
    const std::function<void()> fill[] = {
        [&] { m_wizard.FromNameEdit()->setText(QStringLiteral("Club")); },
        [&] { m_wizard.FromAddressEdit()->setText(QStringLiteral("club@example.com")); },
        [&] { m_wizard.ToCombo()->setCurrentIndex(3); },
        [&] { m_wizard.ReplyToEdit()->setText(QStringLiteral(" ")); }, // blanks pass
        [&] { m_wizard.SubjectEdit()->setText(QStringLiteral("News")); },
    };
    for (size_t i = 0; i < kMessages.size(); ++i) {
        EXPECT_FALSE(m_wizard.validateCurrentPage());
        EXPECT_EQ(m_prompter.TakeTexts(), Texts {kMessages[i]});
        fill[i]();
    }

    // Back to another table, then to another file: the lists and the connection follow.
    m_wizard.back();
    m_wizard.TableList()->setCurrentRow(4); // Orders
    m_wizard.next();
    EXPECT_EQ(Items(m_wizard.ToCombo()).value(1), QStringLiteral("ContactID"));
    EXPECT_EQ(m_doc.OpenTableName(), "Orders");
    m_wizard.back();
    m_wizard.back();
    GoToTables(kData + "linked.mdb");
    EXPECT_EQ(Items(m_wizard.TableList()), QStringList {QStringLiteral("People")});
    m_wizard.next();
    EXPECT_EQ(
        Items(m_wizard.ToCombo()), (QStringList {QStringLiteral("Name"), QStringLiteral("Email")}));
    m_wizard.ToCombo()->setCurrentIndex(1);
    EXPECT_TRUE(m_wizard.validateCurrentPage());
    const SWizardResult &result = m_wizard.Result();
    EXPECT_EQ(result.strDatabasePath, kData + "linked.mdb");
    EXPECT_EQ(result.strTableName, "People");
    EXPECT_EQ(result.strToField, "Email");
    EXPECT_EQ(result.strSenderName, "Club");
    EXPECT_EQ(result.strReplyTo, " ");
    EXPECT_EQ(m_doc.Source()->Path(), kData + "linked.mdb");
    EXPECT_EQ(m_doc.OpenTableName(), "People");
}

TEST_F(NewWizardTest, ACsvFileIsOneTableNamedAfterItAndAnSqliteDatabaseListsItsTables)
{
    GoToTables(kData + "contacts.csv");
    ASSERT_EQ(m_wizard.currentId(), EPage::TablePage);
    EXPECT_EQ(Items(m_wizard.TableList()), QStringList {QStringLiteral("contacts")});
    m_wizard.next();
    const QStringList fields = Items(m_wizard.ToCombo());
    EXPECT_EQ(fields.mid(0, 4),
        (QStringList {QStringLiteral("ID"), QStringLiteral("FirstName"), QStringLiteral("LastName"),
            QStringLiteral("Email")}));
    m_wizard.back();
    m_wizard.back();

    // A database's own tables in its own order, the first one chosen.
    GoToTables(kData + "contacts.sqlite");
    EXPECT_EQ(Items(m_wizard.TableList()),
        (QStringList {QStringLiteral("Contacts"), QStringLiteral("Adults"),
            QStringLiteral("Odd \"quoted\" name")}));
    EXPECT_EQ(m_wizard.TableList()->currentRow(), 0);
    m_wizard.TableList()->setCurrentRow(1);
    m_wizard.next();
    EXPECT_EQ(Items(m_wizard.ToCombo()),
        (QStringList {
            QStringLiteral("FirstName"), QStringLiteral("Email"), QStringLiteral("Age")}));
    EXPECT_EQ(m_wizard.Result().strTableName, "Adults");
    m_wizard.back();
    m_wizard.back();

    // A workbook's sheets, the hidden ones marked; the sheet's own name is what is kept.
    GoToTables(kData + "sheet-tricky.xlsx");
    EXPECT_EQ(Items(m_wizard.TableList()),
        (QStringList {QStringLiteral("Members"), QStringLiteral("Secret (hidden)"),
            QStringLiteral("Internal (hidden)"), QStringLiteral("Blank")}));
    EXPECT_EQ(m_wizard.TableList()->currentItem()->text(), QStringLiteral("Members"));
    m_wizard.TableList()->setCurrentRow(1);
    m_wizard.next();
    EXPECT_EQ(m_wizard.Result().strTableName, "Secret");
    EXPECT_TRUE(m_prompter.TakeTexts().empty());
}

} // namespace
