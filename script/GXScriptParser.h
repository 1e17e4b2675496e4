#pragma once

#include <cstdint>
#include <unordered_set>
#include <utility>
#include <vector>

#include "script/GXSApi.h"
#include "script/GXScriptLexer.h"
#include "script/SStmt.h"

// Thread: the owning script host's thread only.
// Turns the lexer's token array into a statement tree. Every rule works on a
// closed range of token positions and splits it by scanning for a token, often
// from the back; a rule that fails just says so and its caller tries the next
// alternative. Only 201 (a bad `if` condition) and 200 (no program; nesting
// or work beyond the caps) abort the parse.
//
// Skins already in use carry scripts written against these rules, so which
// texts parse, how they group and where an error points stay as they are,
// odd corners included ("a + -b" does not parse, comparisons do not chain).
// A scan splits only at operators and commas outside brackets, so an operand
// in brackets or a call's arguments never split the expression around them.
// Speed comes from around the rules, never from changing what they accept:
// tables built once per parse answer each scan in O(1) or O(log n) whatever
// the nesting, ranges that can never match are rejected from prefix counts,
// and failed (rule, range) pairs are remembered.
class GXScriptParser {
public:
    void SetTrace(const GXScriptTrace* pTrace) { m_pTrace = pTrace; }

    // Parses the whole array as a program; 0 on success with Root() holding
    // the first top-level statement (null for an empty array).
    [[nodiscard]] int Parse(const std::vector<SToken>& tokens);
    [[nodiscard]] SStmtPtr TakeRoot() { return std::move(m_pRoot); }
    void DropRoot() { m_pRoot.reset(); }

    // Off, every rule runs exactly as written with nothing skipped or
    // remembered; differential tests compare the two.
    void SetPruning(bool bPrune) { m_bPrune = bPrune; }

    [[nodiscard]] int ErrorLine() const { return m_nErrLine; }
    [[nodiscard]] int ErrorCol() const { return m_nErrCol; }

    // Statement and expression nesting beyond this is rejected, because the
    // rules, the interpreter and node destruction all recurse once per level.
    static constexpr int kMaxNesting = 256;
    // Rule invocations per parse; hostile texts that defeat the pruning
    // end with 200 instead of hanging the window.
    static constexpr int64_t kMaxSteps = 4'000'000;

private:
    struct SAbort {
        int nPos;
        int nCode;
    };
    class CNest;
    using LevelList = std::vector<std::pair<int, int>>; // (level, position), sorted

    [[noreturn]] void Error(int nPos, int nCode);
    void Step();
    void BuildTables();
    [[nodiscard]] int Kind(int i) const;
    [[nodiscard]] bool IsType(int i) const;
    [[nodiscard]] bool CanBeExpression(int s, int e) const;
    [[nodiscard]] bool Balanced(int s, int e) const;
    [[nodiscard]] bool HasBadIf(int s, int e) const;
    [[nodiscard]] bool Failed(int nRule, int s, int e) const;
    void MarkFailed(int nRule, int s, int e);
    // The first / last position of list at nLevel within [nFrom, nTo], or -1.
    [[nodiscard]] static int FirstAtLevel(const LevelList& list, int nLevel, int nFrom, int nTo);
    [[nodiscard]] static int LastAtLevel(const LevelList& list, int nLevel, int nFrom, int nTo);
    // Brackets, "(" and "[" alike, open before position i; an operator is
    // outside every bracket of a range that starts at s when its level is s's.
    [[nodiscard]] int Level(int i) const;
    // The first / last token of one kind at nLevel within [nFrom, nTo], or -1;
    // nextTok / prevTok give the nearest token of the kind, byLevel all.
    [[nodiscard]] int FirstOutside(
        const std::vector<int>& nextTok, const LevelList& byLevel, int nLevel, int nFrom, int nTo);
    [[nodiscard]] int LastOutside(
        const std::vector<int>& prevTok, const LevelList& byLevel, int nLevel, int nFrom, int nTo);
    void BuildSplitLists();
    // The ")" that closes the condition of the `if` at s, or -1.
    [[nodiscard]] int ConditionEnd(int s, int e) const;

    // Statements.
    [[nodiscard]] bool TopList(int first, int last, SStmtPtr& out);
    [[nodiscard]] bool TopStatement(int s, int e, SStmtPtr& out);
    [[nodiscard]] bool Statement(int s, int e, SStmtPtr& out);
    [[nodiscard]] bool ExpressionStatement(int s, int e, SStmtPtr& out);
    [[nodiscard]] bool Declaration(int s, int e, SStmtPtr& out);
    [[nodiscard]] bool FunctionDeclaration(int s, int e, SStmtPtr& out);
    [[nodiscard]] bool ParameterList(int first, int last, SStmtPtr& out);
    [[nodiscard]] bool Block(int s, int e, SStmtPtr& out);
    [[nodiscard]] bool DeclarationList(int first, int last, SStmtPtr& out);
    [[nodiscard]] bool BlockList(int first, int last, SStmtPtr& out);
    [[nodiscard]] int FirstStatementStart(int first, int last, SStmtPtr& out);
    [[nodiscard]] bool IfStatement(int s, int e, SStmtPtr& out);
    [[nodiscard]] bool ReturnStatement(int s, int e, SStmtPtr& out);

    // Expressions.
    [[nodiscard]] bool Expression(int s, int e, SStmtPtr& out);
    [[nodiscard]] bool VariableReference(int s, int e, SStmtPtr& out);
    [[nodiscard]] bool Comparison(int s, int e, SStmtPtr& out);
    [[nodiscard]] bool Additive(int s, int e, SStmtPtr& out);
    [[nodiscard]] bool Multiplicative(int s, int e, SStmtPtr& out);
    [[nodiscard]] bool Unary(int s, int e, SStmtPtr& out);
    using Rule = bool (GXScriptParser::*)(int, int, SStmtPtr&);
    [[nodiscard]] bool LeftAssociative(int s, int e, SStmtPtr& out, int nRule, const std::vector<int>& prevOp,
        const LevelList& opsByLevel, Rule self, Rule next);
    [[nodiscard]] SStmtPtr Binary(int s, int nOpPos, SStmtPtr left, SStmtPtr right) const;
    [[nodiscard]] bool Primary(int s, int e, SStmtPtr& out);
    [[nodiscard]] bool ArgumentList(int first, int last, SStmtPtr& out);

    const GXScriptTrace* m_pTrace = nullptr;
    bool m_bPrune = true;
    const SToken* m_pTokens = nullptr;
    int m_nTokens = 0;
    SStmtPtr m_pRoot;
    int m_nErrLine = -1;
    int m_nErrCol = -1;

    int m_nNest = 0;
    int64_t m_nSteps = 0;
    // Prefix tables over [0, i): tokens that no expression holds, net "(",
    // net "[", net "{", and `if` tokens whose condition is not an expression.
    std::vector<int> m_noExpr, m_paren, m_bracket, m_brace, m_badIf;
    std::vector<int> m_nextAssign, m_nextCompare, m_prevAdditive, m_prevMultiplicative;
    std::vector<int> m_prevComma, m_prevSemi, m_prevBoundary, m_nextSemi, m_matchBrace;
    std::vector<int8_t> m_ifCondition; // per `if` token: 0 fine, 1 bad, 2 too deep
    // ")" and else by the net "(" or "{" before them; the split tokens of the
    // expression rules by Level(), built on first need.
    LevelList m_closeByLevel, m_elseByLevel, m_ifByLevel;
    LevelList m_compareByLevel, m_additiveByLevel, m_multiplicativeByLevel, m_commaByLevel;
    bool m_bSplitLists = false; // the four lists above are built
    // (position where an `if`'s then / else branch begins, the `if`), sorted
    LevelList m_ifByThenStart, m_ifByElseStart;
    std::unordered_set<uint64_t> m_failed;
};
