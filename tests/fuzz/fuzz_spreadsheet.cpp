// Feeds arbitrary bytes to the workbook reader, once as an .xlsx and once as an .ods: the zip
// checks, the XML read beside orcus, orcus's importers and the tables built from their cells.
// A message about the file is fine; a crash, a hang, a read out of bounds or unbounded memory
// is not, and every cell of what it reads must lie within its table's fields.
#include <cstddef>
#include <cstdint>
#include <string>

#include "sources/access/DaoException.h"
#include "sources/sheet/Workbook.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *pData, size_t nSize)
{
    for (const CWorkbook::EFormat format : {CWorkbook::EFormat::Xlsx, CWorkbook::EFormat::Ods}) {
        try {
            const CWorkbook book = CWorkbook::Parse(
                std::string(reinterpret_cast<const char *>(pData), nSize), format, "fuzz");
            for (const CWorkbook::SSheet &sheet : book.Sheets()) {
                const CSheetTable &table = sheet.table;
                for (size_t nRecord = 0; nRecord < table.RecordCount(); ++nRecord) {
                    for (const SSheetCell &cell : table.RecordCells(nRecord)) {
                        const size_t nField = table.FieldOf(cell);
                        if (nField >= table.Columns().size())
                            __builtin_trap();
                        SheetCellValue(cell, table.Columns()[nField].nType, book.Text());
                    }
                }
            }
        } catch (const CDaoException &) { }
    }
    return 0;
}
