#include <gtest/gtest.h>

#include <string>

#include "document/MgxArchive.h"

namespace {

std::string Stored(const std::string &strText)
{
    CMgxArchive archive;
    archive.WriteString(strText);
    return archive.Bytes();
}

std::string Loaded(const std::string &strBytes)
{
    CMgxArchive archive(strBytes);
    return archive.ReadString();
}

TEST(MgxArchiveTest, LengthPrefixesTakeThreeForms)
{
    EXPECT_EQ(Stored(""), std::string(1, '\0'));
    EXPECT_EQ(Stored("abc"),
        "\x03"
        "abc");
    EXPECT_EQ(Stored(std::string(254, 'x')).substr(0, 1), "\xFE");
    EXPECT_EQ(Stored(std::string(255, 'x')).substr(0, 3), std::string("\xFF\xFF\x00", 3));
    EXPECT_EQ(Stored(std::string(65533, 'x')).substr(0, 3), std::string("\xFF\xFD\xFF", 3));
    EXPECT_EQ(Stored(std::string(65534, 'x')).substr(0, 7),
        std::string("\xFF\xFF\xFF\xFE\xFF\x00\x00", 7));
    for (size_t nLength : {0, 1, 254, 255, 256, 65533, 65534, 70000}) {
        const std::string strText(nLength, 'q');
        const std::string strBytes = Stored(strText);
        EXPECT_EQ(strBytes.size(), nLength + (nLength < 255 ? 1 : nLength < 65534 ? 3 : 7));
        EXPECT_EQ(Loaded(strBytes), strText) << nLength;
    }
}

TEST(MgxArchiveTest, SixteenBitStringsAreReadAsUtf8)
{
    EXPECT_EQ(Loaded(std::string("\xFF\xFE\xFF\x03"
                                 "a\x00\xFC\x00\xAC\x20",
                  10)),
        "a\xC3\xBC\xE2\x82\xAC");
    std::string strLong("\xFF\xFE\xFF\xFF\x00\x01", 6);
    for (int i = 0; i < 256; ++i)
        strLong += std::string("z\x00", 2);
    EXPECT_EQ(Loaded(strLong), std::string(256, 'z'));
}

TEST(MgxArchiveTest, TextThatIsNotUtf8IsWindows1252)
{
    EXPECT_EQ(Loaded("\x08Gr\xFC\xDF"
                     "e \x80!"),
        "Gr\xC3\xBC\xC3\x9F"
        "e \xE2\x82\xAC!");
    EXPECT_EQ(Loaded("\x06Gr\xC3\xBC\xC3\x9F"), "Gr\xC3\xBC\xC3\x9F");
    EXPECT_TRUE(IsValidUtf8("plain"));
    EXPECT_TRUE(IsValidUtf8("\xF0\x9F\x98\x80"));
    EXPECT_FALSE(IsValidUtf8("\xC0\xAF")); // overlong
    EXPECT_FALSE(IsValidUtf8("\xED\xA0\x80")); // surrogate
    EXPECT_FALSE(IsValidUtf8("\xC3")); // cut short
    EXPECT_FALSE(IsValidUtf8("\xF4\x90\x80\x80")); // beyond U+10FFFF
    EXPECT_EQ(Windows1252ToUtf8("\x81\x9D\xA0\xFF"), "\xC2\x81\xC2\x9D\xC2\xA0\xC3\xBF");
}

TEST(MgxArchiveTest, ShortDataEndsTheReadingWithoutHugeAllocations)
{
    for (const std::string &strBytes : {std::string(),
             std::string("\x05"
                         "abc"),
             std::string("\xFF\x10", 2), std::string("\xFF\xFF\xFF\xFF\xFF\xFF\x7F", 7),
             std::string("\xFF\xFE\xFF\x40", 4), std::string("\xFF\xFE\xFF\xFE\xFF", 5)}) {
        CMgxArchive archive(strBytes);
        EXPECT_THROW(archive.ReadString(), CMgxArchive::CEndOfData) << strBytes.size();
    }
}

} // namespace
