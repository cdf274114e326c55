#include <charconv>

#include "engine/PrintableText.h"
#include "sources/access/DaoException.h"
#include "sources/sheet/SheetArchive.h"
#include "sources/sheet/SheetImport.h"
#include "sources/sheet/XlsxParts.h"
#include "sources/sheet/XmlScanner.h"

// Sheet parts and the shared strings are read here rather than by orcus, piece by piece as they
// are unpacked: orcus 0.17 unpacks a part whole before it parses it, and drops inline strings.

namespace ss = orcus::spreadsheet;

namespace {

// Markup or text longer than this in one place is no cell Mergix can take (a cell's text is at
// most 1 MB, which references may make six times longer).
constexpr size_t kMaxPendingBytes = SheetLimits::kMaxCellBytes * 8;

std::string_view Trimmed(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\n' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\n' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

template<typename T> bool ParsedAs(std::string_view text, T &value)
{
    text = Trimmed(text);
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    return !text.empty() && result.ec == std::errc() && result.ptr == text.data() + text.size();
}

// Reads one part through the scanner as it is unpacked, telling the handler of each tag.
template<typename THandler>
void ScanPart(const CSheetArchive &archive, const std::string &strPart,
    const std::string &strShownName, THandler &handler)
{
    CXmlScanner scanner;
    SXmlTag tag;
    const auto scan = [&] {
        CXmlScanner::EStep step;
        while ((step = scanner.Next(tag, handler.Text())) == CXmlScanner::EStep::Tag)
            handler.Take(tag);
        if (step == CXmlScanner::EStep::More && scanner.Pending() > kMaxPendingBytes)
            throw CDaoException(CDaoException::EKind::CannotRead,
                "The file \"" + PrintableText(strShownName)
                    + "\" holds more than 8 MB in one place of its part \"" + PrintableText(strPart)
                    + "\"; it is not a list Mergix can read.");
    };
    archive.ReadInPieces(strPart, [&](std::string_view piece) {
        if (XmlHasForbiddenControl(piece))
            throw CDaoException(CDaoException::EKind::Damaged,
                "The file \"" + PrintableText(strShownName) + "\" is damaged: its part \""
                    + PrintableText(strPart) + "\" holds bytes that XML does not allow.");
        scanner.Append(piece);
        scan();
    });
    scanner.Finish();
    scan();
}

// The cells of <sheetData>, each handed to the sheet when its end tag is read.
class CCellReader
{
public:
    CCellReader(CSheetImport &import, ss::iface::import_sheet &sheet)
        : m_import(import), m_sheet(sheet)
    { }

    std::string *Text()
    {
        if (m_bInValue)
            return &m_strValue;
        return m_bInText && !m_bInPhonetic ? &m_strText : nullptr;
    }

    void Take(const SXmlTag &tag)
    {
        if (tag.name == "sheetData") {
            m_bInData = !tag.bEnd && !tag.bEmpty;
            return;
        }
        if (!m_bInData)
            return;
        if (tag.name == "row") {
            if (!tag.bEnd)
                StartRow(tag);
        } else if (tag.name == "c") {
            if (!tag.bEnd)
                StartCell(tag);
            if (tag.bEnd || tag.bEmpty)
                EndCell();
        } else if (!m_bInCell) {
            return;
        } else if (tag.name == "v") {
            m_bInValue = !tag.bEnd && !tag.bEmpty;
            m_bHasValue = true;
        } else if (tag.name == "t") {
            m_bInText = !tag.bEnd && !tag.bEmpty;
        } else if (tag.name == "rPh") {
            m_bInPhonetic = !tag.bEnd && !tag.bEmpty;
        }
        // A text past what a cell may hold is refused now, not once the whole of it is read.
        if (m_strText.size() > SheetLimits::kMaxCellBytes
            || m_strValue.size() > SheetLimits::kMaxCellBytes)
            m_sheet.set_auto(
                m_nRow, m_nColumn, m_strText.size() > m_strValue.size() ? m_strText : m_strValue);
    }

private:
    void StartRow(const SXmlTag &tag)
    {
        int64_t nRow = 0;
        const bool bNumbered
            = ParsedAs(CXmlScanner::Attribute(tag.attributes, "r", m_strScratch), nRow);
        m_nRow = bNumbered ? static_cast<ss::row_t>(std::clamp<int64_t>(nRow - 1, -1, 1 << 30))
                           : m_nRow + 1;
        m_nColumn = -1;
    }

    void StartCell(const SXmlTag &tag)
    {
        const std::string_view address = CXmlScanner::Attribute(tag.attributes, "r", m_strScratch);
        if (address.empty()) {
            // Its column follows from the cell before it.
            ++m_nColumn;
        } else {
            const ss::src_address_t place = m_import.resolve_address(address);
            m_nRow = place.row;
            m_nColumn = place.column;
        }
        m_strType = CXmlScanner::Attribute(tag.attributes, "t", m_strScratch);
        if (!ParsedAs(CXmlScanner::Attribute(tag.attributes, "s", m_strScratch), m_nXf))
            m_nXf = 0;
        m_strValue.clear();
        m_strText.clear();
        m_bInCell = true;
        m_bHasValue = false;
        m_bInValue = m_bInText = m_bInPhonetic = false;
    }

    void EndCell()
    {
        m_bInCell = false;
        m_bInValue = m_bInText = m_bInPhonetic = false;
        if (m_strType == "inlineStr") {
            PlaceText(m_strText);
            return;
        }
        if (!m_bHasValue)
            return;
        if (m_strType == "s") {
            ss::string_id_t nIndex = 0;
            if (ParsedAs(m_strValue, nIndex))
                m_sheet.set_string(m_nRow, m_nColumn, nIndex);
        } else if (m_strType == "b") {
            const std::string_view value = Trimmed(m_strValue);
            if (!value.empty())
                m_sheet.set_bool(m_nRow, m_nColumn, value == "1" || value == "true");
        } else if (m_strType == "str" || m_strType == "e") {
            // A formula's text, or the error a formula gave ("#DIV/0!"), as the sheet shows it.
            PlaceText(m_strValue);
        } else if (m_strType == "d") {
            PlaceDate(Trimmed(m_strValue));
        } else if (double dValue = 0; ParsedAs(m_strValue, dValue)) {
            m_sheet.set_value(m_nRow, m_nColumn, dValue);
            if (m_nXf != 0)
                m_sheet.set_format(m_nRow, m_nColumn, m_nXf);
        } else {
            PlaceText(Trimmed(m_strValue));
        }
    }

    void PlaceText(std::string_view text)
    {
        if (text.empty())
            return;
        if (text.find("_x") == std::string_view::npos)
            m_sheet.set_auto(m_nRow, m_nColumn, text);
        else
            m_sheet.set_auto(m_nRow, m_nColumn, XlsxUnescaped(text));
    }

    // An ISO 8601 date ("2026-12-09" or "2026-12-09T14:30:00"), which strict workbooks use.
    void PlaceDate(std::string_view text)
    {
        int nYear = 0, nMonth = 0, nDay = 0, nHour = 0, nMinute = 0;
        double dSecond = 0;
        const bool bDate = text.size() >= 10 && text[4] == '-' && text[7] == '-'
            && ParsedAs(text.substr(0, 4), nYear) && ParsedAs(text.substr(5, 2), nMonth)
            && ParsedAs(text.substr(8, 2), nDay);
        const std::string_view time = text.size() > 11 ? text.substr(11) : std::string_view();
        const bool bTime = text.size() == 10
            || (text[10] == 'T' && time.size() >= 5 && time[2] == ':'
                && ParsedAs(time.substr(0, 2), nHour) && ParsedAs(time.substr(3, 2), nMinute)
                && (time.size() < 8 || (time[5] == ':' && ParsedAs(time.substr(6, 2), dSecond))));
        if (bDate && bTime)
            m_sheet.set_date_time(m_nRow, m_nColumn, nYear, nMonth, nDay, nHour, nMinute, dSecond);
        else
            PlaceText(text);
    }

    CSheetImport &m_import;
    ss::iface::import_sheet &m_sheet;
    std::string m_strScratch;
    bool m_bInData = false;
    ss::row_t m_nRow = -1;
    ss::col_t m_nColumn = -1;
    // The cell being read.
    bool m_bInCell = false;
    std::string m_strType;
    size_t m_nXf = 0;
    bool m_bHasValue = false;
    bool m_bInValue = false;
    bool m_bInText = false;
    bool m_bInPhonetic = false;
    std::string m_strValue; // of <v>
    std::string m_strText; // of the runs of <is>
};

// Each <si> of the table, its runs joined and its phonetic guides left out.
class CSharedStringReader
{
public:
    explicit CSharedStringReader(ss::iface::import_shared_strings &strings) : m_strings(strings) { }

    std::string *Text() { return m_bInText && !m_bInPhonetic ? &m_strText : nullptr; }

    void Take(const SXmlTag &tag)
    {
        if (tag.name == "si") {
            if (!tag.bEnd)
                m_strText.clear();
            if (tag.bEnd || tag.bEmpty)
                m_strings.append(m_strText);
        } else if (tag.name == "t") {
            m_bInText = !tag.bEnd && !tag.bEmpty;
        } else if (tag.name == "rPh") {
            m_bInPhonetic = !tag.bEnd && !tag.bEmpty;
        }
        if (m_strText.size() > SheetLimits::kMaxCellBytes)
            m_strings.append(m_strText); // refuses it, naming the limit
    }

private:
    ss::iface::import_shared_strings &m_strings;
    bool m_bInText = false;
    bool m_bInPhonetic = false;
    std::string m_strText;
};

} // namespace

void XlsxReadSheet(const CSheetArchive &archive, const std::string &strPart, CSheetImport &import,
    ss::iface::import_sheet &sheet)
{
    CCellReader reader(import, sheet);
    ScanPart(archive, strPart, import.ShownName(), reader);
}

void XlsxReadSharedStrings(
    const CSheetArchive &archive, const std::string &strPart, CSheetImport &import)
{
    CSharedStringReader reader(*import.get_shared_strings());
    ScanPart(archive, strPart, import.ShownName(), reader);
}
