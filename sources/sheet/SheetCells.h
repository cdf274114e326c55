#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// How much of a workbook Mergix reads: a sheet's own limits, and bounds that keep a damaged or
// hostile file from taking the machine's memory.
namespace SheetLimits {
constexpr uint32_t kMaxRows = 1 << 20; // 1,048,576, as in Excel and LibreOffice
constexpr uint32_t kMaxColumns = 1 << 14; // 16,384 (XFD)
constexpr size_t kMaxCells = size_t(1) << 24; // cells holding a value, in all sheets together
constexpr size_t kMaxCellBytes = size_t(1) << 20; // the text of one cell
constexpr size_t kMaxTextBytes = size_t(1) << 30; // all text together
constexpr size_t kMaxFileBytes = size_t(1) << 28; // the file itself, packed
constexpr size_t kMaxEntryBytes = size_t(1) << 29; // one part of the file, unpacked
constexpr size_t kMaxUnpackedBytes = size_t(1) << 30; // all parts, unpacked
} // namespace SheetLimits

enum class ECellKind : uint8_t { Number, Date, Bool, Text };

// One cell that holds a value: 16 bytes, kept in one vector per sheet. A date is held as OLE
// Automation counts it (days since 30 December 1899); a text as its index in the text pool.
struct SSheetCell
{
    uint32_t nRow = 0;
    uint16_t nColumn = 0;
    ECellKind kind = ECellKind::Number;
    union {
        double dValue = 0;
        uint32_t nText;
    };
};
static_assert(sizeof(SSheetCell) == 16);

// All text of a workbook in one buffer, each string found by its index.
class CTextPool
{
public:
    uint32_t Add(std::string_view text);
    std::string_view At(uint32_t nIndex) const;
    size_t Count() const { return m_ends.size(); }
    size_t Bytes() const { return m_strText.size(); }
    void ShrinkToFit();

private:
    std::string m_strText;
    std::vector<uint32_t> m_ends;
};

// A column's letters as a sheet shows them: 0 is "A", 27 is "AB".
std::string ColumnLetters(uint32_t nColumn);
// A date as OLE Automation counts it from a day count since 30 December 1899 that runs on
// through the time of day, as spreadsheets keep dates before 1900 (-0.25 is 29 December 1899,
// 18:00), rounded to the second.
double OleDateOfDays(double dDays);
// Whether an Excel number format code shows a date or a time: a d, m, y, h or s outside quoted
// text, escapes and bracketed colours or locales ("[$-409]h:mm AM/PM" is a time, "0.00 \"days\""
// is not).
bool IsDateFormatCode(std::string_view code);
// Whether one of Excel's built-in number formats shows a date or a time (14 to 22, 45 to 47).
bool IsBuiltInDateFormat(size_t nId);
