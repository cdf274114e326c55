// The long text behind the test-merge results: held once with LF breaks, its rows wrapped at
// spaces, and positions translated to Qt's UTF-16 counts for screen readers.
#include <gtest/gtest.h>

#include <QString>

#include "engine/TextLines.h"

namespace {

std::vector<std::string> Rows(const CTextLines &lines)
{
    std::vector<std::string> rows;
    for (size_t i = 0; i < lines.RowCount(); ++i)
        rows.emplace_back(lines.RowText(i));
    return rows;
}

TEST(TextLinesTest, LineBreaksBecomeLfAndWhatIsNotUtf8BecomesAQuestionMark)
{
    const CTextLines lines(std::string("To: ann@example.org\r\nDear Ann,\r\n\r\nlone\rcr\xff\xc3(\n"
                                       "caf\xc3\xa9 \xed\xa0\x80"));
    EXPECT_EQ(lines.Text(), "To: ann@example.org\nDear Ann,\n\nlone\rcr??\x28\ncaf\xc3\xa9 ???");
    ASSERT_EQ(lines.LineCount(), 5U);
    EXPECT_EQ(lines.LineBegin(1), 20U);
    EXPECT_EQ(lines.LineEnd(1), 29U);
    EXPECT_EQ(lines.LineBegin(2), lines.LineEnd(2)); // the empty line
    EXPECT_EQ(lines.LineOf(lines.LineEnd(1)), 1U); // its break belongs to it
    EXPECT_EQ(lines.LineOf(lines.Size()), 4U);
    EXPECT_FALSE(lines.WasCut());

    const CTextLines empty;
    EXPECT_EQ(empty.LineCount(), 1U);
    EXPECT_EQ(empty.RowCount(), 1U);
    EXPECT_EQ(empty.RowText(0), "");
}

TEST(TextLinesTest, RowsBreakAfterTheLastSpaceThatFitsAndCountCharactersNotBytes)
{
    CTextLines lines(std::string("Dear Ann, thank you for the flowers\r\n"
                                 "Supercalifragilistic\r\n"
                                 "\xc3\xa4\xc3\xb6\xc3\xbc\xc3\xa4\xc3\xb6 \xc3\xbc\xc3\xa4\r\n"
                                 "short\r\n"));
    EXPECT_EQ(lines.RowCount(), lines.LineCount()); // unwrapped until a width is given
    lines.Wrap(10);
    EXPECT_EQ(Rows(lines),
        (std::vector<std::string> {"Dear Ann, ", "thank you ", "for the ", "flowers", "Supercalif",
            "ragilistic", "\xc3\xa4\xc3\xb6\xc3\xbc\xc3\xa4\xc3\xb6 \xc3\xbc\xc3\xa4", "short",
            ""}));
    // Moving down a column keeps to the row; a shorter row ends the move at its end.
    EXPECT_EQ(lines.ColumnOf(lines.RowBegin(1) + 6), 6U);
    EXPECT_EQ(lines.OffsetInRow(3, 6), lines.RowBegin(3) + 6);
    EXPECT_EQ(lines.OffsetInRow(7, 9), lines.RowEnd(7));
    EXPECT_EQ(lines.RowOf(lines.RowBegin(5)), 5U);
    EXPECT_EQ(lines.ColumnOf(lines.RowEnd(6)), 8U); // eight characters in fifteen bytes

    // A space where the row is full hangs; a width back to wide keeps each line one row.
    lines.Wrap(9);
    EXPECT_EQ(Rows(lines)[0], "Dear Ann, ");
    lines.Wrap(80);
    EXPECT_EQ(lines.RowCount(), lines.LineCount());
}

TEST(TextLinesTest, CharactersAndUtf16PositionsAgreeWithQt)
{
    // A letter beyond the 16-bit range takes two UTF-16 units.
    const std::string strText = "ab\xc3\xa9\r\n\xf0\x9f\x98\x80x\r\n\xe2\x82\xac";
    const CTextLines lines(strText);
    const QString qt = QString::fromUtf8(lines.Text().data(), qsizetype(lines.Size()));
    EXPECT_EQ(lines.Utf16Size(), size_t(qt.size()));
    for (size_t p = 0; p <= lines.Size(); p = lines.NextChar(p)) {
        const size_t nUtf16 = lines.Utf16Of(p);
        EXPECT_EQ(lines.OffsetOfUtf16(nUtf16), p);
        EXPECT_EQ(QString::fromUtf8(lines.Text().data(), qsizetype(p)).size(), qsizetype(nUtf16));
        if (p == lines.Size())
            break;
    }
    EXPECT_EQ(lines.NextChar(5), 9U); // over the four bytes of the emoji
    EXPECT_EQ(lines.PreviousChar(9), 5U);
    EXPECT_EQ(lines.PreviousChar(0), 0U);
    EXPECT_EQ(lines.NextChar(lines.Size()), lines.Size());

    // An ASCII text needs no index: its offsets are Qt's.
    const CTextLines ascii(std::string("one\r\ntwo"));
    EXPECT_EQ(ascii.Utf16Size(), 7U);
    EXPECT_EQ(ascii.OffsetOfUtf16(4), 4U);
}

} // namespace
