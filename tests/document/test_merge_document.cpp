// The merge document: its .mgx file, its connection to the table and the controls it fills.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <QString>

#include "app/CommandDispatcher.h"
#include "document/DocumentControls.h"
#include "document/MergixDoc.h"
#include "document/MgxArchive.h"
#include "engine/Progress.h"
#include "sources/access/DaoException.h"
#include "support/RecordingPrompter.h"

namespace {

namespace fs = std::filesystem;
using Texts = std::vector<std::string>;

const std::string kData = MERGIX_TESTS_DIR "/data/";

class CFakeControls final : public CDocumentControls
{
public:
    void SetToFieldList(const std::vector<std::string> &names) override
    {
        m_toList = names;
        std::sort(m_toList.begin(), m_toList.end()); // the list keeps its items sorted
        m_strSelected.clear();
        ++m_nListFills;
    }
    void SelectToField(const std::string &strName) override
    {
        m_strSelected.clear();
        for (const std::string &strItem : m_toList) {
            if (QString::fromStdString(strItem).compare(
                    QString::fromStdString(strName), Qt::CaseInsensitive)
                == 0)
                m_strSelected = strItem;
        }
    }
    std::string SelectedToField() const override { return m_strSelected; }
    std::string From() const override { return m_strFrom; }
    void SetFrom(const std::string &s) override { m_strFrom = s; }
    std::string Subject() const override { return m_strSubject; }
    void SetSubject(const std::string &s) override { m_strSubject = s; }
    std::string ReplyTo() const override { return m_strReplyTo; }
    void SetReplyTo(const std::string &s) override { m_strReplyTo = s; }
    std::string Body() const override { return m_strBody; }
    void SetBody(const std::string &s) override { m_strBody = s; }
    std::string FormattedBody() const override { return m_strFormattedBody; }
    void SetFormattedBody(const std::string &s) override { m_strFormattedBody = s; }
    SMessageExtras Extras() const override { return m_extras; }
    void SetExtras(const SMessageExtras &extras) override { m_extras = extras; }

    std::vector<std::string> m_toList;
    SMessageExtras m_extras;
    std::string m_strSelected, m_strFrom, m_strSubject, m_strReplyTo, m_strBody, m_strFormattedBody;
    int m_nListFills = 0;
};

// Records what an operation showed in its progress window.
struct SProgressLog
{
    Texts texts;
    std::vector<int> positions;
    int nOpen = 0;
};

class CRecordingProgress final : public CProgress
{
public:
    explicit CRecordingProgress(SProgressLog &log) : m_log(log) { }
    void Create() override { ++m_log.nOpen; }
    void SetCaption(const std::string &) override { }
    void SetStatusText(const std::string &s) override { m_log.texts.push_back(s); }
    void SetBarRange(int, int) override { }
    int SetBarPos(int n) override
    {
        m_log.positions.push_back(n);
        return 0;
    }
    int SetBarStep(int) override { return 0; }
    int StepBar() override { return 0; }
    bool CheckCancel() override { return false; }
    void DestroyWindow() override { --m_log.nOpen; }

private:
    SProgressLog &m_log;
};

std::string MgxBytes(const std::vector<std::string> &strings)
{
    CMgxArchive archive;
    for (const std::string &s : strings)
        archive.WriteString(s);
    return archive.Bytes();
}

std::string ReadFile(const fs::path &path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteFile(const fs::path &path, const std::string &strBytes)
{
    std::ofstream(path, std::ios::binary).write(strBytes.data(), std::streamsize(strBytes.size()));
}

class MergeDocumentTest : public testing::Test
{
protected:
    void SetUp() override
    {
        m_folder = fs::temp_directory_path() / ("mergix-doc-" + std::to_string(::getpid()));
        fs::create_directories(m_folder);
        m_doc.SetControls(&m_controls);
        m_doc.SetProgressFactory([this] { return std::make_unique<CRecordingProgress>(m_log); });
    }
    void TearDown() override { fs::remove_all(m_folder); }

    // A merge file on the contacts fixture, in the file's order of strings.
    fs::path WriteMerge(const std::string &strName, const std::string &strDatabase,
        const std::string &strTable, const std::string &strToField = "email")
    {
        const fs::path path = m_folder / strName;
        WriteFile(path,
            MgxBytes({strDatabase, strToField, "Jane Roe <jane@example.com>", "replies@example.com",
                "Hello <<FirstName>>", strTable, "Dear <<FirstName>>,\r\nbye"}));
        return path;
    }

    fs::path m_folder;
    CRecordingPrompter m_prompter;
    CFakeControls m_controls;
    SProgressLog m_log;
    CMergixDoc m_doc;
};

TEST_F(MergeDocumentTest, OpeningReadsTheFileConnectsAndFillsTheControls)
{
    const fs::path path = WriteMerge("a.mgx", kData + "contacts.mdb", "Contacts");
    ASSERT_TRUE(m_doc.OnOpenDocument(path.string()));
    EXPECT_TRUE(m_prompter.Entries().empty());
    EXPECT_TRUE(m_doc.IsConnectionOpen());
    EXPECT_TRUE(m_doc.m_bDatabaseReady);
    EXPECT_FALSE(m_doc.IsModified());
    EXPECT_EQ(m_doc.m_strTableName, "Contacts");
    // The field list keeps the table's order; the To list sorts it.
    ASSERT_EQ(m_doc.m_fieldNames.size(), 16u);
    EXPECT_EQ(m_doc.m_fieldNames[0], "ID");
    EXPECT_EQ(m_doc.m_fieldNames[15], "Amount");
    EXPECT_EQ(m_doc.m_fieldTypes[15], 20);
    EXPECT_EQ(m_controls.m_toList.front(), "Active");
    EXPECT_EQ(m_controls.m_strSelected, "Email"); // chosen ignoring letter case
    EXPECT_EQ(m_controls.m_strFrom, "Jane Roe <jane@example.com>");
    EXPECT_EQ(m_controls.m_strSubject, "Hello <<FirstName>>");
    EXPECT_EQ(m_controls.m_strReplyTo, "replies@example.com");
    EXPECT_EQ(m_controls.m_strBody, "Dear <<FirstName>>,\r\nbye");
    EXPECT_EQ(m_log.texts, (Texts {"Opening database file...", "Refreshing document data..."}));
    EXPECT_EQ(m_log.positions, (std::vector<int> {0, 33, 66, 100}));
    EXPECT_EQ(m_log.nOpen, 0);

    // Saving stores the list item's own spelling and the controls' values.
    m_controls.m_strSubject = "Changed";
    m_doc.SetModifiedFlag();
    const fs::path copy = m_folder / "b.mgx";
    ASSERT_TRUE(m_doc.OnSaveDocument(copy.string()));
    EXPECT_FALSE(m_doc.IsModified());
    EXPECT_EQ(ReadFile(copy),
        MgxBytes({kData + "contacts.mdb", "Email", "Jane Roe <jane@example.com>",
            "replies@example.com", "Changed", "Contacts", "Dear <<FirstName>>,\r\nbye"}));
}

TEST_F(MergeDocumentTest, FileFormEdgeCases)
{
    // Seven empty settings are seven zero bytes.
    const fs::path empty = m_folder / "empty.mgx";
    ASSERT_TRUE(m_doc.OnSaveDocument(empty.string()));
    EXPECT_EQ(ReadFile(empty), std::string(7, '\0'));

    // A relative database path is taken from the merge file's folder; bytes after the seventh
    // string are ignored.
    fs::copy_file(kData + "contacts.mdb", m_folder / "contacts.mdb");
    const fs::path relative = WriteMerge("relative.mgx", "contacts.mdb", "Orders");
    WriteFile(relative, ReadFile(relative) + "trailing bytes");
    ASSERT_TRUE(m_doc.OnOpenDocument(relative.string()));
    EXPECT_EQ(m_doc.m_strDatabasePath, "contacts.mdb");
    EXPECT_EQ(m_doc.m_fieldNames.size(), 7u);

    // A zero-byte file changes no setting and reconnects from the settings.
    const fs::path zero = m_folder / "zero.mgx";
    WriteFile(zero, "");
    m_doc.m_strTableName = "Empty";
    ASSERT_TRUE(m_doc.OnOpenDocument(zero.string()));
    EXPECT_TRUE(m_prompter.Entries().empty());
    EXPECT_EQ(m_doc.m_strTableName, "Empty");
    EXPECT_EQ(m_doc.m_fieldNames, (Texts {"Key", "Label"}));
}

TEST_F(MergeDocumentTest, CopiesAndAttachmentsLiveInTheVersionedBlock)
{
    fs::copy_file(kData + "contacts.mdb", m_folder / "contacts.mdb");
    const fs::path path = WriteMerge("extras.mgx", "contacts.mdb", "Orders", "Product");
    const std::string strSeven = ReadFile(path);
    ASSERT_TRUE(m_doc.OnOpenDocument(path.string()));
    EXPECT_TRUE(m_doc.m_extras.IsEmpty());

    // Saved with the new properties: the seven strings as before, then the block.
    const SMessageExtras extras {"<<email>>, office@example.com", "archive@example.com",
        {"programme.pdf", "invoices/<<Key>>.pdf"}};
    m_controls.SetExtras(extras);
    ASSERT_TRUE(m_doc.OnSaveDocument(path.string()));
    const std::string strSaved = ReadFile(path);
    ASSERT_EQ(strSaved.substr(0, strSeven.size()), strSeven);
    CMgxArchive block(std::string_view(strSaved).substr(strSeven.size()));
    EXPECT_EQ(block.ReadString(), "Mergix properties");
    EXPECT_EQ(block.ReadString(), "1");

    m_controls.SetExtras({});
    ASSERT_TRUE(m_doc.OnOpenDocument(path.string()));
    EXPECT_EQ(m_doc.m_extras, extras);
    EXPECT_EQ(m_controls.m_extras, extras);

    // A property of a later release of the same version is kept and written back.
    std::string strLater = MgxBytes(
        {"Mergix properties", "1", "2", "Cc", "a@example.com", "Some later setting", "its value"});
    WriteFile(path, strSeven + strLater);
    ASSERT_TRUE(m_doc.OnOpenDocument(path.string()));
    EXPECT_EQ(m_doc.m_extras.strCc, "a@example.com");
    ASSERT_TRUE(m_doc.OnSaveDocument(path.string()));
    EXPECT_EQ(ReadFile(path), strSeven + strLater);

    // Emptied again: exactly the seven strings.
    WriteFile(path, strSeven);
    ASSERT_TRUE(m_doc.OnOpenDocument(path.string()));
    ASSERT_TRUE(m_doc.OnSaveDocument(path.string()));
    EXPECT_EQ(ReadFile(path), strSeven);

    // A newer version is refused with a message and leaves the open merge as it was; a block
    // cut short is a damaged file.
    m_controls.SetExtras(extras);
    m_doc.UpdateDocumentFromControls();
    WriteFile(path, strSeven + MgxBytes({"Mergix properties", "2", "1", "Cc", "b@example.com"}));
    EXPECT_FALSE(m_doc.OnOpenDocument(path.string()));
    EXPECT_EQ(m_prompter.TakeTexts(),
        Texts {"This merge file was saved by a newer version of Mergix, which stores settings "
               "this version does not know. Please open it with that version."});
    EXPECT_EQ(m_doc.m_extras, extras);
    WriteFile(path, strSeven + MgxBytes({"Mergix properties", "1", "3", "Cc"}));
    EXPECT_FALSE(m_doc.OnOpenDocument(path.string()));
    EXPECT_EQ(m_prompter.TakeTexts(), Texts {"Unexpected file format."});
    EXPECT_EQ(m_doc.m_extras, extras);
}

TEST_F(MergeDocumentTest, AFormattedBodyTravelsBesideItsPlainTwin)
{
    fs::copy_file(kData + "contacts.mdb", m_folder / "contacts.mdb");
    const fs::path path = WriteMerge("formatted.mgx", "contacts.mdb", "Orders", "Product");
    const std::string strSeven = ReadFile(path);
    ASSERT_TRUE(m_doc.OnOpenDocument(path.string()));
    EXPECT_EQ(m_controls.m_strFormattedBody, "");

    // The seven strings keep the plain twin, so an older reader still gets the words.
    const std::string strHtml = "<p><b>Dear</b> &lt;&lt;FirstName&gt;&gt;,</p><p>bye</p>";
    m_controls.SetFormattedBody(strHtml);
    ASSERT_TRUE(m_doc.OnSaveDocument(path.string()));
    const std::string strSaved = ReadFile(path);
    ASSERT_EQ(strSaved.substr(0, strSeven.size()), strSeven);
    CMgxArchive block(std::string_view(strSaved).substr(strSeven.size()));
    EXPECT_EQ(block.ReadString(), "Mergix properties");
    EXPECT_EQ(block.ReadString(), "1");
    EXPECT_EQ(block.ReadString(), "1");
    EXPECT_EQ(block.ReadString(), "FormattedBody");
    EXPECT_TRUE(block.ReadString().ends_with("\n" + strHtml));

    m_controls.SetFormattedBody({});
    ASSERT_TRUE(m_doc.OnOpenDocument(path.string()));
    EXPECT_EQ(m_doc.m_strFormattedBody, strHtml);
    EXPECT_EQ(m_controls.m_strFormattedBody, strHtml);

    // A version without formatting changed the words and carried the HTML along: the words it
    // saved win, and the stale formatting is not written back.
    std::string strEdited = MgxBytes({"contacts.mdb", "Product", "Jane Roe <jane@example.com>",
        "replies@example.com", "Hello <<FirstName>>", "Orders", "Dear <<FirstName>>,\r\nsee you"});
    WriteFile(path, strEdited + strSaved.substr(strSeven.size()));
    ASSERT_TRUE(m_doc.OnOpenDocument(path.string()));
    EXPECT_EQ(m_doc.m_strBody, "Dear <<FirstName>>,\r\nsee you");
    EXPECT_EQ(m_doc.m_strFormattedBody, "");
    EXPECT_EQ(m_controls.m_strFormattedBody, "");
    ASSERT_TRUE(m_doc.OnSaveDocument(path.string()));
    EXPECT_EQ(ReadFile(path), strEdited);
}

TEST_F(MergeDocumentTest, ShortOrMissingFilesAreReportedAndChangeNothing)
{
    const fs::path good = WriteMerge("good.mgx", kData + "contacts.mdb", "Orders");
    ASSERT_TRUE(m_doc.OnOpenDocument(good.string()));

    // Cut inside the fourth string: none of its settings is taken.
    const std::string strShort
        = MgxBytes({kData + "linked.mdb", "Name", "Other <o@example.com>"}) + "\x10" + "cut";
    const fs::path shortFile = m_folder / "short.mgx";
    WriteFile(shortFile, strShort);
    EXPECT_FALSE(m_doc.OnOpenDocument(shortFile.string()));
    EXPECT_EQ(m_prompter.TakeTexts(), Texts {"Unexpected file format."});
    EXPECT_FALSE(m_doc.IsModified());
    EXPECT_EQ(m_doc.m_strDatabasePath, kData + "contacts.mdb");
    EXPECT_EQ(m_doc.m_strFrom, "Jane Roe <jane@example.com>");
    EXPECT_EQ(m_doc.m_strTableName, "Orders");
    EXPECT_TRUE(m_doc.IsConnectionOpen());
    EXPECT_EQ(m_doc.Source()->Path(), kData + "contacts.mdb");

    EXPECT_FALSE(m_doc.OnOpenDocument((m_folder / "missing.mgx").string()));
    EXPECT_EQ(
        m_prompter.TakeTexts(), Texts {(m_folder / "missing.mgx").string() + " was not found."});
    EXPECT_FALSE(m_doc.OnOpenDocument(m_folder.string()));
    EXPECT_EQ(m_prompter.TakeTexts(), Texts {"Failed to open document."});
    EXPECT_TRUE(m_doc.IsConnectionOpen());
}

TEST_F(MergeDocumentTest, AMergeWhoseTableOrDatabaseIsMissingLeavesTheOpenOneAsItWas)
{
    const fs::path good = WriteMerge("good.mgx", kData + "contacts.mdb", "Orders", "Product");
    const std::string strGood = ReadFile(good);
    ASSERT_TRUE(m_doc.OnOpenDocument(good.string()));
    m_doc.SetPathName(good.string());

    const fs::path gone = WriteMerge("gone.mgx", kData + "linked.mdb", "Gone");
    EXPECT_THROW(
        {
            try {
                m_doc.OnOpenDocument(gone.string());
            } catch (const CDaoException &error) {
                EXPECT_EQ(error.Description(),
                    "The table \"Gone\" does not exist in the database \"" + kData
                        + "linked.mdb\".");
                throw;
            }
        },
        CDaoException);
    const auto expectAsBefore = [&] {
        EXPECT_EQ(m_doc.Source()->Path(), kData + "contacts.mdb");
        EXPECT_TRUE((m_doc.Table() != nullptr));
        EXPECT_TRUE(m_doc.m_bDatabaseReady);
        EXPECT_EQ(m_doc.m_strDatabasePath, kData + "contacts.mdb");
        EXPECT_EQ(m_doc.m_strTableName, "Orders");
        EXPECT_EQ(m_doc.m_fieldNames.size(), 7u);
        EXPECT_EQ(m_controls.m_strSubject, "Hello <<FirstName>>");
        EXPECT_FALSE(m_doc.IsModified());
    };
    expectAsBefore();

    // Run as a command, the failure is shown with the stop icon and goes no further.
    const fs::path noDatabase = WriteMerge("nodb.mgx", (m_folder / "nothing.mdb").string(), "T");
    EXPECT_FALSE(RunCommand([&] { m_doc.OnOpenDocument(noDatabase.string()); }));
    ASSERT_EQ(m_prompter.Entries().size(), 1u);
    EXPECT_EQ(m_prompter.Entries()[0].icon, CPrompter::EIcon::Stop);
    EXPECT_EQ(m_prompter.TakeTexts(),
        Texts {"The database file \"" + (m_folder / "nothing.mdb").string() + "\" was not found."});
    expectAsBefore();
    EXPECT_EQ(m_log.nOpen, 0);

    // Saved after both, the merge is its own, with only the change made to it.
    m_controls.m_strSubject = "Hello again";
    m_doc.SetModifiedFlag(true);
    ASSERT_TRUE(m_doc.OnSaveDocument(good.string()));
    std::string strExpected = strGood;
    const size_t nAt = strExpected.find("Hello <<FirstName>>");
    ASSERT_NE(nAt, std::string::npos);
    strExpected.replace(nAt - 1, 20, std::string(1, char(11)) + "Hello again");
    EXPECT_EQ(ReadFile(good), strExpected);
}

TEST_F(MergeDocumentTest, SavingFailuresLeaveTheOldFile)
{
    const fs::path folderTarget = m_folder / "a-folder.mgx";
    fs::create_directories(folderTarget);
    EXPECT_FALSE(m_doc.OnSaveDocument(folderTarget.string()));
    EXPECT_EQ(m_prompter.TakeTexts().size(), 1u);
    EXPECT_TRUE(fs::is_directory(folderTarget));

    EXPECT_FALSE(m_doc.OnSaveDocument((m_folder / "no" / "such" / "x.mgx").string()));
    EXPECT_EQ(m_prompter.TakeTexts().size(), 1u);

    const fs::path existing = m_folder / "existing.mgx";
    m_doc.m_strSubject = "first";
    ASSERT_TRUE(m_doc.OnSaveDocument(existing.string()));
    const std::string strFirst = ReadFile(existing);
    m_controls.m_strSubject = "second";
    ASSERT_TRUE(m_doc.OnSaveDocument(existing.string()));
    EXPECT_NE(ReadFile(existing), strFirst);
    EXPECT_EQ(std::distance(fs::directory_iterator(m_folder), fs::directory_iterator()), 2);
}

TEST_F(MergeDocumentTest, TablesAndFieldsForTheWizard)
{
    m_doc.OpenSource(kData + "contacts.mdb");
    EXPECT_EQ(
        m_doc.ListTables(), (Texts {"Contacts", "Orders", "Empty", "HiddenList", "LinkedPeople"}));
    m_doc.OpenTableRecordset("HiddenList");
    EXPECT_EQ(m_doc.ListFields(), (Texts {"Name", "Email"}));
    m_doc.OpenSource(kData + "systemonly.mdb");
    EXPECT_TRUE(m_doc.ListTables().empty());
}

TEST_F(MergeDocumentTest, RefreshRebuildsTheFieldListButNotTheControls)
{
    const fs::path good = WriteMerge("good.mgx", kData + "contacts.mdb", "Orders");
    ASSERT_TRUE(m_doc.OnOpenDocument(good.string()));
    const int nFills = m_controls.m_nListFills;
    m_log = {};
    m_doc.m_fieldNames.clear();
    m_doc.RefreshDatabase();
    EXPECT_EQ(m_doc.m_fieldNames.size(), 7u);
    EXPECT_EQ(m_controls.m_nListFills, nFills);
    EXPECT_EQ(m_log.texts,
        (Texts {"Closing database...", "Reopening database...", "Refreshing document data..."}));
    EXPECT_EQ(m_log.positions, (std::vector<int> {0, 33, 66, 100}));

    m_doc.m_strTableName = "Vanished";
    EXPECT_THROW(m_doc.RefreshDatabase(), CDaoException);
    EXPECT_FALSE((m_doc.Table() != nullptr));
    EXPECT_TRUE((m_doc.Source() != nullptr));
    EXPECT_FALSE(m_doc.IsConnectionOpen());

    // A database deleted since the merge was opened is reported as not found, as File > Open
    // reports it.
    const fs::path copy = m_folder / "deleted.mdb";
    fs::copy_file(kData + "contacts.mdb", copy);
    ASSERT_TRUE(m_doc.OnOpenDocument(WriteMerge("deleted.mgx", copy.string(), "Orders").string()));
    fs::remove(copy);
    try {
        m_doc.RefreshDatabase();
        ADD_FAILURE() << "refreshed a deleted database";
    } catch (const CDaoException &error) {
        EXPECT_EQ(
            error.Description(), "The database file \"" + copy.string() + "\" was not found.");
    }
}

TEST_F(MergeDocumentTest, RefreshReadsAnEditedCsvFileAgain)
{
    const fs::path list = m_folder / "club.csv";
    std::ofstream(list) << "Name,Email\nAda,ada@example.org\n";
    ASSERT_TRUE(m_doc.OnOpenDocument(WriteMerge("club.mgx", "club.csv", "club").string()));
    EXPECT_EQ(m_doc.Table()->GetRecordCount(), 1);
    // Edited in a spreadsheet program meanwhile: a row and a column more.
    std::ofstream(list) << "Name,Email,City\nAda,ada@example.org,Bath\nBo,bo@example.org,Ely\n";
    m_doc.RefreshDatabase();
    EXPECT_EQ(m_doc.Table()->GetRecordCount(), 2);
    EXPECT_EQ(m_doc.m_fieldNames, (Texts {"Name", "Email", "City"}));

    // A list that went bad is reported; the merge is kept.
    std::ofstream(list) << "Name,Email\nAda,ada@example.org,extra,cells\n";
    EXPECT_THROW(m_doc.RefreshDatabase(), CDaoException);
    EXPECT_EQ(m_doc.m_strDatabasePath, "club.csv");
}

TEST_F(MergeDocumentTest, NewMergeFromTheWizardAndCancelledChoices)
{
    int nChoice = 2;
    std::optional<SWizardResult> wizard;
    m_doc.SetHooks({[&] { return nChoice; }, [] { return std::optional<std::string>(); },
        [&] {
            if (wizard) { // the wizard opens the database and table itself
                m_doc.OpenSource(wizard->strDatabasePath);
                m_doc.OpenTableRecordset(wizard->strTableName);
            }
            return wizard;
        }});
    // Cancelling the start-up choice leaves an unconfigured merge.
    EXPECT_TRUE(m_doc.OnNewDocument());
    EXPECT_FALSE(m_doc.m_bDatabaseReady);
    EXPECT_FALSE(m_doc.m_bFirstNew);

    wizard = SWizardResult {kData + "contacts.mdb", "Orders", "ContactID", "", "me@example.com",
        "Subject", "reply@example.com"};
    m_doc.m_strBody = "old body";
    m_doc.m_strFormattedBody = "<p><b>old</b> body</p>";
    EXPECT_TRUE(m_doc.OnNewDocument());
    EXPECT_TRUE(m_doc.m_bDatabaseReady);
    EXPECT_EQ(m_doc.m_strFormattedBody, "");
    EXPECT_EQ(m_controls.m_strFormattedBody, "");
    EXPECT_EQ(m_doc.m_strFrom, " <me@example.com>");
    EXPECT_EQ(m_doc.m_strBody, "");
    EXPECT_EQ(m_controls.m_strSelected, "ContactID");
    EXPECT_EQ(m_controls.m_strFrom, " <me@example.com>");

    EXPECT_EQ(m_doc.GetPathName(), "");

    // A cancelled wizard later gives the merge back as it was on screen, still named by its file
    // and still marked as changed.
    m_doc.SetPathName("/merges/orders.mgx");
    m_controls.m_strSubject = "unsaved edit";
    m_doc.SetModifiedFlag(true);
    wizard.reset();
    EXPECT_TRUE(m_doc.OnNewDocument());
    EXPECT_TRUE(m_doc.IsConnectionOpen());
    EXPECT_EQ(m_doc.OpenTableName(), "Orders");
    EXPECT_EQ(m_controls.m_strSubject, "unsaved edit");
    EXPECT_EQ(m_controls.m_strSelected, "ContactID");
    EXPECT_EQ(m_doc.GetPathName(), "/merges/orders.mgx");
    EXPECT_TRUE(m_doc.IsModified());

    // Declining the start-up choice, or the file to open, keeps an open merge as it is.
    for (const int nDeclined : {2, 1}) {
        m_doc.m_bFirstNew = true;
        nChoice = nDeclined;
        EXPECT_TRUE(m_doc.OnNewDocument());
        EXPECT_TRUE(m_doc.m_bDatabaseReady);
        EXPECT_TRUE(m_doc.IsConnectionOpen());
        EXPECT_EQ(m_doc.GetPathName(), "/merges/orders.mgx");
        EXPECT_TRUE(m_doc.IsModified());
        EXPECT_EQ(m_controls.m_strSubject, "unsaved edit");
    }
    nChoice = 0;

    // A finished wizard makes a new merge that no file holds yet.
    wizard = SWizardResult {kData + "contacts.mdb", "Orders", "ContactID", "", "me@example.com",
        "Subject", "reply@example.com"};
    EXPECT_TRUE(m_doc.OnNewDocument());
    EXPECT_EQ(m_doc.GetPathName(), "");
}

} // namespace
