#include "mail/StoredValueDigest.h"

#include <algorithm>
#include <charconv>

#include <QByteArrayView>

#include "engine/Variant.h"

namespace {

// Numbers in the shortest form that reads back exactly, never in the locale's form.
template<typename T> std::string_view NumberText(T value, char (&buffer)[64])
{
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string_view(buffer, static_cast<size_t>(result.ptr - buffer));
}

} // namespace

CStoredValueDigest::CStoredValueDigest() : m_hash(QCryptographicHash::Sha256)
{ }

void CStoredValueDigest::Add(const CVariant &value)
{
    char buffer[64];
    switch (value.m_vt) {
    case VT_I2:
        AddTagged('i', NumberText(value.m_iVal, buffer));
        break;
    case VT_I4:
        AddTagged('i', NumberText(value.m_lVal, buffer));
        break;
    case VT_UI1:
        AddTagged('i', NumberText(value.m_bVal, buffer));
        break;
    case VT_BOOL:
        AddTagged('b', value.m_boolVal != 0 ? "1" : "0");
        break;
    case VT_R4:
        AddTagged('f', NumberText(value.m_fltVal, buffer));
        break;
    case VT_R8:
        AddTagged('f', NumberText(value.m_dblVal, buffer));
        break;
    case VT_CY:
        AddTagged('c', NumberText(value.m_cyVal, buffer));
        break;
    case VT_DATE:
        AddTagged('d', NumberText(value.m_date, buffer));
        break;
    case VT_BSTR:
    case VT_DECIMAL:
        AddTagged('s', value.m_str);
        break;
    default: // NULL, and values that are not read, such as OLE objects
        AddTagged('n', {});
        break;
    }
}

void CStoredValueDigest::AddText(std::string_view text)
{
    AddTagged('s', text);
}

void CStoredValueDigest::AddTagged(char cType, std::string_view bytes)
{
    m_scratch.assign(1, cType);
    m_scratch += std::to_string(bytes.size());
    m_scratch += ':';
    m_hash.addData(QByteArrayView(m_scratch.data(), static_cast<qsizetype>(m_scratch.size())));
    m_hash.addData(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
}

CStoredValueDigest::Result CStoredValueDigest::Take()
{
    const QByteArrayView full = m_hash.resultView();
    Result digest {};
    std::copy_n(full.data(), digest.size(), digest.begin());
    m_hash.reset();
    return digest;
}

std::string HexText(const CStoredValueDigest::Result &digest)
{
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string strHex;
    strHex.reserve(digest.size() * 2);
    for (const uint8_t byte : digest) {
        strHex += kDigits[byte >> 4];
        strHex += kDigits[byte & 0xF];
    }
    return strHex;
}
