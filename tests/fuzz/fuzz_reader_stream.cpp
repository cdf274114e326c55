// Feeds arbitrary bytes, in arbitrary pieces, to the parser of the database reader's stream:
// whatever a broken or hostile reader sends must end as records, "need more" or "malformed".
#include <cstddef>
#include <cstdint>
#include <vector>

#include "sources/access/ReaderStream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *pData, size_t nSize)
{
    if (nSize == 0)
        return 0;
    // The first byte chooses the piece size, so records are cut at every possible place.
    const size_t nPiece = 1 + pData[0] % 64;
    CReaderStream stream;
    CReaderStream::SRecord record;
    std::vector<CVariant> values;
    for (size_t nPos = 1; nPos < nSize; nPos += nPiece) {
        stream.Append(reinterpret_cast<const char *>(pData) + nPos,
            nPos + nPiece < nSize ? nPiece : nSize - nPos);
        CReaderStream::EResult result;
        while ((result = stream.Next(record, values)) == CReaderStream::EResult::Record) {
            if (record.tag == 'R' && values.size() != stream.FieldCount())
                __builtin_trap();
        }
        if (result == CReaderStream::EResult::Malformed)
            break;
    }
    return 0;
}
