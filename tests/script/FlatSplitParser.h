#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "script/GXScriptLexer.h"

// Test only. The script parser as it was while its splitting scans ignored
// brackets: the comparison, additive, multiplicative and argument-list scans
// took the first or last operator or comma anywhere in the range, and an `if`
// condition ended at the first ")" at depth 0 from its third token. Every rule
// runs literally, nothing is pruned or remembered. It writes the tree in
// scripttest::DumpChain's form with positions, so the shipped parser's tree
// can be compared with it text for text.
class CFlatSplitParser {
public:
    // "error CODE LINE:COL", "gave up" past the work cap, or the tree.
    [[nodiscard]] std::string Parse(const std::vector<SToken>& tokens);

    // Rule invocations before giving up; the texts compared are small.
    static constexpr int64_t kMaxSteps = 2'000'000;

private:
    struct SAbort {
        int nPos;
        int nCode;
    };

    [[nodiscard]] int Kind(int i) const;
    [[nodiscard]] bool IsType(int i) const;
    [[nodiscard]] std::string At(int i) const; // "@line:col" of token i
    void Step();

    [[nodiscard]] bool TopList(int first, int last, std::string& out);
    [[nodiscard]] bool TopStatement(int s, int e, std::string& out);
    [[nodiscard]] bool Statement(int s, int e, std::string& out);
    [[nodiscard]] bool Declaration(int s, int e, std::string& out);
    [[nodiscard]] bool FunctionDeclaration(int s, int e, std::string& out);
    [[nodiscard]] bool ParameterList(int first, int last, std::string& out);
    [[nodiscard]] bool Block(int s, int e, std::string& out);
    [[nodiscard]] bool BlockList(int first, int last, std::string& out);
    [[nodiscard]] bool IfStatement(int s, int e, std::string& out);
    [[nodiscard]] bool ReturnStatement(int s, int e, std::string& out);
    [[nodiscard]] bool Expression(int s, int e, std::string& out);
    [[nodiscard]] bool VariableReference(int s, int e, std::string& out);
    [[nodiscard]] bool Comparison(int s, int e, std::string& out);
    [[nodiscard]] bool Additive(int s, int e, std::string& out);
    [[nodiscard]] bool Multiplicative(int s, int e, std::string& out);
    [[nodiscard]] bool Unary(int s, int e, std::string& out);
    [[nodiscard]] bool Primary(int s, int e, std::string& out);
    [[nodiscard]] bool ArgumentList(int first, int last, std::string& out);

    const std::vector<SToken>* m_pTokens = nullptr;
    int m_nTokens = 0;
    int64_t m_nSteps = 0;
};
