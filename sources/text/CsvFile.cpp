#include "sources/text/CsvFile.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <thread>

#include <iconv.h>

#include <orcus/csv_parser.hpp>
#include <uchardet/uchardet.h>

#include "engine/Data.h"
#include "engine/PrintableText.h"
#include "sources/access/DaoException.h"

namespace {

[[noreturn]] void Fail(
    CDaoException::EKind kind, const std::string &strShownName, const std::string &strWhat)
{
    throw CDaoException(kind, "The file \"" + PrintableText(strShownName) + "\" " + strWhat);
}

bool IsUtf8(std::string_view text)
{
    for (size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        size_t nLength = c < 0x80    ? 1
            : c >= 0xC2 && c <= 0xDF ? 2
            : c >= 0xE0 && c <= 0xEF ? 3
            : c >= 0xF0 && c <= 0xF4 ? 4
                                     : 0;
        if (nLength == 0 || i + nLength > text.size())
            return false;
        for (size_t k = 1; k < nLength; ++k) {
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80)
                return false;
        }
        i += nLength;
    }
    return true;
}

// The bytes converted from the encoding to UTF-8; false when they are not of that encoding.
bool ToUtf8(std::string_view bytes, const char *pEncoding, std::string &strOut)
{
    const iconv_t converter = ::iconv_open("UTF-8", pEncoding);
    if (converter == reinterpret_cast<iconv_t>(-1))
        return false;
    strOut.assign(bytes.size() * 3 + 16, '\0');
    char *pIn = const_cast<char *>(bytes.data());
    size_t nIn = bytes.size();
    char *pOut = strOut.data();
    size_t nOut = strOut.size();
    const size_t nResult = ::iconv(converter, &pIn, &nIn, &pOut, &nOut);
    ::iconv_close(converter);
    if (nResult == static_cast<size_t>(-1))
        return false;
    strOut.resize(strOut.size() - nOut);
    return true;
}

// The file's text as UTF-8 with rows ending in LF, and the name of the encoding it was in.
std::string Decode(std::string bytes, const std::string &strShownName, std::string &strEncoding)
{
    std::string_view view(bytes);
    if (view.starts_with("PK\x03\x04"))
        Fail(CDaoException::EKind::NotAccessDatabase, strShownName,
            "is a spreadsheet (or another zip archive), not a CSV or text file.");
    if (view.starts_with("\xD0\xCF\x11\xE0"))
        Fail(CDaoException::EKind::NotAccessDatabase, strShownName,
            "is an old Office file (such as an .xls spreadsheet), not a CSV or text file.");
    if (view.starts_with(std::string_view("SQLite format 3\0", 16)))
        Fail(CDaoException::EKind::NotAccessDatabase, strShownName,
            "is an SQLite database, not a CSV or text file.");
    if (view.size() > 20 && view.substr(4, 15) == "Standard Jet DB")
        Fail(CDaoException::EKind::NotAccessDatabase, strShownName,
            "is an Access database, not a CSV or text file.");
    std::string strText;
    if (view.starts_with("\xEF\xBB\xBF")) {
        strEncoding = "UTF-8";
        bytes.erase(0, 3);
        strText = std::move(bytes);
    } else if (view.starts_with("\xFF\xFE") || view.starts_with("\xFE\xFF")) {
        strEncoding = view[0] == '\xFF' ? "UTF-16LE" : "UTF-16BE";
        if (!ToUtf8(view.substr(2), strEncoding.c_str(), strText))
            Fail(CDaoException::EKind::Damaged, strShownName,
                "starts as UTF-16 text but is not: it cannot be read.");
    } else if (IsUtf8(view)) {
        strEncoding = "UTF-8";
        strText = std::move(bytes);
    } else {
        // What the text shows, else what spreadsheet programs on Windows write.
        const std::unique_ptr<std::remove_pointer_t<uchardet_t>, decltype(&uchardet_delete)>
            pDetector(uchardet_new(), &uchardet_delete);
        uchardet_handle_data(pDetector.get(), view.data(), std::min<size_t>(view.size(), 1 << 20));
        uchardet_data_end(pDetector.get());
        strEncoding = uchardet_get_charset(pDetector.get());
        if (strEncoding.empty() || strEncoding == "ASCII"
            || !ToUtf8(view, strEncoding.c_str(), strText)) {
            strEncoding = "WINDOWS-1252";
            if (!ToUtf8(view, "WINDOWS-1252", strText)) {
                strEncoding = "ISO-8859-1"; // takes every byte
                ToUtf8(view, "ISO-8859-1", strText);
            }
        }
    }
    if (strText.find('\0') != std::string::npos)
        Fail(CDaoException::EKind::NotAccessDatabase, strShownName,
            "holds binary data; it is not a CSV or text file.");
    // orcus ends rows at LF: CR LF and a lone CR between rows become LF. A line break inside a
    // quoted field is the cell's own and stays as it is. A quote opens a quoted field only at
    // the start of a field; the delimiter is not known yet, so any of the candidates counts.
    size_t nOut = 0;
    bool bQuoted = false;
    for (size_t i = 0; i < strText.size(); ++i) {
        const char c = strText[i];
        if (bQuoted) {
            if (c == '"') {
                if (i + 1 < strText.size() && strText[i + 1] == '"')
                    strText[nOut++] = strText[i++]; // a doubled quote
                else
                    bQuoted = false;
            }
            strText[nOut++] = c;
            continue;
        }
        if (c == '"' && (nOut == 0 || std::strchr(",;\t|\n", strText[nOut - 1]) != nullptr))
            bQuoted = true;
        if (c == '\r') {
            if (i + 1 < strText.size() && strText[i + 1] == '\n')
                continue;
            strText[nOut++] = '\n';
        } else {
            strText[nOut++] = c;
        }
    }
    strText.resize(nOut);
    return strText;
}

// The delimiter the first lines agree on: comma, semicolon, tab or pipe.
char FindDelimiter(std::string_view text)
{
    constexpr std::array<char, 4> kCandidates {',', ';', '\t', '|'};
    std::array<std::vector<size_t>, 4> counts;
    std::array<size_t, 4> line {};
    bool bQuoted = false;
    size_t nLines = 0;
    for (size_t i = 0; i < text.size() && nLines < 50; ++i) {
        const char c = text[i];
        if (c == '"')
            bQuoted = !bQuoted;
        else if (!bQuoted && c == '\n') {
            for (size_t k = 0; k < kCandidates.size(); ++k)
                counts[k].push_back(std::exchange(line[k], 0));
            ++nLines;
        } else if (!bQuoted) {
            for (size_t k = 0; k < kCandidates.size(); ++k)
                line[k] += c == kCandidates[k] ? 1 : 0;
        }
    }
    if (nLines < 50)
        for (size_t k = 0; k < kCandidates.size(); ++k)
            counts[k].push_back(line[k]);
    char cBest = ',';
    size_t nBestAgreeing = 0;
    size_t nBestCount = 0;
    for (size_t k = 0; k < kCandidates.size(); ++k) {
        if (counts[k].empty() || counts[k][0] == 0)
            continue;
        const size_t nAgreeing
            = static_cast<size_t>(std::count(counts[k].begin(), counts[k].end(), counts[k][0]));
        if (nAgreeing > nBestAgreeing
            || (nAgreeing == nBestAgreeing && counts[k][0] > nBestCount)) {
            cBest = kCandidates[k];
            nBestAgreeing = nAgreeing;
            nBestCount = counts[k][0];
        }
    }
    return cBest;
}

// Where the first row that starts in the second half of the text begins, by the rules of
// orcus's parser: a cell that starts with a quote is quoted up to a quote that is not doubled;
// any other quote is a character. The text's size when no row starts there.
size_t SecondHalf(std::string_view text, char cDelimiter)
{
    const size_t nMiddle = text.size() / 2;
    bool bCellStart = true;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (bCellStart && c == '"') {
            for (++i; i < text.size(); ++i) {
                if (text[i] == '"') {
                    if (i + 1 < text.size() && text[i + 1] == '"')
                        ++i;
                    else
                        break;
                }
            }
            bCellStart = false;
            continue;
        }
        bCellStart = c == cDelimiter || c == '\n';
        if (c == '\n' && i + 1 >= nMiddle)
            return i + 1;
    }
    return text.size();
}

// Collects the parser's cells straight into the table's one buffer, row by row; a row is
// checked, and taken back when it is blank or the header, once it ends. The collector of a
// file's second part, read at the same time as the first, knows no header yet: it keeps each
// row's cell count and line for the check once both are read.
class CCollector
{
public:
    struct SRow
    {
        size_t nCells;
        size_t nLine;
    };

    CCollector(const std::string &strShownName, size_t nFirstLine, bool bHeader)
        : m_strShownName(strShownName), m_nLine(nFirstLine), m_bHeader(bHeader)
    { }

    void begin_parse() { }
    void end_parse() { }
    void begin_row()
    {
        m_nRowStart = cells.size();
        m_rowEnds.clear();
    }
    void cell(const char *p, size_t n, bool)
    {
        if (n > CCsvFile::kMaxFieldBytes)
            Fail(CDaoException::EKind::Damaged, m_strShownName,
                "has a field of more than 1 MB on line " + std::to_string(m_nLine)
                    + "; it is not a list Mergix can read.");
        cells.append(p, n);
        m_rowEnds.push_back(cells.size());
    }
    void end_row()
    {
        const size_t nLine = m_nLine;
        const std::string_view row = std::string_view(cells).substr(m_nRowStart);
        m_nLine += static_cast<size_t>(std::count(row.begin(), row.end(), '\n')) + 1;
        if (row.empty()) {
            return; // a blank line
        }
        if (cells.size() > UINT32_MAX)
            Fail(CDaoException::EKind::CannotRead, m_strShownName, "holds too much text.");
        if (!m_bHeader) {
            for (const size_t nEnd : m_rowEnds)
                ends.push_back(static_cast<uint32_t>(nEnd));
            rows.push_back({m_rowEnds.size(), nLine});
            return;
        }
        if (m_names.empty()) {
            size_t nBegin = m_nRowStart;
            for (const size_t nEnd : m_rowEnds) {
                m_names.push_back(cells.substr(nBegin, nEnd - nBegin));
                nBegin = nEnd;
            }
            cells.resize(m_nRowStart);
            return;
        }
        AddRow(m_rowEnds.size(), nLine, [&](size_t i) { return m_rowEnds[i]; });
    }

    // Adds the ends of a row of nCells cells, end(i) giving the i-th, padded to the header.
    template<typename End> void AddRow(size_t nCells, size_t nLine, End end)
    {
        if (nCells > m_names.size())
            Fail(CDaoException::EKind::Damaged, m_strShownName,
                "has " + std::to_string(nCells) + " fields on line " + std::to_string(nLine)
                    + ", but its first line names only " + std::to_string(m_names.size()) + ".");
        for (size_t i = 0; i < nCells; ++i)
            ends.push_back(static_cast<uint32_t>(end(i)));
        // A short row: the cells it lacks are empty, ending where its last one ends (a row
        // that is not blank has one).
        ends.resize(ends.size() + m_names.size() - nCells, static_cast<uint32_t>(end(nCells - 1)));
        ++nRows;
    }

    // Takes the rows of the second part's collector after this one's.
    void Append(const CCollector &second)
    {
        const size_t nBase = cells.size();
        if (nBase + second.cells.size() > UINT32_MAX)
            Fail(CDaoException::EKind::CannotRead, m_strShownName, "holds too much text.");
        cells += second.cells;
        size_t nCell = 0;
        for (const SRow &row : second.rows) {
            AddRow(row.nCells, row.nLine, [&](size_t i) { return nBase + second.ends[nCell + i]; });
            nCell += row.nCells;
        }
    }

    std::vector<std::string> m_names;
    std::string cells;
    std::vector<uint32_t> ends;
    std::vector<SRow> rows; // of a second part
    size_t nRows = 0;

private:
    const std::string &m_strShownName;
    std::vector<size_t> m_rowEnds;
    size_t m_nRowStart = 0;
    size_t m_nLine;
    bool m_bHeader;
};

bool IsDigits(std::string_view text)
{
    return !text.empty()
        && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Digits without a leading zero, or a lone zero.
bool IsWhole(std::string_view text)
{
    if (!text.empty() && text.front() == '-')
        text.remove_prefix(1);
    return IsDigits(text) && (text.size() == 1 || text.front() != '0');
}

bool IsDecimal(std::string_view text, bool bDecimalComma)
{
    const size_t nMark = text.find_first_of(bDecimalComma ? ".," : ".");
    if (nMark == std::string_view::npos)
        return false;
    return IsWhole(text.substr(0, nMark)) && IsDigits(text.substr(nMark + 1));
}

bool IsIsoDate(std::string_view text)
{
    const auto digitsAt = [&](size_t nStart, size_t nCount) {
        return text.size() >= nStart + nCount && IsDigits(text.substr(nStart, nCount));
    };
    if (!(digitsAt(0, 4) && text.size() >= 10 && text[4] == '-' && digitsAt(5, 2) && text[7] == '-'
            && digitsAt(8, 2)))
        return false;
    const int nMonth = std::stoi(std::string(text.substr(5, 2)));
    const int nDay = std::stoi(std::string(text.substr(8, 2)));
    if (nMonth < 1 || nMonth > 12 || nDay < 1 || nDay > 31)
        return false;
    if (text.size() == 10)
        return true;
    // "T" or a blank, then HH:MM and maybe :SS
    return (text[10] == 'T' || text[10] == ' ') && digitsAt(11, 2) && text.size() >= 16
        && text[13] == ':' && digitsAt(14, 2)
        && (text.size() == 16 || (text.size() == 19 && text[16] == ':' && digitsAt(17, 2)));
}

} // namespace

short ColumnTypeOf(const std::vector<std::string_view> &cells, bool bDecimalComma)
{
    bool bWhole = true;
    bool bDecimal = true;
    bool bDate = true;
    bool bAny = false;
    for (const std::string_view cell : cells) {
        if (cell.empty())
            continue;
        bAny = true;
        const bool bIsWhole = IsWhole(cell);
        bWhole = bWhole && bIsWhole;
        bDecimal = bDecimal && (bIsWhole || IsDecimal(cell, bDecimalComma));
        bDate = bDate && IsIsoDate(cell);
        if (!bWhole && !bDecimal && !bDate)
            return dbText;
    }
    if (!bAny)
        return dbText;
    if (bWhole) {
        // Beyond a Long, a whole number is a Double.
        for (const std::string_view cell : cells) {
            if (!cell.empty()
                && (cell.size() > 11 || std::stoll(std::string(cell)) > INT32_MAX
                    || std::stoll(std::string(cell)) < INT32_MIN))
                return dbDouble;
        }
        return dbLong;
    }
    return bDecimal ? dbDouble : dbDate;
}

CCsvFile CCsvFile::Read(const std::string &strPath)
{
    std::ifstream file(strPath, std::ios::binary);
    if (!file)
        Fail(CDaoException::EKind::FileNotFound, strPath, "was not found or cannot be read.");
    file.seekg(0, std::ios::end);
    const std::streamoff nSize = file.tellg();
    if (nSize < 0 || static_cast<size_t>(nSize) > kMaxFileBytes)
        Fail(CDaoException::EKind::CannotRead, strPath,
            "is larger than 1 GB; it is not a list Mergix can read.");
    file.seekg(0);
    std::string bytes(static_cast<size_t>(nSize), '\0');
    if (!file.read(bytes.data(), nSize))
        Fail(CDaoException::EKind::CannotRead, strPath, "cannot be read.");
    return Parse(std::move(bytes), strPath);
}

CCsvFile CCsvFile::Parse(std::string bytes, const std::string &strShownName, size_t nSplitBytes)
{
    CCsvFile table;
    const std::string strText = Decode(std::move(bytes), strShownName, table.m_strEncoding);
    table.m_cDelimiter = FindDelimiter(strText);
    const size_t nHalf
        = strText.size() >= nSplitBytes ? SecondHalf(strText, table.m_cDelimiter) : strText.size();
    orcus::csv::parser_config config;
    config.delimiters = std::string(1, table.m_cDelimiter);
    config.text_qualifier = '"';
    config.trim_cell_value = false;
    const auto parse = [&](std::string_view text, CCollector &collector) {
        try {
            orcus::csv_parser<CCollector> parser(text.data(), text.size(), collector, config);
            parser.parse();
        } catch (const CDaoException &) {
            throw; // already names the file and the line
        } catch (const std::exception &error) {
            // orcus's parse errors, an unclosed quote among them
            Fail(CDaoException::EKind::Damaged, strShownName,
                std::string("cannot be read as CSV: ") + error.what());
        }
    };
    // A large file is read in two parts at once, split where a row starts, as an Access table
    // is read by its own process beside the program.
    const std::string_view first = std::string_view(strText).substr(0, nHalf);
    const std::string_view second = std::string_view(strText).substr(nHalf);
    // orcus skips a BOM at the start of what it parses: a second part starting with one (a
    // cell of U+FEFF) is not split off.
    const bool bTwoParts
        = strText.size() >= nSplitBytes && !second.empty() && !second.starts_with("\xEF\xBB\xBF");
    auto pCollector = std::make_unique<CCollector>(strShownName, 1, true);
    pCollector->cells.reserve(strText.size());
    if (bTwoParts) {
        const size_t nSecondLine
            = 1 + static_cast<size_t>(std::count(first.begin(), first.end(), '\n'));
        CCollector secondCollector(strShownName, nSecondLine, false);
        secondCollector.cells.reserve(second.size());
        std::exception_ptr pSecondFailure;
        std::thread reader([&] {
            try {
                parse(second, secondCollector);
            } catch (...) {
                pSecondFailure = std::current_exception();
            }
        });
        try {
            parse(first, *pCollector);
        } catch (...) {
            reader.join();
            throw; // the earlier line's message
        }
        reader.join();
        if (pSecondFailure)
            std::rethrow_exception(pSecondFailure);
        if (pCollector->m_names.empty()) {
            // Only blank lines before the middle: the header is in the second part.
            pCollector = std::make_unique<CCollector>(strShownName, 1, true);
            parse(strText, *pCollector);
        } else {
            pCollector->Append(secondCollector);
        }
    } else {
        parse(strText, *pCollector);
    }
    CCollector &collector = *pCollector;
    if (collector.m_names.empty())
        Fail(CDaoException::EKind::Damaged, strShownName, "is empty: it names no fields.");
    table.m_strCells = std::move(collector.cells);
    table.m_cellEnds = std::move(collector.ends);
    table.m_nRows = collector.nRows;
    // Names: each field's own, an empty one as "Column N", a repeated one with its number.
    const size_t nColumns = collector.m_names.size();
    for (size_t i = 0; i < nColumns; ++i) {
        std::string strName = collector.m_names[i];
        if (strName.empty())
            strName = "Column " + std::to_string(i + 1);
        const auto taken = [&](const std::string &strCandidate) {
            return std::any_of(table.m_columns.begin(), table.m_columns.end(),
                [&](const SColumn &column) { return column.strName == strCandidate; });
        };
        for (int n = 2; taken(strName); ++n)
            strName = collector.m_names[i] + " (" + std::to_string(n) + ")";
        table.m_columns.push_back({std::move(strName), dbText});
    }
    std::vector<std::string_view> cells;
    cells.reserve(table.m_nRows);
    for (size_t i = 0; i < nColumns; ++i) {
        cells.clear();
        for (size_t nRow = 0; nRow < table.m_nRows; ++nRow)
            cells.push_back(table.Cell(nRow, i));
        table.m_columns[i].nType = ColumnTypeOf(cells, table.m_cDelimiter == ';');
    }
    return table;
}

std::string_view CCsvFile::Cell(size_t nRow, size_t nColumn) const
{
    const size_t nIndex = nRow * m_columns.size() + nColumn;
    const size_t nBegin = nIndex == 0 ? 0 : m_cellEnds[nIndex - 1];
    return std::string_view(m_strCells).substr(nBegin, m_cellEnds[nIndex] - nBegin);
}
