#include "sources/sheet/SheetTable.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <unordered_set>

#include <QDate>

#include "engine/Data.h"
#include "engine/DateTime.h"
#include "engine/PrintableText.h"
#include "sources/access/DaoException.h"

namespace {

bool IsEmpty(const SSheetCell &cell, const CTextPool &text)
{
    return cell.kind == ECellKind::Text && text.At(cell.nText).empty();
}

bool FitsLong(double dValue)
{
    return dValue == std::trunc(dValue) && dValue >= INT32_MIN && dValue <= INT32_MAX;
}

// What the cells of one column hold, gathered cell by cell.
struct SColumnKinds
{
    bool bNumber = false;
    bool bFraction = false; // a number that is no Long
    bool bDate = false;
    bool bBool = false;
    bool bText = false;

    void Add(const SSheetCell &cell)
    {
        switch (cell.kind) {
        case ECellKind::Number:
            bNumber = true;
            bFraction = bFraction || !FitsLong(cell.dValue);
            break;
        case ECellKind::Date:
            bDate = true;
            break;
        case ECellKind::Bool:
            bBool = true;
            break;
        case ECellKind::Text:
            bText = true;
            break;
        }
    }

    short Type() const
    {
        const int nKinds = int(bNumber) + int(bDate) + int(bBool) + int(bText);
        if (nKinds != 1 || bText)
            return dbText;
        if (bNumber)
            return bFraction ? dbDouble : dbLong;
        return bDate ? dbDate : dbBoolean;
    }
};

} // namespace

CSheetTable::CSheetTable(std::vector<SSheetCell> cells, const CTextPool &text,
    const std::string &strSheet, const std::string &strShownName)
{
    for (const SSheetCell &cell : cells) {
        if (cell.kind == ECellKind::Text && cell.nText >= text.Count())
            throw CDaoException(CDaoException::EKind::Damaged,
                "The file \"" + PrintableText(strShownName) + "\" is damaged: cell "
                    + ColumnLetters(cell.nColumn) + std::to_string(cell.nRow + 1)
                    + " of the sheet \"" + PrintableText(strSheet)
                    + "\" refers to a text the file does not have.");
    }
    std::erase_if(cells, [&](const SSheetCell &cell) { return IsEmpty(cell, text); });
    // orcus hands cells over row by row, but formula results come at the end of the sheet.
    const auto before = [](const SSheetCell &a, const SSheetCell &b) {
        return a.nRow != b.nRow ? a.nRow < b.nRow : a.nColumn < b.nColumn;
    };
    if (!std::is_sorted(cells.begin(), cells.end(), before))
        std::stable_sort(cells.begin(), cells.end(), before);
    // A cell given twice keeps its last value.
    const auto kept
        = std::unique(cells.rbegin(), cells.rend(), [](const SSheetCell &a, const SSheetCell &b) {
              return a.nRow == b.nRow && a.nColumn == b.nColumn;
          });
    cells.erase(cells.begin(), kept.base());
    if (cells.empty())
        return;

    // The first row names the fields; the span of columns covers the header and the records.
    const uint32_t nHeaderRow = cells.front().nRow;
    const auto headerEnd = std::find_if(cells.begin(), cells.end(),
        [&](const SSheetCell &cell) { return cell.nRow != nHeaderRow; });
    uint32_t nFirst = UINT32_MAX;
    uint32_t nLast = 0;
    for (const SSheetCell &cell : cells) {
        nFirst = std::min<uint32_t>(nFirst, cell.nColumn);
        nLast = std::max<uint32_t>(nLast, cell.nColumn);
    }
    m_nFirstColumn = nFirst;
    const size_t nFields = nLast - nFirst + 1;
    std::vector<std::string> names(nFields);
    for (auto it = cells.begin(); it != headerEnd; ++it)
        names[it->nColumn - nFirst] = SheetCellText(*it, text);

    m_columns.reserve(nFields);
    std::unordered_set<std::string> taken;
    for (size_t i = 0; i < nFields; ++i) {
        std::string strName = names[i].empty() ? "Column " + std::to_string(i + 1) : names[i];
        for (int n = 2; taken.count(strName) != 0; ++n)
            strName = (names[i].empty() ? "Column " + std::to_string(i + 1) : names[i]) + " ("
                + std::to_string(n) + ")";
        taken.insert(strName);
        m_columns.push_back({std::move(strName), dbText});
    }

    // The records: the cells below the header, kept once; each row's start is noted.
    cells.erase(cells.begin(), headerEnd);
    std::vector<SColumnKinds> kinds(nFields);
    for (size_t i = 0; i < cells.size(); ++i) {
        if (i == 0 || cells[i].nRow != cells[i - 1].nRow)
            m_recordStarts.push_back(static_cast<uint32_t>(i));
        kinds[cells[i].nColumn - nFirst].Add(cells[i]);
    }
    if (!m_recordStarts.empty())
        m_recordStarts.push_back(static_cast<uint32_t>(cells.size()));
    for (size_t i = 0; i < nFields; ++i)
        m_columns[i].nType = kinds[i].Type();
    // Not shrunk to fit: that copies the cells once more, and a large vector's unused end is
    // never touched, so takes no memory.
    m_cells = std::move(cells);

    if (RecordCount() * nFields > kMaxTableCells)
        m_strProblem = "The sheet \"" + PrintableText(strSheet) + "\" of the file \""
            + PrintableText(strShownName) + "\" has " + std::to_string(RecordCount()) + " rows of "
            + std::to_string(nFields)
            + " columns; Mergix reads at most 33,554,432 cells of a sheet.";
}

std::span<const SSheetCell> CSheetTable::RecordCells(size_t nRecord) const
{
    return std::span<const SSheetCell>(m_cells).subspan(
        m_recordStarts[nRecord], m_recordStarts[nRecord + 1] - m_recordStarts[nRecord]);
}

std::string NumberText(double dValue)
{
    // Fifteen significant digits, as spreadsheet programs show a number: a typed 1234.5 is
    // "1234.5", and 0.1 + 0.6 is "0.7", not its binary remainder 0.7000000000000001.
    // to_chars writes what printf's "%.15g" does, several times faster: a large sheet formats
    // one number a cell.
    char buffer[32];
    const auto [pEnd, error] = std::to_chars(
        buffer, buffer + sizeof buffer, dValue == 0 ? 0 : dValue, std::chars_format::general, 15);
    return std::string(buffer, error == std::errc() ? pEnd : buffer); // no "-0" above
}

std::string SheetCellText(const SSheetCell &cell, const CTextPool &text)
{
    switch (cell.kind) {
    case ECellKind::Text:
        return std::string(text.At(cell.nText));
    case ECellKind::Bool:
        return cell.dValue != 0 ? "TRUE" : "FALSE";
    case ECellKind::Number:
        return NumberText(cell.dValue);
    case ECellKind::Date: {
        const auto [nDay, nSecond] = CDateTime::DayAndTime(CDateTime::ToSeconds(cell.dValue));
        const QDate date = QDate(1899, 12, 30).addDays(nDay);
        char buffer[64];
        int nLength = std::snprintf(
            buffer, sizeof buffer, "%04d-%02d-%02d", date.year(), date.month(), date.day());
        if (nSecond != 0)
            nLength += std::snprintf(buffer + nLength, sizeof buffer - size_t(nLength),
                " %02d:%02d:%02d", int(nSecond / 3600), int(nSecond / 60 % 60), int(nSecond % 60));
        return std::string(buffer, static_cast<size_t>(nLength));
    }
    }
    return {};
}

CVariant SheetCellValue(const SSheetCell &cell, short nType, const CTextPool &text)
{
    switch (nType) {
    case dbLong:
        return CVariant::Long(static_cast<int32_t>(cell.dValue));
    case dbDouble:
        // Merges as typed, not with the six decimals of an Access Double.
        return CVariant::TypedDouble(cell.dValue == 0 ? 0 : cell.dValue, NumberText(cell.dValue));
    case dbDate:
        return CVariant::Date(cell.dValue);
    case dbBoolean:
        return CVariant::Bool(cell.dValue != 0);
    default:
        return CVariant::String(SheetCellText(cell, text));
    }
}
