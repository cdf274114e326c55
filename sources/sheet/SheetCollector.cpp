#include "sources/sheet/SheetCollector.h"

#include <algorithm>
#include <cmath>

#include <QDate>

#include "engine/DateTime.h"
#include "engine/PrintableText.h"
#include "sources/access/DaoException.h"

namespace ss = orcus::spreadsheet;

CSheetCollector::CSheetCollector(CSheetImport &import, std::string_view name) : m_import(import)
{
    m_sheet.strName = std::string(name);
}

ss::range_size_t CSheetCollector::get_sheet_size() const
{
    return {static_cast<ss::row_t>(SheetLimits::kMaxRows),
        static_cast<ss::col_t>(SheetLimits::kMaxColumns)};
}

SSheetCell &CSheetCollector::Place(ss::row_t nRow, ss::col_t nColumn)
{
    if (nRow < 0 || nColumn < 0 || static_cast<uint32_t>(nRow) >= SheetLimits::kMaxRows
        || static_cast<uint32_t>(nColumn) >= SheetLimits::kMaxColumns)
        throw CDaoException(CDaoException::EKind::Damaged,
            "The sheet \"" + PrintableText(m_sheet.strName) + "\" of the file \""
                + PrintableText(m_import.ShownName())
                + "\" has a cell beyond the 1,048,576 rows and 16,384 columns a sheet can have.");
    const auto nRowAt = static_cast<uint32_t>(nRow);
    const auto nColumnAt = static_cast<uint16_t>(nColumn);
    if (!m_sheet.cells.empty() && m_sheet.cells.back().nRow == nRowAt
        && m_sheet.cells.back().nColumn == nColumnAt)
        return m_sheet.cells.back();
    m_import.CountCell();
    SSheetCell &cell = m_sheet.cells.emplace_back();
    cell.nRow = nRowAt;
    cell.nColumn = nColumnAt;
    return cell;
}

void CSheetCollector::PlaceText(ss::row_t nRow, ss::col_t nColumn, std::string_view text)
{
    SSheetCell &cell = Place(nRow, nColumn);
    cell.kind = ECellKind::Text;
    cell.nText = m_import.AddText(text, m_sheet.strName, cell);
}

void CSheetCollector::PlaceNumber(ss::row_t nRow, ss::col_t nColumn, double dValue)
{
    SSheetCell &cell = Place(nRow, nColumn);
    cell.kind = ECellKind::Number;
    cell.dValue = dValue;
}

void CSheetCollector::PlaceBool(ss::row_t nRow, ss::col_t nColumn, bool bValue)
{
    SSheetCell &cell = Place(nRow, nColumn);
    cell.kind = ECellKind::Bool;
    cell.dValue = bValue ? 1 : 0;
}

void CSheetCollector::set_auto(ss::row_t nRow, ss::col_t nColumn, std::string_view text)
{
    PlaceText(nRow, nColumn, text);
}

void CSheetCollector::set_string(ss::row_t nRow, ss::col_t nColumn, ss::string_id_t nIndex)
{
    // The index is checked once all shared strings are in: Excel may put them after a sheet.
    SSheetCell &cell = Place(nRow, nColumn);
    cell.kind = ECellKind::Text;
    cell.nText = nIndex;
}

void CSheetCollector::set_value(ss::row_t nRow, ss::col_t nColumn, double dValue)
{
    PlaceNumber(nRow, nColumn, dValue);
}

void CSheetCollector::set_bool(ss::row_t nRow, ss::col_t nColumn, bool bValue)
{
    PlaceBool(nRow, nColumn, bValue);
}

void CSheetCollector::set_date_time(ss::row_t nRow, ss::col_t nColumn, int nYear, int nMonth,
    int nDay, int nHour, int nMinute, double dSecond)
{
    const QDate date(nYear, nMonth, nDay);
    SSheetCell &cell = Place(nRow, nColumn);
    const double dDays = date.isValid()
        ? static_cast<double>(date.toJulianDay() - QDate(1899, 12, 30).toJulianDay())
            + (nHour * 3600.0 + nMinute * 60.0 + dSecond) / 86400.0
        : NAN;
    if (!CDateTime::IsInRange(dDays)) {
        // No date a list can show: kept as the text the file has for it.
        cell.kind = ECellKind::Text;
        cell.nText = m_import.AddText(
            std::to_string(nYear) + "-" + std::to_string(nMonth) + "-" + std::to_string(nDay),
            m_sheet.strName, cell);
        return;
    }
    cell.kind = ECellKind::Date;
    cell.dValue = OleDateOfDays(dDays);
}

void CSheetCollector::set_format(ss::row_t nRow, ss::col_t nColumn, size_t nXf)
{
    if (!m_import.DatesFromFormats() || nXf == 0 || nRow < 0 || nColumn < 0)
        return;
    // Formats of text and booleans change nothing; a formula's result may come later.
    if (!m_sheet.cells.empty() && m_sheet.cells.back().nRow == static_cast<uint32_t>(nRow)
        && m_sheet.cells.back().nColumn == nColumn
        && m_sheet.cells.back().kind != ECellKind::Number)
        return;
    m_import.CountCell();
    m_formatted.push_back({static_cast<uint32_t>(nRow), static_cast<uint32_t>(nColumn), nXf});
}

SImportedSheet CSheetCollector::Take()
{
    std::vector<SSheetCell> &cells = m_sheet.cells;
    const auto before = [](const auto &a, const auto &b) {
        return a.nRow != b.nRow ? a.nRow < b.nRow : a.nColumn < b.nColumn;
    };
    if (!std::is_sorted(cells.begin(), cells.end(), before))
        std::stable_sort(cells.begin(), cells.end(), before);
    if (!std::is_sorted(m_formatted.begin(), m_formatted.end(), before))
        std::stable_sort(m_formatted.begin(), m_formatted.end(), before);
    const CSheetStyles &styles = m_import.Styles();
    auto cell = cells.begin();
    for (const SFormatted &format : m_formatted) {
        while (cell != cells.end() && before(*cell, format))
            ++cell;
        if (cell == cells.end())
            break;
        if (cell->nRow != format.nRow || cell->nColumn != format.nColumn
            || cell->kind != ECellKind::Number || !styles.IsDateFormat(format.nXf))
            continue;
        const double dDays = m_import.DaysOfSerial(cell->dValue);
        if (CDateTime::IsInRange(dDays)) {
            cell->kind = ECellKind::Date;
            cell->dValue = OleDateOfDays(dDays);
        }
    }
    m_formatted = {};
    return std::move(m_sheet);
}

void CSheetCollector::set_position(ss::row_t nRow, ss::col_t nColumn)
{
    m_nFormulaRow = nRow;
    m_nFormulaColumn = nColumn;
    m_bHasResult = false;
}

void CSheetCollector::set_result_string(std::string_view text)
{
    m_bHasResult = true;
    m_resultKind = ECellKind::Text;
    m_strResult.assign(text);
}

void CSheetCollector::set_result_value(double dValue)
{
    m_bHasResult = true;
    m_resultKind = ECellKind::Number;
    m_dResult = dValue;
}

void CSheetCollector::set_result_bool(bool bValue)
{
    m_bHasResult = true;
    m_resultKind = ECellKind::Bool;
    m_dResult = bValue ? 1 : 0;
}

void CSheetCollector::commit()
{
    if (!m_bHasResult)
        return;
    switch (m_resultKind) {
    case ECellKind::Text:
        PlaceText(m_nFormulaRow, m_nFormulaColumn, m_strResult);
        break;
    case ECellKind::Bool:
        PlaceBool(m_nFormulaRow, m_nFormulaColumn, m_dResult != 0);
        break;
    default:
        PlaceNumber(m_nFormulaRow, m_nFormulaColumn, m_dResult);
        break;
    }
    m_bHasResult = false;
}

void CSheetCollector::set_result_string(ss::row_t nRow, ss::col_t nColumn, std::string_view text)
{
    PlaceText(nRow, nColumn, text);
}

void CSheetCollector::set_result_value(ss::row_t nRow, ss::col_t nColumn, double dValue)
{
    PlaceNumber(nRow, nColumn, dValue);
}

void CSheetCollector::set_result_bool(ss::row_t nRow, ss::col_t nColumn, bool bValue)
{
    PlaceBool(nRow, nColumn, bValue);
}
