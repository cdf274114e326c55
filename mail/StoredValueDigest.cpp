#include "mail/StoredValueDigest.h"

#include <algorithm>
#include <charconv>

#include <new>

#include <openssl/evp.h>

#include "engine/Variant.h"

namespace {

// Numbers in the shortest form that reads back exactly, never in the locale's form.
template<typename T> std::string_view NumberText(T value, char (&buffer)[64])
{
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string_view(buffer, static_cast<size_t>(result.ptr - buffer));
}

} // namespace

CStoredValueDigest::CStoredValueDigest()
    : m_pContext(EVP_MD_CTX_new()), m_pSha256(EVP_MD_fetch(nullptr, "SHA256", nullptr))
{
    if (!m_pContext || !m_pSha256) {
        EVP_MD_CTX_free(m_pContext);
        EVP_MD_free(m_pSha256);
        throw std::bad_alloc();
    }
}

CStoredValueDigest::~CStoredValueDigest()
{
    EVP_MD_CTX_free(m_pContext);
    EVP_MD_free(m_pSha256);
}

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
    char buffer[24];
    const auto length = std::to_chars(buffer, buffer + sizeof buffer, bytes.size());
    m_bytes += cType;
    m_bytes.append(buffer, length.ptr);
    m_bytes += ':';
    m_bytes += bytes;
}

CStoredValueDigest::Result CStoredValueDigest::Take()
{
    unsigned char full[EVP_MAX_MD_SIZE];
    unsigned int nLength = 0;
    if (EVP_DigestInit_ex(m_pContext, m_pSha256, nullptr) != 1
        || EVP_DigestUpdate(m_pContext, m_bytes.data(), m_bytes.size()) != 1
        || EVP_DigestFinal_ex(m_pContext, full, &nLength) != 1 || nLength < sizeof(Result))
        throw std::bad_alloc(); // OpenSSL's SHA-256 fails only without memory
    m_bytes.clear();
    Result digest {};
    std::copy_n(full, digest.size(), digest.begin());
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
