// The send journal: what a run records, resuming only the rest, identities, damaged and
// unwritable journals, the questions of the windows, the rate limit on a clock of the test's
// own, and the list of failed recipients.
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <thread>

#include <QJsonArray>
#include <QTemporaryDir>
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "engine/Data.h"
#include "mail/JournalPath.h"
#include "mail/MergeRun.h"
#include "mail/RecipientIdentity.h"
#include "mail/RecordList.h"
#include "mail/ResumeMatch.h"
#include "mail/RunClock.h"
#include "mail/SendJournal.h"
#include "mail/SendPlan.h"
#include "support/FakeRunClock.h"
#include "support/RecordingPrompter.h"
#include "support/ScriptedProgress.h"
#include "support/SmtpTestServer.h"

namespace {

namespace fs = std::filesystem;
using EOutcome = CMergeRun::EOutcome;
using EAnswer = CPrompter::EAnswer;

std::map<QString, int> CountByRecipient(const std::vector<QJsonObject> &messages)
{
    std::map<QString, int> counts;
    for (const QJsonObject &message : messages)
        ++counts[message.value(QStringLiteral("rcpt_tos")).toArray().at(0).toString()];
    return counts;
}

class JournalTest : public testing::Test
{
protected:
    void SetUp() override
    {
        m_strJournal = m_folder.filePath(QStringLiteral("club.mgx.journal")).toStdString();
        m_list.SetColumns({"Name", "Email"});
        for (const char *pName : {"ann", "bob", "reject.cy", "dan", "reject.eve", "fay"})
            m_list.AddRecord({pName, std::string(pName) + "@example.org"});
        m_input.pList = &m_list;
        m_input.fields = {{"Name", "Email"}, {dbText, dbText}};
        m_input.strToField = "Email";
        m_input.strTemplate = "Dear <<Name>>";
        m_input.strFrom = "Club <club@example.com>";
        m_input.strReplyTo = "replies@example.com";
        m_input.strSubject = "News";
        m_input.bInteractive = false;
    }

    EOutcome Send(const CSmtpTestServer &server, CSendJournal *pJournal, const SSendPlan &plan)
    {
        m_input.serverName = [strServer = server.Server()] {
            return strServer;
        };
        m_input.pJournal = pJournal;
        m_input.earlier = plan.earlier;
        m_input.completed = plan.completed;
        m_input.journalRun.resumes = plan.resumes;
        m_list.SelectAll();
        return m_run.Run(m_input, m_progress);
    }

    QTemporaryDir m_folder;
    std::string m_strJournal;
    CRecordingPrompter m_prompter;
    CScriptedProgress m_progress;
    CRecordList m_list;
    CMergeRun::SInput m_input;
    CMergeRun m_run;
};

TEST(ResumeMatchTest, AddressesDecideWhatIdentitiesNoLongerMatch)
{
    // The earlier run: "a" and "b" delivered to ann (two records share her address), "c" to
    // bob, "d" in doubt for cy.
    SEarlierRun earlier;
    earlier.doneIdentities = {"a", "b", "c"};
    earlier.doneAddresses
        = {{ResumeAddressKey("ann@example.com"), 2}, {ResumeAddressKey("bob@example.com"), 1}};
    earlier.leftOutIdentities = {"d"};
    earlier.leftOutAddresses = {{ResumeAddressKey("cy@example.com"), 1}};
    EXPECT_EQ(ResumeAddressKey("Bob <BOB@Example.com>"), ResumeAddressKey("bob@example.com"));

    using S = EResumeSkip;
    // Identities shown otherwise now: ann's two deliveries cover her two records, not a third.
    EXPECT_EQ(MatchEarlierRun({"a2", "b2", "x", "c2", "d2", "e"},
                  {"ann@example.com", "Ann <ANN@example.com>", "ann@example.com",
                      "Bob <bob@example.com>", "cy@example.com", "dee@example.com"},
                  earlier),
        (std::vector<S> {S::Done, S::Done, S::None, S::Done, S::LeftOut, S::None}));
    // A matching identity uses up its address's delivery first, wherever it stands.
    EXPECT_EQ(MatchEarlierRun({"new", "a", "b"},
                  {"ann@example.com", "ann@example.com", "ann@example.com"}, earlier),
        (std::vector<S> {S::None, S::Done, S::Done}));
    // Nothing earlier: everyone is sent.
    EXPECT_EQ(
        MatchEarlierRun({"a"}, {"ann@example.com"}, SEarlierRun()), (std::vector<S> {S::None}));
}

TEST_F(JournalTest, ARunIsRecordedAndTheResumeSendsOnlyTheRest)
{
    CSendJournal journal;
    std::string strMessage;
    std::optional<SSendPlan> plan
        = PlanSend(journal, m_strJournal, EResumeChoice::Refuse, false, strMessage);
    ASSERT_TRUE(plan && plan->bJournal) << strMessage;

    // A test merge writes nothing.
    m_input.bTestMode = true;
    m_input.pJournal = &journal;
    m_list.SelectAll();
    EXPECT_EQ(m_run.Run(m_input, m_progress), EOutcome::Completed);
    EXPECT_EQ(journal.LastRun(), std::nullopt);
    m_input.bTestMode = false;

    CSmtpTestServer refusing; // refuses the two "reject" addresses
    EXPECT_EQ(Send(refusing, &journal, *plan), EOutcome::Completed);
    std::optional<CSendJournal::SLastRun> last = journal.LastRun();
    ASSERT_TRUE(last);
    EXPECT_TRUE(last->bFinished);
    EXPECT_EQ(last->nTotal, 6u);
    EXPECT_EQ(last->nDone, 4u);
    EXPECT_FALSE(last->IsComplete());
    ASSERT_EQ(m_run.Failures().size(), 2u);
    EXPECT_EQ(m_run.Failures()[0].strReply, "550 5.1.1 Recipient refused");

    // Without a choice the command line is told how to choose; a resume leaves out the four.
    EXPECT_FALSE(PlanSend(journal, m_strJournal, EResumeChoice::Refuse, false, strMessage));
    EXPECT_EQ(strMessage,
        "The last send of this merge reached 4 of 6 recipients; 2 were refused. Give --resume to "
        "send only the remaining 2, or --again to send to every selected recipient again.");
    plan = PlanSend(journal, m_strJournal, EResumeChoice::Resume, false, strMessage);
    ASSERT_TRUE(plan);
    EXPECT_EQ(plan->earlier.doneIdentities.size(), 4u);
    CSmtpTestServer accepting("^nobody$");
    EXPECT_EQ(Send(accepting, &journal, *plan), EOutcome::Completed);
    EXPECT_EQ(m_run.Skipped(), 4u);
    EXPECT_EQ(CountByRecipient(accepting.Messages()),
        (std::map<QString, int> {{QStringLiteral("reject.cy@example.org"), 1},
            {QStringLiteral("reject.eve@example.org"), 1}}));
    last = journal.LastRun();
    EXPECT_TRUE(last && last->IsComplete());
    EXPECT_EQ(last->nDone, 6u); // the four carried over count as done

    // The table in another order, and one address changed: only that one is new.
    ASSERT_TRUE(PlanSend(journal, m_strJournal, EResumeChoice::Refuse, false, strMessage));
    CRecordList reordered;
    reordered.SetColumns({"Name", "Email"});
    for (int nRow = m_list.RowCount() - 1; nRow >= 0; --nRow)
        reordered.AddRecord({std::string(m_list.CellText(nRow, 0)),
            nRow == 1 ? std::string("bob@new.example.org")
                      : std::string(m_list.CellText(nRow, 1))});
    const std::set<std::string> done = journal.DoneIdentities(last->nRun);
    size_t nKnown = 0;
    for (int nRow = 0; nRow < reordered.RowCount(); ++nRow)
        nKnown += done.count(
            RecipientIdentity(std::string(reordered.CellText(nRow, 1)), reordered, nRow));
    EXPECT_EQ(nKnown, 5u);
}

std::string Bytes(const fs::path &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST_F(JournalTest, AJournalIsItsOwnersAloneAndNoOtherFileIsTouched)
{
    // A new journal and its log can be read by the user alone.
    {
        CSendJournal journal;
        ASSERT_EQ(journal.Open(m_strJournal), "");
        ASSERT_EQ(journal.BeginRun({}, {{"a", "ann@example.org"}}, {}), "");
        journal.SetState("a", CSendJournal::EState::Sent, "250 ok");
        EXPECT_EQ(fs::status(m_strJournal).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write);
        if (fs::exists(m_strJournal + "-wal")) {
            EXPECT_EQ(fs::status(m_strJournal + "-wal").permissions() & fs::perms::all,
                fs::perms::owner_read | fs::perms::owner_write);
        }
        journal.EndRun(true);
    }
    // So can the folder of the journals kept in the user's data folder.
    const fs::path dataJournal = JournalPathFor({}, "unsaved merge");
    EXPECT_EQ(
        fs::status(dataJournal.parent_path()).permissions() & fs::perms::all, fs::perms::owner_all);

    // Another SQLite file of the user's, reached through a link or lying where the journal
    // goes, is neither used nor changed (not even switched to WAL).
    const fs::path folder = m_folder.path().toStdString();
    const fs::path other = folder / "accounts.sqlite";
    sqlite3 *pDb = nullptr;
    ASSERT_EQ(sqlite3_open(other.c_str(), &pDb), SQLITE_OK);
    ASSERT_EQ(
        sqlite3_exec(pDb, "CREATE TABLE accounts(name TEXT); INSERT INTO accounts VALUES('x')",
            nullptr, nullptr, nullptr),
        SQLITE_OK);
    sqlite3_close(pDb);
    const std::string strOther = Bytes(other);
    fs::create_symlink(other, folder / "linked.mgx.journal");
    fs::create_symlink(folder / "missing.db", folder / "dangling.mgx.journal");
    fs::create_directory(folder / "folder.mgx.journal");
    for (const auto &[strName, strWhy] : std::vector<std::pair<std::string, std::string>> {
             {"linked.mgx.journal", " is a link"}, {"dangling.mgx.journal", " is a link"},
             {"folder.mgx.journal", " is not a regular file"}}) {
        CSendJournal journal;
        const std::string strPath = (folder / strName).string();
        EXPECT_EQ(journal.Open(strPath),
            "The send journal \"" + strPath + "\"" + strWhy
                + ", and a journal is only kept in a file of its own.");
        EXPECT_FALSE(journal.IsDamaged());
    }
    EXPECT_FALSE(fs::exists(folder / "missing.db"));
    fs::copy_file(other, folder / "copy.mgx.journal");
    CSendJournal journal;
    EXPECT_NE(
        journal.Open((folder / "copy.mgx.journal").string()).find("is damaged"), std::string::npos);
    EXPECT_EQ(Bytes(folder / "copy.mgx.journal"), strOther);
    EXPECT_EQ(Bytes(other), strOther);
}

// The number of rows a query on a closed journal counts.
int64_t CountRows(const std::string &strJournal, const char *pSql)
{
    sqlite3 *pDb = nullptr;
    int64_t nCount = -1;
    if (sqlite3_open_v2(strJournal.c_str(), &pDb, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt *pStatement = nullptr;
        if (sqlite3_prepare_v2(pDb, pSql, -1, &pStatement, nullptr) == SQLITE_OK
            && sqlite3_step(pStatement) == SQLITE_ROW)
            nCount = sqlite3_column_int64(pStatement, 0);
        sqlite3_finalize(pStatement);
    }
    sqlite3_close(pDb);
    return nCount;
}

TEST_F(JournalTest, AMergeSentEveryMonthKeepsAJournalOfTwoRuns)
{
    for (int nMonth = 1; nMonth <= 4; ++nMonth) {
        CSendJournal journal;
        ASSERT_EQ(journal.Open(m_strJournal), "");
        const std::optional<CSendJournal::SLastRun> last = journal.LastRun();
        ASSERT_EQ(last.has_value(), nMonth > 1);
        // The run before is whole however many came before it.
        if (last) {
            EXPECT_EQ(journal.DoneIdentities(last->nRun), (std::set<std::string> {"a", "b", "c"}));
        }
        // Each month one more recipient is carried over from the month before.
        const std::set<std::string> carried
            = nMonth == 1 ? std::set<std::string>() : std::set<std::string> {"a"};
        ASSERT_EQ(journal.BeginRun({},
                      {{"a", "ann@example.org"}, {"b", "bob@example.org"}, {"c", "cy@example.org"}},
                      carried),
            "");
        journal.SetState("b", CSendJournal::EState::Sent, "250 ok");
        journal.SetState("c", CSendJournal::EState::Sent, "250 ok");
        if (nMonth == 1)
            journal.SetState("a", CSendJournal::EState::Sent, "250 ok");
        journal.EndRun(true);
    }
    EXPECT_EQ(CountRows(m_strJournal, "SELECT COUNT(*) FROM runs"), 2);
    EXPECT_EQ(CountRows(m_strJournal, "SELECT COUNT(*) FROM recipients"), 6);
    EXPECT_EQ(CountRows(m_strJournal,
                  "SELECT COUNT(*) FROM recipients WHERE run NOT IN (SELECT id FROM runs)"),
        0);
}

TEST_F(JournalTest, ARunOfTheRemainingRowsAloneStillKnowsWhoHadTheMessage)
{
    // The windows continue a send with only the rows it has still to reach selected.
    CSendJournal journal;
    ASSERT_EQ(journal.Open(m_strJournal), "");
    ASSERT_EQ(journal.BeginRun({},
                  {{"a", "ann@example.org"}, {"b", "bob@example.org"}, {"c", "cy@example.org"},
                      {"d", "dan@example.org"}},
                  {}),
        "");
    journal.SetState("a", CSendJournal::EState::Sent, "250 ok");
    journal.SetState("b", CSendJournal::EState::Sent, "250 ok");
    journal.SetState("c", CSendJournal::EState::Failed, "550 no");
    journal.SetState("d", CSendJournal::EState::Sending);
    journal.EndRun(false);
    const std::optional<CSendJournal::SLastRun> first = journal.LastRun();
    ASSERT_TRUE(first);

    CSendJournal::SRunInfo info;
    info.resumes = first->nRun;
    ASSERT_EQ(journal.BeginRun(info, {{"c", "cy@example.org"}}, {}), "");
    journal.SetState("c", CSendJournal::EState::Failed, "550 still no");
    journal.EndRun(true);
    // The next send is asked about the whole list, not about cy alone.
    const std::optional<CSendJournal::SLastRun> last = journal.LastRun();
    ASSERT_TRUE(last);
    EXPECT_EQ(last->nTotal, 4u);
    EXPECT_EQ(last->nDone, 2u);
    EXPECT_EQ(last->nFailed, 1u);
    ASSERT_EQ(last->inDoubt.size(), 1u);
    EXPECT_EQ(last->inDoubt[0].strAddress, "dan@example.org");
    EXPECT_EQ(journal.DoneIdentities(last->nRun), (std::set<std::string> {"a", "b"}));
}

TEST_F(JournalTest, ARunThatReachedNobodyLeavesNothingToProtect)
{
    CSendJournal journal;
    ASSERT_EQ(journal.Open(m_strJournal), "");
    // The server could not be used: the run ended with everyone still queued.
    ASSERT_EQ(journal.BeginRun({}, {{"a", "ann@example.org"}, {"b", "bob@example.org"}}, {}), "");
    journal.EndRun(false);
    for (const EResumeChoice eChoice : {EResumeChoice::Refuse, EResumeChoice::Ask}) {
        std::string strMessage;
        const std::optional<SSendPlan> plan
            = PlanSend(journal, m_strJournal, eChoice, false, strMessage);
        ASSERT_TRUE(plan) << strMessage;
        EXPECT_TRUE(plan->bJournal);
        EXPECT_TRUE(plan->earlier.doneIdentities.empty());
        EXPECT_EQ(strMessage, "");
    }
    EXPECT_TRUE(m_prompter.TakeTexts().empty()) << "nothing is asked";
}

TEST_F(JournalTest, AChangedMessageIsNotResumedSilentlyAndTheSameOneIsNotSentTwice)
{
    CSendJournal journal;
    std::string strMessage;
    std::optional<SSendPlan> plan
        = PlanSend(journal, m_strJournal, EResumeChoice::Refuse, false, strMessage);
    ASSERT_TRUE(plan);
    CSmtpTestServer refusing; // the two "reject" addresses are refused
    ASSERT_EQ(Send(refusing, &journal, *plan), EOutcome::Completed);
    const std::string strMarch = CMergeRun::TemplateDigest(m_input);

    // The message is edited before the rest is sent: four have the old one.
    m_input.strTemplate = "Dear <<Name>>, in April";
    const std::string strApril = CMergeRun::TemplateDigest(m_input);
    ASSERT_NE(strApril, strMarch);
    EXPECT_FALSE(
        PlanSend(journal, m_strJournal, EResumeChoice::Resume, false, strMessage, strApril, false));
    EXPECT_EQ(strMessage,
        "The message was changed since the last send of this merge, which reached 4 "
        "recipient(s) with the message as it was then. Give --resume --changed-message to send "
        "the changed message to the remaining 2, or --again to send it to every selected "
        "recipient.");
    EXPECT_TRUE(
        PlanSend(journal, m_strJournal, EResumeChoice::Resume, false, strMessage, strMarch, false));
    // The windows ask; No sends nothing.
    m_prompter.ScriptAnswer(EAnswer::Yes);
    m_prompter.ScriptAnswer(false);
    EXPECT_FALSE(
        PlanSend(journal, m_strJournal, EResumeChoice::Ask, false, strMessage, strApril, false));
    EXPECT_EQ(m_prompter.TakeTexts().back(),
        "The message was changed since the last send of this merge, which reached 4 "
        "recipient(s) with the message as it was then. Send the changed message to the "
        "remaining 2?");
    plan
        = PlanSend(journal, m_strJournal, EResumeChoice::Resume, false, strMessage, strApril, true);
    ASSERT_TRUE(plan) << strMessage;
    CSmtpTestServer accepting("^nobody$");
    ASSERT_EQ(Send(accepting, &journal, *plan), EOutcome::Completed);
    EXPECT_EQ(accepting.Messages().size(), 2u);

    // Everyone has it now. The very same message to the same recipients again is asked about,
    // and No sends nothing; another message, or Again, goes ahead without a question.
    plan = PlanSend(journal, m_strJournal, EResumeChoice::Ask, false, strMessage, strApril);
    ASSERT_TRUE(plan && plan->completed);
    m_input.bInteractive = true;
    m_prompter.ScriptAnswer(false);
    EXPECT_EQ(Send(accepting, &journal, *plan), EOutcome::Declined);
    ASSERT_FALSE(m_prompter.Entries().empty());
    EXPECT_TRUE(m_prompter.Entries().back().bNoByDefault); // Enter does not send it twice
    const std::vector<std::string> texts = m_prompter.TakeTexts();
    ASSERT_FALSE(texts.empty());
    EXPECT_EQ(texts.back().rfind("This message was sent to all 6 recipients on ", 0), 0u)
        << texts.back();
    EXPECT_TRUE(texts.back().ends_with(". Send it again?")) << texts.back();
    EXPECT_EQ(accepting.Messages().size(), 2u);
    EXPECT_FALSE(PlanSend(journal, m_strJournal, EResumeChoice::Ask, false, strMessage, strMarch)
                     ->completed);
    EXPECT_FALSE(PlanSend(journal, m_strJournal, EResumeChoice::Again, false, strMessage, strApril)
                     ->completed);
    m_input.bInteractive = false;
}

TEST_F(JournalTest, TheWindowsAskWhetherToResumeAndAboutTheRecipientsInDoubt)
{
    CSendJournal journal;
    ASSERT_EQ(journal.Open(m_strJournal), "");
    // A second send of the same merge meanwhile is told so; the journal is not damaged.
    CSendJournal second;
    EXPECT_NE(second.Open(m_strJournal).find("is in use by another send of this merge"),
        std::string::npos);
    EXPECT_FALSE(second.IsDamaged());
    // A run that stopped with one message delivered and one with the server.
    ASSERT_EQ(
        journal.BeginRun(
            {}, {{"a", "ann@example.org"}, {"b", "bob@example.org"}, {"c", "cy@example.org"}}, {}),
        "");
    journal.SetState("a", CSendJournal::EState::Sent, "250 ok");
    journal.SetState("b", CSendJournal::EState::Sending);

    std::string strMessage;
    m_prompter.ScriptAnswer(EAnswer::Yes);
    m_prompter.ScriptAnswer(false); // leave the one in doubt out
    std::optional<SSendPlan> plan
        = PlanSend(journal, m_strJournal, EResumeChoice::Ask, false, strMessage);
    ASSERT_TRUE(plan);
    EXPECT_EQ(plan->earlier.doneIdentities, (std::set<std::string> {"a"}));
    EXPECT_EQ(plan->earlier.leftOutIdentities, (std::set<std::string> {"b"}));
    const std::vector<std::string> texts = m_prompter.TakeTexts();
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[0],
        "The last send of this merge stopped after 1 of 3 messages. Send only the remaining "
        "1?");
    EXPECT_NE(texts[1].find("may or may not have received them:\n    bob@example.org\n"),
        std::string::npos)
        << texts[1];

    // No asks again before everyone gets it; No there, or Cancel at first, sends nothing.
    m_prompter.ScriptAnswer(EAnswer::No);
    m_prompter.ScriptAnswer(true);
    plan = PlanSend(journal, m_strJournal, EResumeChoice::Ask, false, strMessage);
    ASSERT_TRUE(plan);
    EXPECT_TRUE(plan->earlier.doneIdentities.empty() && plan->earlier.leftOutIdentities.empty()
        && !plan->resumes);
    EXPECT_EQ(m_prompter.TakeTexts().back(),
        "Send the message again to all the selected recipients, also to the 1 who have already "
        "received it?");
    m_prompter.ScriptAnswer(EAnswer::No);
    m_prompter.ScriptAnswer(false);
    EXPECT_FALSE(PlanSend(journal, m_strJournal, EResumeChoice::Ask, false, strMessage));
    m_prompter.ScriptAnswer(EAnswer::Cancel);
    EXPECT_FALSE(PlanSend(journal, m_strJournal, EResumeChoice::Ask, false, strMessage));

    // A journal that cannot be made: the windows offer to send without one.
    m_prompter.TakeTexts();
    m_prompter.ScriptAnswer(true);
    plan = PlanSend(
        journal, "/nonexistent/folder/club.mgx.journal", EResumeChoice::Ask, false, strMessage);
    ASSERT_TRUE(plan);
    EXPECT_FALSE(plan->bJournal);
    EXPECT_NE(m_prompter.TakeTexts().at(0).find("cannot be opened"), std::string::npos);
    EXPECT_FALSE(PlanSend(
        journal, "/nonexistent/folder/club.mgx.journal", EResumeChoice::Refuse, false, strMessage));
    EXPECT_NE(strMessage.find("Give --no-journal to send without one."), std::string::npos);
}

TEST_F(JournalTest, ADamagedJournalIsSetAsideOnlyWhenTheUserAgrees)
{
    // A good journal cut in half, and one of garbage.
    {
        CSendJournal journal;
        ASSERT_EQ(journal.Open(m_strJournal), "");
        std::vector<std::pair<std::string, std::string>> many;
        for (int i = 0; i < 2000; ++i)
            many.emplace_back("id" + std::to_string(i), "p" + std::to_string(i) + "@example.org");
        ASSERT_EQ(journal.BeginRun({}, many, {}), "");
        journal.EndRun(true);
    }
    fs::remove(m_strJournal + "-wal");
    fs::resize_file(m_strJournal, fs::file_size(m_strJournal) / 2);
    const std::string strGarbage = m_folder.filePath(QStringLiteral("g.journal")).toStdString();
    std::ofstream(strGarbage) << std::string(5000, 'x');

    for (const std::string &strPath : {m_strJournal, strGarbage}) {
        CSendJournal journal;
        std::string strMessage;
        EXPECT_FALSE(PlanSend(journal, strPath, EResumeChoice::Resume, false, strMessage));
        EXPECT_NE(strMessage.find("is damaged and cannot be read"), std::string::npos)
            << strMessage;
        EXPECT_NE(strMessage.find("Give --again to keep it aside"), std::string::npos);

        m_prompter.ScriptAnswer(false);
        EXPECT_FALSE(PlanSend(journal, strPath, EResumeChoice::Ask, false, strMessage));
        EXPECT_TRUE(fs::exists(strPath));
        EXPECT_FALSE(fs::exists(strPath + ".damaged"));

        m_prompter.ScriptAnswer(true);
        const std::optional<SSendPlan> plan
            = PlanSend(journal, strPath, EResumeChoice::Ask, false, strMessage);
        ASSERT_TRUE(plan && plan->bJournal) << strMessage;
        EXPECT_TRUE(fs::exists(strPath + ".damaged"));
        EXPECT_EQ(journal.LastRun(), std::nullopt);
        const std::vector<std::string> texts = m_prompter.TakeTexts();
        ASSERT_EQ(texts.size(), 2u);
        EXPECT_NE(texts[1].find("Start a fresh journal? The damaged one is kept as \"" + strPath
                      + ".damaged\"."),
            std::string::npos);
        // And sending goes ahead with it.
        CSmtpTestServer server;
        EXPECT_EQ(Send(server, &journal, *plan), EOutcome::Completed);
        EXPECT_EQ(journal.LastRun()->nTotal, 6u);
    }
}

TEST_F(JournalTest, AMergeInAFolderThatCannotBeWrittenKeepsItsJournalInTheDataFolder)
{
    const fs::path folder = m_folder.filePath(QStringLiteral("read-only")).toStdString();
    fs::create_directory(folder);
    std::ofstream(folder / "club.mgx") << "x";
    fs::permissions(folder,
        fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read
            | fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec);
    const fs::path data = m_folder.filePath(QStringLiteral("data")).toStdString();
    fs::create_directory(data);
    fs::permissions(data, fs::perms::all);
    fs::permissions(m_folder.path().toStdString(), fs::perms::others_exec, fs::perm_options::add);
    // The check runs in a child; as root, only another user meets the folder's permissions.
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
            ::_exit(3);
        ::setenv("XDG_DATA_HOME", data.c_str(), 1);
        const std::string strPath = JournalPathFor((folder / "club.mgx").string(), {});
        CSendJournal journal;
        const std::string strOpened = journal.Open(strPath);
        const std::string strReport = strPath + "\n" + strOpened;
        const bool bWritten
            = ::write(fds[1], strReport.data(), strReport.size()) == ssize_t(strReport.size());
        ::_exit(bWritten ? 0 : 4);
    }
    ::close(fds[1]);
    std::string strReport;
    char buffer[4096];
    for (ssize_t n; (n = ::read(fds[0], buffer, sizeof buffer)) > 0;)
        strReport.append(buffer, size_t(n));
    ::close(fds[0]);
    int nStatus = 0;
    ::waitpid(pid, &nStatus, 0);
    ASSERT_TRUE(WIFEXITED(nStatus) && WEXITSTATUS(nStatus) == 0) << nStatus;
    const std::string strExpected = (data / "Corvane Software/Mergix/journals/").string();
    EXPECT_EQ(strReport.substr(0, strExpected.size()), strExpected) << strReport;
    EXPECT_EQ(strReport.substr(strReport.size() - 1), "\n"); // opened without a message
    fs::permissions(folder, fs::perms::owner_all);
}

TEST_F(JournalTest, AMessageWhoseRecordCannotBeWrittenIsNotSent)
{
    // The disk fills up after the first message: from the first wait for the rate on, the
    // journal's log cannot grow any more.
    class CDiskFillingClock final : public CRunClock
    {
    public:
        CDiskFillingClock(const CSmtpTestServer &server, std::string strLog)
            : m_server(server), m_strLog(std::move(strLog))
        { }
        Clock::time_point Now() const override { return m_now; }
        std::time_t WallNow() const override { return 1796731200; }
        void Sleep(Clock::duration duration) override
        {
            m_now += duration;
            if (m_bFull)
                return;
            for (int i = 0; i < 200 && m_server.Messages().empty(); ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            std::this_thread::sleep_for(std::chrono::milliseconds(200)); // its record is written
            ::getrlimit(RLIMIT_FSIZE, &m_saved);
            rlimit full = m_saved;
            full.rlim_cur = static_cast<rlim_t>(fs::file_size(m_strLog));
            ::setrlimit(RLIMIT_FSIZE, &full);
            m_bFull = true;
        }
        void Restore() const
        {
            if (m_bFull)
                ::setrlimit(RLIMIT_FSIZE, &m_saved);
        }

    private:
        const CSmtpTestServer &m_server;
        std::string m_strLog;
        Clock::time_point m_now {};
        rlimit m_saved {};
        bool m_bFull = false;
    };

    CSendJournal journal;
    std::string strMessage;
    const std::optional<SSendPlan> plan
        = PlanSend(journal, m_strJournal, EResumeChoice::Refuse, false, strMessage);
    ASSERT_TRUE(plan && plan->bJournal) << strMessage;
    CSmtpTestServer server("^nobody$");
    ASSERT_FALSE(server.Server().empty()) << server.Error();
    const auto previous = std::signal(SIGXFSZ, SIG_IGN); // a write past the limit fails instead
    CDiskFillingClock clock(server, m_strJournal + "-wal");
    m_input.pClock = &clock;
    m_input.nRatePerMinute = 6000;
    const EOutcome outcome = Send(server, &journal, *plan);
    clock.Restore();
    std::signal(SIGXFSZ, previous);
    EXPECT_EQ(outcome, EOutcome::JournalFailed);
    EXPECT_EQ(server.Messages().size(), 1u) << "no message goes out without its record";
    EXPECT_NE(journal.RecordingError().find("could not record every message"), std::string::npos);
    EXPECT_NE(m_prompter.TakeTexts().back().find("The send was stopped there."), std::string::npos);
}

TEST_F(JournalTest, TheRateSpacesTheMessagesOnTheRunsClockAndCancelEndsTheWait)
{
    CSmtpTestServer server("^nobody$");
    CFakeClock clock;
    m_input.pClock = &clock;
    m_input.nRatePerMinute = 120; // one every half second
    EXPECT_EQ(Send(server, nullptr, {}), EOutcome::Completed);
    EXPECT_EQ(server.Messages().size(), 6u);
    // Five gaps between six messages, and no wait before the first.
    EXPECT_EQ(std::chrono::duration_cast<std::chrono::milliseconds>(clock.m_slept).count(), 2500);
    std::tm parts {};
    const std::time_t finish = clock.WallNow() + 2; // 2.5 s, in whole seconds
    localtime_r(&finish, &parts);
    char expected[16];
    std::strftime(expected, sizeof expected, "%H:%M", &parts);
    EXPECT_EQ(m_progress.texts.at(2),
        "Sending mail... (120 a minute; done at about " + std::string(expected) + ")");

    // Cancel at the first look while the second message waits for its turn.
    CSmtpTestServer second("^nobody$");
    m_progress.nChecks = 0;
    m_progress.nCancelAt = 2; // the first check follows the first message
    EXPECT_EQ(Send(second, nullptr, {}), EOutcome::Cancelled);
    EXPECT_EQ(second.Messages().size(), 1u);
}

TEST_F(JournalTest, TheFailedListIsOfferedAndWrittenAsCsv)
{
    CSmtpTestServer server;
    m_list.AddRecord({"=HYPERLINK(1)", "reject.\"q\",x@example.org"});
    m_input.bInteractive = true;
    std::vector<CRunRecord::SFailure> saved;
    m_input.saveFailedList = [&saved](const std::vector<CRunRecord::SFailure> &failures) {
        saved = failures;
    };
    m_prompter.ScriptAnswer(EAnswer::Yes); // "Save failed list..."
    EXPECT_EQ(Send(server, nullptr, {}), EOutcome::Completed);
    ASSERT_EQ(saved.size(), 3u);
    const std::string strCsv = m_folder.filePath(QStringLiteral("failed.csv")).toStdString();
    saved.push_back({"=cmd|'/c calc'!A1", "550 no\r\nsuch user", "2026-12-08 12:00:00"});
    EXPECT_EQ(WriteFailuresCsv(strCsv, saved), "");
    std::ifstream in(strCsv, std::ios::binary);
    const std::string strText {std::istreambuf_iterator<char>(in), {}};
    EXPECT_EQ(strText.substr(0, 19), "address,reply,time\r");
    EXPECT_NE(strText.find("\r\n\"reject.\"\"q\"\",x@example.org\",5"), std::string::npos)
        << strText;
    EXPECT_NE(strText.find("'=cmd|'/c calc'!A1,\"550 no\r\nsuch user\",2026-12-08 12:00:00\r\n"),
        std::string::npos)
        << strText;
    EXPECT_NE(WriteFailuresCsv("/nonexistent/folder/failed.csv", saved), "");
}

} // namespace
