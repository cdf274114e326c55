#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

struct CVariant;
struct evp_md_ctx_st;
struct evp_md_st;

// A digest of a record's values as the table stores them, not as they are shown: a date or an
// amount gives the same bytes in every locale. Each value goes in with its type and length, so
// no two different records give the same bytes.
// The digest is the first half of a SHA-256 of those bytes, made by OpenSSL: a list of 100,000
// records takes one a record.
class CStoredValueDigest final
{
public:
    using Result = std::array<uint8_t, 16>;

    CStoredValueDigest();
    ~CStoredValueDigest();
    CStoredValueDigest(const CStoredValueDigest &) = delete;
    CStoredValueDigest &operator=(const CStoredValueDigest &) = delete;
    void Add(const CVariant &value);
    // A value known only as text, such as a cell of a list built in memory.
    void AddText(std::string_view text);
    // The digest of what was added since the last call; starts the next one.
    Result Take();

private:
    void AddTagged(char cType, std::string_view bytes);

    std::string m_bytes; // what was added since the last Take
    evp_md_ctx_st *m_pContext;
    evp_md_st *m_pSha256;
};

std::string HexText(const CStoredValueDigest::Result &digest);
