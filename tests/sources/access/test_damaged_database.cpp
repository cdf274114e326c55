// Damaged files and failing readers end in a CDaoException with a clear text, never in a crash
// or a hang of the program.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <thread>

#include "document/ListPrestart.h"
#include "document/MgxArchive.h"
#include "sources/access/AccessSource.h"
#include "sources/access/DaoDatabase.h"
#include "sources/access/DaoException.h"
#include "sources/access/DaoRecordset.h"
#include "sources/access/DbReader.h"
#include "sources/access/ReaderProtocol.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

const std::string kData = MERGIX_TESTS_DIR "/data/";
const std::string kFakeReaders = MERGIX_TESTS_DIR "/sources/access/fake_readers/";

std::string ReadFile(const std::string &strPath)
{
    std::ifstream in(strPath, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteFile(const fs::path &path, const std::string &strBytes)
{
    std::ofstream(path, std::ios::binary).write(strBytes.data(), std::streamsize(strBytes.size()));
}

// Opens the database and reads every user table whole. Returns "ok" or the exception's
// description; any other outcome fails the test.
std::string ReadEverything(const std::string &strPath)
{
    try {
        CDaoDatabase database;
        database.Open(strPath);
        for (int i = 0; i < database.GetTableDefCount(); ++i) {
            const CDaoTableDefInfo info = database.GetTableDefInfo(i);
            if (info.m_lAttributes
                & (ReaderProtocol::dbSystemObject | ReaderProtocol::dbAttachedTable))
                continue;
            CDaoRecordset recordset;
            recordset.OpenTable(&database, info.m_strName);
            for (; !recordset.IsEOF(); recordset.MoveNext()) {
                for (int c = 0; c < recordset.GetFieldCount(); ++c)
                    recordset.GetFieldValue(c);
            }
        }
        return "ok";
    } catch (const CDaoException &error) {
        return error.Description();
    }
}

// The outcome without the file's path, to count outcomes of the same kind together.
std::string Kind(const std::string &strOutcome, const fs::path &path)
{
    std::string strKind = strOutcome;
    for (size_t n; (n = strKind.find(path.string())) != std::string::npos;)
        strKind.replace(n, path.string().size(), "FILE");
    return strKind;
}

class DamagedDatabaseTest : public testing::Test
{
protected:
    void SetUp() override
    {
        m_folder = fs::temp_directory_path() / ("mergix-damaged-" + std::to_string(::getpid()));
        fs::create_directories(m_folder);
        m_strOriginal = ReadFile(kData + "contacts.mdb");
        ASSERT_GT(m_strOriginal.size(), 40000u);
        CDbReader::SetIdleLimit(3s);
    }
    void TearDown() override
    {
        CDbReader::SetIdleLimit(15s);
        CDbReader::SetReaderPath({});
        fs::remove_all(m_folder);
    }

    // Writes the bytes as a database file and reads it; the outcome must be a clean one.
    std::string Try(const std::string &strBytes, const std::string &strName = "copy.mdb")
    {
        const fs::path path = m_folder / strName;
        WriteFile(path, strBytes);
        return ReadEverything(path.string());
    }

    fs::path m_folder;
    std::string m_strOriginal;
};

std::string DamagedText(const fs::path &path)
{
    return "The database \"" + path.string() + "\" is damaged and cannot be read.";
}

TEST_F(DamagedDatabaseTest, FailingReadersBecomeDamagedDatabases)
{
    const std::string strPath = kData + "contacts.mdb";
    for (const char *pReader : {"hanging.sh", "crashing.sh", "garbage.sh", "truncated.sh"}) {
        CDbReader::SetReaderPath(kFakeReaders + pReader);
        CDbReader::SetIdleLimit(500ms);
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(ReadEverything(strPath), DamagedText(strPath)) << pReader;
        EXPECT_LT(std::chrono::steady_clock::now() - start, 10s) << pReader;
    }
    // A crash after the reader followed a link is the linked file's.
    CDbReader::SetReaderPath(kFakeReaders + std::string("crashing-in-link.sh"));
    try {
        CDbReader reader({"rows", strPath, "LinkedPeople"}, strPath, "LinkedPeople");
        CReaderStream::SRecord record;
        std::vector<CVariant> values;
        reader.Next(record, values);
        ADD_FAILURE() << "no failure";
    } catch (const CDaoException &error) {
        EXPECT_EQ(error.Description(),
            "The database \"other.mdb\", the target of the linked table \"LinkedPeople\", is "
            "damaged and cannot be read.");
    }
    CDbReader::SetReaderPath("/nonexistent/mergix-dbreader");
    EXPECT_EQ(ReadEverything(strPath),
        "The database reader \"/nonexistent/mergix-dbreader\" could "
        "not be started: No such file or directory.");
}

TEST_F(DamagedDatabaseTest, TheReaderGetsNoSecretOfTheProgram)
{
    // The reader parses files from anywhere: the SMTP password and the rest of the program's
    // environment stay out of its reach, the locale goes in.
    ::setenv("MERGIX_SMTP_PASSWORD", "s3cret", 1);
    ::setenv("MERGIX_SOMETHING_ELSE", "x", 1);
    ::setenv("LC_TIME", "de_DE.UTF-8", 1);
    CDbReader::SetReaderPath(kFakeReaders + std::string("environment.sh"));
    const fs::path copy = m_folder / "copy.mdb";
    WriteFile(copy, m_strOriginal);
    EXPECT_EQ(ReadEverything(copy.string()), DamagedText(copy));
    const std::string strEnvironment = ReadFile(copy.string() + ".environment");
    ::unsetenv("MERGIX_SMTP_PASSWORD");
    ::unsetenv("MERGIX_SOMETHING_ELSE");
    ::unsetenv("LC_TIME");
    EXPECT_NE(strEnvironment.find("LC_TIME=de_DE.UTF-8\n"), std::string::npos) << strEnvironment;
    EXPECT_EQ(strEnvironment.find("s3cret"), std::string::npos) << strEnvironment;
    EXPECT_EQ(strEnvironment.find("MERGIX_SOMETHING_ELSE"), std::string::npos) << strEnvironment;
}

TEST_F(DamagedDatabaseTest, TruncatedZeroedAndRandomFilesGiveMessages)
{
    const size_t nPage = 4096;
    std::map<std::string, int> outcomes;
    for (size_t nLength : {size_t(0), size_t(10), nPage, 2 * nPage + 100, m_strOriginal.size() / 2,
             m_strOriginal.size() - 1}) {
        const std::string strOutcome = Try(m_strOriginal.substr(0, nLength));
        EXPECT_NE(strOutcome, "ok") << nLength;
        ++outcomes[Kind(strOutcome, m_folder / "copy.mdb")];
    }
    for (size_t nPageIndex = 0; nPageIndex * nPage < m_strOriginal.size(); nPageIndex += 3) {
        std::string strZeroed = m_strOriginal;
        std::fill_n(strZeroed.begin() + static_cast<long>(nPageIndex * nPage), nPage, '\0');
        const std::string strOutcome = Try(strZeroed);
        ++outcomes[Kind(strOutcome, m_folder / "copy.mdb")];
    }
    std::mt19937 random(4096);
    std::string strRandom(64 * 1024, '\0');
    for (char &c : strRandom)
        c = static_cast<char>(random());
    EXPECT_EQ(Try(strRandom, "random.mdb"),
        "\"" + (m_folder / "random.mdb").string() + "\" is not a Microsoft Access database.");
    // Random bytes behind a valid header reach libmdb itself.
    std::string strHeaderOnly = m_strOriginal.substr(0, 128) + strRandom;
    EXPECT_NE(Try(strHeaderOnly), "ok");
    for (const auto &[strOutcome, nCount] : outcomes)
        std::printf("  truncated/zeroed: %3d x %s\n", nCount, strOutcome.c_str());
}

TEST_F(DamagedDatabaseTest, BitFlippedCopiesNeverCrashOrHang)
{
    std::mt19937 random(20261208);
    std::map<std::string, int> outcomes;
    const int kCopies = 300;
    const auto start = std::chrono::steady_clock::now();
    for (int nCopy = 0; nCopy < kCopies; ++nCopy) {
        std::string strCopy = m_strOriginal;
        const int nFlips = 1 + static_cast<int>(random() % 64);
        for (int k = 0; k < nFlips; ++k) {
            const size_t nByte = random() % strCopy.size();
            strCopy[nByte] = static_cast<char>(strCopy[nByte] ^ (1 << (random() % 8)));
        }
        const std::string strOutcome = Try(strCopy);
        ++outcomes[Kind(strOutcome, m_folder / "copy.mdb")];
    }
    for (const auto &[strOutcome, nCount] : outcomes)
        std::printf("  bit flips: %3d x %s\n", nCount, strOutcome.c_str());
    std::printf("  %d copies in %.1f s\n", kCopies,
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
}

// A merge's table is read by readers started before the merge is opened; opening takes them
// over, unless the file changed meanwhile, so no stale rows are ever shown.
TEST_F(DamagedDatabaseTest, PrestartedReadersAreTakenOverOnlyForTheirUnchangedFile)
{
    const fs::path log = m_folder / "starts.log";
    const fs::path counting = m_folder / "counting-reader.sh";
    WriteFile(counting,
        "#!/bin/sh\necho \"$1\" >> '" + log.string() + "'\nexec '" + CDbReader::ReaderPath()
            + "' \"$@\"\n");
    fs::permissions(counting, fs::perms::owner_all);
    CDbReader::SetReaderPath(counting.string());
    const auto starts = [&] {
        const std::string strLog = ReadFile(log.string());
        return std::count(strLog.begin(), strLog.end(), '\n');
    };
    const auto waitForStarts = [&](long nStarts) {
        for (int i = 0; i < 200 && starts() < nStarts; ++i)
            std::this_thread::sleep_for(10ms);
        return starts();
    };
    const fs::path database = m_folder / "club.mdb";
    WriteFile(database, m_strOriginal);
    CMgxArchive merge;
    for (const char *pString : {"club.mdb", "Email", "Club <club@example.com>", "", "News",
             "Contacts", "Dear <<FirstName>>,"})
        merge.WriteString(pString);
    WriteFile(m_folder / "club.mgx", merge.Bytes());
    const auto countRecords = [&] {
        CAccessSource source(database.string());
        std::unique_ptr<CTableCursor> pTable = source.OpenTable("Contacts");
        long nRecords = 0;
        for (; !pTable->IsEOF(); pTable->MoveNext())
            ++nRecords;
        return nRecords;
    };
    const long nContacts = countRecords();
    ASSERT_GT(nContacts, 0);
    ASSERT_EQ(waitForStarts(2), 2); // the catalog, then the rows

    // The merge file names its database relative to its own folder.
    PrestartListReading((m_folder / "club.mgx").string());
    EXPECT_EQ(waitForStarts(4), 4);
    EXPECT_EQ(countRecords(), nContacts);
    EXPECT_EQ(starts(), 4); // both taken over: nothing started again

    // A database changed after its readers started is read anew.
    PrestartListReading((m_folder / "club.mgx").string());
    EXPECT_EQ(waitForStarts(6), 6);
    fs::last_write_time(database, fs::last_write_time(database) + 2s);
    EXPECT_EQ(countRecords(), nContacts);
    EXPECT_EQ(waitForStarts(8), 8);

    // Another table, or another kind of list, starts nothing that is used.
    CDbReader::Prestart({ReaderProtocol::kRowsCommand, database.string(), "Orders"});
    EXPECT_EQ(countRecords(), nContacts);
    EXPECT_EQ(waitForStarts(11), 11);
    WriteFile(m_folder / "list.mgx", "not a merge file");
    PrestartListReading((m_folder / "list.mgx").string());
    PrestartListReading((m_folder / "missing.mgx").string());
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(starts(), 11);
}

} // namespace
