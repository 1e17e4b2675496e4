#pragma once

#include <cstdio>
#include <string>

#include "script/SStmt.h"

// Writes a statement tree as compact S-expressions so tests can state the
// expected shape in one line. With positions, every node is followed by
// "@line:col", so two trees that print alike also point errors at the same
// tokens.
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

inline std::string DumpChain(const SStmt* p, bool bPositions = false);

// "+" for OP_ADD, "neg" for unary minus, as the dump writes them.
inline const char* OperatorName(int nOp)
{
    static const char* const kOps[] = { "?", "==", "!=", "<=", ">=", "<", ">", "+", "-", "*", "/", "%", "!", "neg" };
    return kOps[nOp >= 0 && nOp <= 13 ? nOp : 0];
}

inline std::string DumpNode(const SStmt* p, bool bPositions);

inline std::string Dump(const SStmt* p, bool bPositions = false)
{
    if (!p)
        return "_";
    if (!bPositions)
        return DumpNode(p, false);
    return DumpNode(p, true) + "@" + std::to_string(p->m_nLine) + ":" + std::to_string(p->m_nCol);
}

inline std::string DumpNode(const SStmt* p, bool bPositions)
{
    auto sub = [bPositions](const SStmt* q) { return scripttest::Dump(q, bPositions); };
    auto chain = [bPositions](const SStmt* q) { return scripttest::DumpChain(q, bPositions); };
    switch (p->m_nKind) {
    case SK_IF: {
        auto* q = static_cast<const SStmtIf*>(p);
        std::string s = "(if " + sub(q->m_pCond.get()) + " " + sub(q->m_pThen.get());
        if (q->m_pElse)
            s += " " + sub(q->m_pElse.get());
        return s + ")";
    }
    case SK_VAR: {
        auto* q = static_cast<const SStmtVar*>(p);
        return q->m_pIndex ? q->m_strName + "[" + sub(q->m_pIndex.get()) + "]" : q->m_strName;
    }
    case SK_VAR_DECL: {
        auto* q = static_cast<const SStmtVarDecl*>(p);
        return "(decl " + TypeName(q->m_nType) + " " + sub(q->m_pVar.get()) + ")";
    }
    case SK_FUNC_DECL: {
        auto* q = static_cast<const SStmtFuncDecl*>(p);
        return "(func " + TypeName(q->m_nType) + " " + q->m_strName + " (" + chain(q->m_pParams.get()) + ") "
            + sub(q->m_pBody.get()) + ")";
    }
    case SK_ASSIGNMENT: {
        auto* q = static_cast<const SStmtAssignment*>(p);
        return "(= " + sub(q->m_pTarget.get()) + " " + sub(q->m_pValue.get()) + ")";
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
        std::string s = std::string("(") + OperatorName(q->m_nOp);
        if (q->m_pLeft)
            s += " " + sub(q->m_pLeft.get());
        return s + " " + sub(q->m_pRight.get()) + ")";
    }
    case SK_COMPOUND: {
        auto* q = static_cast<const SStmtCompound*>(p);
        std::string d = chain(q->m_pDecls.get());
        std::string s = chain(q->m_pStmts.get());
        return "{" + d + (d.empty() ? "" : " ") + "|" + (s.empty() ? "" : " ") + s + "}";
    }
    case SK_RETURN: {
        auto* q = static_cast<const SStmtReturn*>(p);
        return q->m_nBare ? std::string("(return)") : "(return " + sub(q->m_pValue.get()) + ")";
    }
    case SK_CALL: {
        auto* q = static_cast<const SStmtCall*>(p);
        std::string args = chain(q->m_pArgs.get());
        return "(call " + q->m_strName + (args.empty() ? "" : " ") + args + ")";
    }
    default:
        return "(kind " + std::to_string(p->m_nKind) + ")";
    }
}

inline std::string DumpChain(const SStmt* p, bool bPositions)
{
    std::string s;
    for (; p; p = p->m_pNext.get()) {
        if (!s.empty())
            s += ' ';
        s += Dump(p, bPositions);
    }
    return s;
}

} // namespace scripttest
