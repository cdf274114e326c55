#pragma once

#include <cstdint>
#include <string>
#include <utility>

// Variant type codes of OLE Automation, as the database layer reports field values.
constexpr unsigned short VT_EMPTY = 0;
constexpr unsigned short VT_NULL = 1;
constexpr unsigned short VT_I2 = 2;
constexpr unsigned short VT_I4 = 3;
constexpr unsigned short VT_R4 = 4;
constexpr unsigned short VT_R8 = 5;
constexpr unsigned short VT_CY = 6;
constexpr unsigned short VT_DATE = 7;
constexpr unsigned short VT_BSTR = 8;
constexpr unsigned short VT_BOOL = 11;
constexpr unsigned short VT_DECIMAL = 14;
constexpr unsigned short VT_UI1 = 17;
constexpr unsigned short VT_ARRAY = 0x2000;

// One field value as read from a record. Only the member that belongs to m_vt is meaningful.
// Text, GUIDs and decimals travel as UTF-8 text in m_str (a decimal as its exact digits); a
// typed number carries its text there too.
struct CVariant
{
    explicit CVariant(unsigned short vt = VT_EMPTY) : m_vt(vt) { }

    static CVariant Null() { return CVariant(VT_NULL); }
    static CVariant Short(int16_t n) { return With(VT_I2, &CVariant::m_iVal, n); }
    static CVariant Long(int32_t n) { return With(VT_I4, &CVariant::m_lVal, n); }
    static CVariant Float(float f) { return With(VT_R4, &CVariant::m_fltVal, f); }
    static CVariant Double(double d) { return With(VT_R8, &CVariant::m_dblVal, d); }
    // A number from a list of typed text (a CSV file, a spreadsheet), which merges as it was
    // typed ("12.50", "34") rather than with six decimals as a database's Double does.
    static CVariant TypedDouble(double d, std::string typed)
    {
        CVariant variant = Double(d);
        variant.m_str = std::move(typed);
        return variant;
    }
    static CVariant Currency(int64_t nCount) { return With(VT_CY, &CVariant::m_cyVal, nCount); }
    static CVariant Date(double dt) { return With(VT_DATE, &CVariant::m_date, dt); }
    static CVariant Bool(bool b)
    {
        return With(VT_BOOL, &CVariant::m_boolVal, int16_t(b ? -1 : 0));
    }
    static CVariant Byte(uint8_t n) { return With(VT_UI1, &CVariant::m_bVal, n); }
    static CVariant String(std::string s) { return With(VT_BSTR, &CVariant::m_str, std::move(s)); }
    static CVariant Decimal(std::string s)
    {
        return With(VT_DECIMAL, &CVariant::m_str, std::move(s));
    }

    unsigned short m_vt = VT_EMPTY;
    int16_t m_iVal = 0;
    int32_t m_lVal = 0;
    float m_fltVal = 0.0f;
    double m_dblVal = 0.0;
    int64_t m_cyVal = 0; // 1/10000 units
    double m_date = 0.0; // OLE day count
    int16_t m_boolVal = 0; // a true variant boolean is all ones (-1)
    uint8_t m_bVal = 0;
    std::string m_str;

private:
    template<typename T> static CVariant With(unsigned short vt, T CVariant::*pMember, T value)
    {
        CVariant variant(vt);
        variant.*pMember = std::move(value);
        return variant;
    }
};
