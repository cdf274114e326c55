#pragma once

#include "engine/Currency.h"
#include "engine/DateTime.h"

#include <cstdint>
#include <string>

struct CVariant;

// DAO field type codes, as the database layer reports them for a table's fields.
constexpr short dbBoolean = 1;
constexpr short dbByte = 2;
constexpr short dbInteger = 3;
constexpr short dbLong = 4;
constexpr short dbCurrency = 5;
constexpr short dbSingle = 6;
constexpr short dbDouble = 7;
constexpr short dbDate = 8;
constexpr short dbBinary = 9;
constexpr short dbText = 10;
constexpr short dbLongBinary = 11;
constexpr short dbMemo = 12;
constexpr short dbGUID = 15;
constexpr short dbDecimal = 20;

// One value of one database field, with its kind, so that it can be shown as text and compared
// with a typed-in text converted to the same kind. Faults (an unknown kind or type, a text that
// is no boolean) are reported through ReportFault and a substitute result is used.
class CData final
{
public:
    static constexpr unsigned short kNoType = 10000;

    CData() = default;
    // Rebuilds a value from a field's text and its DAO type code.
    CData(std::string text, short dbType);

    CData &operator=(const CVariant &variant);

    // The value as text; currency and dates in the user's locale.
    std::string GetString() const;

    // Whether this value stands in the relation to the text, converted to this value's kind.
    bool operator==(std::string text) const;
    bool operator!=(std::string text) const;
    bool operator<(std::string text) const;
    bool operator>(std::string text) const;
    bool operator<=(std::string text) const;
    bool operator>=(std::string text) const;

    std::string m_strValue; // the text kinds, the exact digits of a decimal, a typed number
    unsigned short m_nType = kNoType; // variant type code of the value
    int16_t m_iValue = 0;
    int32_t m_lValue = 0;
    float m_fltValue = 0.0f;
    double m_dblValue = 0.0;
    CCurrency m_curValue;
    CDateTime m_dtValue;
    int32_t m_bValue = 0;
};
