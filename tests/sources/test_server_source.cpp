// Lists in a database server: the addresses a merge file names them by, and a real PostgreSQL
// server of the test's own (tests/sources/postgres_test_server.py, tests/data/club_server.sql).
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "engine/Data.h"
#include "sources/DataSource.h"
#include "sources/access/DaoException.h"
#include "sources/sql/ServerSource.h"
#include "support/CoreApplicationEnvironment.h"
#include "support/DatabaseTestServer.h"

namespace {

const testing::Environment *const g_pApplication
    = testing::AddGlobalTestEnvironment(new CCoreApplicationEnvironment);

std::string Text(const CVariant &value)
{
    if (value.m_vt == VT_NULL)
        return "(null)";
    CData data;
    data = value;
    return data.GetString();
}

// A column of a table, read from the first record to the end.
std::vector<std::string> Column(CTableCursor &table, int nField)
{
    std::vector<std::string> values;
    for (table.MoveFirst(); !table.IsEOF(); table.MoveNext())
        values.push_back(Text(table.GetFieldValue(nField)));
    return values;
}

// The message a source that cannot be opened gives.
std::string OpenFailure(const std::string &strAddress)
{
    try {
        OpenDataSource(strAddress);
    } catch (const CDaoException &error) {
        return error.Description();
    }
    return "(opened)";
}

class ServerSourceTest : public testing::Test
{
protected:
    void SetUp() override
    {
        SetServerPasswordSource([this](const SServerAddress &) {
            ++m_nPasswordsAsked;
            return m_password;
        });
    }
    void TearDown() override { SetServerPasswordSource({}); }

    std::optional<std::string> m_password = std::string(CDatabaseTestServer::kPassword);
    int m_nPasswordsAsked = 0;
};

TEST(ServerAddressTest, TheAddressesOfEachKindAndWhatTheyMayNotHold)
{
    std::string strError;
    auto address = ParseServerAddress(
        "postgresql://club%40admin@db.example.org:6543/members?sslmode=require", strError);
    ASSERT_TRUE(address) << strError;
    EXPECT_EQ(address->eKind, SServerAddress::EKind::PostgreSql);
    EXPECT_EQ(address->strUser, "club@admin");
    EXPECT_EQ(address->strHost, "db.example.org");
    EXPECT_EQ(address->nPort, 6543);
    EXPECT_EQ(address->strDatabase, "members");
    EXPECT_EQ(address->strSslMode, "require");
    address = ParseServerAddress("mysql://shop@[::1]/orders", strError);
    ASSERT_TRUE(address) << strError;
    EXPECT_EQ(address->eKind, SServerAddress::EKind::MySql);
    EXPECT_EQ(address->strHost, "::1");
    EXPECT_EQ(address->nPort, 0);
    address = ParseServerAddress("odbc:DRIVER={SQLite3};Database=/srv/club.db", strError);
    ASSERT_TRUE(address) << strError;
    EXPECT_EQ(address->strOdbc, "DRIVER={SQLite3};Database=/srv/club.db");
    EXPECT_FALSE(IsServerAddress("/home/ann/club.mdb"));
    EXPECT_FALSE(IsServerAddress("postgresql.csv"));

    // A password is never stored in a merge file's address; the rest is named.
    for (const auto &[pAddress, pReason] :
        {std::pair {"postgresql://ann:secret@db/club", "holds a password"},
            {"odbc:DSN=club;UID=ann;PWD=secret", "holds a password"},
            {"postgresql://db.example.org/club", "needs a user and a database"},
            {"mysql://ann@db.example.org", "needs a user and a database"},
            {"postgresql://ann@db/club?sslmode=sometimes", "is not known"},
            {"postgresql://ann@db/club?password=x", "is not known"}, {"odbc:", "no ODBC"}}) {
        EXPECT_FALSE(ParseServerAddress(pAddress, strError)) << pAddress;
        EXPECT_NE(strError.find(pReason), std::string::npos) << strError;
        EXPECT_EQ(strError.find("secret"), std::string::npos) << strError;
    }
}

TEST_F(ServerSourceTest, TablesViewsAndSchemasAreListedAndValuesKeepTheirKinds)
{
    CDatabaseTestServer server;
    ASSERT_FALSE(server.Address().empty());
    const std::unique_ptr<CDataSource> pSource = OpenDataSource(server.Address());
    EXPECT_EQ(pSource->KindName(), "PostgreSQL server");
    std::vector<std::string> names;
    for (const SSourceTable &table : pSource->Tables())
        names.push_back(table.strName);
    // Public first, then the other schemas qualified; no system schema.
    EXPECT_EQ(names,
        (std::vector<std::string> {
            "Contacts", "ManyContacts", "adults", "many", "members", "crm.Contacts \"2026\""}));
    EXPECT_EQ(m_nPasswordsAsked, 1);

    const std::unique_ptr<CTableCursor> pMembers = pSource->OpenTable("members");
    ASSERT_EQ(pMembers->GetFieldCount(), 10);
    std::vector<short> types;
    for (int i = 0; i < pMembers->GetFieldCount(); ++i)
        types.push_back(pMembers->GetFieldInfo(i).m_nType);
    EXPECT_EQ(types,
        (std::vector<short> {dbLong, dbText, dbText, dbText, dbDecimal, dbDouble, dbLong, dbDate,
            dbDate, dbBoolean}));
    EXPECT_EQ(pMembers->GetRecordCount(), 3);
    EXPECT_EQ(Column(*pMembers, 1),
        (std::vector<std::string> {"Zo\xC3\xAB Dupont", "Liam O'Brien", "Ana Garcia"}));
    EXPECT_EQ(
        Column(*pMembers, 3), (std::vector<std::string> {"Gen\xC3\xA8ve", "(null)", "Sevilla"}));
    EXPECT_EQ(Column(*pMembers, 4), (std::vector<std::string> {"12.50", "(null)", "-7.00"}));
    pMembers->MoveFirst();
    EXPECT_EQ(pMembers->GetFieldValue(6).m_vt, VT_R8); // 5000000000 does not fit a Long
    EXPECT_EQ(pMembers->GetFieldValue(7).m_vt, VT_DATE);
    EXPECT_EQ(pMembers->GetFieldValue(8).m_vt, VT_DATE);
    EXPECT_EQ(pMembers->GetFieldValue(9).m_vt, VT_BOOL);
    pMembers->MoveNext();
    for (int i = 3; i < 10; ++i)
        EXPECT_EQ(pMembers->GetFieldValue(i).m_vt, VT_NULL) << i;

    // A view, and a name that needs quoting in a schema of its own.
    EXPECT_EQ(pSource->OpenTable("adults")->GetRecordCount(), 2);
    const std::unique_ptr<CTableCursor> pContacts = pSource->OpenTable("crm.Contacts \"2026\"");
    EXPECT_EQ(pContacts->GetFieldInfo(0).m_strName, "E-mail");
    EXPECT_EQ(Column(*pContacts, 1), std::vector<std::string> {"Pat"});
    // A name that is no table is named, never run as SQL.
    EXPECT_THROW(pSource->OpenTable("members; DROP TABLE members"), CDaoException);
    EXPECT_EQ(pSource->OpenTable("MEMBERS")->GetRecordCount(), 3);
}

TEST_F(ServerSourceTest, AWrongPasswordAnUnreachableServerAndAStopMidLoadEachGiveOneMessage)
{
    CDatabaseTestServer server;
    ASSERT_FALSE(server.Address().empty());
    m_password = "wrong";
    std::string strMessage = OpenFailure(server.Address());
    EXPECT_NE(strMessage.find("refused the login of user \"mergix\""), std::string::npos)
        << strMessage;
    EXPECT_NE(strMessage.find(server.Address()), std::string::npos);
    EXPECT_EQ(m_nPasswordsAsked, 1); // asked once, tried once
    m_password.reset();
    strMessage = OpenFailure(server.Address());
    EXPECT_NE(strMessage.find("without a password"), std::string::npos) << strMessage;

    m_password = CDatabaseTestServer::kPassword;
    const std::unique_ptr<CDataSource> pSource = OpenDataSource(server.Address());
    const std::unique_ptr<CTableCursor> pMany = pSource->OpenTable("many");
    EXPECT_EQ(pMany->GetRecordCount(), 300000);
    for (int i = 0; i < 10 && !pMany->IsEOF(); ++i)
        pMany->MoveNext();
    server.StopNow();
    try {
        while (!pMany->IsEOF())
            pMany->MoveNext();
        ADD_FAILURE() << "the whole table came, though the server stopped";
    } catch (const CDaoException &error) {
        EXPECT_NE(error.Description().find("reading the rows failed"), std::string::npos)
            << error.Description();
    }

    strMessage
        = OpenFailure("postgresql://mergix@127.0.0.1:" + std::to_string(server.Port()) + "/club");
    EXPECT_NE(strMessage.find("could not be reached"), std::string::npos) << strMessage;
}

} // namespace

namespace {

// ODBC through unixODBC and Debian's PostgreSQL ODBC driver, to the same server.
TEST_F(ServerSourceTest, AnOdbcSourceReadsTheSameServerThroughItsDriver)
{
    CDatabaseTestServer server;
    ASSERT_FALSE(server.Address().empty());
    const std::string strAddress = "odbc:DRIVER={PostgreSQL Unicode};SERVER=127.0.0.1;PORT="
        + std::to_string(server.Port()) + ";DATABASE=club;UID=mergix";
    const std::unique_ptr<CDataSource> pSource = OpenDataSource(strAddress);
    EXPECT_EQ(pSource->KindName(), "ODBC source");
    const std::vector<SSourceTable> tables = pSource->Tables();
    EXPECT_TRUE(FindSourceTable(tables, "Contacts"));
    EXPECT_TRUE(FindSourceTable(tables, "members"));
    const std::unique_ptr<CTableCursor> pMembers = pSource->OpenTable("members");
    ASSERT_EQ(pMembers->GetFieldCount(), 10);
    EXPECT_EQ(pMembers->GetFieldInfo(0).m_nType, dbLong);
    EXPECT_EQ(pMembers->GetFieldInfo(7).m_nType, dbDate);
    EXPECT_EQ(
        Column(*pMembers, 3), (std::vector<std::string> {"Gen\xC3\xA8ve", "(null)", "Sevilla"}));
    // The mixed-case view keeps its name's case.
    EXPECT_EQ(pSource->OpenTable("Contacts")->GetFieldInfo(0).m_strName, "Email");

    m_password = "wrong";
    const std::string strMessage = OpenFailure(strAddress);
    EXPECT_NE(strMessage.find("The ODBC source"), std::string::npos) << strMessage;
    EXPECT_NE(strMessage.find("refused the login"), std::string::npos) << strMessage;
}

} // namespace

namespace {

TEST_F(ServerSourceTest, AMariaDbListHasItsTablesAndViewsAndItsValuesTheirKinds)
{
    CDatabaseTestServer server(CDatabaseTestServer::EKind::MariaDb);
    ASSERT_FALSE(server.Address().empty());
    const std::unique_ptr<CDataSource> pSource = OpenDataSource(server.Address());
    EXPECT_EQ(pSource->KindName(), "MySQL or MariaDB server");
    std::vector<std::string> names;
    for (const SSourceTable &table : pSource->Tables())
        names.push_back(table.strName);
    EXPECT_EQ(names, (std::vector<std::string> {"adult members", "members"}));
    const std::unique_ptr<CTableCursor> pMembers = pSource->OpenTable("members");
    std::vector<short> types;
    for (int i = 0; i < pMembers->GetFieldCount(); ++i)
        types.push_back(pMembers->GetFieldInfo(i).m_nType);
    EXPECT_EQ(types,
        (std::vector<short> {
            dbLong, dbText, dbText, dbText, dbDecimal, dbDouble, dbDate, dbDate, dbLong}));
    EXPECT_EQ(Column(*pMembers, 1),
        (std::vector<std::string> {"Zo\xC3\xAB Dupont", "Liam O'Brien", "Ana Garcia"}));
    EXPECT_EQ(Column(*pMembers, 4), (std::vector<std::string> {"12.50", "(null)", "-7.00"}));
    pMembers->MoveFirst();
    EXPECT_EQ(pMembers->GetFieldValue(6).m_vt, VT_DATE);
    // A view whose name needs quoting.
    EXPECT_EQ(pSource->OpenTable("adult members")->GetRecordCount(), 2);

    m_password = "wrong";
    const std::string strMessage = OpenFailure(server.Address());
    EXPECT_NE(strMessage.find("refused the login of user \"mergix\""), std::string::npos)
        << strMessage;
}

} // namespace
