#pragma once

#include <string>
#include <string_view>

// One tag of an XML part: its local name and where its attributes are. The views point into
// the scanner's buffer and hold until more bytes are appended.
struct SXmlTag
{
    std::string_view name; // without a namespace prefix
    std::string_view attributes;
    bool bEnd = false;
    bool bEmpty = false; // <c/>
};

// A small scanner over the tags and character data of an XML part, fed piece by piece as the
// part is unpacked. Sheet parts are most of a workbook and tens of megabytes unpacked: an XML
// reader that needs the whole part, or decodes it to UTF-16 first, needs that much memory
// again. It reads what SpreadsheetML holds (elements, attributes, references, CDATA, comments)
// and does not check that the part is well formed.
class CXmlScanner
{
public:
    enum class EStep {
        Tag, // a tag was read
        More, // the bytes so far end inside a tag, a text or a comment
        End, // the part is read
    };

    // More bytes of the part; the tags read before are gone from the buffer.
    void Append(std::string_view piece);
    // The part has no more bytes.
    void Finish() { m_bFinished = true; }
    // How many bytes wait for the rest of their tag or text.
    size_t Pending() const { return m_buffer.size() - m_nAt; }

    // The next tag, the character data before it appended to *pText when pText is given
    // (references resolved, line ends made LF, as XML reads it).
    EStep Next(SXmlTag &tag, std::string *pText);

    // An attribute's value by its local name, references resolved (into strScratch when there
    // are any); empty when it is missing.
    static std::string_view Attribute(
        std::string_view attributes, std::string_view name, std::string &strScratch);

private:
    std::string m_buffer;
    size_t m_nAt = 0; // what is read of the buffer
    bool m_bFinished = false;
};

// Whether XML text holds a control character that XML 1.0 does not allow: orcus 0.17's parser
// can run past the end of its buffer on them (an assertion stops the program), and no program
// that writes workbooks puts them in (Excel writes "_x0004_").
bool XmlHasForbiddenControl(std::string_view xml);
