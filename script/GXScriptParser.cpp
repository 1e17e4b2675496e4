#include "script/GXScriptParser.h"

#include <algorithm>
#include <cstdio>

#include "script/GXSErr.h"

namespace {

enum ERule : int {
    R_STATEMENT = 1,
    R_BLOCK,
    R_EXPRESSION,
    R_ADDITIVE,
    R_MULTIPLICATIVE,
    R_UNARY,
};

bool IsTypeKind(int k)
{
    return k == TK_INT || k == TK_DOUBLE || k == TK_STRING || k == TK_VOID;
}

int TypeCode(int k)
{
    switch (k) {
    case TK_INT:
        return GXSV_INT;
    case TK_DOUBLE:
        return GXSV_DOUBLE;
    case TK_STRING:
        return GXSV_STRING;
    default:
        return GXSV_VOID;
    }
}

bool IsCompareKind(int k)
{
    return k >= TK_EQ && k <= TK_GT;
}

// Operator code of a binary operator token.
int OperatorOf(int k)
{
    switch (k) {
    case TK_PLUS:
        return OP_ADD;
    case TK_MINUS:
        return OP_SUB;
    case TK_STAR:
        return OP_MUL;
    case TK_SLASH:
        return OP_DIV;
    case TK_PERCENT:
        return OP_MOD;
    default:
        return OP_EQ + (k - TK_EQ); // the comparisons, in table order
    }
}

// No expression holds a statement token or a keyword.
bool IsNonExpressionKind(int k)
{
    switch (k) {
    case TK_SEMI:
    case TK_LBRACE:
    case TK_RBRACE:
    case TK_IF:
    case TK_ELSE:
    case TK_RETURN:
    case TK_FOR:
    case TK_INT:
    case TK_DOUBLE:
    case TK_STRING:
    case TK_VOID:
        return true;
    default:
        return false;
    }
}

// Puts node in front of the chain head.
void Prepend(SStmtPtr& head, SStmtPtr node)
{
    if (!node)
        return;
    node->m_pNext = std::move(head);
    head = std::move(node);
}

} // namespace

// Counts one level of nesting for as long as it lives.
class GXScriptParser::CNest {
public:
    explicit CNest(GXScriptParser& p)
        : m_p(p)
    {
        if (++m_p.m_nNest > kMaxNesting)
            m_p.Error(m_p.m_nTokens - 1, GXS_ERR_EOF);
    }
    ~CNest() { --m_p.m_nNest; }
    CNest(const CNest&) = delete;
    CNest& operator=(const CNest&) = delete;

private:
    GXScriptParser& m_p;
};

// ===========================================================================
// Entry point, errors and tables
// ===========================================================================

int GXScriptParser::Parse(const std::vector<SToken>& tokens)
{
    m_pRoot.reset();
    m_nErrLine = -1;
    m_nErrCol = -1;
    m_pTokens = tokens.data();
    m_nTokens = static_cast<int>(tokens.size());
    m_nNest = 0;
    m_nSteps = 0;
    m_failed.clear();
    int nCode = GXS_OK;
    try {
        BuildTables();
        // program := top-list [0, n-1]
        SStmtPtr root;
        if (!TopList(0, m_nTokens - 1, root))
            Error(m_nTokens - 1, GXS_ERR_EOF);
        m_pRoot = std::move(root);
    } catch (const SAbort& abort) {
        nCode = abort.nCode;
        if (abort.nPos >= 0 && abort.nPos < m_nTokens) {
            m_nErrLine = m_pTokens[abort.nPos].nLine;
            m_nErrCol = m_pTokens[abort.nPos].nCol;
        }
        if (m_pTrace && *m_pTrace) {
            char buf[96];
            std::snprintf(
                buf, sizeof buf, "@@rGXScriptParser::Error(err:%d line:%d col:%d)", nCode, m_nErrLine, m_nErrCol);
            (*m_pTrace)(buf);
        }
    }
    m_pTokens = nullptr;
    return nCode;
}

void GXScriptParser::Error(int nPos, int nCode)
{
    throw SAbort { nPos, nCode };
}

void GXScriptParser::Step()
{
    if (++m_nSteps > kMaxSteps)
        Error(m_nTokens - 1, GXS_ERR_EOF);
}

int GXScriptParser::Kind(int i) const
{
    return (i >= 0 && i < m_nTokens) ? m_pTokens[i].nKind : 0;
}

bool GXScriptParser::IsType(int i) const
{
    return IsTypeKind(Kind(i));
}

bool GXScriptParser::Balanced(int s, int e) const
{
    return m_paren[s] == m_paren[e + 1] && m_brace[s] == m_brace[e + 1];
}

bool GXScriptParser::CanBeExpression(int s, int e) const
{
    if (!(s <= e && s >= 0 && e < m_nTokens))
        return false;
    return !m_bPrune
        || (m_noExpr[e + 1] == m_noExpr[s] && m_paren[s] == m_paren[e + 1] && m_bracket[s] == m_bracket[e + 1]);
}

bool GXScriptParser::HasBadIf(int s, int e) const
{
    return !m_bPrune || m_badIf[e + 1] != m_badIf[s];
}

bool GXScriptParser::Failed(int nRule, int s, int e) const
{
    return m_bPrune && m_failed.count((uint64_t(nRule) << 58) | (uint64_t(s) << 29) | uint64_t(e)) != 0;
}

void GXScriptParser::MarkFailed(int nRule, int s, int e)
{
    if (m_bPrune)
        m_failed.insert((uint64_t(nRule) << 58) | (uint64_t(s) << 29) | uint64_t(e));
}

int GXScriptParser::FirstAtLevel(const LevelList& list, int nLevel, int nFrom, int nTo)
{
    auto it = std::lower_bound(list.begin(), list.end(), std::make_pair(nLevel, nFrom));
    if (it == list.end() || it->first != nLevel || it->second > nTo)
        return -1;
    return it->second;
}

int GXScriptParser::LastAtLevel(const LevelList& list, int nLevel, int nFrom, int nTo)
{
    auto it = std::upper_bound(list.begin(), list.end(), std::make_pair(nLevel, nTo));
    if (it == list.begin() || (--it)->first != nLevel || it->second < nFrom)
        return -1;
    return it->second;
}

int GXScriptParser::Level(int i) const
{
    return m_paren[i] + m_bracket[i];
}

// The nearest such token overall is the answer when it is outside brackets,
// as in most expressions; only otherwise is the level list searched.
inline int GXScriptParser::FirstOutside(
    const std::vector<int>& nextTok, const LevelList& byLevel, int nLevel, int nFrom, int nTo)
{
    const int q = nextTok[nFrom];
    if (q > nTo)
        return -1;
    if (Level(q) == nLevel)
        return q;
    BuildSplitLists();
    return FirstAtLevel(byLevel, nLevel, q + 1, nTo);
}

inline int GXScriptParser::LastOutside(
    const std::vector<int>& prevTok, const LevelList& byLevel, int nLevel, int nFrom, int nTo)
{
    const int q = nTo >= 0 ? prevTok[nTo] : -1;
    if (q < nFrom)
        return -1;
    if (Level(q) == nLevel)
        return q;
    BuildSplitLists();
    return LastAtLevel(byLevel, nLevel, nFrom, q - 1);
}

// Built the first time a scan meets a split token inside brackets; texts
// without one never pay for the sorting.
void GXScriptParser::BuildSplitLists()
{
    if (m_bSplitLists)
        return;
    m_bSplitLists = true;
    for (int i = 0; i < m_nTokens; ++i) {
        const int k = Kind(i);
        if (IsCompareKind(k))
            m_compareByLevel.emplace_back(Level(i), i);
        else if (k == TK_PLUS || k == TK_MINUS)
            m_additiveByLevel.emplace_back(Level(i), i);
        else if (k == TK_STAR || k == TK_SLASH || k == TK_PERCENT)
            m_multiplicativeByLevel.emplace_back(Level(i), i);
        else if (k == TK_COMMA)
            m_commaByLevel.emplace_back(Level(i), i);
    }
    for (auto* v : { &m_compareByLevel, &m_additiveByLevel, &m_multiplicativeByLevel, &m_commaByLevel })
        std::sort(v->begin(), v->end());
}

int GXScriptParser::ConditionEnd(int s, int e) const
{
    return FirstAtLevel(m_closeByLevel, m_paren[s + 2], s + 2, e);
}

void GXScriptParser::BuildTables()
{
    const int n = m_nTokens;
    for (auto* v : { &m_noExpr, &m_paren, &m_bracket, &m_brace, &m_badIf })
        v->assign(n + 1, 0);
    for (auto* v : { &m_nextAssign, &m_nextCompare, &m_nextSemi })
        v->assign(n + 1, n);
    for (auto* v :
        { &m_prevAdditive, &m_prevMultiplicative, &m_prevComma, &m_prevSemi, &m_prevBoundary, &m_matchBrace })
        v->assign(n + 1, -1);
    m_ifCondition.assign(n, 0);
    for (auto* v : { &m_closeByLevel, &m_elseByLevel, &m_ifByLevel, &m_compareByLevel, &m_additiveByLevel,
             &m_multiplicativeByLevel, &m_commaByLevel })
        v->clear();
    m_bSplitLists = false;

    std::vector<int> open;
    for (int i = 0; i < n; ++i) {
        const int k = Kind(i);
        m_noExpr[i + 1] = m_noExpr[i] + (IsNonExpressionKind(k) ? 1 : 0);
        m_paren[i + 1] = m_paren[i] + (k == TK_LPAREN) - (k == TK_RPAREN);
        m_bracket[i + 1] = m_bracket[i] + (k == TK_LBRACKET) - (k == TK_RBRACKET);
        m_brace[i + 1] = m_brace[i] + (k == TK_LBRACE) - (k == TK_RBRACE);
        m_prevAdditive[i] = (k == TK_PLUS || k == TK_MINUS) ? i : (i ? m_prevAdditive[i - 1] : -1);
        m_prevMultiplicative[i]
            = (k == TK_STAR || k == TK_SLASH || k == TK_PERCENT) ? i : (i ? m_prevMultiplicative[i - 1] : -1);
        m_prevComma[i] = k == TK_COMMA ? i : (i ? m_prevComma[i - 1] : -1);
        m_prevSemi[i] = k == TK_SEMI ? i : (i ? m_prevSemi[i - 1] : -1);
        m_prevBoundary[i] = (k == TK_SEMI || k == TK_LBRACE || k == TK_RBRACE) ? i : (i ? m_prevBoundary[i - 1] : -1);
        if (k == TK_RPAREN)
            m_closeByLevel.emplace_back(m_paren[i], i);
        if (k == TK_ELSE)
            m_elseByLevel.emplace_back(m_brace[i], i);
        if (k == TK_IF)
            m_ifByLevel.emplace_back(m_brace[i], i);
        if (k == TK_LBRACE)
            open.push_back(i);
        if (k == TK_RBRACE && !open.empty()) {
            m_matchBrace[open.back()] = i;
            m_matchBrace[i] = open.back();
            open.pop_back();
        }
    }
    for (int i = n - 1; i >= 0; --i) {
        const int k = Kind(i);
        m_nextAssign[i] = k == TK_ASSIGN ? i : m_nextAssign[i + 1];
        m_nextCompare[i] = IsCompareKind(k) ? i : m_nextCompare[i + 1];
        m_nextSemi[i] = k == TK_SEMI ? i : m_nextSemi[i + 1];
    }
    for (auto* v : { &m_closeByLevel, &m_elseByLevel, &m_ifByLevel })
        std::sort(v->begin(), v->end());

    // An `if` whose condition is not an expression raises 201 wherever it is
    // tried, so ranges holding one are never pruned: the first one reached
    // must stay the one reported.
    for (int i = 0; i < n && m_bPrune; ++i) {
        if (Kind(i) != TK_IF || Kind(i + 1) != TK_LPAREN || i + 3 >= n)
            continue;
        const int c = ConditionEnd(i, n - 1);
        if (c < 0)
            continue;
        SStmtPtr cond;
        try {
            if (!Expression(i + 2, c - 1, cond))
                m_ifCondition[i] = 1;
        } catch (const SAbort&) {
            if (m_nSteps > kMaxSteps)
                throw;
            m_ifCondition[i] = 2;
        }
    }
    for (int i = 0; i < n; ++i)
        m_badIf[i + 1] = m_badIf[i] + (m_ifCondition[i] != 0 ? 1 : 0);

    // Where each `if` statement's final branch would begin: after its
    // condition, or after its else.
    m_ifByThenStart.clear();
    m_ifByElseStart.clear();
    for (const auto& [nLevel, i] : m_ifByLevel) {
        (void)nLevel;
        if (Kind(i + 1) != TK_LPAREN || i + 3 >= n)
            continue;
        const int c = ConditionEnd(i, n - 1);
        if (c >= 0)
            m_ifByThenStart.emplace_back(c + 1, i);
        const int el = FirstAtLevel(m_elseByLevel, m_brace[i + 3], i + 3, n - 1);
        if (el >= 0)
            m_ifByElseStart.emplace_back(el + 1, i);
    }
    std::sort(m_ifByThenStart.begin(), m_ifByThenStart.end());
    std::sort(m_ifByElseStart.begin(), m_ifByElseStart.end());
}

// ===========================================================================
// Statements
// ===========================================================================

// top-list := { top-statement }, split by finding where the last statement
// begins: scanning down, a ";" or "}" at brace depth 0 not followed by "else"
// (and a "}" not preceded by ")") ends the statement before it.
bool GXScriptParser::TopList(int first, int last, SStmtPtr& out)
{
    SStmtPtr head;
    while (first <= last) {
        int nDepth = Kind(last) == TK_RBRACE ? 1 : 0;
        int s = first;
        for (int p = last - 1; p >= first; --p) {
            const int k = Kind(p);
            const bool bEnds = k == TK_SEMI || (k == TK_RBRACE && Kind(p - 1) != TK_RPAREN);
            if (nDepth == 0 && bEnds && Kind(p + 1) != TK_ELSE) {
                s = p + 1;
                break;
            }
            if (k == TK_RBRACE)
                ++nDepth;
            else if (k == TK_LBRACE)
                --nDepth;
        }
        SStmtPtr node;
        if (!TopStatement(s, last, node))
            return false;
        Prepend(head, std::move(node));
        last = s - 1;
    }
    out = std::move(head);
    return true;
}

// top-statement := (ends in "}") function-declaration | block | if-statement
//                | (ends in ";") declaration | statement | if-statement
bool GXScriptParser::TopStatement(int s, int e, SStmtPtr& out)
{
    Step();
    if (Kind(e) == TK_RBRACE)
        return FunctionDeclaration(s, e, out) || Block(s, e, out) || IfStatement(s, e, out);
    if (Kind(e) == TK_SEMI)
        return Declaration(s, e, out) || Statement(s, e, out) || IfStatement(s, e, out);
    return false;
}

// statement := block | if-statement | return-statement | expression-statement
// (the expression statement also when the first choice fails)
bool GXScriptParser::Statement(int s, int e, SStmtPtr& out)
{
    if (s > e || s < 0 || e >= m_nTokens)
        return false;
    Step();
    if (Failed(R_STATEMENT, s, e))
        return false;
    // Every statement that parses has balanced parentheses and braces.
    if (!HasBadIf(s, e) && !Balanced(s, e)) {
        MarkFailed(R_STATEMENT, s, e);
        return false;
    }
    CNest nest(*this);
    bool bOk = false;
    const int k = Kind(s);
    if (k == TK_LBRACE && Kind(e) == TK_RBRACE)
        bOk = Block(s, e, out);
    else if (k == TK_IF)
        bOk = IfStatement(s, e, out);
    else if (k == TK_RETURN)
        bOk = ReturnStatement(s, e, out);
    if (!bOk)
        bOk = ExpressionStatement(s, e, out);
    if (!bOk)
        MarkFailed(R_STATEMENT, s, e);
    return bOk;
}

// expression-statement := ";" | expression ";"
bool GXScriptParser::ExpressionStatement(int s, int e, SStmtPtr& out)
{
    if (Kind(e) != TK_SEMI)
        return false;
    if (s == e) {
        out.reset(); // the empty statement gives no node
        return true;
    }
    return Expression(s, e - 1, out);
}

// declaration := type identifier ";" | type identifier "[" expression "]" ";"
bool GXScriptParser::Declaration(int s, int e, SStmtPtr& out)
{
    if (!IsType(s) || Kind(s + 1) != TK_IDENT || Kind(e) != TK_SEMI)
        return false;
    const SToken& name = m_pTokens[s + 1];
    auto var = std::make_unique<SStmtVar>(name.nLine, name.nCol, name.strText);
    if (e != s + 2) {
        SStmtPtr index;
        if (Kind(s + 2) != TK_LBRACKET || Kind(e - 1) != TK_RBRACKET || !Expression(s + 3, e - 2, index))
            return false;
        var->m_pIndex = std::move(index);
    }
    out = std::make_unique<SStmtVarDecl>(m_pTokens[s].nLine, m_pTokens[s].nCol, TypeCode(Kind(s)), std::move(var));
    return true;
}

// function-declaration := type identifier "(" parameters ")" block
// The parameters end before the first ")" after the type and begin after the
// last "(" before it.
bool GXScriptParser::FunctionDeclaration(int s, int e, SStmtPtr& out)
{
    if (!IsType(s) || Kind(s + 2) != TK_LPAREN)
        return false;
    int close = -1;
    for (int p = s + 1; p <= e; ++p) {
        if (Kind(p) == TK_RPAREN) {
            close = p;
            break;
        }
    }
    if (close < 0)
        return false;
    int open = -1;
    for (int p = close - 1; p >= s; --p) {
        if (Kind(p) == TK_LPAREN) {
            open = p;
            break;
        }
    }
    if (open < 0)
        return false;
    SStmtPtr body;
    if (!Block(close + 1, e, body))
        return false;
    if (Kind(s + 1) != TK_IDENT)
        return false;
    SStmtPtr params;
    if (!ParameterList(open + 1, close - 1, params))
        return false;
    auto fn = std::make_unique<SStmtFuncDecl>(
        m_pTokens[s].nLine, m_pTokens[s].nCol, TypeCode(Kind(s)), m_pTokens[s + 1].strText);
    fn->m_pParams = std::move(params);
    fn->m_pBody.reset(static_cast<SStmtCompound*>(body.release()));
    out = std::move(fn);
    return true;
}

// parameters := "void" | (nothing) | parameter { "," parameter }
// parameter := type identifier
// The list splits at its last ","; a parameter holds no ",", so every piece
// between commas must be one parameter.
bool GXScriptParser::ParameterList(int first, int last, SStmtPtr& out)
{
    if (first > last || (first == last && Kind(first) == TK_VOID))
        return true;
    SStmtPtr head;
    int end = last;
    for (;;) {
        Step();
        const int c = end - 1 >= first ? m_prevComma[end - 1] : -1;
        const int start = c >= first ? c + 1 : first;
        if (end != start + 1 || !IsType(start) || Kind(end) != TK_IDENT)
            return false;
        const SToken& name = m_pTokens[end];
        auto var = std::make_unique<SStmtVar>(name.nLine, name.nCol, name.strText);
        Prepend(head,
            std::make_unique<SStmtVarDecl>(
                m_pTokens[start].nLine, m_pTokens[start].nCol, TypeCode(Kind(start)), std::move(var)));
        if (c < first)
            break;
        end = c - 1;
    }
    out = std::move(head);
    return true;
}

// block := "{" { declaration } { statement } "}"
// The declaration part ends with the last ";"-closed chunk that parses as a
// declaration; all of it must be declarations and the rest statements.
bool GXScriptParser::Block(int s, int e, SStmtPtr& out)
{
    if (s < 0 || e >= m_nTokens || s >= e || Kind(s) != TK_LBRACE || Kind(e) != TK_RBRACE)
        return false;
    Step();
    if (Failed(R_BLOCK, s, e))
        return false;
    // A block that parses is a matched pair of braces.
    if (!HasBadIf(s, e) && m_matchBrace[s] != e) {
        MarkFailed(R_BLOCK, s, e);
        return false;
    }
    int declEnd = s;
    for (int c = s + 1; c <= e - 1;) {
        Step();
        const int q = m_nextSemi[c + 1];
        if (q > e - 1)
            break;
        SStmtPtr trial;
        if (Declaration(c, q, trial))
            declEnd = q;
        c = q + 1;
    }
    auto block = std::make_unique<SStmtCompound>(m_pTokens[s].nLine, m_pTokens[s].nCol);
    if ((declEnd > s && !DeclarationList(s + 1, declEnd, block->m_pDecls))
        || !BlockList(declEnd + 1, e - 1, block->m_pStmts)) {
        MarkFailed(R_BLOCK, s, e);
        return false;
    }
    out = std::move(block);
    return true;
}

// declaration-list := declaration { declaration }, split at the last ";"
// before the end.
bool GXScriptParser::DeclarationList(int first, int last, SStmtPtr& out)
{
    SStmtPtr head;
    int end = last;
    for (;;) {
        Step();
        const int p = end - 1 >= first ? m_prevSemi[end - 1] : -1;
        const int start = p >= first ? p + 1 : first;
        SStmtPtr decl;
        if (!Declaration(start, end, decl))
            return false;
        Prepend(head, std::move(decl));
        if (p < first)
            break;
        end = p;
    }
    out = std::move(head);
    return true;
}

// block-list := { statement }; its last statement begins at the smallest
// position from which the rest parses as one statement, else at the start.
bool GXScriptParser::BlockList(int first, int last, SStmtPtr& out)
{
    SStmtPtr head;
    while (first <= last) {
        int start = -1;
        SStmtPtr node;
        if (HasBadIf(first, last)) {
            // Every start is tried in order, so the bad `if` reached first is
            // the one reported.
            for (int i = first; i < last && start < 0; ++i) {
                if (Statement(i, last, node))
                    start = i;
            }
        } else {
            start = FirstStatementStart(first, last, node);
        }
        if (start < 0) {
            if (!Statement(first, last, node))
                return false;
            start = first;
        }
        Prepend(head, std::move(node));
        last = start - 1;
    }
    out = std::move(head);
    return true;
}

// The smallest i in [first, last-1] at which [i, last] parses as one
// statement, or -1. A statement ending at last is a block opened by the "{"
// matching last, an expression or return statement after the last ";", "{"
// or "}" before last, or an `if` whose final branch is itself such a
// statement; so the starts are found from those, walking back through ifs.
// Other positions fail without raising anything.
int GXScriptParser::FirstStatementStart(int first, int last, SStmtPtr& out)
{
    // Starts from which [start, last] parses; last itself (an empty
    // statement) can only be an if's branch, never the answer.
    std::vector<int> reach;
    int nBest = -1;
    auto tryStart = [&](int i) {
        SStmtPtr node;
        if (i < first || i > last || std::find(reach.begin(), reach.end(), i) != reach.end()
            || !Statement(i, last, node))
            return;
        reach.push_back(i);
        if (i < last && (nBest < 0 || i < nBest)) {
            nBest = i;
            out = std::move(node);
        }
    };
    if (Kind(last) == TK_RBRACE)
        tryStart(m_matchBrace[last]);
    const int nTail = last >= 1 ? m_prevBoundary[last - 1] + 1 : 0;
    for (int i = std::max(first, nTail); i <= last; ++i)
        tryStart(i);
    for (size_t k = 0; k < reach.size(); ++k) {
        const int b = reach[k];
        for (const LevelList* pList : { &m_ifByThenStart, &m_ifByElseStart }) {
            auto range = std::equal_range(pList->begin(), pList->end(), std::make_pair(b, 0),
                [](const auto& x, const auto& y) { return x.first < y.first; });
            for (auto it = range.first; it != range.second; ++it)
                tryStart(it->second);
        }
    }
    return nBest;
}

// if-statement := ("if" | "while") "(" condition ")" statement ["else" statement]
// The condition ends at the ")" matching the "(" after the keyword; the else
// is the first one outside braces from the condition's second token on.
bool GXScriptParser::IfStatement(int s, int e, SStmtPtr& out)
{
    if (Kind(s) != TK_IF || Kind(s + 1) != TK_LPAREN || s + 3 > e)
        return false;
    Step();
    const int close = ConditionEnd(s, e);
    if (close < 0)
        return false;
    const int elsePos = FirstAtLevel(m_elseByLevel, m_brace[s + 3], s + 3, e);
    SStmtPtr cond;
    if (m_bPrune && m_ifCondition[s] == 1)
        Error(s, GXS_ERR_SYNTAX);
    if ((!m_bPrune || m_ifCondition[s] == 2) && !Expression(s + 2, close - 1, cond))
        Error(s, GXS_ERR_SYNTAX);
    auto node = std::make_unique<SStmtIf>(m_pTokens[s].nLine, m_pTokens[s].nCol);
    if (elsePos < 0) {
        if (!Statement(close + 1, e, node->m_pThen))
            return false;
    } else if (!Statement(close + 1, elsePos - 1, node->m_pThen) || !Statement(elsePos + 1, e, node->m_pElse)) {
        return false;
    }
    if (!cond && !Expression(s + 2, close - 1, cond))
        Error(s, GXS_ERR_SYNTAX);
    node->m_pCond = std::move(cond);
    out = std::move(node);
    return true;
}

// return-statement := "return" ";" | "return" expression ";"
bool GXScriptParser::ReturnStatement(int s, int e, SStmtPtr& out)
{
    if (Kind(s) != TK_RETURN || Kind(e) != TK_SEMI)
        return false;
    const SToken& tok = m_pTokens[s];
    if (e == s + 1) {
        out = std::make_unique<SStmtReturn>(tok.nLine, tok.nCol, 4);
        return true;
    }
    SStmtPtr value;
    if (!Expression(s + 1, e - 1, value))
        return false;
    auto node = std::make_unique<SStmtReturn>(tok.nLine, tok.nCol, 0);
    node->m_pValue = std::move(value);
    out = std::move(node);
    return true;
}

// ===========================================================================
// Expressions
// ===========================================================================

// expression := variable "=" expression | comparison
// (split at the first "=", brackets or not; so a = b = 1 assigns right to left)
bool GXScriptParser::Expression(int s, int e, SStmtPtr& out)
{
    if (!CanBeExpression(s, e))
        return false;
    Step();
    if (Failed(R_EXPRESSION, s, e))
        return false;
    CNest nest(*this);
    const int q = m_nextAssign[s + 1];
    if (q <= e - 1 && Kind(s) == TK_IDENT) {
        SStmtPtr target, value;
        if (VariableReference(s, q - 1, target) && Expression(q + 1, e, value)) {
            auto node = std::make_unique<SStmtAssignment>(target->m_nLine, target->m_nCol);
            node->m_pTarget.reset(static_cast<SStmtVar*>(target.release()));
            node->m_pValue = std::move(value);
            out = std::move(node);
            return true;
        }
    }
    if (Comparison(s, e, out))
        return true;
    MarkFailed(R_EXPRESSION, s, e);
    return false;
}

// variable := identifier | identifier "[" expression "]"
bool GXScriptParser::VariableReference(int s, int e, SStmtPtr& out)
{
    if (Kind(s) != TK_IDENT)
        return false;
    const SToken& tok = m_pTokens[s];
    if (s == e) {
        out = std::make_unique<SStmtVar>(tok.nLine, tok.nCol, tok.strText);
        return true;
    }
    SStmtPtr index;
    if (Kind(s + 1) != TK_LBRACKET || Kind(e) != TK_RBRACKET || !Expression(s + 2, e - 1, index))
        return false;
    auto var = std::make_unique<SStmtVar>(tok.nLine, tok.nCol, tok.strText);
    var->m_pIndex = std::move(index);
    out = std::move(var);
    return true;
}

// comparison := additive compare-op additive | additive
// (split at the first comparison operator outside brackets; comparisons do
// not chain)
bool GXScriptParser::Comparison(int s, int e, SStmtPtr& out)
{
    const int q = FirstOutside(m_nextCompare, m_compareByLevel, Level(s), s + 1, e - 1);
    if (q >= 0) {
        SStmtPtr left, right;
        if (Additive(s, q - 1, left) && Additive(q + 1, e, right)) {
            out = Binary(s, q, std::move(left), std::move(right));
            return true;
        }
    }
    return Additive(s, e, out);
}

// additive := additive ("+" | "-") multiplicative | multiplicative
// (split at the last "+" or "-" outside brackets)
bool GXScriptParser::Additive(int s, int e, SStmtPtr& out)
{
    return LeftAssociative(s, e, out, R_ADDITIVE, m_prevAdditive, m_additiveByLevel, &GXScriptParser::Additive,
        &GXScriptParser::Multiplicative);
}

// multiplicative := multiplicative ("*" | "/" | "%") unary | unary
bool GXScriptParser::Multiplicative(int s, int e, SStmtPtr& out)
{
    return LeftAssociative(s, e, out, R_MULTIPLICATIVE, m_prevMultiplicative, m_multiplicativeByLevel,
        &GXScriptParser::Multiplicative, &GXScriptParser::Unary);
}

// level := level op next | next, split at the level's last operator in
// [s+1, e-1] outside brackets (prevOp and opsByLevel tell where it is).
bool GXScriptParser::LeftAssociative(int s, int e, SStmtPtr& out, int nRule, const std::vector<int>& prevOp,
    const LevelList& opsByLevel, Rule self, Rule next)
{
    if (!CanBeExpression(s, e))
        return false;
    Step();
    if (Failed(nRule, s, e))
        return false;
    const int q = LastOutside(prevOp, opsByLevel, Level(s), s + 1, e - 1);
    if (q >= 0) {
        CNest nest(*this);
        SStmtPtr left, right;
        if ((this->*self)(s, q - 1, left) && (this->*next)(q + 1, e, right)) {
            out = Binary(s, q, std::move(left), std::move(right));
            return true;
        }
    }
    if ((this->*next)(s, e, out))
        return true;
    MarkFailed(nRule, s, e);
    return false;
}

SStmtPtr GXScriptParser::Binary(int s, int nOpPos, SStmtPtr left, SStmtPtr right) const
{
    auto node = std::make_unique<SStmtExpression>(m_pTokens[s].nLine, m_pTokens[s].nCol, OperatorOf(Kind(nOpPos)));
    node->m_pLeft = std::move(left);
    node->m_pRight = std::move(right);
    return node;
}

// unary := ("!" | "-") unary | primary
bool GXScriptParser::Unary(int s, int e, SStmtPtr& out)
{
    if (!CanBeExpression(s, e))
        return false;
    Step();
    const int k = Kind(s);
    if (k == TK_NOT || k == TK_MINUS) {
        if (Failed(R_UNARY, s, e))
            return false;
        CNest nest(*this);
        SStmtPtr operand;
        if (Unary(s + 1, e, operand)) {
            auto node = std::make_unique<SStmtExpression>(
                m_pTokens[s].nLine, m_pTokens[s].nCol, k == TK_NOT ? OP_NOT : OP_NEG);
            node->m_pRight = std::move(operand);
            out = std::move(node);
            return true;
        }
        MarkFailed(R_UNARY, s, e);
        return false; // no primary begins with "!" or "-"
    }
    return Primary(s, e, out);
}

// primary := "(" expression ")" | variable | literal | identifier "(" [arguments] ")"
bool GXScriptParser::Primary(int s, int e, SStmtPtr& out)
{
    const int k = Kind(s);
    if (k == TK_LPAREN && Kind(e) == TK_RPAREN && Expression(s + 1, e - 1, out))
        return true;
    if (VariableReference(s, e, out))
        return true;
    const SToken& tok = m_pTokens[s];
    if (s == e && (k == TK_REAL || k == TK_INTEGER || k == TK_STRING_LIT)) {
        auto node = std::make_unique<SStmtExpression>(tok.nLine, tok.nCol, OP_NONE);
        node->m_pConst = std::make_unique<GXSVal>(k == TK_REAL ? GXSVal::Double(tok.num.dbl)
                : k == TK_INTEGER                              ? GXSVal::Int(tok.num.n)
                                                               : GXSVal::String(tok.strText));
        out = std::move(node);
        return true;
    }
    if (k == TK_IDENT && Kind(s + 1) == TK_LPAREN && Kind(e) == TK_RPAREN) {
        SStmtPtr args;
        if (e - 1 >= s + 2 && !ArgumentList(s + 2, e - 1, args))
            return false;
        auto call = std::make_unique<SStmtCall>(tok.nLine, tok.nCol, tok.strText);
        call->m_pArgs = std::move(args);
        out = std::move(call);
        return true;
    }
    return false;
}

// arguments := arguments "," expression | expression
// (split at the last "," outside brackets; when that fails the whole range is
// one expression)
// The ends the rule visits do not depend on the outcomes, so it descends
// along them in a loop and climbs back, trying the fallbacks on the way up.
bool GXScriptParser::ArgumentList(int first, int last, SStmtPtr& out)
{
    struct SLevel {
        int nEnd;
        SStmtPtr tail; // the expression after the level's comma
    };
    std::vector<SLevel> levels;
    int end = last;
    SStmtPtr result;
    SStmt* pLast = nullptr;
    bool bOk = false;
    for (;;) {
        Step();
        const int c = LastOutside(m_prevComma, m_commaByLevel, Level(first), first, end - 1);
        SStmtPtr tail;
        if (c >= first && Expression(c + 1, end, tail)) {
            levels.push_back({ end, std::move(tail) });
            end = c - 1;
            continue;
        }
        bOk = Expression(first, end, result);
        pLast = result.get();
        break;
    }
    while (!levels.empty()) {
        SLevel level = std::move(levels.back());
        levels.pop_back();
        if (bOk) {
            // result is the chain of the arguments before the comma.
            pLast->m_pNext = std::move(level.tail);
            pLast = pLast->m_pNext.get();
        } else {
            bOk = Expression(first, level.nEnd, result);
            pLast = result.get();
        }
    }
    if (bOk)
        out = std::move(result);
    return bOk;
}
