// Feeds arbitrary bytes to the CSV reader as a list file: decoding, the delimiter search, the
// parser and the column types. A message about the file is fine; a crash, a hang or a read out
// of bounds is not, every cell of what it reads must be within the table, and reading it in two
// parts at once must give the same table.
#include <cstddef>
#include <cstdint>
#include <string>

#include "sources/access/DaoException.h"
#include "sources/text/CsvFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *pData, size_t nSize)
{
    try {
        const CCsvFile file = CCsvFile::Parse(
            std::string(reinterpret_cast<const char *>(pData), nSize), "fuzz.csv");
        size_t nBytes = 0;
        for (size_t nRow = 0; nRow < file.RowCount(); ++nRow) {
            for (size_t i = 0; i < file.Columns().size(); ++i)
                nBytes += file.Cell(nRow, i).size();
        }
        if (nBytes > nSize * 4 + 16)
            __builtin_trap(); // more text than the bytes could decode to
        // Read in two parts at once, the file must give the very same table.
        const CCsvFile parts = CCsvFile::Parse(
            std::string(reinterpret_cast<const char *>(pData), nSize), "fuzz.csv", 0);
        if (parts.RowCount() != file.RowCount() || parts.Columns().size() != file.Columns().size())
            __builtin_trap();
        for (size_t nRow = 0; nRow < file.RowCount(); ++nRow) {
            for (size_t i = 0; i < file.Columns().size(); ++i) {
                if (parts.Cell(nRow, i) != file.Cell(nRow, i))
                    __builtin_trap();
            }
        }
    } catch (const CDaoException &) { }
    return 0;
}
