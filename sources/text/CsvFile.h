#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// A CSV or TSV list read as one table: its bytes decoded to UTF-8 (a BOM decides, else valid
// UTF-8, else what the text shows, else Windows-1252), its delimiter found from the file, its
// fields parsed by orcus's CSV parser (RFC 4180 quotes, line breaks and doubled quotes inside
// quoted fields), the first row naming the columns and each column typed from its cells. The
// cells are kept once, in one buffer.
class CCsvFile
{
public:
    struct SColumn
    {
        std::string strName; // unique; an empty or repeated name is made visible ("Column 3")
        short nType = 0; // a DAO type code: dbLong, dbDouble, dbDate or dbText
    };

    // Reads the file; throws CDaoException with a message naming the file when it cannot be
    // read or is no list (binary data, a spreadsheet, a row longer than its header).
    static CCsvFile Read(const std::string &strPath);
    // The same for bytes in memory; strShownName names them in messages. Text of nSplitBytes
    // or more is parsed in two parts at once.
    static CCsvFile Parse(
        std::string bytes, const std::string &strShownName, size_t nSplitBytes = kSplitBytes);

    const std::vector<SColumn> &Columns() const { return m_columns; }
    size_t RowCount() const { return m_nRows; }
    // The cell as the file has it, unquoted; empty for a cell a short row lacks.
    std::string_view Cell(size_t nRow, size_t nColumn) const;
    char Delimiter() const { return m_cDelimiter; }
    const std::string &Encoding() const { return m_strEncoding; }

    // A field may hold at most this much; more is no list a person keeps.
    static constexpr size_t kMaxFieldBytes = 1 << 20;
    static constexpr size_t kMaxFileBytes = size_t(1) << 30;
    static constexpr size_t kSplitBytes = size_t(1) << 20;

private:
    std::vector<SColumn> m_columns;
    std::string m_strCells;
    std::vector<uint32_t> m_cellEnds; // rows × columns, where each cell ends in m_strCells
    size_t m_nRows = 0;
    char m_cDelimiter = ',';
    std::string m_strEncoding;
};

// The type a column of text cells reads as: dbLong for whole numbers, dbDouble for decimals
// ("." as the mark, "," too when bDecimalComma), dbDate for ISO dates with or without a time,
// else dbText. A leading zero anywhere ("01234") keeps a column text; empty cells count for
// nothing.
short ColumnTypeOf(const std::vector<std::string_view> &cells, bool bDecimalComma);
