// Lists of every kind opened by what the file holds, and SQLite databases through Qt SQL: their
// tables and views, declared types, values, read-only access and damaged files.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <QTemporaryDir>

#include "engine/Data.h"
#include "sources/DataSource.h"
#include "sources/access/DaoException.h"
#include "sources/sql/SqlTableCursor.h"

namespace fs = std::filesystem;

namespace {

const std::string kData = std::string(MERGIX_TESTS_DIR) + "/data/";

std::string FailureOf(const std::string &strPath)
{
    try {
        OpenDataSource(strPath);
    } catch (const CDaoException &error) {
        return error.what();
    }
    return "(opened)";
}

std::vector<std::string> Names(const std::vector<SSourceTable> &tables)
{
    std::vector<std::string> names;
    for (const SSourceTable &table : tables)
        names.push_back(table.strName);
    return names;
}

std::string DisplayText(const CVariant &value)
{
    CData data;
    data = value;
    return data.GetString();
}

std::vector<std::string> Column(CTableCursor &table, int nField)
{
    std::vector<std::string> values;
    for (table.MoveFirst(); !table.IsEOF(); table.MoveNext()) {
        const CVariant &value = table.GetFieldValue(nField);
        values.push_back(value.m_vt == VT_NULL ? "(null)" : DisplayText(value));
    }
    return values;
}

class DataSourceTest : public testing::Test
{
protected:
    std::string Copy(const std::string &strFixture, const std::string &strName)
    {
        const std::string strPath
            = m_folder.filePath(QString::fromStdString(strName)).toStdString();
        fs::copy_file(kData + strFixture, strPath);
        return strPath;
    }
    std::string Write(const std::string &strName, const std::string &strBytes)
    {
        const std::string strPath
            = m_folder.filePath(QString::fromStdString(strName)).toStdString();
        std::ofstream(strPath, std::ios::binary) << strBytes;
        return strPath;
    }

    QTemporaryDir m_folder;
};

} // namespace

TEST_F(DataSourceTest, TheContentDecidesTheKindWhateverTheName)
{
    EXPECT_EQ(OpenDataSource(kData + "contacts.mdb")->KindName(), "Microsoft Access database");
    std::unique_ptr<CDataSource> pCsv = OpenDataSource(kData + "contacts.csv");
    EXPECT_EQ(pCsv->KindName(), "CSV file");
    EXPECT_EQ(Names(pCsv->Tables()), std::vector<std::string> {"contacts"});
    EXPECT_EQ(pCsv->DefaultTable(), "contacts");

    // An SQLite database saved as .csv is read as one; a CSV file named .txt as CSV.
    EXPECT_EQ(
        OpenDataSource(Copy("contacts.sqlite", "members.csv"))->KindName(), "SQLite database");
    EXPECT_EQ(OpenDataSource(Copy("contacts.csv", "members.txt"))->KindName(), "CSV file");
    EXPECT_EQ(OpenDataSource(Copy("contacts.mdb", "export.csv"))->KindName(),
        "Microsoft Access database");

    // What no kind reads is refused with what it is.
    const std::string strXls = Write(
        "old.csv", std::string("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) + std::string(600, '\0'));
    EXPECT_NE(
        FailureOf(strXls).find("\"" + strXls + "\" is an old Office file"), std::string::npos);
    const std::string strText = Write("notes.odt",
        std::string("PK\x03\x04", 4) + std::string(26, '\0')
            + "mimetypeapplication/vnd.oasis.opendocument.text");
    EXPECT_NE(FailureOf(strText).find("is an OpenDocument file but not a spreadsheet."),
        std::string::npos);
    // A file named as an Access database keeps Access's message.
    const std::string strFake = Write("club.mdb", "Name,Email\nAda,ada@example.org\n");
    EXPECT_EQ(FailureOf(strFake), "\"" + strFake + "\" is not a Microsoft Access database.");
    EXPECT_EQ(FailureOf(kData + "nowhere.csv"),
        "The database file \"" + kData + "nowhere.csv\" was not found.");
    EXPECT_NE(FailureOf(m_folder.path().toStdString()).find("is a folder"), std::string::npos);
}

TEST_F(DataSourceTest, AnSqliteDatabaseOffersItsTablesAndViewsWithTheirDeclaredTypes)
{
    const std::string strPath = Copy("contacts.sqlite", "contacts.db");
    const auto modified = fs::last_write_time(strPath);
    std::unique_ptr<CDataSource> pSource = OpenDataSource(strPath);
    EXPECT_EQ(Names(pSource->Tables()),
        (std::vector<std::string> {"Contacts", "Adults", "Odd \"quoted\" name"}));

    std::unique_ptr<CTableCursor> pTable = pSource->OpenTable("contacts"); // any letter case
    ASSERT_EQ(pTable->GetFieldCount(), 10);
    EXPECT_EQ(pTable->GetRecordCount(), 12);
    std::vector<short> types;
    for (int i = 0; i < pTable->GetFieldCount(); ++i)
        types.push_back(pTable->GetFieldInfo(i).m_nType);
    EXPECT_EQ(types,
        (std::vector<short> {
            dbLong, dbText, dbText, dbText, dbText, dbLong, dbDate, dbBoolean, dbText, dbDouble}));
    pTable->MoveFirst();
    EXPECT_EQ(pTable->GetFieldValue(5).m_vt, VT_I4);
    EXPECT_EQ(pTable->GetFieldValue(6).m_vt, VT_DATE);
    EXPECT_EQ(pTable->GetFieldValue(7).m_vt, VT_BOOL);
    EXPECT_EQ(pTable->GetFieldValue(9).m_vt, VT_R8);
    EXPECT_EQ(Column(*pTable, 1)[1], "Anna");
    EXPECT_EQ(Column(*pTable, 4)[7], "(null)"); // pat has no city

    // A view and a name that needs quoting read like tables.
    std::unique_ptr<CTableCursor> pView = pSource->OpenTable("Adults");
    EXPECT_EQ(pView->GetRecordCount(), 9);
    std::unique_ptr<CTableCursor> pOdd = pSource->OpenTable("Odd \"quoted\" name");
    EXPECT_EQ(Column(*pOdd, 0), std::vector<std::string> {"x"});
    EXPECT_THROW(pSource->OpenTable("Contacts; DROP TABLE Contacts"), CDaoException);

    // Read-only: nothing was written, and no journal was left beside it.
    pTable.reset();
    pSource.reset();
    EXPECT_EQ(fs::last_write_time(strPath), modified);
    EXPECT_FALSE(fs::exists(strPath + "-journal"));
    EXPECT_FALSE(fs::exists(strPath + "-wal"));
}

TEST_F(DataSourceTest, SqlValuesTakeTheKindTheirFieldDeclaresWhereTheyCan)
{
    EXPECT_EQ(FieldTypeOfDeclared("VARCHAR(40)"), dbText);
    EXPECT_EQ(FieldTypeOfDeclared("bigint"), dbLong);
    EXPECT_EQ(FieldTypeOfDeclared("TIMESTAMP"), dbDate);
    EXPECT_EQ(FieldTypeOfDeclared("DECIMAL(10,2)"), dbDouble);
    EXPECT_EQ(FieldTypeOfDeclared(""), dbText);

    EXPECT_EQ(SqlFieldValue(QVariant(qlonglong(42)), dbLong).m_vt, VT_I4);
    // Too large for a Long: kept as a number, not cut down.
    EXPECT_EQ(SqlFieldValue(QVariant(qlonglong(15000000000)), dbLong).m_vt, VT_R8);
    EXPECT_EQ(SqlFieldValue(QVariant(qlonglong(1)), dbBoolean).m_vt, VT_BOOL);
    const CVariant date = SqlFieldValue(QVariant(QStringLiteral("2024-05-31 14:30")), dbDate);
    EXPECT_EQ(date.m_vt, VT_DATE);
    EXPECT_DOUBLE_EQ(date.m_date, 45443 + 14.5 / 24);
    // A text that is no date stays the text it is, in a date field too.
    const CVariant soon = SqlFieldValue(QVariant(QStringLiteral("soon")), dbDate);
    EXPECT_EQ(soon.m_vt, VT_BSTR);
    EXPECT_EQ(DisplayText(soon), "soon");
    EXPECT_EQ(SqlFieldValue(QVariant(QByteArray("\x89PNG")), dbText).m_vt, VT_NULL);
}

TEST_F(DataSourceTest, ADamagedSqliteDatabaseIsNamedAndAnEditedOneIsReadAgain)
{
    std::string strBytes;
    {
        std::ifstream file(kData + "contacts.sqlite", std::ios::binary);
        strBytes.assign(std::istreambuf_iterator<char>(file), {});
    }
    const std::string strCut = Write("cut.sqlite", strBytes.substr(0, 5000));
    const std::string strFailure = FailureOf(strCut);
    EXPECT_NE(strFailure.find("\"" + strCut + "\""), std::string::npos) << strFailure;
    std::string strNoise = strBytes;
    for (size_t i = 100; i < strNoise.size(); i += 7)
        strNoise[i] = static_cast<char>(strNoise[i] ^ 0x5A);
    const std::string strDamaged = Write("noise.sqlite", strNoise);
    try {
        std::unique_ptr<CDataSource> pSource = OpenDataSource(strDamaged);
        for (const SSourceTable &table : pSource->Tables()) {
            std::unique_ptr<CTableCursor> pTable = pSource->OpenTable(table.strName);
            for (pTable->MoveFirst(); !pTable->IsEOF(); pTable->MoveNext()) { }
        }
        ADD_FAILURE() << "a damaged database was read without a word";
    } catch (const CDaoException &error) {
        EXPECT_NE(std::string(error.what()).find(strDamaged), std::string::npos) << error.what();
    }

    // A CSV file edited after it was opened is read again on Reload.
    const std::string strList = Write("club.csv", "Name,Email\nAda,ada@example.org\n");
    std::unique_ptr<CDataSource> pList = OpenDataSource(strList);
    EXPECT_EQ(pList->OpenTable("club")->GetRecordCount(), 1);
    Write("club.csv", "Name,Email\nAda,ada@example.org\nBo,bo@example.org\n");
    pList->Reload();
    EXPECT_EQ(pList->OpenTable("club")->GetRecordCount(), 2);
    EXPECT_THROW(pList->OpenTable("members"), CDaoException);
}
