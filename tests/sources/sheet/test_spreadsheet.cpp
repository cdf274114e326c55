// Excel and OpenDocument workbooks as lists, from files written by openpyxl and odfpy
// (tests/data/make_sheets.py): the contacts of contacts.mdb cell by cell against the Access
// table, what people do to a sheet, and the files that are damaged or built to do harm.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <vector>

#include <sys/resource.h>

#include <QTemporaryDir>

#include "engine/Data.h"
#include "sources/access/DaoDatabase.h"
#include "sources/access/DaoException.h"
#include "sources/access/DaoRecordset.h"
#include "sources/sheet/SheetArchive.h"
#include "sources/sheet/SheetCells.h"
#include "sources/sheet/SheetTable.h"
#include "sources/sheet/SpreadsheetSource.h"
#include "sources/sheet/Workbook.h"
#include "sources/sheet/XmlScanner.h"

namespace {

namespace fs = std::filesystem;
using EFormat = CSpreadsheetSource::EFormat;

const std::string kData = MERGIX_TESTS_DIR "/data/";

struct STable
{
    std::vector<CDaoFieldInfo> fields;
    std::vector<std::map<std::string, CVariant>> rows;
};

STable ReadAll(CTableCursor &cursor)
{
    STable table;
    for (int i = 0; i < cursor.GetFieldCount(); ++i)
        table.fields.push_back(cursor.GetFieldInfo(i));
    for (cursor.MoveFirst(); !cursor.IsEOF(); cursor.MoveNext()) {
        std::map<std::string, CVariant> row;
        for (int i = 0; i < cursor.GetFieldCount(); ++i)
            row[table.fields[size_t(i)].m_strName] = cursor.GetFieldValue(i);
        table.rows.push_back(row);
    }
    return table;
}

STable ReadSheet(const std::string &strFile, EFormat format, const std::string &strTable)
{
    CSpreadsheetSource source(kData + strFile, format);
    return ReadAll(*source.OpenTable(strTable));
}

std::vector<std::string> Names(const STable &table)
{
    std::vector<std::string> names;
    for (const CDaoFieldInfo &field : table.fields)
        names.push_back(field.m_strName);
    return names;
}

std::vector<short> Types(const STable &table)
{
    std::vector<short> types;
    for (const CDaoFieldInfo &field : table.fields)
        types.push_back(field.m_nType);
    return types;
}

// The value as the record list and the merge show it.
std::string Merged(const CVariant &value)
{
    CData data;
    data = value;
    return data.GetString();
}

double Number(const CVariant &value)
{
    switch (value.m_vt) {
    case VT_I2:
        return value.m_iVal;
    case VT_I4:
        return value.m_lVal;
    case VT_UI1:
        return value.m_bVal;
    case VT_R4:
        return double(value.m_fltVal);
    case VT_R8:
        return value.m_dblVal;
    case VT_CY:
        return double(value.m_cyVal) / 10000;
    case VT_DECIMAL:
        return std::stod(value.m_str);
    default:
        ADD_FAILURE() << "not a number: type " << value.m_vt;
        return NAN;
    }
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

std::string OpenError(const std::string &strPath, EFormat format)
{
    return ErrorOf([&] {
        CSpreadsheetSource source(strPath, format);
        for (const SSourceTable &table : source.Tables())
            ReadAll(*source.OpenTable(table.strName));
    });
}

void WriteFile(const std::string &strPath, const std::string &bytes)
{
    std::ofstream(strPath, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
}

std::string FileBytes(const std::string &strPath)
{
    std::ifstream file(strPath, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

void RunPython(const std::string &strScript, const std::vector<std::string> &arguments)
{
    std::string strCommand = "/usr/bin/python3 -c '" + strScript + "'";
    for (const std::string &strArgument : arguments)
        strCommand += " '" + strArgument + "'";
    ASSERT_EQ(std::system(strCommand.c_str()), 0) << strCommand;
}

class SpreadsheetContactsTest : public testing::TestWithParam<EFormat>
{
protected:
    std::string File() const
    {
        return GetParam() == EFormat::Xlsx ? "contacts.xlsx" : "contacts.ods";
    }
};

TEST_P(SpreadsheetContactsTest, SheetsAreTheWorkbooksTablesInOrderWithTheHiddenOneMarked)
{
    CSpreadsheetSource source(kData + File(), GetParam());
    const std::vector<SSourceTable> tables = source.Tables();
    ASSERT_EQ(tables.size(), 4u);
    EXPECT_EQ(tables[0].strName, "Contacts");
    EXPECT_EQ(tables[1].strName, "Orders");
    EXPECT_EQ(tables[2].strName, "Empty");
    EXPECT_EQ(tables[3].strName, "HiddenList");
    EXPECT_FALSE(tables[0].bHidden || tables[1].bHidden || tables[2].bHidden);
    EXPECT_TRUE(tables[3].bHidden);
    EXPECT_EQ(source.DefaultTable(), "Contacts");
    EXPECT_EQ(source.KindName(),
        GetParam() == EFormat::Xlsx ? "Excel workbook" : "OpenDocument spreadsheet");

    // A header without rows is a table without records; names are found ignoring case.
    const STable empty = ReadAll(*source.OpenTable("empty"));
    EXPECT_EQ(Names(empty), (std::vector<std::string> {"Key", "Label"}));
    EXPECT_TRUE(empty.rows.empty());
    EXPECT_EQ(ErrorOf([&] { source.OpenTable("Nope"); }),
        "The table \"Nope\" does not exist in \"" + kData + File() + "\".");
}

TEST_P(SpreadsheetContactsTest, EveryValueEqualsTheAccessTable)
{
    const STable sheet = ReadSheet(File(), GetParam(), "Contacts");
    CDaoDatabase database;
    database.Open(kData + "contacts.mdb");
    CDaoRecordset recordset;
    recordset.OpenTable(&database, "Contacts");
    const STable access = ReadAll(recordset);

    EXPECT_EQ(Names(sheet),
        (std::vector<std::string> {"ID", "FirstName", "LastName", "Email", "City", "Age", "Balance",
            "Joined", "Active", "Score", "Rating", "Level", "Notes", "Code", "Amount"}));
    EXPECT_EQ(Types(sheet),
        (std::vector<short> {dbLong, dbText, dbText, dbText, dbText, dbLong, dbDouble, dbDate,
            dbBoolean, dbDouble, dbDouble, dbLong, dbText, dbText, dbDouble}));
    ASSERT_EQ(sheet.rows.size(), access.rows.size());
    for (size_t nRow = 0; nRow < sheet.rows.size(); ++nRow) {
        for (const auto &[strName, value] : sheet.rows[nRow]) {
            SCOPED_TRACE("row " + std::to_string(nRow + 1) + ", " + strName);
            const CVariant &expected = access.rows[nRow].at(strName);
            if (strName == "Code") {
                EXPECT_EQ(value.m_str, expected.m_str);
                continue;
            }
            const bool bEmpty
                = expected.m_vt == VT_NULL || (expected.m_vt == VT_BSTR && expected.m_str.empty());
            if (bEmpty) {
                EXPECT_EQ(value.m_vt, VT_NULL); // a sheet keeps no empty text
            } else if (expected.m_vt == VT_BSTR) {
                // An .ods cell holds lines as paragraphs, read back as CR LF as Access has them.
                EXPECT_EQ(value.m_str, expected.m_str);
            } else if (expected.m_vt == VT_DATE || expected.m_vt == VT_BOOL) {
                EXPECT_EQ(value.m_vt, expected.m_vt);
                EXPECT_EQ(Merged(value), Merged(expected)); // to the second, before 1900 too
            } else if (expected.m_vt == VT_R4) {
                EXPECT_NEAR(Number(value), Number(expected), 1e-6 * std::fabs(Number(expected)));
            } else {
                EXPECT_EQ(Number(value), Number(expected));
            }
        }
    }
}

TEST_P(SpreadsheetContactsTest, HiddenAndOtherSheetsReadLikeTheirAccessTables)
{
    const STable hidden = ReadSheet(File(), GetParam(), "HiddenList");
    ASSERT_EQ(hidden.rows.size(), 2u);
    EXPECT_EQ(hidden.rows[1].at("Email").m_str, "hidden2@example.org");
    const STable orders = ReadSheet(File(), GetParam(), "Orders");
    ASSERT_EQ(orders.rows.size(), 4u);
    EXPECT_EQ(orders.rows[1].at("Product").m_str, "Gadget – deluxe");
    // 1899-12-29 18:00, which OLE Automation counts as -1.75
    EXPECT_EQ(orders.rows[2].at("OrderDate").m_date, -1.75);
    EXPECT_EQ(Merged(orders.rows[2].at("Quantity")), "100");
}

INSTANTIATE_TEST_SUITE_P(BothFormats, SpreadsheetContactsTest,
    testing::Values(EFormat::Xlsx, EFormat::Ods),
    [](const auto &info) { return info.param == EFormat::Xlsx ? "xlsx" : "ods"; });

class SpreadsheetTrickyTest : public testing::TestWithParam<EFormat>
{
protected:
    std::string File() const
    {
        return GetParam() == EFormat::Xlsx ? "sheet-tricky.xlsx" : "sheet-tricky.ods";
    }
};

TEST_P(SpreadsheetTrickyTest, TheFirstFilledRowNamesTheFieldsAndBlankRowsAreNoRecords)
{
    const STable table = ReadSheet(File(), GetParam(), "Members");
    // From column B, the header on row 3; a blank and a repeated name made visible; a value
    // right of the header gets a column of its own.
    EXPECT_EQ(Names(table),
        (std::vector<std::string> {"Name", "Zip", "Amount", "Count", "Joined", "Member", "Total",
            "Column 8", "Name (2)", "Mixed", "Start", "Column 12"}));
    EXPECT_EQ(Types(table),
        (std::vector<short> {dbText, dbText, dbDouble, dbLong, dbDate, dbBoolean, dbDouble, dbText,
            dbText, dbText, dbDate, dbText}));
    // The blank row between the records and the formatted empty rows below them are skipped.
    ASSERT_EQ(table.rows.size(), 3u);
    EXPECT_EQ(table.rows[0].at("Name").m_str, "Ann Example"); // a rich text of two runs
    EXPECT_EQ(table.rows[2].at("Name").m_str, "Cy");
    EXPECT_EQ(table.rows[0].at("Column 12").m_str, "beyond the header");
    EXPECT_EQ(table.rows[1].at("Column 12").m_vt, VT_NULL);
    EXPECT_EQ(table.rows[2].at("Joined").m_vt, VT_NULL);
}

TEST_P(SpreadsheetTrickyTest, CellsKeepTheTypeTheFileGivesThem)
{
    const STable table = ReadSheet(File(), GetParam(), "Members");
    const auto &ann = table.rows[0];
    const auto &bob = table.rows[1];
    EXPECT_EQ(ann.at("Zip").m_str, "01234"); // text that looks like a number stays text
    EXPECT_EQ(ann.at("Joined").m_vt, VT_DATE);
    EXPECT_EQ(ann.at("Joined").m_date, 45352); // 2024-03-01
    EXPECT_EQ(bob.at("Joined").m_date, 36525); // 1999-12-31
    EXPECT_EQ(ann.at("Member").m_vt, VT_BOOL);
    EXPECT_TRUE(ann.at("Member").m_boolVal != 0 && bob.at("Member").m_boolVal == 0);
    EXPECT_EQ(ann.at("Start").m_date, 0.34375); // a time alone: 08:15 of day 0
    EXPECT_EQ(bob.at("Start").m_date, (17 * 3600 + 30 * 60 + 5) / 86400.0);
    // A formula counts by the result saved with it.
    EXPECT_EQ(ann.at("Total").m_dblVal, 41973);
    EXPECT_EQ(bob.at("Total").m_dblVal, 0.7000000000000001);
    // Numbers and a date in a column with text read as their text.
    EXPECT_EQ(ann.at("Mixed").m_str, "7");
    EXPECT_EQ(bob.at("Mixed").m_str, "seven");
    EXPECT_EQ(table.rows[2].at("Mixed").m_str, "2024-02-29");
}

TEST_P(SpreadsheetTrickyTest, NumbersMergeWithoutNoise)
{
    const STable table = ReadSheet(File(), GetParam(), "Members");
    // Whole numbers are Longs: "34", never "34.000000".
    EXPECT_EQ(Merged(table.rows[0].at("Count")), "34");
    EXPECT_EQ(Merged(table.rows[2].at("Count")), "0");
    // Other numbers merge as a spreadsheet shows them: 1234.5, not 1234.500000 as an Access
    // Double; a formula's 0.7000000000000001 as 0.7; a negative zero without its sign.
    EXPECT_EQ(Merged(table.rows[0].at("Amount")), "1234.5");
    EXPECT_EQ(Merged(table.rows[1].at("Total")), "0.7");
    EXPECT_EQ(Merged(table.rows[2].at("Total")), "0");
    EXPECT_EQ(Merged(table.rows[1].at("Amount")), "0.1");
}

TEST_P(SpreadsheetTrickyTest, HiddenAndEmptySheets)
{
    CSpreadsheetSource source(kData + File(), GetParam());
    std::vector<std::pair<std::string, bool>> tables;
    for (const SSourceTable &table : source.Tables())
        tables.emplace_back(table.strName, table.bHidden);
    if (GetParam() == EFormat::Xlsx)
        EXPECT_EQ(tables,
            (std::vector<std::pair<std::string, bool>> {
                {"Members", false}, {"Secret", true}, {"Internal", true}, {"Blank", false}}));
    else
        EXPECT_EQ(tables,
            (std::vector<std::pair<std::string, bool>> {
                {"Members", false}, {"Secret", true}, {"Blank", false}}));
    const STable blank = ReadAll(*source.OpenTable("Blank"));
    EXPECT_TRUE(blank.fields.empty() && blank.rows.empty());
}

INSTANTIATE_TEST_SUITE_P(BothFormats, SpreadsheetTrickyTest,
    testing::Values(EFormat::Xlsx, EFormat::Ods),
    [](const auto &info) { return info.param == EFormat::Xlsx ? "xlsx" : "ods"; });

TEST(SpreadsheetSourceTest, NumbersShowFifteenSignificantDigitsAsPrintfWouldWriteThem)
{
    std::mt19937_64 random(11);
    std::vector<double> values {0.0, -0.0, 1.0, -1.0, 0.1 + 0.6, 1e15, 1e-5, 123456789012345678.0,
        2176.66, 38451.96082175926, 1e300, -5e-324};
    std::uniform_real_distribution<double> spread(-1e6, 1e6);
    for (int i = 0; i < 20000; ++i) {
        values.push_back(spread(random));
        values.push_back(std::round(spread(random)));
        values.push_back(std::ldexp(spread(random), static_cast<int>(random() % 200) - 100));
    }
    for (const double dValue : values) {
        char expected[64];
        std::snprintf(expected, sizeof expected, "%.15g", dValue == 0 ? 0 : dValue);
        ASSERT_EQ(NumberText(dValue), expected) << dValue;
    }
}

TEST(SpreadsheetSourceTest, ReloadReadsTheFileAgain)
{
    QTemporaryDir dir;
    const std::string strPath = dir.filePath(QStringLiteral("list.xlsx")).toStdString();
    fs::copy_file(kData + "contacts.xlsx", strPath);
    CSpreadsheetSource source(strPath, EFormat::Xlsx);
    EXPECT_EQ(source.Tables().size(), 4u);
    fs::copy_file(kData + "sheet-tricky.xlsx", strPath, fs::copy_options::overwrite_existing);
    EXPECT_EQ(source.Tables().size(), 4u);
    EXPECT_EQ(source.Tables()[0].strName, "Contacts"); // nothing read until asked
    source.Reload();
    EXPECT_EQ(source.Tables()[0].strName, "Members");
    fs::remove(strPath);
    EXPECT_EQ(ErrorOf([&] { source.Reload(); }),
        "The file \"" + strPath + "\" was not found or cannot be read.");
}

TEST(SpreadsheetSourceTest, DateFormatsAreToldFromNumberFormats)
{
    EXPECT_TRUE(IsBuiltInDateFormat(14) && IsBuiltInDateFormat(22) && IsBuiltInDateFormat(45));
    EXPECT_FALSE(IsBuiltInDateFormat(2) || IsBuiltInDateFormat(23) || IsBuiltInDateFormat(49));
    EXPECT_TRUE(IsDateFormatCode("yyyy-mm-dd"));
    EXPECT_TRUE(IsDateFormatCode("[$-409]h:mm:ss AM/PM;@"));
    EXPECT_TRUE(IsDateFormatCode("[h]:mm")); // elapsed time
    EXPECT_TRUE(IsDateFormatCode("DD.MM.YYYY"));
    EXPECT_FALSE(IsDateFormatCode("0.00\" days\""));
    EXPECT_FALSE(IsDateFormatCode("[Red]#,##0.00"));
    EXPECT_FALSE(IsDateFormatCode("0.0%"));
    EXPECT_FALSE(IsDateFormatCode("General"));
    EXPECT_FALSE(IsDateFormatCode("\\d0_m"));
}

// Every cell of a workbook as text: sheet, place, kind and value.
std::vector<std::string> CellsOf(const CWorkbook &book)
{
    std::vector<std::string> cells;
    for (const CWorkbook::SSheet &sheet : book.Sheets()) {
        for (size_t nRecord = 0; nRecord < sheet.table.RecordCount(); ++nRecord) {
            for (const SSheetCell &cell : sheet.table.RecordCells(nRecord)) {
                std::string strCell = sheet.strName + "!" + ColumnLetters(cell.nColumn)
                    + std::to_string(cell.nRow + 1) + " " + std::to_string(int(cell.kind)) + " ";
                strCell += cell.kind == ECellKind::Text ? std::string(book.Text().At(cell.nText))
                                                        : std::to_string(cell.dValue);
                cells.push_back(strCell);
            }
        }
    }
    return cells;
}

// What the scanner reads of XML fed in pieces of this size (all at once for 0): each tag with
// its attributes and the text before it.
std::vector<std::string> ScannedTags(std::string_view xml, size_t nPiece)
{
    CXmlScanner scanner;
    std::vector<std::string> tags;
    std::string strText;
    SXmlTag tag;
    const auto scan = [&] {
        while (scanner.Next(tag, &strText) == CXmlScanner::EStep::Tag) {
            tags.push_back(strText + "|" + (tag.bEnd ? "/" : "") + std::string(tag.name)
                + (tag.bEmpty ? "/" : "") + "|" + std::string(tag.attributes));
            strText.clear();
        }
    };
    for (size_t nAt = 0; nAt < xml.size(); nAt += nPiece == 0 ? xml.size() : nPiece) {
        scanner.Append(xml.substr(nAt, nPiece == 0 ? xml.size() : nPiece));
        scan();
    }
    scanner.Finish();
    scan();
    tags.push_back(strText + "|end");
    return tags;
}

TEST(SpreadsheetLargeSheetTest, TheXmlScannerReadsTheSameInPiecesOfAnySize)
{
    const std::string strXml = "<?xml version=\"1.0\"?>\r\n<x:sheet a=\"1 &amp; 2\" b='>'>"
                               "<row r=\"2\"><c r=\"A2\"><v>&#233;&lt;&#x1F600;</v></c>"
                               "<!-- <c> --><t><![CDATA[<a> ]] ]]></t><empty/>\r\ntext\r"
                               "</row></x:sheet>tail";
    const std::vector<std::string> whole = ScannedTags(strXml, 0);
    ASSERT_EQ(whole.size(), 12u);
    EXPECT_EQ(whole[0], "\n|sheet| a=\"1 &amp; 2\" b='>'");
    EXPECT_EQ(whole[4], "\xC3\xA9<\xF0\x9F\x98\x80|/v|");
    EXPECT_EQ(whole[7], "<a> ]] |/t|");
    EXPECT_EQ(whole[8], "|empty/|");
    EXPECT_EQ(whole[9], "\ntext\n|/row|");
    EXPECT_EQ(whole.back(), "tail|end");
    std::string strScratch;
    EXPECT_EQ(CXmlScanner::Attribute(" a=\"1 &amp; 2\" b='>'", "a", strScratch), "1 & 2");
    EXPECT_EQ(CXmlScanner::Attribute(" a=\"1 &amp; 2\" b='>'", "b", strScratch), ">");
    for (size_t nPiece = 1; nPiece < strXml.size(); ++nPiece)
        EXPECT_EQ(ScannedTags(strXml, nPiece), whole) << nPiece;
}

TEST(SpreadsheetLargeSheetTest, ASheetReadsTheSameWhereverItsPiecesEnd)
{
    // A sheet is read as it is unpacked, a quarter megabyte at a time. Long comments between
    // the rows move the ends of the pieces through every kind of tag and text; what is read
    // must not change.
    const std::string strTemplate = FileBytes(kData + "sheet-tricky.xlsx");
    const CSheetArchive archive(strTemplate, "template");
    const auto sheetXml = [](bool bPadded, bool bOneWithoutAddress) {
        std::string strXml = "<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/"
                             "2006/main\"><sheetData>";
        strXml += "<row r=\"1\"><c r=\"A1\" t=\"inlineStr\"><is><t>Name</t></is></c><c r=\"B1\" "
                  "t=\"inlineStr\"><is><t>Born</t></is></c><c r=\"C1\" t=\"inlineStr\"><is><t>"
                  "Count</t></is></c><c r=\"D1\" t=\"inlineStr\"><is><t>Active</t></is></c><c "
                  "r=\"E1\" t=\"inlineStr\"><is><t>Total</t></is></c><c r=\"F1\" t=\"inlineStr\">"
                  "<is><t>Note</t></is></c></row>";
        for (int nRow = 2; nRow <= 40; ++nRow) {
            const std::string n = std::to_string(nRow);
            if (bPadded) {
                // The next piece begins this far into the row.
                const size_t nInto = 1 + size_t(nRow) * 19 % 400;
                constexpr size_t kPiece = 256 << 10;
                const size_t nRowAt = ((strXml.size() + 9 + nInto) / kPiece + 1) * kPiece - nInto;
                strXml += "<!-- " + std::string(nRowAt - strXml.size() - 9, 'x') + " -->";
            }
            strXml += "<row r=\"" + n + "\">";
            strXml += "<c r=\"A" + n
                + "\" t=\"inlineStr\"><is><t xml:space=\"preserve\">Member "
                  "number "
                + n + " of the club, &amp; friends &#233;</t></is></c>";
            // A cell without an address takes the column after the one before it.
            strXml += bOneWithoutAddress && nRow == 20 ? "<c s=\"2\" t=\"n\"><v>"
                                                       : "<c r=\"B" + n + "\" s=\"2\" t=\"n\"><v>";
            strXml += std::to_string(40000 + nRow) + "</v></c>";
            strXml += "<c r=\"C" + n + "\" t=\"n\"><v>" + n + ".5</v></c>";
            strXml += "<c r=\"D" + n + "\" t=\"b\"><v>" + std::to_string(nRow % 2) + "</v></c>";
            strXml += "<c r=\"E" + n + "\"><f>C" + n + "*2</f><v>" + std::to_string(nRow * 2 + 1)
                + "</v></c>";
            strXml += "<c r=\"F" + n
                + "\" t=\"inlineStr\"><is><r><t>Rich </t></r><r><rPr><b/></rPr>"
                  "<t>text</t></r><rPh sb=\"0\" eb=\"1\"><t>guide</t></rPh></is></c>";
            // A cell of inline text is its text, even with a formula in it.
            if (nRow == 30)
                strXml += "<c r=\"G30\" t=\"inlineStr\"><f>1+1</f><v>2</v><is><t>two</t></is></c>";
            // Formula results of text and errors, dates as strict workbooks write them, text
            // in CDATA.
            if (nRow == 31)
                strXml += "<c r=\"G31\" t=\"str\"><f>A1&amp;\"x\"</f><v>line_x000D_two</v></c>"
                          "<c r=\"H31\" t=\"e\"><f>1/0</f><v>#DIV/0!</v></c>"
                          "<c r=\"I31\" t=\"d\"><v>2026-12-09T12:00:00</v></c>"
                          "<c r=\"J31\" t=\"inlineStr\"><is><t><![CDATA[a <b> & c]]></t></is></c>";
            strXml += "</row>";
        }
        return strXml + "</sheetData></worksheet>";
    };
    const auto cellsOf = [&](const std::string &strXml) {
        return CellsOf(CWorkbook::Parse(
            archive.WithReplaced({{"xl/worksheets/sheet1.xml", strXml}}), EFormat::Xlsx, "list"));
    };
    for (const bool bOneWithoutAddress : {false, true}) {
        const std::vector<std::string> cells = cellsOf(sheetXml(false, bOneWithoutAddress));
        EXPECT_EQ(cells, cellsOf(sheetXml(true, bOneWithoutAddress)));
        const auto has = [&](const std::string &strCell) {
            return std::find(cells.begin(), cells.end(), strCell) != cells.end();
        };
        EXPECT_TRUE(has("Members!A7 3 Member number 7 of the club, & friends \xC3\xA9"));
        EXPECT_TRUE(has("Members!A20 3 Member number 20 of the club, & friends \xC3\xA9"));
        EXPECT_TRUE(has("Members!B20 1 40020.000000"));
        EXPECT_TRUE(has("Members!B7 1 40007.000000")); // a date
        EXPECT_TRUE(has("Members!C7 0 7.500000"));
        EXPECT_TRUE(has("Members!D7 2 1.000000"));
        EXPECT_TRUE(has("Members!E7 0 15.000000")); // the formula's saved result
        EXPECT_TRUE(has("Members!F7 3 Rich text"));
        EXPECT_TRUE(has("Members!G30 3 two"));
        EXPECT_TRUE(has("Members!G31 3 line\rtwo"));
        EXPECT_TRUE(has("Members!H31 3 #DIV/0!"));
        EXPECT_TRUE(has("Members!I31 1 46365.500000"));
        EXPECT_TRUE(has("Members!J31 3 a <b> & c"));
        EXPECT_EQ(std::count_if(cells.begin(), cells.end(),
                      [](const std::string &strCell) { return strCell.starts_with("Members!"); }),
            39 * 6 + 5); // the first row names the fields
    }
}

// Files that are damaged or built to do harm: a message naming the file, and nothing that
// takes the machine's memory or time.
class SpreadsheetBadFileTest : public testing::Test
{
protected:
    std::string Path(const char *pName) const
    {
        return m_dir.filePath(QString::fromLatin1(pName)).toStdString();
    }

    QTemporaryDir m_dir;
};

TEST_F(SpreadsheetBadFileTest, CutShortOrRandomBytesAreRefusedByName)
{
    const std::string bytes = FileBytes(kData + "contacts.xlsx");
    for (const size_t nLength : {bytes.size() / 2, bytes.size() - 10, size_t(30), size_t(3)}) {
        const std::string strPath = Path("cut.xlsx");
        WriteFile(strPath, bytes.substr(0, nLength));
        const std::string strError = OpenError(strPath, EFormat::Xlsx);
        EXPECT_NE(strError.find("The file \"" + strPath + "\""), std::string::npos) << strError;
    }
    std::mt19937 random(20240601);
    for (int n = 0; n < 20; ++n) {
        std::string noise = "PK\x03\x04";
        for (int i = 0; i < 4000; ++i)
            noise += static_cast<char>(random());
        if (n % 2 == 1)
            noise += bytes.substr(bytes.size() - 200); // a real table of contents at the end
        const std::string strPath = Path("noise.ods");
        WriteFile(strPath, noise);
        for (const EFormat format : {EFormat::Xlsx, EFormat::Ods}) {
            const std::string strError = OpenError(strPath, format);
            EXPECT_NE(strError.find("The file \"" + strPath + "\""), std::string::npos) << strError;
        }
    }
    EXPECT_EQ(OpenError(kData + "contacts.xlsx", EFormat::Ods),
        "The file \"" + kData
            + "contacts.xlsx\" is a zip archive, but not an OpenDocument "
              "spreadsheet.");
    EXPECT_EQ(OpenError(Path("missing.xlsx"), EFormat::Xlsx),
        "The file \"" + Path("missing.xlsx") + "\" was not found or cannot be read.");
}

TEST_F(SpreadsheetBadFileTest, PartsOrcusWouldMisreadAreRefusedFirst)
{
    // Bytes changed inside a packed part: orcus would parse what half unpacks of it.
    std::string bytes = FileBytes(kData + "sheet-tricky.xlsx");
    const size_t nSheet = bytes.find("xl/worksheets/sheet1.xml");
    ASSERT_NE(nSheet, std::string::npos);
    for (size_t i = nSheet + 40; i < nSheet + 60; ++i)
        bytes[i] = static_cast<char>(~bytes[i]);
    EXPECT_EQ(ErrorOf([&] { CWorkbook::Parse(bytes, EFormat::Xlsx, "list.xlsx"); }),
        "The file \"list.xlsx\" is damaged: the part \"xl/worksheets/sheet1.xml\" does not "
        "unpack to what its checksum says.");
    // A sheet with control characters, well packed: orcus 0.17's parser runs past its buffer
    // on this one and aborts the program.
    const std::string strTemplate = FileBytes(kData + "sheet-tricky.xlsx");
    const CSheetArchive archive(strTemplate, "template");
    const std::string strSheet("<wor\x04\0\0\0s3sax1ef=\"/ss\x01;\xa0\xbb\x05\x17\r\npiD", 30);
    EXPECT_EQ(ErrorOf([&] {
        CWorkbook::Parse(archive.WithReplaced({{"xl/worksheets/sheet1.xml", strSheet}}),
            EFormat::Xlsx, "list.xlsx");
    }),
        "The file \"list.xlsx\" is damaged: its part \"xl/worksheets/sheet1.xml\" holds bytes "
        "that XML does not allow.");
}

TEST_F(SpreadsheetBadFileTest, AForbiddenControlCharacterIsFoundAnywhereInAPart)
{
    const std::string strTemplate = FileBytes(kData + "sheet-tricky.xlsx");
    const CSheetArchive archive(strTemplate, "template");
    // Tabs and line ends between the tags are allowed; long enough for many blocks of bytes.
    std::string strSheet = "<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/"
                           "2006/main\">\r\n<sheetData>";
    for (int nRow = 1; nRow <= 40; ++nRow)
        strSheet += "\r\n\t<row r=\"" + std::to_string(nRow) + "\"><c r=\"A" + std::to_string(nRow)
            + "\" t=\"inlineStr\"><is><t>Name " + std::to_string(nRow) + "</t></is></c></row>";
    strSheet += "\n</sheetData></worksheet>\n";
    const auto errorOf = [&](const std::string &strXml) {
        return ErrorOf([&] {
            CWorkbook::Parse(archive.WithReplaced({{"xl/worksheets/sheet1.xml", strXml}}),
                EFormat::Xlsx, "list.xlsx");
        });
    };
    EXPECT_EQ(errorOf(strSheet), "no error");
    const size_t nText = strSheet.find("Name 30");
    for (const size_t nAt : {size_t(0), size_t(63), size_t(64), size_t(200), nText + 4,
             strSheet.size() - 70, strSheet.size() - 1}) {
        std::string strBad = strSheet;
        strBad[nAt] = nAt % 2 == 0 ? '\x01' : '\x1F';
        EXPECT_EQ(errorOf(strBad),
            "The file \"list.xlsx\" is damaged: its part \"xl/worksheets/sheet1.xml\" holds "
            "bytes that XML does not allow.")
            << "at " << nAt;
    }
}

TEST_F(SpreadsheetBadFileTest, APartIsCheckedAgainstItsChecksumAndSize)
{
    // The sheet's record in the table of contents, where its checksum and unpacked size are.
    const std::string strTemplate = FileBytes(kData + "sheet-tricky.xlsx");
    const std::string strName = "xl/worksheets/sheet1.xml";
    size_t nRecord = strTemplate.find("PK\x01\x02");
    while (
        nRecord != std::string::npos && strTemplate.compare(nRecord + 46, strName.size(), strName))
        nRecord = strTemplate.find("PK\x01\x02", nRecord + 4);
    ASSERT_NE(nRecord, std::string::npos);
    const auto get32 = [&](size_t nAt) {
        uint32_t n = 0;
        for (size_t i = 0; i < 4; ++i)
            n |= uint32_t(static_cast<unsigned char>(strTemplate[nAt + i])) << (8 * i);
        return n;
    };
    const auto with32 = [&](size_t nAt, uint32_t n) {
        std::string bytes = strTemplate;
        for (size_t i = 0; i < 4; ++i)
            bytes[nAt + i] = static_cast<char>((n >> (8 * i)) & 0xFF);
        return ErrorOf([&] { CWorkbook::Parse(bytes, EFormat::Xlsx, "list.xlsx"); });
    };
    const std::string strPart = "The file \"list.xlsx\" is damaged: the part \"" + strName + "\" ";
    // Packed bytes intact, the checksum they must give changed.
    EXPECT_EQ(with32(nRecord + 16, get32(nRecord + 16) ^ 0x10000),
        strPart + "does not unpack to what its checksum says.");
    const uint32_t nSize = get32(nRecord + 24);
    ASSERT_GT(nSize, 100u);
    EXPECT_EQ(with32(nRecord + 24, nSize - 1), strPart + "unpacks to more than it claims.");
    EXPECT_EQ(with32(nRecord + 24, nSize + 1), strPart + "is shorter than it claims.");
}

TEST_F(SpreadsheetBadFileTest, AZipBombIsRefusedBeforeItIsUnpacked)
{
    // contacts.xlsx with its first sheet replaced by 600 MB of blanks, packed to about 600 KB:
    // once honest about its size, once claiming 1,000 bytes.
    const char *pScript = R"(
import sys, zipfile
source, target = sys.argv[1], sys.argv[2]
with zipfile.ZipFile(source) as old, zipfile.ZipFile(target, "w", zipfile.ZIP_DEFLATED) as new:
    for info in old.infolist():
        if info.filename == "xl/worksheets/sheet1.xml":
            with new.open(info.filename, "w") as part:
                block = b" " * (1 << 20)
                for _ in range(600):
                    part.write(block)
        else:
            new.writestr(info.filename, old.read(info.filename))
data = bytearray(open(target, "rb").read())
at = data.find(b"PK\x01\x02")
while data[at + 46:at + 46 + 24] != b"xl/worksheets/sheet1.xml":
    at = data.find(b"PK\x01\x02", at + 4)
data[at + 24:at + 28] = (1000).to_bytes(4, "little")
open(target + ".lying", "wb").write(data)
)";
    const std::string strBomb = Path("bomb.xlsx");
    RunPython(pScript, {kData + "contacts.xlsx", strBomb});
    ASSERT_LT(fs::file_size(strBomb), 2u << 20);
    EXPECT_EQ(OpenError(strBomb, EFormat::Xlsx),
        "The file \"" + strBomb
            + "\" unpacks to more than it can hold (\"xl/worksheets/sheet1.xml\" claims 629145600 "
              "bytes); it is damaged or built to exhaust memory.");
    // Lying about the size, it breaks the deflate ratio no packer reaches.
    const std::string strLying = strBomb + ".lying";
    const std::string strError = OpenError(strLying, EFormat::Xlsx);
    EXPECT_NE(strError.find("The file \"" + strLying + "\""), std::string::npos) << strError;
    rusage usage {};
    ::getrusage(RUSAGE_SELF, &usage);
    EXPECT_LT(usage.ru_maxrss, 300 * 1024) << "kB at the peak";
}

TEST_F(SpreadsheetBadFileTest, AbsurdSizesAreRefusedWithTheirSheet)
{
    // A billion repeated empty cells in one row of an .ods.
    EXPECT_EQ(OpenError(kData + "sheet-repeat.ods", EFormat::Ods),
        "The file \"" + kData
            + "sheet-repeat.ods\" is damaged or built to exhaust the reader: its rows repeat cells "
              "more than 67108864 times.");
    // A cell at the last row and column is fine; 2,100 rows reaching the last column are too
    // many cells to be a list, and only that sheet is refused.
    CSpreadsheetSource source(kData + "sheet-wide.xlsx", EFormat::Xlsx);
    const STable far = ReadAll(*source.OpenTable("Far"));
    EXPECT_EQ(far.fields.size(), 16384u);
    ASSERT_EQ(far.rows.size(), 2u);
    EXPECT_EQ(far.rows[1].at("Column 16384").m_str, "far away");
    EXPECT_EQ(ErrorOf([&] { source.OpenTable("Wide"); }),
        "The sheet \"Wide\" of the file \"" + kData
            + "sheet-wide.xlsx\" has 2100 rows of 16384 columns; Mergix reads at most "
              "33,554,432 cells of a sheet.");
    EXPECT_EQ(OpenError(kData + "sheet-giant-cell.xlsx", EFormat::Xlsx),
        "The file \"" + kData
            + "sheet-giant-cell.xlsx\" has a cell of more than 1 MB of text (sheet \"Sheet\", "
              "cell B2); it is not a list Mergix can read.");
}

} // namespace
