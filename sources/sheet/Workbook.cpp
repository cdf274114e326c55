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

// Whether XML text holds a control character that XML 1.0 does not allow: orcus 0.17's parser
// can run past the end of its buffer on them (an assertion stops the program), and no program
// that writes workbooks puts them in (Excel writes "_x0004_").
bool HasForbiddenControl(std::string_view xml)
{
    const auto isForbidden = [](char c) {
        const auto n = static_cast<unsigned char>(c);
        return n < 0x20 && n != '\t' && n != '\n' && n != '\r';
    };
    // Blocks are first looked at for any byte below 0x20 without stopping early, which the
    // compiler makes vector code of; a sheet part is tens of megabytes.
    constexpr size_t kBlock = 64;
    size_t i = 0;
    for (; i + kBlock <= xml.size(); i += kBlock) {
        unsigned char nLow = 0;
        for (size_t k = 0; k < kBlock; ++k)
            nLow |= static_cast<unsigned char>(static_cast<unsigned char>(xml[i + k]) < 0x20);
        if (nLow != 0 && std::any_of(xml.begin() + i, xml.begin() + i + kBlock, isForbidden))
            return true;
    }
    return std::any_of(xml.begin() + i, xml.end(), isForbidden);
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
    {
        const CSheetArchive archive(bytes, strShownName);
        if (!archive.Has(format == EFormat::Xlsx ? "[Content_Types].xml" : "content.xml"))
            Fail(CDaoException::EKind::NotAccessDatabase, strShownName,
                format == EFormat::Xlsx ? "is a zip archive, but not an Excel workbook."
                                        : "is a zip archive, but not an OpenDocument spreadsheet.");
        std::vector<SXlsxSheet> xlsxSheets;
        if (format == EFormat::Xlsx) {
            xlsxSheets = XlsxSheets(archive);
            for (const SXlsxSheet &sheet : xlsxSheets)
                hidden.push_back(sheet.bHidden);
            extraCells.resize(xlsxSheets.size());
        }
        // Sheets that orcus gets unpacked, without the cells read here.
        std::vector<std::pair<std::string, CSheetPart>> compacted;
        // Every part is unpacked and checked once here, before orcus sees it; the ones orcus
        // does not fully read are read on the way.
        for (const std::string &strName : archive.Names()) {
            CSheetPart part = archive.Read(strName);
            const std::string_view xml = part.Text();
            if (IsXml(strName, xml) && HasForbiddenControl(xml))
                Fail(CDaoException::EKind::Damaged, strShownName,
                    "is damaged: its part \"" + PrintableText(strName)
                        + "\" holds bytes that XML does not allow.");
            if (format == EFormat::Ods) {
                if (strName == "content.xml") {
                    COdsContent content(xml, strShownName, import.Text());
                    odsTables = std::move(content.Tables());
                    for (COdsContent::STable &table : odsTables)
                        extraCells.push_back(std::move(table.extraCells));
                }
                continue;
            }
            std::vector<std::pair<size_t, size_t>> read;
            for (size_t i = 0; i < xlsxSheets.size(); ++i) {
                if (xlsxSheets[i].strPart == strName && extraCells[i].empty()
                    && xml.find("inlineStr") != std::string_view::npos)
                    extraCells[i] = XlsxInlineStrings(xml, import, xlsxSheets[i].strName, read);
            }
            // The sheet goes to orcus unpacked without the cells read here when that at least
            // halves it: orcus neither unpacks nor parses it again, and its copy and ours take
            // no more memory than orcus unpacking the whole part would.
            size_t nRead = 0;
            for (const auto &[nBegin, nEnd] : read)
                nRead += nEnd - nBegin;
            if (nRead > 0 && nRead * 2 >= xml.size()) {
                part.Remove(read);
                compacted.emplace_back(strName, std::move(part));
            }
        }
        if (format == EFormat::Xlsx) {
            const auto relationships = XlsxRelativeRelationships(archive);
            std::vector<std::pair<std::string, std::string_view>> replaced(
                relationships.begin(), relationships.end());
            for (const auto &[strName, part] : compacted)
                replaced.emplace_back(strName, part.Text());
            if (!replaced.empty())
                bytes = archive.WithReplaced(replaced);
        }
    }
    Import(bytes, format, import, strShownName);
    bytes = {};

    CWorkbook book;
    std::vector<SImportedSheet> sheets = import.TakeSheets();
    book.m_text = std::move(import.Text());
    for (size_t i = 0; i < sheets.size(); ++i) {
        SImportedSheet &sheet = sheets[i];
        const bool bHidden = format == EFormat::Xlsx ? i < hidden.size() && hidden[i]
                                                     : i < odsTables.size() && odsTables[i].bHidden;
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
