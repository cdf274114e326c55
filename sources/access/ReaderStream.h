#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/Variant.h"
#include "sources/access/ReaderProtocol.h"

// Takes apart the record stream of the database reader process. Anything that does not follow
// the format (an unknown tag or type, a length beyond the limits, a record before its fields)
// makes the stream malformed for good.
class CReaderStream final
{
public:
    enum class EResult { Record, NeedMore, Malformed };

    struct SRecord
    {
        char tag = 0;
        uint32_t nAttributes = 0; // table definition
        std::string strName; // table definition, field
        int16_t nType = 0; // field
        int32_t nSize = 0; // field
        int32_t nFieldAttributes = 0; // field
        uint64_t nCount = 0; // record count
        ReaderProtocol::EReaderError error {}; // error
        std::string strDetail; // error, linked target
    };

    void Append(const char *pData, size_t nSize);
    // The next complete record. A record ('R') fills values, one per field announced so far.
    EResult Next(SRecord &record, std::vector<CVariant> &values);
    size_t FieldCount() const { return m_nFields; }

private:
    bool ReadValue(size_t &nPos, CVariant &value) const;
    bool ReadText(size_t &nPos, std::string &strText) const;
    template<typename T> bool ReadNumber(size_t &nPos, T &value) const;

    std::string m_strBuffer;
    size_t m_nConsumed = 0;
    size_t m_nFields = 0;
    bool m_bRecordsStarted = false;
    bool m_bMalformed = false;
};
