#include <charconv>

#include "engine/PrintableText.h"
#include "sources/access/DaoException.h"
#include "sources/sheet/SheetImport.h"
#include "sources/sheet/XlsxParts.h"

// A sheet part is read here a second time, only for its inline strings. A small scanner over
// the bytes does it: an XML reader that decodes the whole part to UTF-16 first needs twice the
// part's size again, and a sheet part is most of a workbook.
namespace {

void AppendUtf8(std::string &out, uint32_t nCode)
{
    if (nCode == 0 || nCode > 0x10FFFF || (nCode >= 0xD800 && nCode <= 0xDFFF))
        nCode = 0xFFFD;
    if (nCode < 0x80) {
        out += static_cast<char>(nCode);
    } else if (nCode < 0x800) {
        out += static_cast<char>(0xC0 | (nCode >> 6));
        out += static_cast<char>(0x80 | (nCode & 0x3F));
    } else if (nCode < 0x10000) {
        out += static_cast<char>(0xE0 | (nCode >> 12));
        out += static_cast<char>(0x80 | ((nCode >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (nCode & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (nCode >> 18));
        out += static_cast<char>(0x80 | ((nCode >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((nCode >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (nCode & 0x3F));
    }
}

// Character data with its references resolved and its line ends made LF, as XML reads it.
// Whether text needs more than copying: a reference or a carriage return.
size_t FindSpecial(std::string_view text, size_t nFrom)
{
    for (size_t i = nFrom; i < text.size(); ++i) {
        if (text[i] == '&' || text[i] == '\r')
            return i;
    }
    return text.size();
}

void AppendText(std::string &out, std::string_view text)
{
    for (size_t i = 0; i < text.size(); ++i) {
        // Plain runs are copied whole.
        if (const size_t nSpecial = FindSpecial(text, i); nSpecial != i) {
            out.append(text.substr(i, nSpecial - i));
            i = nSpecial;
            if (i == text.size())
                break;
        }
        const char c = text[i];
        if (c == '\r') {
            out += '\n';
            if (i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
            continue;
        }
        const size_t nEnd = c == '&' ? text.find(';', i) : std::string_view::npos;
        if (nEnd == std::string_view::npos || nEnd - i > 12) {
            out += c;
            continue;
        }
        const std::string_view name = text.substr(i + 1, nEnd - i - 1);
        if (name == "lt")
            out += '<';
        else if (name == "gt")
            out += '>';
        else if (name == "amp")
            out += '&';
        else if (name == "quot")
            out += '"';
        else if (name == "apos")
            out += '\'';
        else if (name.size() > 1 && name[0] == '#') {
            const bool bHex = name[1] == 'x' || name[1] == 'X';
            uint32_t nCode = 0;
            const std::string_view digits = name.substr(bHex ? 2 : 1);
            const auto result = std::from_chars(
                digits.data(), digits.data() + digits.size(), nCode, bHex ? 16 : 10);
            if (result.ptr != digits.data() + digits.size())
                nCode = 0xFFFD;
            AppendUtf8(out, nCode);
        } else {
            out.append(text.substr(i, nEnd - i + 1));
        }
        i = nEnd;
    }
}

// Where c next is from nFrom on. Tags, names and values are short: a plain loop finds it there
// sooner than a call to memchr, which is left for long text.
size_t FindChar(std::string_view text, char c, size_t nFrom)
{
    const size_t nNear = std::min(text.size(), nFrom + 32);
    for (size_t i = nFrom; i < nNear; ++i) {
        if (text[i] == c)
            return i;
    }
    return nNear >= text.size() ? std::string_view::npos : text.find(c, nNear);
}

bool IsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// One tag of the part: its local name and where its attributes are.
struct STag
{
    std::string_view name; // without a namespace prefix
    std::string_view attributes;
    bool bEnd = false;
    bool bEmpty = false; // <c/>
    size_t nBegin = 0; // where the tag's '<' is in the part
    size_t nEnd = 0; // just past its '>'
};

class CPartScanner
{
public:
    explicit CPartScanner(std::string_view xml) : m_xml(xml) { }

    // The next tag, gathering the character data before it when asked; false at the end.
    bool Next(STag &tag, std::string *pText)
    {
        while (m_nAt < m_xml.size()) {
            const size_t nOpen = FindChar(m_xml, '<', m_nAt);
            const size_t nTextEnd = nOpen == std::string_view::npos ? m_xml.size() : nOpen;
            if (pText)
                AppendText(*pText, m_xml.substr(m_nAt, nTextEnd - m_nAt));
            if (nOpen == std::string_view::npos) {
                m_nAt = m_xml.size();
                return false;
            }
            const bool bMarkup = nOpen + 1 < m_xml.size() && m_xml[nOpen + 1] == '!';
            if (bMarkup && m_xml.substr(nOpen, 9) == "<![CDATA[") {
                const size_t nEnd = m_xml.find("]]>", nOpen);
                const size_t nStop = nEnd == std::string_view::npos ? m_xml.size() : nEnd;
                if (pText)
                    pText->append(m_xml.substr(nOpen + 9, nStop - std::min(nStop, nOpen + 9)));
                m_nAt = nEnd == std::string_view::npos ? m_xml.size() : nEnd + 3;
                continue;
            }
            if (bMarkup && m_xml.substr(nOpen, 4) == "<!--") {
                const size_t nEnd = m_xml.find("-->", nOpen);
                m_nAt = nEnd == std::string_view::npos ? m_xml.size() : nEnd + 3;
                continue;
            }
            const size_t nClose = TagEnd(nOpen);
            if (nClose == std::string_view::npos) {
                m_nAt = m_xml.size();
                return false;
            }
            m_nAt = nClose + 1;
            if (m_xml[nOpen + 1] == '?' || m_xml[nOpen + 1] == '!')
                continue;
            std::string_view inside = m_xml.substr(nOpen + 1, nClose - nOpen - 1);
            tag = STag();
            tag.nBegin = nOpen;
            tag.nEnd = nClose + 1;
            if (!inside.empty() && inside.front() == '/') {
                tag.bEnd = true;
                inside.remove_prefix(1);
            }
            if (!inside.empty() && inside.back() == '/') {
                tag.bEmpty = true;
                inside.remove_suffix(1);
            }
            size_t nNameEnd = 0;
            while (nNameEnd < inside.size() && !IsSpace(inside[nNameEnd]))
                ++nNameEnd;
            tag.name = inside.substr(0, nNameEnd);
            if (const size_t nColon = FindChar(tag.name, ':', 0); nColon != std::string_view::npos)
                tag.name.remove_prefix(nColon + 1);
            tag.attributes = inside.substr(nNameEnd);
            return true;
        }
        return false;
    }

    // An attribute's value by its local name, references resolved (into strScratch when there
    // are any); empty when it is missing.
    static std::string_view Attribute(
        std::string_view attributes, std::string_view name, std::string &strScratch)
    {
        for (size_t i = 0; i < attributes.size();) {
            const size_t nEquals = FindChar(attributes, '=', i);
            if (nEquals == std::string_view::npos)
                break;
            std::string_view key = attributes.substr(i, nEquals - i);
            while (!key.empty() && IsSpace(key.front()))
                key.remove_prefix(1);
            while (!key.empty() && IsSpace(key.back()))
                key.remove_suffix(1);
            if (const size_t nColon = FindChar(key, ':', 0); nColon != std::string_view::npos)
                key.remove_prefix(nColon + 1);
            size_t nQuote = nEquals;
            while (nQuote < attributes.size() && attributes[nQuote] != '"'
                && attributes[nQuote] != '\'')
                ++nQuote;
            if (nQuote == attributes.size())
                break;
            const size_t nEnd = FindChar(attributes, attributes[nQuote], nQuote + 1);
            if (nEnd == std::string_view::npos)
                break;
            if (key == name) {
                const std::string_view value = attributes.substr(nQuote + 1, nEnd - nQuote - 1);
                if (FindSpecial(value, 0) == value.size())
                    return value;
                strScratch.clear();
                AppendText(strScratch, value);
                return strScratch;
            }
            i = nEnd + 1;
        }
        return {};
    }

private:
    // The '>' that ends the tag opening at nOpen, past quoted attribute values.
    size_t TagEnd(size_t nOpen) const
    {
        char cQuote = 0;
        for (size_t i = nOpen + 1; i < m_xml.size(); ++i) {
            const char c = m_xml[i];
            if (cQuote != 0) {
                if (c == cQuote)
                    cQuote = 0;
            } else if (c == '"' || c == '\'') {
                cQuote = c;
            } else if (c == '>') {
                return i;
            }
        }
        return std::string_view::npos;
    }

    std::string_view m_xml;
    size_t m_nAt = 0;
};

} // namespace

std::vector<SSheetCell> XlsxInlineStrings(std::string_view xml, CSheetImport &import,
    const std::string &strSheet, std::vector<std::pair<size_t, size_t>> &read)
{
    std::vector<SSheetCell> cells;
    read.clear();
    bool bAllAddressed = true;
    CPartScanner scanner(xml);
    int64_t nRow = -1;
    int64_t nColumn = -1;
    STag tag;
    std::string strScratch;
    std::string strText;
    while (scanner.Next(tag, nullptr)) {
        if (tag.bEnd)
            continue;
        if (tag.name == "row") {
            const std::string_view strRow
                = CPartScanner::Attribute(tag.attributes, "r", strScratch);
            int64_t n = 0;
            const auto result = std::from_chars(strRow.data(), strRow.data() + strRow.size(), n);
            nRow = strRow.empty() || result.ec != std::errc() ? nRow + 1 : n - 1;
            nColumn = -1;
            continue;
        }
        if (tag.name != "c")
            continue;
        const size_t nCellBegin = tag.nBegin;
        const std::string_view strAddress
            = CPartScanner::Attribute(tag.attributes, "r", strScratch);
        if (strAddress.empty()) {
            bAllAddressed = false;
            ++nColumn;
        } else {
            const auto address = import.resolve_address(strAddress);
            nRow = address.row;
            nColumn = address.column;
        }
        if (tag.bEmpty || CPartScanner::Attribute(tag.attributes, "t", strScratch) != "inlineStr")
            continue;
        // The text of all runs up to the cell's end, leaving out phonetic guides.
        strText.clear();
        bool bInText = false;
        bool bPhonetic = false;
        while (scanner.Next(tag, bInText && !bPhonetic ? &strText : nullptr)) {
            if (tag.name == "c" && tag.bEnd) {
                read.emplace_back(nCellBegin, tag.nEnd);
                break;
            }
            if (tag.name == "t" && !tag.bEmpty)
                bInText = !tag.bEnd;
            else if (tag.name == "rPh" && !tag.bEmpty)
                bPhonetic = !tag.bEnd;
            if (strText.size() > SheetLimits::kMaxCellBytes)
                break;
        }
        if (strText.empty() || nRow < 0 || nColumn < 0 || nRow >= int64_t(SheetLimits::kMaxRows)
            || nColumn >= int64_t(SheetLimits::kMaxColumns))
            continue;
        SSheetCell cell;
        cell.nRow = static_cast<uint32_t>(nRow);
        cell.nColumn = static_cast<uint16_t>(nColumn);
        cell.kind = ECellKind::Text;
        import.CountCell();
        cell.nText = import.AddText(
            strText.find("_x") == std::string::npos ? strText : XlsxUnescaped(strText), strSheet,
            cell);
        cells.push_back(cell);
    }
    // Without an address a cell's column follows from the one before it, which must stay.
    if (!bAllAddressed)
        read.clear();
    return cells;
}
