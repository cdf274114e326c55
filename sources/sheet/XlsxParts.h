#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "sources/sheet/SheetCells.h"

class CSheetArchive;
class CSheetImport;

// What orcus 0.17 does not give of an .xlsx, read from its XML parts with QXmlStreamReader.

// A sheet as the workbook part lists it, in workbook order.
struct SXlsxSheet
{
    std::string strName;
    bool bHidden = false; // "hidden" or "veryHidden": orcus passes names, not states
    std::string strPart; // the sheet's part in the archive
};
std::vector<SXlsxSheet> XlsxSheets(const CSheetArchive &archive);
// The cells of a sheet part that hold inline strings (t="inlineStr", as openpyxl writes text),
// which orcus 0.17 drops; their text goes to the import's pool. read: where in the part the
// cells read here lie, from their start tag to their end tag, in order; none when a cell of the
// part has no address.
std::vector<SSheetCell> XlsxInlineStrings(std::string_view xml, CSheetImport &import,
    const std::string &strSheet, std::vector<std::pair<size_t, size_t>> &read);
// Text as Excel escapes it in XML: "_x000D_" is a carriage return.
std::string XlsxUnescaped(std::string_view text);
// New text for the relationship parts that point at other parts by absolute paths
// ("/xl/worksheets/sheet1.xml", as openpyxl and others write them), with the paths made
// relative: orcus 0.17 follows only relative ones and reads such a workbook as empty sheets.
std::vector<std::pair<std::string, std::string>> XlsxRelativeRelationships(
    const CSheetArchive &archive);
