#include "script/FlatSplitParser.h"

#include "script/SStmt.h"
#include "script/ScriptTreeDump.h"

namespace {

const char* TypeName(int k)
{
    return k == TK_INT ? "int" : k == TK_DOUBLE ? "double" : k == TK_STRING ? "string" : "void";
}

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
        return OP_EQ + (k - TK_EQ);
    }
}

// Chains node in front of the rest of a list; an empty statement gives no node.
std::string Prepend(const std::string& node, const std::string& rest)
{
    return node.empty() ? rest : rest.empty() ? node : node + " " + rest;
}

} // namespace

std::string CFlatSplitParser::Parse(const std::vector<SToken>& tokens)
{
    m_pTokens = &tokens;
    m_nTokens = static_cast<int>(tokens.size());
    m_nSteps = 0;
    try {
        std::string root;
        if (!TopList(0, m_nTokens - 1, root))
            throw SAbort { m_nTokens - 1, 200 };
        return root;
    } catch (const SAbort& abort) {
        if (abort.nCode < 0)
            return "gave up";
        const SToken& tok = tokens[static_cast<size_t>(abort.nPos)];
        return "error " + std::to_string(abort.nCode) + " " + std::to_string(tok.nLine) + ":"
            + std::to_string(tok.nCol);
    }
}

int CFlatSplitParser::Kind(int i) const
{
    return i >= 0 && i < m_nTokens ? (*m_pTokens)[static_cast<size_t>(i)].nKind : 0;
}

bool CFlatSplitParser::IsType(int i) const
{
    const int k = Kind(i);
    return k == TK_INT || k == TK_DOUBLE || k == TK_STRING || k == TK_VOID;
}

std::string CFlatSplitParser::At(int i) const
{
    const SToken& tok = (*m_pTokens)[static_cast<size_t>(i)];
    return std::string("@").append(std::to_string(tok.nLine)) + ":" + std::to_string(tok.nCol);
}

void CFlatSplitParser::Step()
{
    if (++m_nSteps > kMaxSteps)
        throw SAbort { 0, -1 };
}

bool CFlatSplitParser::TopList(int first, int last, std::string& out)
{
    std::string head;
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
            nDepth += (k == TK_RBRACE) - (k == TK_LBRACE);
        }
        std::string node;
        if (!TopStatement(s, last, node))
            return false;
        head = Prepend(node, head);
        last = s - 1;
    }
    out = head;
    return true;
}

bool CFlatSplitParser::TopStatement(int s, int e, std::string& out)
{
    Step();
    if (Kind(e) == TK_RBRACE)
        return FunctionDeclaration(s, e, out) || Block(s, e, out) || IfStatement(s, e, out);
    if (Kind(e) == TK_SEMI)
        return Declaration(s, e, out) || Statement(s, e, out) || IfStatement(s, e, out);
    return false;
}

bool CFlatSplitParser::Statement(int s, int e, std::string& out)
{
    if (s > e || s < 0 || e >= m_nTokens)
        return false;
    Step();
    const int k = Kind(s);
    if (k == TK_LBRACE && Kind(e) == TK_RBRACE && Block(s, e, out))
        return true;
    if (k == TK_IF && IfStatement(s, e, out))
        return true;
    if (k == TK_RETURN && ReturnStatement(s, e, out))
        return true;
    if (Kind(e) != TK_SEMI)
        return false;
    out.clear();
    return s == e || Expression(s, e - 1, out);
}

bool CFlatSplitParser::Declaration(int s, int e, std::string& out)
{
    if (!IsType(s) || Kind(s + 1) != TK_IDENT || Kind(e) != TK_SEMI)
        return false;
    std::string var = (*m_pTokens)[static_cast<size_t>(s + 1)].strText;
    if (e != s + 2) {
        std::string index;
        if (Kind(s + 2) != TK_LBRACKET || Kind(e - 1) != TK_RBRACKET || !Expression(s + 3, e - 2, index))
            return false;
        var += "[" + index + "]";
    }
    out = "(decl " + std::string(TypeName(Kind(s))) + " " + var + At(s + 1) + ")" + At(s);
    return true;
}

bool CFlatSplitParser::FunctionDeclaration(int s, int e, std::string& out)
{
    if (!IsType(s) || Kind(s + 2) != TK_LPAREN)
        return false;
    int close = s + 1;
    while (close <= e && Kind(close) != TK_RPAREN)
        ++close;
    int open = close - 1;
    while (open >= s && Kind(open) != TK_LPAREN)
        --open;
    std::string body, params;
    if (close > e || open < s || !Block(close + 1, e, body) || Kind(s + 1) != TK_IDENT
        || !ParameterList(open + 1, close - 1, params))
        return false;
    out = "(func " + std::string(TypeName(Kind(s))) + " " + (*m_pTokens)[static_cast<size_t>(s + 1)].strText + " ("
        + params + ") " + body + ")" + At(s);
    return true;
}

bool CFlatSplitParser::ParameterList(int first, int last, std::string& out)
{
    out.clear();
    if (first > last || (first == last && Kind(first) == TK_VOID))
        return true;
    for (int end = last;;) {
        int c = end - 1;
        while (c >= first && Kind(c) != TK_COMMA)
            --c;
        const int start = c >= first ? c + 1 : first;
        if (end != start + 1 || !IsType(start) || Kind(end) != TK_IDENT)
            return false;
        out = Prepend("(decl " + std::string(TypeName(Kind(start))) + " "
                + (*m_pTokens)[static_cast<size_t>(end)].strText + At(end) + ")" + At(start),
            out);
        if (c < first)
            return true;
        end = c - 1;
    }
}

bool CFlatSplitParser::Block(int s, int e, std::string& out)
{
    if (s < 0 || e >= m_nTokens || s >= e || Kind(s) != TK_LBRACE || Kind(e) != TK_RBRACE)
        return false;
    Step();
    int declEnd = s;
    for (int c = s + 1; c <= e - 1;) {
        int q = c + 1;
        while (q < m_nTokens && Kind(q) != TK_SEMI)
            ++q;
        if (q > e - 1)
            break;
        std::string trial;
        if (Declaration(c, q, trial))
            declEnd = q;
        c = q + 1;
    }
    // declaration-list: split at the last ";" before its end.
    std::string decls, stmts;
    for (int end = declEnd; end > s;) {
        int p = end - 1;
        while (p >= s + 1 && Kind(p) != TK_SEMI)
            --p;
        std::string decl;
        if (!Declaration(p >= s + 1 ? p + 1 : s + 1, end, decl))
            return false;
        decls = Prepend(decl, decls);
        end = p >= s + 1 ? p : s;
    }
    if (!BlockList(declEnd + 1, e - 1, stmts))
        return false;
    out = "{" + decls + (decls.empty() ? "" : " ") + "|" + (stmts.empty() ? "" : " ") + stmts + "}" + At(s);
    return true;
}

bool CFlatSplitParser::BlockList(int first, int last, std::string& out)
{
    std::string head;
    while (first <= last) {
        int start = -1;
        std::string node;
        for (int i = first; i < last && start < 0; ++i) {
            if (Statement(i, last, node))
                start = i;
        }
        if (start < 0) {
            if (!Statement(first, last, node))
                return false;
            start = first;
        }
        head = Prepend(node, head);
        last = start - 1;
    }
    out = head;
    return true;
}

bool CFlatSplitParser::IfStatement(int s, int e, std::string& out)
{
    if (Kind(s) != TK_IF || Kind(s + 1) != TK_LPAREN || s + 3 > e)
        return false;
    Step();
    int close = -1, elsePos = -1;
    for (int p = s + 3, nParen = 0; p <= e && close < 0; ++p) {
        if (Kind(p) == TK_RPAREN && nParen == 0)
            close = p;
        nParen += (Kind(p) == TK_LPAREN) - (Kind(p) == TK_RPAREN);
    }
    if (close < 0)
        return false;
    for (int p = s + 3, nBrace = 0; p <= e && elsePos < 0; ++p) {
        if (Kind(p) == TK_ELSE && nBrace == 0)
            elsePos = p;
        nBrace += (Kind(p) == TK_LBRACE) - (Kind(p) == TK_RBRACE);
    }
    std::string cond, thenPart, elsePart;
    if (!Expression(s + 2, close - 1, cond))
        throw SAbort { s, 201 };
    if (elsePos < 0 ? !Statement(close + 1, e, thenPart)
                    : !Statement(close + 1, elsePos - 1, thenPart) || !Statement(elsePos + 1, e, elsePart))
        return false;
    out = "(if " + cond + " " + (thenPart.empty() ? "_" : thenPart) + (elsePart.empty() ? "" : " " + elsePart) + ")"
        + At(s);
    return true;
}

bool CFlatSplitParser::ReturnStatement(int s, int e, std::string& out)
{
    if (Kind(s) != TK_RETURN || Kind(e) != TK_SEMI)
        return false;
    if (e == s + 1) {
        out = "(return)" + At(s);
        return true;
    }
    std::string value;
    if (!Expression(s + 1, e - 1, value))
        return false;
    out = "(return " + value + ")" + At(s);
    return true;
}

bool CFlatSplitParser::Expression(int s, int e, std::string& out)
{
    if (s > e || s < 0 || e >= m_nTokens)
        return false;
    Step();
    int q = s + 1;
    while (q <= e - 1 && Kind(q) != TK_ASSIGN)
        ++q;
    std::string target, value;
    if (q <= e - 1 && Kind(s) == TK_IDENT && VariableReference(s, q - 1, target) && Expression(q + 1, e, value)) {
        out = "(= " + target + " " + value + ")" + At(s);
        return true;
    }
    return Comparison(s, e, out);
}

bool CFlatSplitParser::VariableReference(int s, int e, std::string& out)
{
    if (Kind(s) != TK_IDENT)
        return false;
    std::string index;
    if (s != e && (Kind(s + 1) != TK_LBRACKET || Kind(e) != TK_RBRACKET || !Expression(s + 2, e - 1, index)))
        return false;
    out = (*m_pTokens)[static_cast<size_t>(s)].strText + (s == e ? "" : "[" + index + "]") + At(s);
    return true;
}

bool CFlatSplitParser::Comparison(int s, int e, std::string& out)
{
    int q = s + 1;
    while (q <= e - 1 && !(Kind(q) >= TK_EQ && Kind(q) <= TK_GT))
        ++q;
    std::string left, right;
    if (q <= e - 1 && Additive(s, q - 1, left) && Additive(q + 1, e, right)) {
        out = std::string("(") + scripttest::OperatorName(OperatorOf(Kind(q))) + " " + left + " " + right + ")" + At(s);
        return true;
    }
    return Additive(s, e, out);
}

bool CFlatSplitParser::Additive(int s, int e, std::string& out)
{
    if (s > e || s < 0 || e >= m_nTokens)
        return false;
    Step();
    int q = e - 1;
    while (q >= s + 1 && Kind(q) != TK_PLUS && Kind(q) != TK_MINUS)
        --q;
    std::string left, right;
    if (q >= s + 1 && Additive(s, q - 1, left) && Multiplicative(q + 1, e, right)) {
        out = std::string("(") + scripttest::OperatorName(OperatorOf(Kind(q))) + " " + left + " " + right + ")" + At(s);
        return true;
    }
    return Multiplicative(s, e, out);
}

bool CFlatSplitParser::Multiplicative(int s, int e, std::string& out)
{
    if (s > e || s < 0 || e >= m_nTokens)
        return false;
    Step();
    int q = e - 1;
    while (q >= s + 1 && Kind(q) != TK_STAR && Kind(q) != TK_SLASH && Kind(q) != TK_PERCENT)
        --q;
    std::string left, right;
    if (q >= s + 1 && Multiplicative(s, q - 1, left) && Unary(q + 1, e, right)) {
        out = std::string("(") + scripttest::OperatorName(OperatorOf(Kind(q))) + " " + left + " " + right + ")" + At(s);
        return true;
    }
    return Unary(s, e, out);
}

bool CFlatSplitParser::Unary(int s, int e, std::string& out)
{
    if (s > e || s < 0 || e >= m_nTokens)
        return false;
    Step();
    const int k = Kind(s);
    if (k != TK_NOT && k != TK_MINUS)
        return Primary(s, e, out);
    std::string operand;
    if (!Unary(s + 1, e, operand))
        return false;
    out = std::string(k == TK_NOT ? "(! " : "(neg ") + operand + ")" + At(s);
    return true;
}

bool CFlatSplitParser::Primary(int s, int e, std::string& out)
{
    const int k = Kind(s);
    if (k == TK_LPAREN && Kind(e) == TK_RPAREN && Expression(s + 1, e - 1, out))
        return true;
    if (VariableReference(s, e, out))
        return true;
    const SToken& tok = (*m_pTokens)[static_cast<size_t>(s)];
    if (s == e && (k == TK_REAL || k == TK_INTEGER || k == TK_STRING_LIT)) {
        out = (k == TK_REAL             ? scripttest::FormatDouble(tok.num.dbl)
                      : k == TK_INTEGER ? std::to_string(tok.num.n)
                                        : "\"" + tok.strText + "\"")
            + At(s);
        return true;
    }
    std::string args;
    if (k != TK_IDENT || Kind(s + 1) != TK_LPAREN || Kind(e) != TK_RPAREN
        || (e - 1 >= s + 2 && !ArgumentList(s + 2, e - 1, args)))
        return false;
    out = "(call " + tok.strText + (args.empty() ? "" : " ") + args + ")" + At(s);
    return true;
}

bool CFlatSplitParser::ArgumentList(int first, int last, std::string& out)
{
    Step();
    int c = last - 1;
    while (c >= first && Kind(c) != TK_COMMA)
        --c;
    std::string tail, rest;
    if (c >= first && Expression(c + 1, last, tail) && ArgumentList(first, c - 1, rest)) {
        out = rest + " " + tail;
        return true;
    }
    return Expression(first, last, out);
}
