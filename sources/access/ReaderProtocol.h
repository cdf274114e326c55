#pragma once

#include <cstdint>

// What the database reader process writes on its standard output: a stream of records, each a
// tag byte and its payload, integers little-endian, texts as a 32-bit length and UTF-8 bytes.
//
//   'T' table definition   u32 attributes, text name               (catalog)
//   'F' field              text name, i16 DAO type, i32 size, i32 attributes
//   'N' record count       u64
//   'R' record             one value per field: a variant type byte and its payload
//   'L' linked target      text path: the rows come from this database from now on
//   'E' error              u8 EReaderError, text detail
//   'Z' end                the stream is complete
//
// Value payloads: VT_NULL none; VT_BOOL, VT_UI1 u8; VT_I2 i16; VT_I4 i32; VT_CY i64 (1/10000);
// VT_R4 u32 bits; VT_R8, VT_DATE u64 bits; VT_BSTR, VT_DECIMAL text.
namespace ReaderProtocol {

constexpr char kTableDef = 'T';
constexpr char kField = 'F';
constexpr char kRecordCount = 'N';
constexpr char kRecord = 'R';
constexpr char kLinkTarget = 'L';
constexpr char kError = 'E';
constexpr char kEnd = 'Z';

// The reader's arguments: "catalog FILE" lists the table definitions; "rows FILE TABLE" sends
// the fields, the record count and every record of the table.
constexpr const char *kCatalogCommand = "catalog";
constexpr const char *kRowsCommand = "rows";

enum class EReaderError : uint8_t {
    NotAccessDatabase = 1,
    Damaged = 2,
    NoSuchTable = 3,
    CannotRead = 4,
    LinkedDatabase = 5, // the detail names the linked file that could not be opened
    Usage = 6,
    LinkedFolder = 7, // the target of a linked table is a folder; the detail names it
    LinkedNotFile = 8, // ... a FIFO, a device or a socket
};

// DAO table attributes the catalog reports.
constexpr uint32_t dbSystemObject = 0x80000002u;
constexpr uint32_t dbHiddenObject = 0x1u;
constexpr uint32_t dbAttachedTable = 0x40000000u;

// A text longer than this is taken as a sign of a broken stream.
constexpr uint32_t kMaxTextBytes = 256u << 20;

} // namespace ReaderProtocol
