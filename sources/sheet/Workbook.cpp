#include "sources/sheet/Workbook.h"

#include <algorithm>
#include <fstream>

#include <orcus/orcus_ods.hpp>
#include <orcus/orcus_xlsx.hpp>

#include "engine/PrintableText.h"
#include "sources/access/DaoException.h"
#include "sources/sheet/OdsContent.h"
#include "sources/sheet/SheetArchive.h"
#include "sources/sheet/SheetImport.h"
#include "sources/sheet/XlsxParts.h"
#include "sources/sheet/XmlScanner.h"

namespace {

[[noreturn]] void Fail(
    CDaoException::EKind kind, const std::string &strShownName, const std::string &strWhat)
{
    throw CDaoException(kind, "The file \"" + PrintableText(strShownName) + "\" " + strWhat);
}

// Runs orcus's importer over the archive; its own exceptions become our message.
void Import(std::string_view bytes, CWorkbook::EFormat format, CSheetImport &import,
    const std::string &strShownName)
{
    const char *pKind
        = format == CWorkbook::EFormat::Xlsx ? "an Excel workbook" : "an OpenDocument spreadsheet";
    try {
        if (format == CWorkbook::EFormat::Xlsx) {
            orcus::orcus_xlsx filter(&import);
            filter.read_stream(bytes);
        } else {
            orcus::orcus_ods filter(&import);
            filter.read_stream(bytes);
        }
    } catch (const CDaoException &) {
        throw; // names the file already
    } catch (const std::bad_alloc &) {
        Fail(CDaoException::EKind::CannotRead, strShownName,
            "needs more memory than there is to be read.");
    } catch (const std::exception &error) {
        // orcus's general_error, parse_error, zip_error and xml_structure_error among them
        Fail(CDaoException::EKind::Damaged, strShownName,
            std::string("is damaged or is not ") + pKind + ": " + error.what());
    }
}

// Whether orcus may read a part as XML: by its name, or by its first byte when a relationship
// points at it under another name.
bool IsXml(std::string_view name, std::string_view bytes)
{
    if (name.ends_with(".xml") || name.ends_with(".rels"))
        return true;
    if (bytes.starts_with("\xEF\xBB\xBF"))
        bytes.remove_prefix(3);
    const size_t nFirst = bytes.find_first_not_of(" \t\r\n");
    return nFirst != std::string_view::npos && bytes[nFirst] == '<';
}

// Whether a part holds bytes XML does not allow; each part orcus reads is checked first.
void CheckXml(const std::string &strName, std::string_view bytes, const std::string &strShownName)
{
    if (IsXml(strName, bytes) && XmlHasForbiddenControl(bytes))
        Fail(CDaoException::EKind::Damaged, strShownName,
            "is damaged: its part \"" + PrintableText(strName)
                + "\" holds bytes that XML does not allow.");
}

// An .xlsx: orcus reads the workbook, its styles and its small parts from a copy of the archive
// in which the sheets and shared strings are left empty; those are read here afterwards, as
// they are unpacked. Returns the sheets' hidden states in workbook order.
std::vector<bool> ImportXlsx(
    std::string_view bytes, CSheetImport &import, const std::string &strShownName)
{
    const CSheetArchive archive(bytes, strShownName);
    if (!archive.Has("[Content_Types].xml"))
        Fail(CDaoException::EKind::NotAccessDatabase, strShownName,
            "is a zip archive, but not an Excel workbook.");
    const std::vector<SXlsxSheet> sheets = XlsxSheets(archive);
    const std::string strStrings = XlsxSharedStringsPart(archive);
    static constexpr std::string_view kEmptySheet
        = "<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"/>";
    static constexpr std::string_view kEmptyStrings
        = "<sst xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"/>";
    const auto relationships = XlsxRelativeRelationships(archive);
    std::vector<std::pair<std::string, std::string_view>> replaced(
        relationships.begin(), relationships.end());
    for (const SXlsxSheet &sheet : sheets)
        replaced.emplace_back(sheet.strPart, kEmptySheet);
    if (!strStrings.empty())
        replaced.emplace_back(strStrings, kEmptyStrings);
    const auto isReplaced = [&](const std::string &strName) {
        return std::any_of(replaced.begin(), replaced.end(),
            [&](const auto &entry) { return entry.first == strName; });
    };
    for (const std::string &strName : archive.Names()) {
        if (!isReplaced(strName)) {
            const CSheetPart part = archive.Read(strName);
            CheckXml(strName, part.Text(), strShownName);
        }
    }
    Import(archive.WithReplaced(replaced), CWorkbook::EFormat::Xlsx, import, strShownName);
    if (!strStrings.empty())
        XlsxReadSharedStrings(archive, strStrings, import);
    std::vector<bool> hidden;
    for (const SXlsxSheet &sheet : sheets) {
        hidden.push_back(sheet.bHidden);
        if (auto *pSheet = import.get_sheet(sheet.strName); pSheet && !sheet.strPart.empty())
            XlsxReadSheet(archive, sheet.strPart, import, *pSheet);
    }
    return hidden;
}

} // namespace

CWorkbook CWorkbook::Read(const std::string &strPath, EFormat format)
{
    std::ifstream file(strPath, std::ios::binary);
    if (!file)
        Fail(CDaoException::EKind::FileNotFound, strPath, "was not found or cannot be read.");
    file.seekg(0, std::ios::end);
    const std::streamoff nSize = file.tellg();
    if (nSize < 0 || static_cast<uint64_t>(nSize) > SheetLimits::kMaxFileBytes)
        Fail(CDaoException::EKind::CannotRead, strPath,
            "is larger than 256 MB; it is not a list Mergix can read.");
    file.seekg(0);
    std::string bytes(static_cast<size_t>(nSize), '\0');
    if (!file.read(bytes.data(), nSize))
        Fail(CDaoException::EKind::CannotRead, strPath, "cannot be read.");
    return Parse(std::move(bytes), format, strPath);
}

CWorkbook CWorkbook::Parse(std::string bytes, EFormat format, const std::string &strShownName)
{
    if (bytes.size() > SheetLimits::kMaxFileBytes)
        Fail(CDaoException::EKind::CannotRead, strShownName,
            "is larger than 256 MB; it is not a list Mergix can read.");
    CSheetImport import(strShownName, format == EFormat::Xlsx);
    std::vector<bool> hidden;
    std::vector<std::vector<SSheetCell>> extraCells; // per sheet, what orcus drops
    std::vector<COdsContent::STable> odsTables;
    if (format == EFormat::Xlsx) {
        hidden = ImportXlsx(bytes, import, strShownName);
    } else {
        {
            const CSheetArchive archive(bytes, strShownName);
            if (!archive.Has("content.xml"))
                Fail(CDaoException::EKind::NotAccessDatabase, strShownName,
                    "is a zip archive, but not an OpenDocument spreadsheet.");
            // Every part is unpacked and checked once here, before orcus sees it; the content
            // is read on the way for what orcus does not give.
            for (const std::string &strName : archive.Names()) {
                const CSheetPart part = archive.Read(strName);
                CheckXml(strName, part.Text(), strShownName);
                if (strName == "content.xml") {
                    COdsContent content(part.Text(), strShownName, import.Text());
                    odsTables = std::move(content.Tables());
                    for (COdsContent::STable &table : odsTables) {
                        hidden.push_back(table.bHidden);
                        extraCells.push_back(std::move(table.extraCells));
                    }
                }
            }
        }
        Import(bytes, format, import, strShownName);
    }
    bytes = {};

    CWorkbook book;
    std::vector<SImportedSheet> sheets = import.TakeSheets();
    book.m_text = std::move(import.Text());
    for (size_t i = 0; i < sheets.size(); ++i) {
        SImportedSheet &sheet = sheets[i];
        const bool bHidden = i < hidden.size() && hidden[i];
        if (i < odsTables.size())
            PlaceAfterCoveredCells(sheet.cells, odsTables[i].covered);
        if (i < extraCells.size()) {
            sheet.cells.insert(sheet.cells.end(), extraCells[i].begin(), extraCells[i].end());
            extraCells[i] = {};
        }
        CSheetTable sheetTable(std::move(sheet.cells), book.m_text, sheet.strName, strShownName);
        book.m_sheets.push_back({std::move(sheet.strName), bHidden, std::move(sheetTable)});
    }
    book.m_text.ShrinkToFit();
    return book;
}
