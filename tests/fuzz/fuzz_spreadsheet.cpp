// Feeds arbitrary bytes to the workbook reader. Bytes that start with '<' become a part of a
// real workbook (the first sheet of an .xlsx or the content of an .ods, checksums and all), so
// that the XML reaches orcus's parsers and ours; other bytes are read as a whole .xlsx and as
// a whole .ods: the zip checks first. A message about the file is fine; a crash, a hang, a read
// out of bounds or unbounded memory is not, and every cell read must lie within its table.
#include <cstddef>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>

#include "sources/access/DaoException.h"
#include "sources/sheet/SheetArchive.h"
#include "sources/sheet/Workbook.h"

namespace {

std::string FileBytes(const char *pPath)
{
    std::ifstream file(pPath, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

void Read(std::string bytes, CWorkbook::EFormat format)
{
    try {
        const CWorkbook book = CWorkbook::Parse(std::move(bytes), format, "fuzz");
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

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *pData, size_t nSize)
{
    const std::string input(reinterpret_cast<const char *>(pData), nSize);
    if (!input.empty() && input[0] == '<') {
        static const std::string xlsx = FileBytes(MERGIX_FUZZ_DATA "/sheet-tricky.xlsx");
        static const std::string ods = FileBytes(MERGIX_FUZZ_DATA "/sheet-tricky.ods");
        const bool bOds = nSize % 2 == 1;
        const CSheetArchive archive(bOds ? ods : xlsx, "template");
        Read(archive.WithReplaced({{bOds ? "content.xml" : "xl/worksheets/sheet1.xml", input}}),
            bOds ? CWorkbook::EFormat::Ods : CWorkbook::EFormat::Xlsx);
        return 0;
    }
    Read(input, CWorkbook::EFormat::Xlsx);
    Read(input, CWorkbook::EFormat::Ods);
    return 0;
}
