#pragma once

#include <cstdio>
#include <string>

#include "script/SStmt.h"

// Writes a statement tree as compact S-expressions so tests can state the
// expected shape in one line.
namespace scripttest {

inline std::string TypeName(int nType)
{
    switch (nType) {
    case GXSV_INT:
        return "int";
    case GXSV_DOUBLE:
        return "double";
    case GXSV_STRING:
        return "string";
    case GXSV_VOID:
        return "void";
    default:
        return "?";
    }
}

inline std::string FormatDouble(double d)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.10g", d);
    std::string s = buf;
    if (s.find_first_of(".en") == std::string::npos)
        s += ".0";
    return s;
}

inline std::string DumpChain(const SStmt* p);

inline std::string Dump(const SStmt* p)
{
    if (!p)
        return "_";
    static const char* const kOps[] = { "?", "==", "!=", "<=", ">=", "<", ">", "+", "-", "*", "/", "%", "!", "neg" };
    switch (p->m_nKind) {
    case SK_IF: {
        auto* q = static_cast<const SStmtIf*>(p);
        std::string s = "(if " + Dump(q->m_pCond.get()) + " " + Dump(q->m_pThen.get());
        if (q->m_pElse)
            s += " " + Dump(q->m_pElse.get());
        return s + ")";
    }
    case SK_VAR: {
        auto* q = static_cast<const SStmtVar*>(p);
        return q->m_pIndex ? q->m_strName + "[" + Dump(q->m_pIndex.get()) + "]" : q->m_strName;
    }
    case SK_VAR_DECL: {
        auto* q = static_cast<const SStmtVarDecl*>(p);
        return "(decl " + TypeName(q->m_nType) + " " + Dump(q->m_pVar.get()) + ")";
    }
    case SK_FUNC_DECL: {
        auto* q = static_cast<const SStmtFuncDecl*>(p);
        return "(func " + TypeName(q->m_nType) + " " + q->m_strName + " (" + DumpChain(q->m_pParams.get()) + ") "
            + Dump(q->m_pBody.get()) + ")";
    }
    case SK_ASSIGNMENT: {
        auto* q = static_cast<const SStmtAssignment*>(p);
        return "(= " + Dump(q->m_pTarget.get()) + " " + Dump(q->m_pValue.get()) + ")";
    }
    case SK_EXPRESSION: {
        auto* q = static_cast<const SStmtExpression*>(p);
        if (q->m_pConst) {
            const GXSVal& v = *q->m_pConst;
            if (v.m_nType == GXSV_INT)
                return std::to_string(v.m_num.n);
            if (v.m_nType == GXSV_DOUBLE)
                return FormatDouble(v.m_num.dbl);
            return "\"" + v.m_strText + "\"";
        }
        std::string s = std::string("(") + kOps[q->m_nOp >= 0 && q->m_nOp <= 13 ? q->m_nOp : 0];
        if (q->m_pLeft)
            s += " " + Dump(q->m_pLeft.get());
        return s + " " + Dump(q->m_pRight.get()) + ")";
    }
    case SK_COMPOUND: {
        auto* q = static_cast<const SStmtCompound*>(p);
        std::string d = DumpChain(q->m_pDecls.get());
        std::string s = DumpChain(q->m_pStmts.get());
        return "{" + d + (d.empty() ? "" : " ") + "|" + (s.empty() ? "" : " ") + s + "}";
    }
    case SK_RETURN: {
        auto* q = static_cast<const SStmtReturn*>(p);
        return q->m_nBare ? std::string("(return)") : "(return " + Dump(q->m_pValue.get()) + ")";
    }
    case SK_CALL: {
        auto* q = static_cast<const SStmtCall*>(p);
        std::string args = DumpChain(q->m_pArgs.get());
        return "(call " + q->m_strName + (args.empty() ? "" : " ") + args + ")";
    }
    default:
        return "(kind " + std::to_string(p->m_nKind) + ")";
    }
}

inline std::string DumpChain(const SStmt* p)
{
    std::string s;
    for (; p; p = p->m_pNext.get()) {
        if (!s.empty())
            s += ' ';
        s += Dump(p);
    }
    return s;
}

} // namespace scripttest
