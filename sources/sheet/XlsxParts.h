#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <orcus/spreadsheet/import_interface.hpp>

#include "sources/sheet/SheetCells.h"

class CSheetArchive;
class CSheetImport;

// What orcus 0.17 does not give of an .xlsx, or not without unpacking a large part whole.

// A sheet as the workbook part lists it, in workbook order.
struct SXlsxSheet
{
    std::string strName;
    bool bHidden = false; // "hidden" or "veryHidden": orcus passes names, not states
    std::string strPart; // the sheet's part in the archive
};
std::vector<SXlsxSheet> XlsxSheets(const CSheetArchive &archive);
// The shared strings part the workbook names; empty when it has none.
std::string XlsxSharedStringsPart(const CSheetArchive &archive);
// A sheet part's cells handed to the sheet as orcus would hand them, inline strings among them
// (t="inlineStr", as openpyxl writes text), which orcus 0.17 drops. The part is read as it is
// unpacked, never whole.
void XlsxReadSheet(const CSheetArchive &archive, const std::string &strPart, CSheetImport &import,
    orcus::spreadsheet::iface::import_sheet &sheet);
// The shared strings, appended to the import in their order.
void XlsxReadSharedStrings(
    const CSheetArchive &archive, const std::string &strPart, CSheetImport &import);
// Text as Excel escapes it in XML: "_x000D_" is a carriage return.
std::string XlsxUnescaped(std::string_view text);
// New text for the relationship parts that point at other parts by absolute paths
// ("/xl/worksheets/sheet1.xml", as openpyxl and others write them), with the paths made
// relative: orcus 0.17 follows only relative ones and reads such a workbook as empty sheets.
std::vector<std::pair<std::string, std::string>> XlsxRelativeRelationships(
    const CSheetArchive &archive);
