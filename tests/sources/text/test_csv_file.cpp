// CSV and TSV lists as a person brings them: quotes and line breaks inside fields, BOMs,
// Windows-1252, semicolons with decimal commas, leading zeros, dates, short rows, and the files
// that are no list at all.
#include <gtest/gtest.h>

#include <algorithm>

#include "engine/Data.h"
#include "engine/Progress.h"
#include "engine/RuleSet.h"
#include "mail/RecordList.h"
#include "mail/RuleSelection.h"
#include "sources/access/DaoException.h"
#include "sources/text/CsvFile.h"
#include "sources/text/CsvRecordset.h"

namespace {

std::vector<std::string> Row(const CCsvFile &file, size_t nRow)
{
    std::vector<std::string> cells;
    for (size_t i = 0; i < file.Columns().size(); ++i)
        cells.emplace_back(file.Cell(nRow, i));
    return cells;
}

std::string FailureOf(std::string bytes)
{
    try {
        CCsvFile::Parse(std::move(bytes), "list.csv");
    } catch (const CDaoException &error) {
        return error.Description();
    }
    return {};
}

TEST(CsvFileTest, QuotesLineBreaksAndDoubledQuotesStayInTheirField)
{
    const CCsvFile file
        = CCsvFile::Parse("Name,Note,Email\r\n"
                          "Ann,\"Flat 2, \"\"The Mews\"\"\r\nLondon\",ann@example.org\r\n"
                          "Bob,,bob@example.org\r\n"
                          "\r\n"
                          "Cy\r\n",
            "list.csv");
    ASSERT_EQ(file.RowCount(), 3u);
    EXPECT_EQ(Row(file, 0),
        (std::vector<std::string> {"Ann", "Flat 2, \"The Mews\"\r\nLondon", "ann@example.org"}));
    EXPECT_EQ(Row(file, 1), (std::vector<std::string> {"Bob", "", "bob@example.org"}));
    EXPECT_EQ(Row(file, 2), (std::vector<std::string> {"Cy", "", ""})); // a short row

    // A quote inside an unquoted field is a character; rows end at a lone CR too.
    const CCsvFile inches = CCsvFile::Parse("Size,Item\r5\" pipe,\"a\rb\"\r6,x\r", "inch.csv");
    ASSERT_EQ(inches.RowCount(), 2u);
    EXPECT_EQ(Row(inches, 0), (std::vector<std::string> {"5\" pipe", "a\rb"}));
    EXPECT_EQ(Row(inches, 1), (std::vector<std::string> {"6", "x"}));
    EXPECT_EQ(file.Delimiter(), ',');

    // A row with more fields than the header is named by its line (the quoted break counts).
    EXPECT_EQ(FailureOf("A,B\n\"x\ny\",1\n1,2,3\n"),
        "The file \"list.csv\" has 3 fields on line 4, but its first line names only 2.");
}

TEST(CsvFileTest, TheEncodingAndTheDelimiterComeFromTheFile)
{
    // UTF-8 with a BOM, tab-separated.
    const CCsvFile tabs
        = CCsvFile::Parse("\xEF\xBB\xBFName\tCity\nJ\xC3\xBCrgen\tK\xC3\xB6ln\n", "t.tsv");
    EXPECT_EQ(tabs.Delimiter(), '\t');
    EXPECT_EQ(tabs.Columns()[0].strName, "Name");
    EXPECT_EQ(tabs.Cell(0, 1), "K\xC3\xB6ln");
    // UTF-16 with a BOM, pipes.
    const std::string strUtf16("\xFF\xFEN\0a\0m\0e\0|\0C\0i\0t\0y\0\n\0\xE9\0|\0x\0", 26);
    const CCsvFile utf16 = CCsvFile::Parse(strUtf16, "u.csv");
    EXPECT_EQ(utf16.Delimiter(), '|');
    EXPECT_EQ(utf16.Cell(0, 0), "\xC3\xA9");
    // Windows-1252, as spreadsheet programs on Windows write it, with semicolons.
    const CCsvFile windows
        = CCsvFile::Parse("Name;Betrag\r\nM\xFCller;12,50\r\nSch\xF6n;\x80 3\r\n", "w.csv");
    EXPECT_EQ(windows.Delimiter(), ';');
    EXPECT_EQ(windows.Cell(0, 0), "M\xC3\xBCller");
    EXPECT_EQ(windows.Cell(1, 1), "\xE2\x82\xAC 3");
    // Empty and repeated names are made unique and visible.
    const CCsvFile names = CCsvFile::Parse("Name,,Name\n1,2,3\n", "n.csv");
    EXPECT_EQ(names.Columns()[1].strName, "Column 2");
    EXPECT_EQ(names.Columns()[2].strName, "Name (2)");
}

TEST(CsvFileTest, ColumnsAreTypedSoThatRulesCompareLikeWithLike)
{
    const CCsvFile file = CCsvFile::Parse("Age;Balance;Joined;Post code;Phone;Name\n"
                                          "9;12,50;2024-05-31;01234;+44 20;Ann\n"
                                          "100;-3;2023-01-02 10:30;12345;0207;Bob\n"
                                          "5;;;;;\n",
        "typed.csv");
    const auto type = [&](size_t i) {
        return file.Columns()[i].nType;
    };
    EXPECT_EQ(type(0), dbLong);
    EXPECT_EQ(type(1), dbDouble); // a decimal comma in a semicolon file
    EXPECT_EQ(type(2), dbDate);
    EXPECT_EQ(type(3), dbText); // a leading zero keeps post codes text
    EXPECT_EQ(type(4), dbText);
    EXPECT_EQ(type(5), dbText);
    EXPECT_EQ(ColumnTypeOf({"1,5"}, false), dbText); // a comma in a comma file is no mark
    EXPECT_EQ(ColumnTypeOf({"0.5", "0"}, false), dbDouble);
    EXPECT_EQ(ColumnTypeOf({"3000000000"}, false), dbDouble);
    EXPECT_EQ(ColumnTypeOf({"2024-13-01"}, false), dbText);
    EXPECT_EQ(ColumnTypeOf({"", ""}, false), dbText);
}

TEST(CsvFileTest, RulesOnACsvCompareNumbersAndTheRecordListShowsTheCellsAsWritten)
{
    auto pFile = std::make_shared<const CCsvFile>(CCsvFile::Parse(
        "Name,Age,Post code,Joined\nAnn,9,01234,2024-05-31\nBob,100,12345,\nCy,5,,2023-01-02 "
        "10:30\n",
        "club.csv"));
    CCsvRecordset recordset(pFile);
    std::vector<std::string> names;
    for (int i = 0; i < recordset.GetFieldCount(); ++i)
        names.push_back(recordset.GetFieldInfo(i).m_strName);
    CRecordList list;
    list.SetColumns(names);
    CNullProgress progress;
    list.Load(recordset, progress);
    ASSERT_EQ(list.RowCount(), 3);
    const auto rowOf = [&](std::string_view name) {
        for (int nRow = 0; nRow < list.RowCount(); ++nRow) {
            if (list.Label(nRow) == name)
                return nRow;
        }
        return -1;
    };
    EXPECT_EQ(list.CellText(rowOf("Ann"), 2), "01234"); // never 1234

    CRuleSet rules;
    rules.FirstField = "Age";
    rules.FirstCondition = "Less than";
    rules.FirstText = "18";
    SelectByRules(rules, names, recordset, list);
    std::vector<int> expected {rowOf("Ann"), rowOf("Cy")}; // 9 and 5, not 100
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(list.SelectedRows(), expected);

    EXPECT_EQ(CsvCellValue("2024-05-31", dbDate).m_date, 45443.0);
    EXPECT_EQ(CsvCellValue("1899-12-30 12:00", dbDate).m_date, 0.5);
    EXPECT_EQ(CsvCellValue("12,5", dbDouble).m_dblVal, 12.5);
    // A decimal merges as it was typed, not with the six decimals of a database's Double, and
    // still compares as a number.
    CData typed;
    typed = CsvCellValue("12,50", dbDouble);
    EXPECT_EQ(typed.GetString(), "12.50");
    EXPECT_TRUE(typed < "100");
    typed = CsvCellValue("7", dbDouble);
    EXPECT_EQ(typed.GetString(), "7");
    EXPECT_EQ(CsvCellValue("", dbLong).m_vt, VT_NULL);
    recordset.MoveFirst();
    recordset.MoveNext();
    recordset.MoveNext();
    recordset.MoveNext();
    EXPECT_TRUE(recordset.IsEOF());
    EXPECT_THROW(recordset.MoveNext(), CDaoException);
}

TEST(CsvFileTest, ALargeFileReadInTwoPartsAtOnceIsReadAsInOne)
{
    // Rows with quoted line breaks, doubled quotes, blank lines and short rows on both sides of
    // the middle; a split at any size must give the very same table.
    std::string strText = "Name;Note;Fee\r\n\r\n";
    for (int i = 0; i < 400; ++i)
        strText += "N" + std::to_string(i) + ";\"a \"\"q\"\"\r\nb; c\";" + std::to_string(i)
            + ",5\r\n" + (i % 7 == 0 ? "\r\nshort\r\n" : "");
    const CCsvFile whole = CCsvFile::Parse(strText, "big.csv", SIZE_MAX);
    const CCsvFile parts = CCsvFile::Parse(strText, "big.csv", 0);
    ASSERT_EQ(parts.RowCount(), whole.RowCount());
    ASSERT_EQ(parts.Columns().size(), 3u);
    EXPECT_EQ(parts.Columns()[2].nType, whole.Columns()[2].nType);
    for (size_t nRow = 0; nRow < whole.RowCount(); ++nRow)
        ASSERT_EQ(Row(parts, nRow), Row(whole, nRow)) << "row " << nRow;
    EXPECT_EQ( // after 57 short rows
        Row(parts, 399 + 57), (std::vector<std::string> {"N399", "a \"q\"\r\nb; c", "399,5"}));

    // A row too long in the second part is named by its line in the whole file.
    const std::string strLong = strText + "x;y;z;extra\r\n";
    const size_t nLines = static_cast<size_t>(std::count(strText.begin(), strText.end(), '\n'));
    for (const size_t nSplit : {size_t(0), SIZE_MAX}) {
        try {
            CCsvFile::Parse(strLong, "big.csv", nSplit);
            ADD_FAILURE() << "a row with four fields was read";
        } catch (const CDaoException &error) {
            EXPECT_EQ(std::string(error.what()),
                "The file \"big.csv\" has 4 fields on line " + std::to_string(nLines + 1)
                    + ", but its first line names only 3.");
        }
    }
    // Only blank lines before the middle: the header is found after it.
    const CCsvFile late = CCsvFile::Parse(std::string(100, '\n') + "A,B\n1,2\n", "late.csv", 0);
    EXPECT_EQ(late.RowCount(), 1u);
    EXPECT_EQ(late.Columns()[1].strName, "B");
}

TEST(CsvFileTest, WhatIsNoListGetsAMessageNamingTheFile)
{
    EXPECT_EQ(FailureOf(std::string("PK\x03\x04rest", 8)),
        "The file \"list.csv\" is a spreadsheet (or another zip archive), not a CSV or text file.");
    EXPECT_EQ(FailureOf(std::string("SQLite format 3\0....", 20)),
        "The file \"list.csv\" is an SQLite database, not a CSV or text file.");
    EXPECT_EQ(FailureOf(std::string("a,b\n\0\0\x01\x02", 8)),
        "The file \"list.csv\" holds binary data; it is not a CSV or text file.");
    EXPECT_EQ(FailureOf(""), "The file \"list.csv\" is empty: it names no fields.");
    // What the fuzzer found: a doubled quote at the very end of an unclosed one.
    EXPECT_EQ(FailureOf("Name,Note\nAnn,\"a \"\""),
        "The file \"list.csv\" cannot be read as CSV: stream ended prematurely while parsing "
        "quoted cell.");
    EXPECT_NE(FailureOf("Name\n" + std::string(CCsvFile::kMaxFieldBytes + 1, 'x'))
                  .find("more than 1 MB on line 2"),
        std::string::npos);
    try {
        CCsvFile::Read("/nonexistent/list.csv");
        ADD_FAILURE();
    } catch (const CDaoException &error) {
        EXPECT_EQ(error.Kind(), CDaoException::EKind::FileNotFound);
    }
}

} // namespace
