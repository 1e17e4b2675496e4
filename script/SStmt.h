#pragma once

#include <memory>
#include <string>

#include "script/GXSVal.h"

// Node kinds of the statement tree; no node of kind 2 exists.
enum SStmtKind : int {
    SK_IF = 1,
    SK_VAR = 3,
    SK_VAR_DECL = 4,
    SK_FUNC_DECL = 5,
    SK_ASSIGNMENT = 6,
    SK_EXPRESSION = 7,
    SK_COMPOUND = 8,
    SK_RETURN = 9,
    SK_CALL = 10,
};

// Operator codes of an expression node; 12 and 13 are unary with the operand
// in the right slot.
enum SStmtOp : int {
    OP_NONE = 0,
    OP_EQ = 1,
    OP_NE = 2,
    OP_LE = 3,
    OP_GE = 4,
    OP_LT = 5,
    OP_GT = 6,
    OP_ADD = 7,
    OP_SUB = 8,
    OP_MUL = 9,
    OP_DIV = 10,
    OP_MOD = 11,
    OP_NOT = 12,
    OP_NEG = 13,
};

// Thread: tree nodes belong to one host's thread.
// A node owns its children and the node chained behind it. Destroying a chain
// walks it iteratively, so a long statement list cannot exhaust the stack; the
// depth of owned children is bounded by the parser's nesting cap.
struct SStmt {
    explicit SStmt(int nKind, int nLine, int nCol)
        : m_nKind(nKind)
        , m_nLine(nLine)
        , m_nCol(nCol)
    {
    }
    virtual ~SStmt();
    SStmt(const SStmt&) = delete;
    SStmt& operator=(const SStmt&) = delete;

    int m_nKind;
    int m_nLine;
    int m_nCol;
    std::unique_ptr<SStmt> m_pNext;
};

using SStmtPtr = std::unique_ptr<SStmt>;

struct SStmtVar : SStmt {
    SStmtVar(int nLine, int nCol, std::string name)
        : SStmt(SK_VAR, nLine, nCol)
        , m_strName(std::move(name))
    {
    }
    std::string m_strName;
    SStmtPtr m_pIndex; // parsed but never evaluated
    int m_nSym = -1; // interned name, filled by the interpreter
};

struct SStmtVarDecl : SStmt {
    SStmtVarDecl(int nLine, int nCol, int nType, std::unique_ptr<SStmtVar> pVar)
        : SStmt(SK_VAR_DECL, nLine, nCol)
        , m_nType(nType)
        , m_pVar(std::move(pVar))
    {
    }
    int m_nType;
    std::unique_ptr<SStmtVar> m_pVar;
};

struct SStmtCompound : SStmt {
    SStmtCompound(int nLine, int nCol)
        : SStmt(SK_COMPOUND, nLine, nCol)
    {
    }
    SStmtPtr m_pDecls; // SStmtVarDecl chain
    SStmtPtr m_pStmts;
};

struct SStmtFuncDecl : SStmt {
    SStmtFuncDecl(int nLine, int nCol, int nType, std::string name)
        : SStmt(SK_FUNC_DECL, nLine, nCol)
        , m_nType(nType)
        , m_strName(std::move(name))
    {
    }
    int m_nType;
    std::string m_strName;
    SStmtPtr m_pParams; // SStmtVarDecl chain
    std::unique_ptr<SStmtCompound> m_pBody;
    // The text the function was declared in, so an error inside it shows its
    // own source line even when a later run calls it.
    std::shared_ptr<const std::string> m_pSource;
    int m_nSym = -1;
};

struct SStmtIf : SStmt {
    SStmtIf(int nLine, int nCol)
        : SStmt(SK_IF, nLine, nCol)
    {
    }
    SStmtPtr m_pCond;
    SStmtPtr m_pThen;
    SStmtPtr m_pElse;
};

struct SStmtAssignment : SStmt {
    SStmtAssignment(int nLine, int nCol)
        : SStmt(SK_ASSIGNMENT, nLine, nCol)
    {
    }
    std::unique_ptr<SStmtVar> m_pTarget;
    SStmtPtr m_pValue;
};

struct SStmtExpression : SStmt {
    SStmtExpression(int nLine, int nCol, int nOp)
        : SStmt(SK_EXPRESSION, nLine, nCol)
        , m_nOp(nOp)
    {
    }
    int m_nOp;
    SStmtPtr m_pLeft;
    SStmtPtr m_pRight;
    std::unique_ptr<GXSVal> m_pConst; // set only for a literal
};

struct SStmtReturn : SStmt {
    SStmtReturn(int nLine, int nCol, int nBare)
        : SStmt(SK_RETURN, nLine, nCol)
        , m_nBare(nBare)
    {
    }
    int m_nBare; // 4 for a bare return, 0 otherwise
    SStmtPtr m_pValue;
};

struct SStmtCall : SStmt {
    SStmtCall(int nLine, int nCol, std::string name)
        : SStmt(SK_CALL, nLine, nCol)
        , m_strName(std::move(name))
    {
    }
    std::string m_strName;
    SStmtPtr m_pArgs; // expression chain
    int m_nSym = -1;
};
