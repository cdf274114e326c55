// mergix-dbreader: reads an Access database with libmdb and writes what the database layer asks
// for to standard output in the stream format of ReaderProtocol.h. It runs as a process of its
// own because libmdb can crash or loop on a damaged file; the program that started it turns
// either into a clear message and keeps running.
#include <glib.h>
#include <mdbtools.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include <sys/resource.h>

#include "engine/AsciiCase.h"
#include "sources/access/AccessFile.h"
#include "sources/access/ReaderProtocol.h"

// The sanitizers reserve far more address space than the cap below allows.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define MERGIX_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)                            \
    || __has_feature(memory_sanitizer)
#define MERGIX_SANITIZED 1
#endif
#endif

namespace {

using ReaderProtocol::EReaderError;

constexpr int kMaxLinkHops = 8;

void PutBytes(const void *p, size_t n)
{
    std::fwrite(p, 1, n, stdout);
}

template<typename T> void Put(T value)
{
    unsigned char bytes[sizeof(T)];
    std::memcpy(bytes, &value, sizeof(T)); // the machine is little-endian, as the stream is
    PutBytes(bytes, sizeof(T));
}

void PutTag(char tag)
{
    std::fputc(tag, stdout);
}

void PutText(std::string_view text)
{
    Put<uint32_t>(static_cast<uint32_t>(text.size()));
    PutBytes(text.data(), text.size());
}

[[noreturn]] void Fail(EReaderError error, std::string_view detail)
{
    PutTag(ReaderProtocol::kError);
    Put<uint8_t>(static_cast<uint8_t>(error));
    PutText(detail);
    std::fflush(stdout);
    std::_Exit(0);
}

// Opens a database and reads its catalog once; every table is opened from these entries.
MdbHandle *OpenDatabase(const std::string &strPath)
{
    MdbHandle *pMdb = mdb_open(strPath.c_str(), MDB_NOFLAGS);
    if (!pMdb)
        Fail(EReaderError::NotAccessDatabase, strPath);
    if (!mdb_read_catalog(pMdb, MDB_ANY))
        Fail(EReaderError::Damaged, strPath);
    bool bHasObjects = false;
    for (guint i = 0; i < pMdb->num_catalog; ++i) {
        auto *pEntry = static_cast<MdbCatalogEntry *>(g_ptr_array_index(pMdb->catalog, i));
        bHasObjects = bHasObjects || std::strcmp(pEntry->object_name, "MSysObjects") == 0;
    }
    if (!bHasObjects)
        Fail(EReaderError::Damaged, strPath);
    return pMdb;
}

bool IsTableDef(const MdbCatalogEntry *pEntry)
{
    return pEntry->object_type == MDB_TABLE || pEntry->object_type == MDB_LINKED_TABLE;
}

uint32_t Attributes(const MdbCatalogEntry *pEntry)
{
    const auto nFlags = static_cast<uint32_t>(pEntry->flags);
    uint32_t nAttributes = nFlags & ReaderProtocol::dbSystemObject;
    if (nFlags & 0x8u) // the bit Access sets on a hidden object
        nAttributes |= ReaderProtocol::dbHiddenObject;
    if (pEntry->object_type == MDB_LINKED_TABLE)
        nAttributes |= ReaderProtocol::dbAttachedTable;
    return nAttributes;
}

MdbCatalogEntry *FindTableDef(MdbHandle *pMdb, const std::string &strName)
{
    MdbCatalogEntry *pFolded = nullptr;
    for (guint i = 0; i < pMdb->num_catalog; ++i) {
        auto *pEntry = static_cast<MdbCatalogEntry *>(g_ptr_array_index(pMdb->catalog, i));
        if (!IsTableDef(pEntry))
            continue;
        if (strName == pEntry->object_name)
            return pEntry;
        if (!pFolded && EqualsIgnoringAsciiCase(strName, pEntry->object_name))
            pFolded = pEntry;
    }
    return pFolded;
}

void ListCatalog(const std::string &strPath)
{
    MdbHandle *pMdb = OpenDatabase(strPath);
    for (guint i = 0; i < pMdb->num_catalog; ++i) {
        auto *pEntry = static_cast<MdbCatalogEntry *>(g_ptr_array_index(pMdb->catalog, i));
        if (!IsTableDef(pEntry))
            continue;
        PutTag(ReaderProtocol::kTableDef);
        Put<uint32_t>(Attributes(pEntry));
        PutText(pEntry->object_name);
    }
}

// Where a linked table points: its database file and its name there, from MSysObjects.
bool FindLink(MdbHandle *pMdb, const std::string &strName, std::string &strDatabase,
    std::string &strForeignName)
{
    MdbCatalogEntry *pObjects = nullptr;
    for (guint i = 0; i < pMdb->num_catalog && !pObjects; ++i) {
        auto *pEntry = static_cast<MdbCatalogEntry *>(g_ptr_array_index(pMdb->catalog, i));
        if (std::strcmp(pEntry->object_name, "MSysObjects") == 0)
            pObjects = pEntry;
    }
    MdbTableDef *pTable = pObjects ? mdb_read_table(pObjects) : nullptr;
    if (!pTable)
        return false;
    mdb_read_columns(pTable);
    std::vector<char> name(MDB_BIND_SIZE), type(MDB_BIND_SIZE), database(MDB_BIND_SIZE),
        foreign(MDB_BIND_SIZE);
    if (mdb_bind_column_by_name(pTable, const_cast<gchar *>("Name"), name.data(), nullptr) < 0
        || mdb_bind_column_by_name(pTable, const_cast<gchar *>("Type"), type.data(), nullptr) < 0
        || mdb_bind_column_by_name(
               pTable, const_cast<gchar *>("Database"), database.data(), nullptr)
            < 0
        || mdb_bind_column_by_name(
               pTable, const_cast<gchar *>("ForeignName"), foreign.data(), nullptr)
            < 0)
        return false;
    mdb_rewind_table(pTable);
    while (mdb_fetch_row(pTable)) {
        if (strName == name.data() && std::string_view(type.data()) == "6") {
            strDatabase = database.data();
            strForeignName = foreign.data();
            return !strDatabase.empty() && !strForeignName.empty();
        }
    }
    return false;
}

std::string Folder(const std::string &strPath)
{
    const size_t nSlash = strPath.rfind('/');
    return nSlash == std::string::npos ? std::string(".") : strPath.substr(0, nSlash);
}

// The linked file as the link names it, relative to the linking database's folder when it is
// relative. A Windows path (as Access writes it) is looked for by its file name beside the
// linking database.
std::string ResolveLink(const std::string &strLinking, const std::string &strTarget)
{
    const bool bWindows = strTarget.find('\\') != std::string::npos
        || (strTarget.size() > 1 && strTarget[1] == ':');
    if (bWindows) {
        const size_t nSeparator = strTarget.find_last_of("\\/:");
        return Folder(strLinking) + "/" + strTarget.substr(nSeparator + 1);
    }
    if (!strTarget.empty() && strTarget[0] == '/')
        return strTarget;
    return Folder(strLinking) + "/" + strTarget;
}

std::string GuidText(const unsigned char *p)
{
    char buffer[40];
    std::snprintf(buffer, sizeof buffer,
        "{%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X}", p[3], p[2], p[1],
        p[0], p[5], p[4], p[7], p[6], p[8], p[9], p[10], p[11], p[12], p[13], p[14], p[15]);
    return buffer;
}

short DaoType(int nJetType)
{
    return nJetType == MDB_NUMERIC ? 20 : static_cast<short>(nJetType);
}

void PutFields(MdbHandle *pMdb, MdbTableDef *pTable)
{
    for (guint i = 0; i < pTable->num_cols; ++i) {
        auto *pColumn = static_cast<MdbColumn *>(g_ptr_array_index(pTable->columns, i));
        int nSize = pColumn->col_size;
        if (pColumn->col_type == MDB_TEXT && pMdb->f->jet_version != MDB_VER_JET3)
            nSize /= 2; // stored in bytes of UCS-2, reported in characters
        int32_t nAttributes = pColumn->is_fixed ? 1 : 2; // fixed or variable field
        if (pColumn->is_long_auto)
            nAttributes |= 16; // auto-increment
        PutTag(ReaderProtocol::kField);
        PutText(pColumn->name);
        Put<int16_t>(DaoType(pColumn->col_type));
        Put<int32_t>(nSize);
        Put<int32_t>(nAttributes | 32); // updatable, as DAO reports table fields
    }
}

template<typename T> T Read(const unsigned char *pPage, int nStart)
{
    T value;
    std::memcpy(&value, pPage + nStart, sizeof(T));
    return value;
}

void PutValue(
    MdbHandle *pMdb, MdbColumn *pColumn, const MdbField *pField, std::vector<char> &buffer)
{
    const int nType = pColumn->col_type;
    if (nType == MDB_BOOL) { // Yes/No lives in the null bit: not null is TRUE
        Put<uint8_t>(11);
        Put<uint8_t>(pField && !pField->is_null ? 1 : 0);
        return;
    }
    const auto nPageSize = static_cast<int>(pMdb->fmt->pg_size);
    const bool bInPage = pField && pField->start >= 0 && pField->siz >= 0
        && pField->start + pField->siz <= nPageSize;
    if (!pField || pField->is_null || !bInPage) {
        if (pField && !pField->is_null && !bInPage)
            Fail(EReaderError::Damaged, pColumn->name);
        Put<uint8_t>(1);
        return;
    }
    const unsigned char *pPage = pMdb->pg_buf;
    const int nStart = pField->start;
    const int nSize = pField->siz;
    const auto need = [&](int nBytes) {
        if (nSize < nBytes)
            Fail(EReaderError::Damaged, pColumn->name);
    };
    switch (nType) {
    case MDB_BYTE:
        need(1);
        Put<uint8_t>(17);
        Put<uint8_t>(pPage[nStart]);
        return;
    case MDB_INT:
        need(2);
        Put<uint8_t>(2);
        Put<int16_t>(Read<int16_t>(pPage, nStart));
        return;
    case MDB_LONGINT:
        need(4);
        Put<uint8_t>(3);
        Put<int32_t>(Read<int32_t>(pPage, nStart));
        return;
    case MDB_MONEY:
        need(8);
        Put<uint8_t>(6);
        Put<int64_t>(Read<int64_t>(pPage, nStart));
        return;
    case MDB_FLOAT:
        need(4);
        Put<uint8_t>(4);
        Put<uint32_t>(Read<uint32_t>(pPage, nStart));
        return;
    case MDB_DOUBLE:
    case MDB_DATETIME:
        need(8);
        Put<uint8_t>(nType == MDB_DOUBLE ? 5 : 7);
        Put<uint64_t>(Read<uint64_t>(pPage, nStart));
        return;
    case MDB_TEXT: {
        buffer.resize(static_cast<size_t>(nSize) * 2 + 16);
        const int nLength = mdb_unicode2ascii(pMdb, reinterpret_cast<const char *>(pPage) + nStart,
            static_cast<size_t>(nSize), buffer.data(), buffer.size());
        Put<uint8_t>(8);
        PutText(std::string_view(buffer.data(), nLength > 0 ? static_cast<size_t>(nLength) : 0));
        return;
    }
    case MDB_MEMO: {
        need(MDB_MEMO_OVERHEAD);
        char *pText = mdb_col_to_string(pMdb, pMdb->pg_buf, nStart, MDB_MEMO, nSize);
        Put<uint8_t>(8);
        PutText(pText ? pText : "");
        g_free(pText);
        return;
    }
    case MDB_REPID:
        need(16);
        Put<uint8_t>(8);
        PutText(GuidText(pPage + nStart));
        return;
    case MDB_NUMERIC: {
        need(17);
        // libmdb's fields and this call's parameters disagree on which is scale and which is
        // precision; this order gives the stored digits with the column's scale.
        char *pText = mdb_numeric_to_string(pMdb, nStart, pColumn->col_scale, pColumn->col_prec);
        Put<uint8_t>(14);
        PutText(pText ? pText : "");
        g_free(pText);
        return;
    }
    default: // binary, OLE objects and types of later formats are not read
        Put<uint8_t>(1);
        return;
    }
}

// The target of a linked table gets the checks the program makes of the database it opens.
void CheckLinkedFile(const std::string &strPath)
{
    switch (CheckAccessFile(strPath).problem) {
    case EAccessFileProblem::None:
        return;
    case EAccessFileProblem::NotFound:
        Fail(EReaderError::LinkedDatabase, strPath);
    case EAccessFileProblem::Folder:
        Fail(EReaderError::LinkedFolder, strPath);
    case EAccessFileProblem::NotAFile:
        Fail(EReaderError::LinkedNotFile, strPath);
    case EAccessFileProblem::NotAccessDatabase:
        Fail(EReaderError::NotAccessDatabase, strPath);
    case EAccessFileProblem::Damaged:
        Fail(EReaderError::Damaged, strPath);
    case EAccessFileProblem::PermissionDenied:
    case EAccessFileProblem::CannotRead:
        break;
    }
    Fail(EReaderError::CannotRead, strPath);
}

void SendRows(std::string strPath, std::string strName)
{
    MdbHandle *pMdb = OpenDatabase(strPath);
    MdbCatalogEntry *pEntry = FindTableDef(pMdb, strName);
    for (int nHop = 0; pEntry && pEntry->object_type == MDB_LINKED_TABLE; ++nHop) {
        std::string strDatabase;
        std::string strForeign;
        if (nHop == kMaxLinkHops || !FindLink(pMdb, pEntry->object_name, strDatabase, strForeign))
            Fail(EReaderError::Damaged, strPath);
        const std::string strLinked = ResolveLink(strPath, strDatabase);
        // Said at once, so that a crash in the linked file is blamed on that file.
        PutTag(ReaderProtocol::kLinkTarget);
        PutText(strLinked);
        std::fflush(stdout);
        CheckLinkedFile(strLinked);
        strPath = strLinked;
        strName = strForeign;
        pMdb = OpenDatabase(strPath);
        pEntry = FindTableDef(pMdb, strName);
    }
    if (!pEntry)
        Fail(EReaderError::NoSuchTable, strName);
    MdbTableDef *pTable = mdb_read_table(pEntry);
    if (!pTable || !mdb_read_columns(pTable) || pTable->num_cols > MDB_MAX_COLS)
        Fail(EReaderError::Damaged, strPath);
    PutFields(pMdb, pTable);
    PutTag(ReaderProtocol::kRecordCount);
    Put<uint64_t>(pTable->num_rows);

    std::vector<MdbField> fields(pTable->num_cols + 1);
    std::vector<const MdbField *> byColumn(pTable->num_cols);
    std::vector<char> buffer;
    mdb_rewind_table(pTable);
    while (mdb_fetch_row(pTable)) {
        int nStart = 0;
        size_t nLength = 0;
        if (pTable->cur_row == 0
            || mdb_find_row(pMdb, static_cast<int>(pTable->cur_row) - 1, &nStart, &nLength) != 0)
            Fail(EReaderError::Damaged, strPath);
        const int nFields = mdb_crack_row(pTable, nStart, nLength, fields.data());
        std::fill(byColumn.begin(), byColumn.end(), nullptr);
        for (int i = 0; i < nFields && i < static_cast<int>(fields.size()); ++i) {
            if (fields[i].colnum >= 0 && static_cast<guint>(fields[i].colnum) < pTable->num_cols)
                byColumn[static_cast<size_t>(fields[i].colnum)] = &fields[i];
        }
        PutTag(ReaderProtocol::kRecord);
        for (guint i = 0; i < pTable->num_cols; ++i) {
            auto *pColumn = static_cast<MdbColumn *>(g_ptr_array_index(pTable->columns, i));
            PutValue(pMdb, pColumn, byColumn[i], buffer);
        }
    }
}

void LimitResources()
{
    // A damaged file must not make the reader eat the machine or leave core files behind.
    const rlimit noCore {0, 0};
    setrlimit(RLIMIT_CORE, &noCore);
#ifndef MERGIX_SANITIZED
    const rlimit memory {4ull << 30, 4ull << 30};
    setrlimit(RLIMIT_AS, &memory);
#endif
}

} // namespace

int main(int argc, char *argv[])
{
    LimitResources();
    static char s_outputBuffer[1 << 20];
    std::setvbuf(stdout, s_outputBuffer, _IOFBF, sizeof s_outputBuffer);

    const std::string strCommand = argc > 1 ? argv[1] : "";
    if (strCommand == ReaderProtocol::kCatalogCommand && argc == 3)
        ListCatalog(argv[2]);
    else if (strCommand == ReaderProtocol::kRowsCommand && argc == 4)
        SendRows(argv[2], argv[3]);
    else
        Fail(EReaderError::Usage, "usage: mergix-dbreader catalog FILE | rows FILE TABLE");
    PutTag(ReaderProtocol::kEnd);
    return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 1;
}
