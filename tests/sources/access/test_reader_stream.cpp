#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sources/access/ReaderStream.h"

namespace {

using EResult = CReaderStream::EResult;

std::string Text(const std::string &s)
{
    const auto n = static_cast<uint32_t>(s.size());
    return std::string(reinterpret_cast<const char *>(&n), 4) + s;
}

// A field Name (Text) and a field Age (Integer), then one record, then the end.
std::string Sample()
{
    std::string s
        = "F" + Text("Name") + std::string("\x0a\x00\x32\x00\x00\x00\x02\x00\x00\x00", 10);
    s += "F" + Text("Age") + std::string("\x03\x00\x02\x00\x00\x00\x01\x00\x00\x00", 10);
    s += std::string("N\x01\0\0\0\0\0\0\0", 9);
    s += "R" + std::string("\x08", 1) + Text("Ann") + std::string("\x02\x2a\x00", 3);
    s += "Z";
    return s;
}

TEST(ReaderStreamTest, RecordsCutAnywhereAreJoined)
{
    const std::string strSample = Sample();
    for (size_t nPiece = 1; nPiece <= strSample.size(); ++nPiece) {
        CReaderStream stream;
        CReaderStream::SRecord record;
        std::vector<CVariant> values;
        std::string strTags;
        for (size_t nPos = 0; nPos < strSample.size(); nPos += nPiece) {
            stream.Append(strSample.data() + nPos, std::min(nPiece, strSample.size() - nPos));
            EResult result;
            while ((result = stream.Next(record, values)) == EResult::Record)
                strTags += record.tag;
            ASSERT_EQ(result, EResult::NeedMore) << nPiece;
        }
        EXPECT_EQ(strTags, "FFNRZ") << nPiece;
        ASSERT_EQ(values.size(), 2u);
        EXPECT_EQ(values[0].m_vt, VT_BSTR);
        EXPECT_EQ(values[0].m_str, "Ann");
        EXPECT_EQ(values[1].m_vt, VT_I2);
        EXPECT_EQ(values[1].m_iVal, 42);
    }
}

TEST(ReaderStreamTest, AnythingElseIsMalformedForGood)
{
    const std::string kBad[] = {
        "Q", // unknown tag
        "T" + std::string("\0\0\0\0\xff\xff\xff\x7f", 8), // name beyond the limit
        "F" + Text("A") + std::string(10, '\0') + "R\x63", // unknown value type
        "R" + std::string() + "F" + Text("late"), // a field after a record
        "E\x02" + std::string("\xff\xff\xff\xff", 4), // error text beyond the limit
    };
    for (const std::string &strBad : kBad) {
        CReaderStream stream;
        stream.Append(strBad.data(), strBad.size());
        CReaderStream::SRecord record;
        std::vector<CVariant> values;
        EResult result;
        while ((result = stream.Next(record, values)) == EResult::Record) { }
        EXPECT_EQ(result, EResult::Malformed) << strBad;
        stream.Append("Z", 1);
        EXPECT_EQ(stream.Next(record, values), EResult::Malformed);
    }
    // A table definition cut inside its length waits for more instead of reading past the end.
    CReaderStream stream;
    stream.Append("T\x01\x02", 3);
    CReaderStream::SRecord record;
    std::vector<CVariant> values;
    EXPECT_EQ(stream.Next(record, values), EResult::NeedMore);
}

} // namespace
