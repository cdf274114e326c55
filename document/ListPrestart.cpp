#include "document/ListPrestart.h"

#include <exception>

#include "document/MgxArchive.h"
#include "document/ReadWholeFile.h"
#include "sources/access/AccessFile.h"
#include "sources/access/DbReader.h"
#include "sources/access/ReaderProtocol.h"

void PrestartListReading(const std::string &strMergePath)
{
    std::string strData;
    if (ReadWholeFile(strMergePath, strData) != 0)
        return;
    std::string strDatabase;
    std::string strTable;
    try {
        // The strings in the order the document stores them: the database first, the table
        // sixth.
        CMgxArchive archive(strData);
        strDatabase = archive.ReadString();
        for (int i = 0; i < 4; ++i)
            archive.ReadString();
        strTable = archive.ReadString();
    } catch (const std::exception &) {
        return;
    }
    if (strDatabase.empty() || strTable.empty())
        return;
    // A relative path is taken from the merge file's folder, as the document does.
    if (strDatabase.front() != '/') {
        const size_t nSlash = strMergePath.rfind('/');
        if (nSlash != std::string::npos)
            strDatabase = strMergePath.substr(0, nSlash + 1) + strDatabase;
    }
    if (CheckAccessFile(strDatabase).problem != EAccessFileProblem::None)
        return;
    CDbReader::Prestart({ReaderProtocol::kCatalogCommand, strDatabase});
    CDbReader::Prestart({ReaderProtocol::kRowsCommand, strDatabase, strTable});
}
