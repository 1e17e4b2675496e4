#include "script/GXSVal.h"

#include <utility>

GXSVal GXSVal::Int(int32_t n)
{
    GXSVal v;
    v.m_nType = GXSV_INT;
    v.m_num.n = n;
    return v;
}

GXSVal GXSVal::Double(double d)
{
    GXSVal v;
    v.m_nType = GXSV_DOUBLE;
    v.m_num.dbl = d;
    return v;
}

GXSVal GXSVal::String(std::string text)
{
    GXSVal v;
    v.m_nType = GXSV_STRING;
    v.m_strText = std::move(text);
    return v;
}

GXSVal GXSVal::Void()
{
    GXSVal v;
    v.m_nType = GXSV_VOID;
    return v;
}

bool GXSVal::IsTrue() const
{
    switch (m_nType) {
    case GXSV_INT:
        return m_num.n != 0;
    case GXSV_DOUBLE:
        return m_num.dbl != 0.0;
    case GXSV_STRING:
        return !m_strText.empty();
    default:
        return false;
    }
}
