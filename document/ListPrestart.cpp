#include "document/ListPrestart.h"

#include "document/MergixDoc.h"
#include "sources/access/AccessFile.h"
#include "sources/access/DbReader.h"
#include "sources/access/ReaderProtocol.h"

void PrestartListReading(const std::string &strMergePath)
{
    const auto [strDatabase, strTable] = CMergixDoc::ListNamedIn(strMergePath);
    if (strTable.empty() || CheckAccessFile(strDatabase).problem != EAccessFileProblem::None)
        return;
    CDbReader::Prestart({ReaderProtocol::kCatalogCommand, strDatabase});
    CDbReader::Prestart({ReaderProtocol::kRowsCommand, strDatabase, strTable});
}
