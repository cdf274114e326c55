#include "engine/Variant.h"

#include <utility>

CVariant CVariant::Null()
{
    CVariant v;
    v.m_vt = VT_NULL;
    return v;
}

CVariant CVariant::Short(int16_t n)
{
    CVariant v;
    v.m_vt = VT_I2;
    v.m_iVal = n;
    return v;
}

CVariant CVariant::Long(int32_t n)
{
    CVariant v;
    v.m_vt = VT_I4;
    v.m_lVal = n;
    return v;
}

CVariant CVariant::Float(float f)
{
    CVariant v;
    v.m_vt = VT_R4;
    v.m_fltVal = f;
    return v;
}

CVariant CVariant::Double(double d)
{
    CVariant v;
    v.m_vt = VT_R8;
    v.m_dblVal = d;
    return v;
}

CVariant CVariant::Currency(int64_t nCount)
{
    CVariant v;
    v.m_vt = VT_CY;
    v.m_cyVal = nCount;
    return v;
}

CVariant CVariant::Date(double dt)
{
    CVariant v;
    v.m_vt = VT_DATE;
    v.m_date = dt;
    return v;
}

CVariant CVariant::Bool(bool b)
{
    CVariant v;
    v.m_vt = VT_BOOL;
    v.m_boolVal = b ? -1 : 0;
    return v;
}

CVariant CVariant::Byte(uint8_t n)
{
    CVariant v;
    v.m_vt = VT_UI1;
    v.m_bVal = n;
    return v;
}

CVariant CVariant::String(std::string str)
{
    CVariant v;
    v.m_vt = VT_BSTR;
    v.m_str = std::move(str);
    return v;
}

CVariant CVariant::Decimal(std::string strDigits)
{
    CVariant v;
    v.m_vt = VT_DECIMAL;
    v.m_str = std::move(strDigits);
    return v;
}
