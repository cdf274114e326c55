#include "sources/DataSource.h"

#include "engine/AsciiCase.h"
#include "engine/PrintableText.h"
#include "sources/access/AccessFile.h"
#include "sources/access/AccessSource.h"
#include "sources/access/DaoDatabase.h"
#include "sources/access/DaoException.h"
#include "sources/sheet/SpreadsheetSource.h"
#include "sources/sql/ServerSource.h"
#include "sources/sql/SqliteSource.h"
#include "sources/text/CsvSource.h"

#include <fstream>

namespace {

// The first bytes of a file, which tell its kind.
std::string FileStart(const std::string &strPath)
{
    std::ifstream file(strPath, std::ios::binary);
    std::string strStart(512, '\0');
    file.read(strStart.data(), static_cast<std::streamsize>(strStart.size()));
    strStart.resize(static_cast<size_t>(std::max<std::streamsize>(file.gcount(), 0)));
    return strStart;
}

[[noreturn]] void Refuse(const std::string &strPath, const std::string &strWhat)
{
    throw CDaoException(
        CDaoException::EKind::NotAccessDatabase, "\"" + PrintableText(strPath) + "\" " + strWhat);
}

} // namespace

std::unique_ptr<CDataSource> OpenDataSource(const std::string &strPath)
{
    if (IsServerAddress(strPath))
        return std::make_unique<CServerSource>(strPath);
    const SAccessFileCheck check = CheckAccessFile(strPath);
    if (check.problem != EAccessFileProblem::NotAccessDatabase) {
        CheckDatabaseFile(strPath); // a missing file, a folder, a FIFO or a cut Access file
        return std::make_unique<CAccessSource>(strPath);
    }
    // Not an Access file: the content tells the kind, whatever the name says.
    const std::string strStart = FileStart(strPath);
    if (strStart.starts_with(std::string_view("SQLite format 3\0", 16)))
        return std::make_unique<CSqliteSource>(strPath);
    if (strStart.starts_with("PK\x03\x04")) {
        // An OpenDocument file names its kind in its first, uncompressed entry.
        if (strStart.substr(30, 8) == "mimetype") {
            if (strStart.find("application/vnd.oasis.opendocument.spreadsheet")
                == std::string::npos)
                Refuse(strPath, "is an OpenDocument file but not a spreadsheet.");
            return std::make_unique<CSpreadsheetSource>(strPath, CSpreadsheetSource::EFormat::Ods);
        }
        // Any other zip archive is read as an Excel workbook, which says what it lacks.
        return std::make_unique<CSpreadsheetSource>(strPath, CSpreadsheetSource::EFormat::Xlsx);
    }
    if (strStart.starts_with("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1"))
        Refuse(strPath,
            "is an old Office file (such as an Excel 97-2003 .xls workbook). Save it as an .xlsx "
            "workbook or a CSV file to use it.");
    // A file named as an Access database that holds none of the other kinds is a damaged or
    // mistaken Access file, not a list of text.
    const size_t nDot = strPath.rfind('.');
    const std::string strExtension
        = nDot == std::string::npos ? std::string() : strPath.substr(nDot);
    if (EqualsIgnoringAsciiCase(strExtension, ".mdb")
        || EqualsIgnoringAsciiCase(strExtension, ".accdb"))
        CheckDatabaseFile(strPath);
    return std::make_unique<CCsvSource>(strPath);
}

std::string CDataSource::DefaultTable() const
{
    const std::vector<SSourceTable> tables = Tables();
    for (const SSourceTable &table : tables) {
        if (!table.bHidden)
            return table.strName;
    }
    return tables.empty() ? std::string() : tables.front().strName;
}

const SSourceTable *FindSourceTable(
    const std::vector<SSourceTable> &tables, const std::string &strName)
{
    return FindByName(tables, strName,
        [](const SSourceTable &table) -> const std::string & { return table.strName; });
}

void ThrowNoSuchTable(const std::string &strName, const std::string &strPath)
{
    if (strName.empty())
        throw CDaoException(CDaoException::EKind::NoSuchTable,
            "No table name was given for the list \"" + PrintableText(strPath) + "\".");
    throw CDaoException(CDaoException::EKind::NoSuchTable,
        "The table \"" + PrintableText(strName) + "\" does not exist in \"" + PrintableText(strPath)
            + "\".");
}
