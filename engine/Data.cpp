#include "engine/Data.h"

#include <charconv>
#include <string_view>
#include <utility>

#include "engine/Conversions.h"
#include "engine/Fault.h"
#include "engine/LocaleText.h"
#include "engine/Variant.h"

namespace {

enum class ERelation { Equal, NotEqual, Less, Greater, LessOrEqual, GreaterOrEqual };

template<typename T> bool Relate(ERelation relation, const T &a, const T &b)
{
    switch (relation) {
    case ERelation::Equal:
        return a == b;
    case ERelation::NotEqual:
        return a != b;
    case ERelation::Less:
        return a < b;
    case ERelation::Greater:
        return a > b;
    case ERelation::LessOrEqual:
        return a <= b;
    case ERelation::GreaterOrEqual:
        return a >= b;
    }
    return false;
}

// Numbers are shown as printf's "%f" shows them in the C locale: six decimals and a point,
// whatever the user's locale, because StringToDbl reads them back that way.
std::string FixedSix(double value)
{
    char buffer[400];
    const auto result
        = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 6);
    return std::string(buffer, result.ptr);
}

// Converts the text to the value's kind and compares in that kind.
bool Compare(const CData &data, ERelation relation, std::string text)
{
    switch (data.m_nType) {
    case VT_EMPTY:
    case VT_NULL:
    case VT_BSTR:
    case VT_UI1:
    case VT_DECIMAL: {
        // string_view compares as unsigned bytes, a proper prefix first.
        const int nOrder
            = std::string_view(data.m_strValue).compare(StringToString(std::move(text)));
        return Relate(relation, nOrder, 0);
    }
    case VT_I2:
        return Relate(relation, data.m_iValue, StringToShort(std::move(text)));
    case VT_I4:
        return Relate(relation, data.m_lValue, StringToLong(std::move(text)));
    case VT_R4:
        return Relate(relation, data.m_fltValue, StringToFloat(std::move(text)));
    case VT_R8:
        return Relate(relation, data.m_dblValue, StringToDbl(std::move(text)));
    case VT_CY: {
        const CCurrency other = StringToCurrency(std::move(text));
        const bool bSameStatus = data.m_curValue.m_status == other.m_status;
        if (relation == ERelation::Equal)
            return data.m_curValue.m_nCount == other.m_nCount && bSameStatus;
        if (relation == ERelation::NotEqual)
            return data.m_curValue.m_nCount != other.m_nCount || !bSameStatus;
        return Relate(relation, data.m_curValue.m_nCount, other.m_nCount);
    }
    case VT_DATE: {
        // Whole seconds on both sides, so that a stored day count with floating-point noise
        // equals the same date typed as text.
        const CDateTime other = StringToDate(std::move(text));
        const int64_t nThis = CDateTime::ToSeconds(data.m_dtValue.m_dt);
        const int64_t nOther = CDateTime::ToSeconds(other.m_dt);
        const bool bSameStatus = data.m_dtValue.m_status == other.m_status;
        if (relation == ERelation::Equal)
            return nThis == nOther && bSameStatus;
        if (relation == ERelation::NotEqual)
            return nThis != nOther || !bSameStatus;
        return Relate(relation, nThis, nOther);
    }
    case VT_BOOL:
        return Relate(relation, data.m_bValue, StringToBool(std::move(text)));
    default:
        ReportFault("Unknown COleVariant data type in CData::operator...");
        return false;
    }
}

} // namespace

CData::CData(std::string text, short dbType)
{
    switch (dbType) {
    case dbBoolean:
        m_bValue = StringToBool(std::move(text));
        m_nType = VT_BOOL;
        break;
    case dbByte:
    case dbText:
    case dbMemo:
        m_strValue = std::move(text);
        m_nType = VT_BSTR;
        break;
    case dbInteger:
        m_iValue = StringToShort(std::move(text));
        m_nType = VT_I2;
        break;
    case dbLong:
        m_lValue = StringToLong(std::move(text));
        m_nType = VT_I4;
        break;
    case dbCurrency:
        m_curValue = StringToCurrency(std::move(text));
        m_nType = VT_CY;
        break;
    case dbSingle:
        m_fltValue = StringToFloat(std::move(text));
        m_nType = VT_R4;
        break;
    case dbDouble:
        m_dblValue = StringToDbl(std::move(text));
        m_nType = VT_R8;
        break;
    case dbDate:
        m_dtValue = StringToDate(std::move(text));
        m_nType = VT_DATE;
        break;
    case dbDecimal:
        m_strValue = std::move(text);
        m_nType = VT_DECIMAL;
        break;
    default:
        ReportFault("Unknown datatype in CData::CData (dbType)");
        // Kind null with the marker text: it compares as text, with no second message.
        m_strValue = "*ERROR*";
        m_nType = VT_NULL;
        break;
    }
}

CData &CData::operator=(const CVariant &variant)
{
    m_nType = variant.m_vt;
    switch (variant.m_vt) {
    case VT_I2:
        m_iValue = variant.m_iVal;
        break;
    case VT_I4:
        m_lValue = variant.m_lVal;
        break;
    case VT_R4:
        m_fltValue = variant.m_fltVal;
        break;
    case VT_R8:
        m_dblValue = variant.m_dblVal;
        m_strValue = variant.m_str; // as typed, when it was
        break;
    case VT_CY:
        m_curValue = {variant.m_cyVal, EValueStatus::Valid};
        break;
    case VT_DATE:
        m_dtValue = {variant.m_date, EValueStatus::Valid};
        break;
    case VT_BSTR:
    case VT_DECIMAL:
        m_strValue = variant.m_str;
        break;
    case VT_BOOL:
        m_bValue = variant.m_boolVal != 0 ? 1 : 0;
        break;
    case VT_UI1:
        // A byte is a number from 0 to 255: its digits, not the character of that code.
        m_strValue = std::to_string(variant.m_bVal);
        break;
    default:
        m_nType = VT_NULL;
        m_strValue.clear();
        break;
    }
    return *this;
}

std::string CData::GetString() const
{
    switch (m_nType) {
    case VT_EMPTY:
    case VT_NULL:
        return {};
    case VT_I2:
        return std::to_string(m_iValue);
    case VT_I4:
        return std::to_string(m_lValue);
    case VT_R4:
        return FixedSix(static_cast<double>(m_fltValue));
    case VT_R8:
        return m_strValue.empty() ? FixedSix(m_dblValue) : m_strValue;
    case VT_CY:
        return CurrencyToText(m_curValue.m_nCount);
    case VT_DATE:
        if (auto text = DateToText(m_dtValue.m_dt))
            return *text;
        ReportFault("Invalid date in CData::GetString()");
        return "*ERROR*";
    case VT_BSTR:
    case VT_UI1:
    case VT_DECIMAL:
        return m_strValue;
    case VT_BOOL:
        return m_bValue == 1 ? "TRUE" : "FALSE";
    default:
        ReportFault("Unknown type in CData::GetString()");
        return "*ERROR*";
    }
}

bool CData::operator==(std::string text) const
{
    return Compare(*this, ERelation::Equal, std::move(text));
}

bool CData::operator!=(std::string text) const
{
    return Compare(*this, ERelation::NotEqual, std::move(text));
}

bool CData::operator<(std::string text) const
{
    return Compare(*this, ERelation::Less, std::move(text));
}

bool CData::operator>(std::string text) const
{
    return Compare(*this, ERelation::Greater, std::move(text));
}

bool CData::operator<=(std::string text) const
{
    return Compare(*this, ERelation::LessOrEqual, std::move(text));
}

bool CData::operator>=(std::string text) const
{
    return Compare(*this, ERelation::GreaterOrEqual, std::move(text));
}
