// The database layer against the fixture databases (values from their manifest), against
// mdb-export as a second reader, and against files and readers that fail.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include <sys/stat.h>

#include "sources/access/DaoDatabase.h"
#include "sources/access/DaoException.h"
#include "sources/access/DaoRecordset.h"
#include "sources/access/DaoTableDef.h"

namespace {

namespace fs = std::filesystem;

const std::string kData = MERGIX_TESTS_DIR "/data/";

struct CTable
{
    std::vector<CDaoFieldInfo> fields;
    std::vector<std::vector<CVariant>> rows;
    long nRecordCount = 0;
};

CTable ReadTable(const std::string &strFile, const std::string &strTable)
{
    CDaoDatabase database;
    database.Open(strFile);
    CDaoRecordset recordset;
    recordset.OpenTable(&database, strTable);
    CTable table;
    for (int i = 0; i < recordset.GetFieldCount(); ++i)
        table.fields.push_back(recordset.GetFieldInfo(i));
    table.nRecordCount = recordset.GetRecordCount();
    for (recordset.MoveFirst(); !recordset.IsEOF(); recordset.MoveNext()) {
        std::vector<CVariant> row;
        for (int i = 0; i < recordset.GetFieldCount(); ++i)
            row.push_back(recordset.GetFieldValue(i));
        table.rows.push_back(row);
    }
    return table;
}

std::string ErrorOf(const std::function<void()> &action)
{
    try {
        action();
    } catch (const CDaoException &error) {
        return error.Description();
    }
    return "no error";
}

// The value as mdb-export writes it with -T '%Y-%m-%d %H:%M:%S'.
std::string ExportText(const CVariant &value)
{
    char buffer[64];
    switch (value.m_vt) {
    case VT_NULL:
        return {};
    case VT_BOOL:
        return value.m_boolVal ? "1" : "0";
    case VT_UI1:
        return std::to_string(value.m_bVal);
    case VT_I2:
        return std::to_string(value.m_iVal);
    case VT_I4:
        return std::to_string(value.m_lVal);
    case VT_CY:
        std::snprintf(buffer, sizeof buffer, "%s%lld.%04lld", value.m_cyVal < 0 ? "-" : "",
            std::llabs(value.m_cyVal) / 10000, std::llabs(value.m_cyVal) % 10000);
        return buffer;
    case VT_R4:
        std::snprintf(buffer, sizeof buffer, "%.7g", static_cast<double>(value.m_fltVal));
        return buffer;
    case VT_R8:
        std::snprintf(buffer, sizeof buffer, "%.16g", value.m_dblVal);
        return buffer;
    case VT_DATE: {
        const auto nSeconds = static_cast<long long>(std::llround(value.m_date * 86400));
        const long long nDay = nSeconds / 86400;
        const long long nTime = nSeconds % 86400;
        // Civil date from days since 1899-12-30 (valid for the non-negative days compared here).
        const long long z = nDay - 25569 + 719468; // days since 0000-03-01
        const long long era = z / 146097;
        const long long doe = z - era * 146097;
        const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
        const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
        const long long mp = (5 * doy + 2) / 153;
        const long long d = doy - (153 * mp + 2) / 5 + 1;
        const long long m = mp < 10 ? mp + 3 : mp - 9;
        const long long y = yoe + era * 400 + (m <= 2);
        std::snprintf(buffer, sizeof buffer, "%04lld-%02lld-%02lld %02lld:%02lld:%02lld", y, m, d,
            nTime / 3600, nTime / 60 % 60, nTime % 60);
        return buffer;
    }
    default:
        return value.m_str;
    }
}

std::vector<std::vector<std::string>> Export(
    const std::string &strFile, const std::string &strTable)
{
    // Field and record separators that no fixture value holds, as raw bytes inside quotes.
    const std::string strCommand = "mdb-export -H -Q -d '\x1f' -R '\x1e' -b hex "
                                   "-T '%Y-%m-%d %H:%M:%S' '"
        + strFile + "' '" + strTable + "'";
    std::FILE *pPipe = ::popen(strCommand.c_str(), "r");
    std::string strOutput;
    char buffer[65536];
    for (size_t n; pPipe && (n = std::fread(buffer, 1, sizeof buffer, pPipe)) > 0;)
        strOutput.append(buffer, n);
    if (pPipe)
        ::pclose(pPipe);
    std::vector<std::vector<std::string>> rows;
    size_t nStart = 0;
    for (size_t nEnd; (nEnd = strOutput.find('\x1e', nStart)) != std::string::npos;
         nStart = nEnd + 1) {
        std::vector<std::string> row;
        const std::string strRow = strOutput.substr(nStart, nEnd - nStart);
        size_t nField = 0;
        for (size_t nSep; (nSep = strRow.find('\x1f', nField)) != std::string::npos;
             nField = nSep + 1)
            row.push_back(strRow.substr(nField, nSep - nField));
        row.push_back(strRow.substr(nField));
        rows.push_back(row);
    }
    return rows;
}

std::string WithoutHyphens(std::string strText)
{
    std::erase(strText, '-');
    return strText;
}

// mdb-export's -b hex writes GUID texts as the hex digits of their characters.
std::string FromHex(const std::string &strHex)
{
    std::string strText;
    for (size_t i = 0; i + 1 < strHex.size(); i += 2)
        strText += static_cast<char>(std::stoi(strHex.substr(i, 2), nullptr, 16));
    return strText;
}

TEST(DatabaseTest, CatalogListsTableDefinitionsWithAttributes)
{
    CDaoDatabase database;
    database.Open(kData + "contacts.mdb");
    ASSERT_TRUE(database.IsOpen());
    std::vector<std::pair<std::string, uint32_t>> tableDefs;
    for (int i = 0; i < database.GetTableDefCount(); ++i)
        tableDefs.emplace_back(
            database.GetTableDefInfo(i).m_strName, database.GetTableDefInfo(i).m_lAttributes);
    const std::vector<std::pair<std::string, uint32_t>> expected
        = {{"MSysObjects", 0x80000000u}, {"MSysACEs", 0x80000000u}, {"MSysQueries", 0x80000000u},
            {"MSysRelationships", 0x80000000u}, {"MSysAccessObjects", 0x2u}, {"Contacts", 0},
            {"Orders", 0}, {"Empty", 0}, {"HiddenList", 0x1u}, {"LinkedPeople", 0x40000000u}};
    EXPECT_EQ(tableDefs, expected);

    database.Open(kData + "systemonly.mdb");
    for (int i = 0; i < database.GetTableDefCount(); ++i)
        EXPECT_NE(database.GetTableDefInfo(i).m_lAttributes & 0x80000002u, 0u)
            << database.GetTableDefInfo(i).m_strName;
    EXPECT_EQ(database.GetTableDefCount(), 5);
}

TEST(DatabaseTest, ContactsHoldTheirValuesInEveryFormat)
{
    const std::vector<std::pair<std::string, short>> kFields
        = {{"ID", 4}, {"FirstName", 10}, {"LastName", 10}, {"Email", 10}, {"City", 10}, {"Age", 3},
            {"Balance", 5}, {"Joined", 8}, {"Active", 1}, {"Score", 7}, {"Rating", 6}, {"Level", 2},
            {"Notes", 12}, {"Photo", 11}, {"Code", 15}, {"Amount", 20}};
    const CTable reference = ReadTable(kData + "contacts.mdb", "Contacts");
    for (const char *pFile : {"contacts.mdb", "contacts2003.mdb", "contacts.accdb"}) {
        const CTable table = ReadTable(kData + pFile, "Contacts");
        ASSERT_EQ(table.fields.size(), kFields.size()) << pFile;
        for (size_t i = 0; i < kFields.size(); ++i) {
            EXPECT_EQ(table.fields[i].m_strName, kFields[i].first) << pFile;
            EXPECT_EQ(table.fields[i].m_nType, kFields[i].second) << pFile << " " << i;
        }
        EXPECT_EQ(table.fields[1].m_lSize, 50);
        EXPECT_EQ(table.nRecordCount, 12) << pFile;
        ASSERT_EQ(table.rows.size(), 12u) << pFile;
        for (size_t r = 0; r < 12; ++r) {
            for (size_t c = 0; c < kFields.size(); ++c) {
                EXPECT_EQ(table.rows[r][c].m_vt, reference.rows[r][c].m_vt) << pFile << r << c;
                EXPECT_EQ(ExportText(table.rows[r][c]), ExportText(reference.rows[r][c]))
                    << pFile << " row " << r << " column " << c;
            }
        }
    }

    const auto &row1 = reference.rows[0];
    EXPECT_EQ(row1[0].m_vt, VT_I4);
    EXPECT_EQ(row1[0].m_lVal, 1);
    EXPECT_EQ(row1[1].m_str, "John");
    EXPECT_EQ(row1[6].m_vt, VT_CY);
    EXPECT_EQ(row1[6].m_cyVal, 1000000);
    EXPECT_EQ(row1[7].m_vt, VT_DATE);
    EXPECT_EQ(row1[7].m_date, 43845.0);
    EXPECT_EQ(row1[8].m_vt, VT_BOOL);
    EXPECT_EQ(row1[8].m_boolVal, -1);
    EXPECT_EQ(row1[9].m_dblVal, 87.5);
    EXPECT_EQ(row1[10].m_vt, VT_R4);
    EXPECT_EQ(row1[10].m_fltVal, 4.5f);
    EXPECT_EQ(row1[11].m_vt, VT_UI1);
    EXPECT_EQ(row1[11].m_bVal, 1);
    EXPECT_EQ(row1[13].m_vt, VT_NULL); // OLE objects are not read
    EXPECT_EQ(row1[14].m_str, "{6F9619FF-8B86-D011-B42D-00C04FC964FF}");
    EXPECT_EQ(row1[15].m_vt, VT_DECIMAL);
    EXPECT_EQ(row1[15].m_str, "1234.56");

    EXPECT_EQ(reference.rows[1][2].m_str, "M\xC3\xBCller");
    EXPECT_EQ(reference.rows[1][12].m_str,
        "Bevorzugt Deutsch \xE2\x80\x93 bitte \xE2\x80\x9ESie\xE2\x80\x9C verwenden.");
    EXPECT_EQ(reference.rows[1][14].m_str, "{00000000-0000-0000-0000-000000000000}");
    EXPECT_EQ(reference.rows[1][15].m_str, "-0.01");
    EXPECT_EQ(reference.rows[3][1].m_str, "Zo\xC3\xAB");
    EXPECT_EQ(reference.rows[4][1].m_str, "Zoe\xCC\x88");
    EXPECT_EQ(reference.rows[3][7].m_date, -18109.0);
    EXPECT_EQ(reference.rows[3][11].m_bVal, 255);
    EXPECT_EQ(reference.rows[4][15].m_str, "-99999999.99");
    EXPECT_EQ(reference.rows[9][7].m_date, 0.34375);
    EXPECT_EQ(reference.rows[9][12].m_str, "Dear friend from <<City>>, see you soon.");
    EXPECT_EQ(reference.rows[6][3].m_str, "Jane Roe <jane@example.com>");
    EXPECT_EQ(reference.rows[6][12].m_str, "Column A\tColumn B");
    // The long memo arrives whole.
    const std::string &strMemo = reference.rows[8][12].m_str;
    EXPECT_EQ(strMemo.size(), 1648u);
    EXPECT_EQ(strMemo.substr(0, 55), "Line 01: The quick brown fox jumps over the lazy dog.\r\n");
    EXPECT_EQ(strMemo.substr(strMemo.size() - 53),
        "Line 30: The quick brown fox jumps over the lazy dog.");
    // Row 8: NULL everywhere but ID, FirstName, Email, and Active, which is false.
    const auto &pat = reference.rows[7];
    for (size_t c : {2, 4, 5, 6, 7, 9, 10, 11, 12, 13, 14, 15})
        EXPECT_EQ(pat[c].m_vt, VT_NULL) << c;
    EXPECT_EQ(pat[8].m_vt, VT_BOOL);
    EXPECT_EQ(pat[8].m_boolVal, 0);
    // Row 11: empty strings are not NULL.
    EXPECT_EQ(reference.rows[10][4].m_vt, VT_BSTR);
    EXPECT_EQ(reference.rows[10][4].m_str, "");
    EXPECT_EQ(reference.rows[10][12].m_vt, VT_BSTR);
}

TEST(DatabaseTest, EveryTableAgreesWithMdbExport)
{
    const std::pair<const char *, const char *> kTables[] = {{"contacts.mdb", "Contacts"},
        {"contacts.mdb", "Orders"}, {"contacts.mdb", "Empty"}, {"contacts.mdb", "HiddenList"},
        {"linked.mdb", "People"}, {"contacts2003.mdb", "Contacts"}, {"contacts.accdb", "Contacts"}};
    for (const auto &[pFile, pTable] : kTables) {
        const CTable table = ReadTable(kData + pFile, pTable);
        const auto exported = Export(kData + pFile, pTable);
        ASSERT_EQ(table.rows.size(), exported.size()) << pFile << " " << pTable;
        for (size_t r = 0; r < exported.size(); ++r) {
            ASSERT_EQ(exported[r].size(), table.fields.size());
            for (size_t c = 0; c < table.fields.size(); ++c) {
                const CVariant &value = table.rows[r][c];
                const std::string &strExported = exported[r][c];
                if (value.m_vt == VT_DATE && value.m_date < 0)
                    continue; // mdb-export loses dates before 1900
                if (table.fields[c].m_nType == 11)
                    continue; // OLE objects are not read
                if (table.fields[c].m_nType == 15) {
                    EXPECT_EQ(WithoutHyphens(value.m_str), WithoutHyphens(FromHex(strExported)))
                        << strExported;
                    continue;
                }
                if (value.m_vt == VT_R4 || value.m_vt == VT_R8) {
                    const double exportedValue = std::stod(strExported);
                    const double ours = value.m_vt == VT_R4 ? value.m_fltVal : value.m_dblVal;
                    EXPECT_NEAR(ours, exportedValue, std::abs(exportedValue) * 1e-6)
                        << pTable << " " << r << " " << c;
                    continue;
                }
                EXPECT_EQ(ExportText(value), strExported)
                    << pFile << " " << pTable << " row " << r << " column "
                    << table.fields[c].m_strName;
            }
        }
    }
}

TEST(DatabaseTest, LinkedTablesReadTheirTarget)
{
    const CTable linked = ReadTable(kData + "contacts.mdb", "LinkedPeople");
    const CTable people = ReadTable(kData + "linked.mdb", "People");
    ASSERT_EQ(linked.rows.size(), 3u);
    EXPECT_EQ(linked.fields.size(), 2u);
    for (size_t r = 0; r < 3; ++r)
        EXPECT_EQ(linked.rows[r][0].m_str, people.rows[r][0].m_str);
    EXPECT_EQ(linked.rows[0][0].m_str, "Ada Lovelace");

    // Without the linked file beside it, the link names what is missing.
    const fs::path folder = fs::temp_directory_path() / "mergix-link-test";
    fs::remove_all(folder);
    fs::create_directories(folder);
    fs::copy_file(kData + "contacts.mdb", folder / "contacts.mdb");
    EXPECT_EQ(ErrorOf([&] { ReadTable((folder / "contacts.mdb").string(), "LinkedPeople"); }),
        "The table \"LinkedPeople\" is linked to the database \"" + folder.string()
            + "/linked.mdb\", which was not found.");
    fs::remove_all(folder);
}

TEST(DatabaseTest, ABrokenLinkTargetIsNamedAsSuch)
{
    const fs::path folder = fs::temp_directory_path() / "mergix-broken-link-test";
    const std::string strLinked = (folder / "linked.mdb").string();
    const std::string strTarget
        = "\"" + strLinked + "\", the target of the linked table \"LinkedPeople\",";
    const auto readLinked = [&] {
        return ErrorOf([&] { ReadTable((folder / "contacts.mdb").string(), "LinkedPeople"); });
    };
    const auto reset = [&] {
        fs::remove_all(folder);
        fs::create_directories(folder);
        fs::copy_file(kData + "contacts.mdb", folder / "contacts.mdb");
    };

    reset();
    fs::create_directory(strLinked);
    EXPECT_EQ(readLinked(), strTarget + " is a folder, not a Microsoft Access database.");

    reset();
    std::ofstream(strLinked).close(); // empty
    EXPECT_EQ(readLinked(), strTarget + " is not a Microsoft Access database.");

    reset();
    std::ofstream(strLinked) << "Name,Email\nAda,ada@example.org\n";
    EXPECT_EQ(readLinked(), strTarget + " is not a Microsoft Access database.");

    reset();
    fs::copy_file(kData + "linked.mdb", strLinked);
    fs::resize_file(strLinked, fs::file_size(strLinked) - 1000); // cut short
    EXPECT_EQ(readLinked(), "The database " + strTarget + " is damaged and cannot be read.");

    reset();
    ASSERT_EQ(::mkfifo(strLinked.c_str(), 0600), 0);
    EXPECT_EQ(
        readLinked(), strTarget + " is not a file, so it cannot be a Microsoft Access database.");
    fs::remove_all(folder);
}

TEST(DatabaseTest, RecordsetMovesForwardAndStartsAgain)
{
    CDaoDatabase database;
    database.Open(kData + "contacts.mdb");
    CDaoTableDef tableDef(&database);
    tableDef.Open("orders"); // table names ignore letter case, as in Access
    EXPECT_EQ(tableDef.GetName(), "Orders");
    CDaoRecordset first;
    CDaoRecordset second;
    first.Open(&tableDef);
    second.Open(&tableDef);
    EXPECT_EQ(first.GetRecordCount(), 4);
    first.MoveNext();
    first.MoveNext();
    // Two recordsets on one database move independently.
    EXPECT_EQ(first.GetFieldValue(0).m_lVal, 3);
    EXPECT_EQ(second.GetFieldValue(0).m_lVal, 1);
    EXPECT_EQ(first.GetFieldValue(5).m_date, -1.75);
    first.MoveNext();
    first.MoveNext();
    EXPECT_TRUE(first.IsEOF());
    EXPECT_EQ(ErrorOf([&] { first.MoveNext(); }), "No current record.");
    EXPECT_EQ(ErrorOf([&] { first.GetFieldValue(0); }), "No current record.");
    first.MoveFirst();
    ASSERT_FALSE(first.IsEOF());
    EXPECT_EQ(first.GetFieldValue(0).m_lVal, 1);

    tableDef.Open("Empty");
    CDaoRecordset empty;
    empty.Open(&tableDef);
    EXPECT_TRUE(empty.IsEOF());
    EXPECT_EQ(empty.GetRecordCount(), 0);
    EXPECT_EQ(empty.GetFieldCount(), 2);
    empty.MoveFirst();
    EXPECT_TRUE(empty.IsEOF());
}

TEST(DatabaseTest, FailuresNameTheFileOrTable)
{
    const fs::path folder = fs::temp_directory_path() / "mergix-error-test";
    fs::remove_all(folder);
    fs::create_directories(folder / "folder.mdb");
    const std::string strEmpty = (folder / "empty.mdb").string();
    std::fclose(std::fopen(strEmpty.c_str(), "wb"));
    const std::string strText = (folder / "text.mdb").string();
    std::FILE *pFile = std::fopen(strText.c_str(), "wb");
    std::fputs("Name,Email\nAnn,ann@example.org\n", pFile);
    std::fclose(pFile);

    CDaoDatabase database;
    const auto open = [&](const std::string &strPath) {
        return ErrorOf([&] { database.Open(strPath); });
    };
    EXPECT_EQ(open(kData + "missing.mdb"),
        "The database file \"" + kData + "missing.mdb\" was not found.");
    EXPECT_EQ(open(""), "The database file \"\" was not found.");
    EXPECT_EQ(open((folder / "folder.mdb").string()),
        "\"" + (folder / "folder.mdb").string()
            + "\" is a folder, not a Microsoft Access database.");
    EXPECT_EQ(open(strEmpty), "\"" + strEmpty + "\" is not a Microsoft Access database.");
    EXPECT_EQ(open(strText), "\"" + strText + "\" is not a Microsoft Access database.");
    EXPECT_FALSE(database.IsOpen());

    database.Open(kData + "contacts.mdb");
    CDaoTableDef tableDef(&database);
    EXPECT_EQ(ErrorOf([&] { tableDef.Open("Nope"); }),
        "The table \"Nope\" does not exist in the database \"" + kData + "contacts.mdb\".");
    EXPECT_EQ(ErrorOf([&] { tableDef.Open(""); }),
        "No table name was given for the database \"" + kData + "contacts.mdb\".");
    EXPECT_FALSE(tableDef.IsOpen());
    fs::remove_all(folder);
}

} // namespace
