#include "sources/sheet/SheetImport.h"

#include <algorithm>
#include <cctype>

#include "engine/PrintableText.h"
#include "sources/access/DaoException.h"
#include "sources/sheet/SheetCollector.h"
#include "sources/sheet/XlsxParts.h"

namespace ss = orcus::spreadsheet;

namespace {

[[noreturn]] void FailTooLarge(const std::string &strShownName, const std::string &strWhat)
{
    throw CDaoException(CDaoException::EKind::CannotRead,
        "The file \"" + PrintableText(strShownName) + "\" " + strWhat
            + "; it is not a list Mergix can read.");
}

} // namespace

CSheetImport::CSheetImport(std::string strShownName, bool bDatesFromFormats)
    : m_strShownName(std::move(strShownName)), m_bDatesFromFormats(bDatesFromFormats)
{ }

CSheetImport::~CSheetImport() = default;

ss::iface::import_sheet *CSheetImport::append_sheet(ss::sheet_t, std::string_view name)
{
    m_sheets.push_back(std::make_unique<CSheetCollector>(*this, name));
    return m_sheets.back().get();
}

ss::iface::import_sheet *CSheetImport::get_sheet(std::string_view name)
{
    for (const auto &pSheet : m_sheets) {
        if (pSheet->Name() == name)
            return pSheet.get();
    }
    return nullptr;
}

ss::iface::import_sheet *CSheetImport::get_sheet(ss::sheet_t nIndex)
{
    if (nIndex < 0 || static_cast<size_t>(nIndex) >= m_sheets.size())
        return nullptr;
    return m_sheets[static_cast<size_t>(nIndex)].get();
}

std::vector<SImportedSheet> CSheetImport::TakeSheets()
{
    std::vector<SImportedSheet> sheets;
    sheets.reserve(m_sheets.size());
    for (const auto &pSheet : m_sheets)
        sheets.push_back(pSheet->Take());
    m_sheets.clear();
    return sheets;
}

double CSheetImport::DaysOfSerial(double dSerial) const
{
    // Excel's 1900 system counts a 29 February 1900 that never was: below it, its serials run
    // one day behind OLE Automation's count.
    if (m_dOriginDays == 0 && dSerial >= 1 && dSerial < 60)
        return dSerial + 1;
    return dSerial + m_dOriginDays;
}

uint32_t CSheetImport::AddText(std::string_view text, const std::string &strSheet, SSheetCell where)
{
    if (text.size() > SheetLimits::kMaxCellBytes)
        FailTooLarge(m_strShownName,
            "has a cell of more than 1 MB of text (sheet \"" + PrintableText(strSheet) + "\", cell "
                + ColumnLetters(where.nColumn) + std::to_string(where.nRow + 1) + ")");
    if (m_text.Bytes() + text.size() > SheetLimits::kMaxTextBytes)
        FailTooLarge(m_strShownName, "holds more than 1 GB of text");
    return m_text.Add(text);
}

void CSheetImport::CountCell()
{
    if (++m_nCells > SheetLimits::kMaxCells)
        FailTooLarge(m_strShownName,
            "holds more than " + std::to_string(SheetLimits::kMaxCells) + " filled cells");
}

size_t CSheetImport::append(std::string_view text)
{
    if (m_bDatesFromFormats && text.find("_x") != std::string_view::npos)
        return AddText(XlsxUnescaped(text));
    return AddText(text);
}

uint32_t CSheetImport::AddText(std::string_view text)
{
    if (text.size() > SheetLimits::kMaxCellBytes)
        FailTooLarge(m_strShownName, "has a text of more than 1 MB");
    if (m_text.Bytes() + text.size() > SheetLimits::kMaxTextBytes)
        FailTooLarge(m_strShownName, "holds more than 1 GB of text");
    return m_text.Add(text);
}

void CSheetImport::append_segment(std::string_view text)
{
    if (m_strSegments.size() + text.size() > SheetLimits::kMaxCellBytes)
        FailTooLarge(m_strShownName, "has a text of more than 1 MB");
    m_strSegments.append(text);
}

size_t CSheetImport::commit_segments()
{
    const size_t nIndex = append(m_strSegments);
    m_strSegments.clear();
    return nIndex;
}

ss::src_address_t CSheetImport::resolve_address(std::string_view address)
{
    // Past the sheet's size the numbers stay too large instead of wrapping; the cell is
    // refused where it is placed.
    constexpr int32_t kBeyond = 1 << 30;
    if (const size_t nBang = address.rfind('!'); nBang != std::string_view::npos)
        address.remove_prefix(nBang + 1);
    ss::src_address_t result {0, 0, 0};
    size_t i = 0;
    if (i < address.size() && address[i] == '$')
        ++i;
    int64_t nColumn = 0;
    const size_t nLetters = i;
    for (; i < address.size() && std::isalpha(static_cast<unsigned char>(address[i])); ++i)
        nColumn = std::min<int64_t>(
            nColumn * 26 + (std::toupper(static_cast<unsigned char>(address[i])) - 'A' + 1),
            kBeyond);
    if (i < address.size() && address[i] == '$')
        ++i;
    int64_t nRow = 0;
    const size_t nDigits = i;
    for (; i < address.size() && std::isdigit(static_cast<unsigned char>(address[i])); ++i)
        nRow = std::min<int64_t>(nRow * 10 + (address[i] - '0'), kBeyond);
    if (i != address.size() || (i == nDigits && nLetters == nDigits))
        throw CDaoException(CDaoException::EKind::Damaged,
            "The file \"" + PrintableText(m_strShownName) + "\" is damaged: \""
                + PrintableText(std::string(address.substr(0, 40))) + "\" is no cell address.");
    // A whole column ("A") or a whole row ("3") reaches to the sheet's edge.
    result.column = i == nDigits || nColumn == 0 ? 0 : static_cast<ss::col_t>(nColumn - 1);
    result.row = nDigits == i ? 0 : static_cast<ss::row_t>(std::max<int64_t>(nRow - 1, 0));
    return result;
}

ss::src_range_t CSheetImport::resolve_range(std::string_view range)
{
    const size_t nColon = range.find(':');
    if (nColon == std::string_view::npos) {
        const ss::src_address_t cell = resolve_address(range);
        return {cell, cell};
    }
    return {resolve_address(range.substr(0, nColon)), resolve_address(range.substr(nColon + 1))};
}

void CSheetImport::set_origin_date(int nYear, int nMonth, int nDay)
{
    // Serials count from 1899-12-30 (with Excel's leap day of 1900) unless the workbook uses
    // the 1904 date system of old Macintosh Excel.
    m_dOriginDays = nYear == 1904 && nMonth == 1 && nDay == 1 ? 1462 : 0;
}
