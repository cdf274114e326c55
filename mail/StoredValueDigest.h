#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include <QCryptographicHash>

struct CVariant;

// A digest of a record's values as the table stores them, not as they are shown: a date or an
// amount gives the same bytes in every locale. Each value goes in with its type and length, so
// no two different records give the same bytes.
class CStoredValueDigest final
{
public:
    using Result = std::array<uint8_t, 16>;

    CStoredValueDigest();
    void Add(const CVariant &value);
    // A value known only as text, such as a cell of a list built in memory.
    void AddText(std::string_view text);
    // The digest of what was added since the last call; starts the next one.
    Result Take();

private:
    void AddTagged(char cType, std::string_view bytes);

    QCryptographicHash m_hash;
    std::string m_scratch;
};

std::string HexText(const CStoredValueDigest::Result &digest);
