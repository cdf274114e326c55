#include "sources/access/ReaderStream.h"

#include <cstring>

namespace {

constexpr size_t kMaxFields = 4096;

} // namespace

void CReaderStream::Append(const char *pData, size_t nSize)
{
    // Drop what was parsed before the buffer grows again, so that it stays small.
    if (m_nConsumed > 0 && m_nConsumed >= m_strBuffer.size() / 2) {
        m_strBuffer.erase(0, m_nConsumed);
        m_nConsumed = 0;
    }
    m_strBuffer.append(pData, nSize);
}

template<typename T> bool CReaderStream::ReadNumber(size_t &nPos, T &value) const
{
    if (nPos > m_strBuffer.size() || m_strBuffer.size() - nPos < sizeof(T))
        return false;
    std::memcpy(&value, m_strBuffer.data() + nPos, sizeof(T));
    nPos += sizeof(T);
    return true;
}

bool CReaderStream::ReadText(size_t &nPos, std::string &strText) const
{
    uint32_t nLength = 0;
    if (!ReadNumber(nPos, nLength) || m_strBuffer.size() - nPos < nLength)
        return false;
    strText.assign(m_strBuffer, nPos, nLength);
    nPos += nLength;
    return true;
}

bool CReaderStream::ReadValue(size_t &nPos, CVariant &value) const
{
    uint8_t nType = 0;
    if (!ReadNumber(nPos, nType))
        return false;
    value.m_vt = nType;
    if (nType != VT_BSTR && nType != VT_DECIMAL)
        value.m_str.clear(); // no text left over from the record before
    switch (nType) {
    case VT_NULL:
        return true;
    case VT_BOOL: {
        uint8_t n = 0;
        const bool bRead = ReadNumber(nPos, n);
        value.m_boolVal = n ? -1 : 0;
        return bRead;
    }
    case VT_UI1:
        return ReadNumber(nPos, value.m_bVal);
    case VT_I2:
        return ReadNumber(nPos, value.m_iVal);
    case VT_I4:
        return ReadNumber(nPos, value.m_lVal);
    case VT_CY:
        return ReadNumber(nPos, value.m_cyVal);
    case VT_R4:
        return ReadNumber(nPos, value.m_fltVal);
    case VT_R8:
        return ReadNumber(nPos, value.m_dblVal);
    case VT_DATE:
        return ReadNumber(nPos, value.m_date);
    case VT_BSTR:
    case VT_DECIMAL:
        return ReadText(nPos, value.m_str);
    default:
        return false;
    }
}

CReaderStream::EResult CReaderStream::Next(SRecord &record, std::vector<CVariant> &values)
{
    if (m_bMalformed)
        return EResult::Malformed;
    const auto malformed = [this] {
        m_bMalformed = true;
        return EResult::Malformed;
    };
    // A length beyond the limit is malformed, not merely incomplete.
    const auto textTooLong = [this](size_t nPos) {
        uint32_t nLength = 0;
        return ReadNumber(nPos, nLength) && nLength > ReaderProtocol::kMaxTextBytes;
    };

    size_t nPos = m_nConsumed;
    if (nPos >= m_strBuffer.size())
        return EResult::NeedMore;
    record.tag = m_strBuffer[nPos++];
    bool bComplete = false;
    switch (record.tag) {
    case ReaderProtocol::kTableDef:
        if (textTooLong(nPos + 4))
            return malformed();
        bComplete = ReadNumber(nPos, record.nAttributes) && ReadText(nPos, record.strName);
        break;
    case ReaderProtocol::kField:
        if (m_bRecordsStarted || m_nFields >= kMaxFields || textTooLong(nPos))
            return malformed();
        bComplete = ReadText(nPos, record.strName) && ReadNumber(nPos, record.nType)
            && ReadNumber(nPos, record.nSize) && ReadNumber(nPos, record.nFieldAttributes);
        if (bComplete)
            ++m_nFields;
        break;
    case ReaderProtocol::kRecordCount:
        bComplete = ReadNumber(nPos, record.nCount);
        break;
    case ReaderProtocol::kRecord:
        m_bRecordsStarted = true;
        values.resize(m_nFields);
        bComplete = true;
        for (size_t i = 0; i < m_nFields && bComplete; ++i) {
            if (m_strBuffer.size() > nPos) {
                const auto nType = static_cast<uint8_t>(m_strBuffer[nPos]);
                if (nType != VT_NULL && nType != VT_BOOL && nType != VT_UI1 && nType != VT_I2
                    && nType != VT_I4 && nType != VT_CY && nType != VT_R4 && nType != VT_R8
                    && nType != VT_DATE && nType != VT_BSTR && nType != VT_DECIMAL)
                    return malformed();
                if ((nType == VT_BSTR || nType == VT_DECIMAL) && textTooLong(nPos + 1))
                    return malformed();
            }
            bComplete = ReadValue(nPos, values[i]);
        }
        break;
    case ReaderProtocol::kError: {
        uint8_t nError = 0;
        if (textTooLong(nPos + 1))
            return malformed();
        bComplete = ReadNumber(nPos, nError) && ReadText(nPos, record.strDetail);
        record.error = static_cast<ReaderProtocol::EReaderError>(nError);
        break;
    }
    case ReaderProtocol::kLinkTarget:
        if (textTooLong(nPos))
            return malformed();
        bComplete = ReadText(nPos, record.strDetail);
        break;
    case ReaderProtocol::kEnd:
        bComplete = true;
        break;
    default:
        return malformed();
    }
    if (!bComplete)
        return EResult::NeedMore;
    m_nConsumed = nPos;
    return EResult::Record;
}
