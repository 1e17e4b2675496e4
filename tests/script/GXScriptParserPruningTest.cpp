// The parser skips ranges that cannot match and remembers failures; with that
// switched off it follows every rule literally. Both must accept and reject
// the same texts, report the same error position and build the same trees.
#include "script/GXScriptParser.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "script/ScriptTreeDump.h"

namespace {

class CGenerator {
public:
    explicit CGenerator(uint32_t seed)
        : m_rng(seed)
    {
    }

    std::string Program()
    {
        std::string s;
        const int n = Pick(4);
        for (int i = 0; i < n; ++i)
            s += Pick(5) == 0 ? Function() : Statement(0);
        return Mutate(s);
    }

private:
    int Pick(int n) { return static_cast<int>(m_rng() % static_cast<uint32_t>(n)); }

    std::string Atom()
    {
        static const char* const kAtoms[] = { "a", "b", "1", "2.5", "\"s\"", "f()", "g(a)", "x[1]" };
        return kAtoms[Pick(8)];
    }

    std::string Expr(int depth)
    {
        if (depth > 2)
            return Atom();
        switch (Pick(8)) {
        case 0:
            return Expr(depth + 1) + " + " + Expr(depth + 1);
        case 1:
            return Expr(depth + 1) + " - " + Expr(depth + 1);
        case 2:
            return Expr(depth + 1) + " * " + Expr(depth + 1);
        case 3:
            return Expr(depth + 1) + " < " + Expr(depth + 1);
        case 4:
            return "(" + Expr(depth + 1) + ")";
        case 5:
            return "-" + Expr(depth + 1);
        case 6:
            return "h(" + Expr(depth + 1) + ", " + Expr(depth + 1) + ")";
        default:
            return Atom();
        }
    }

    std::string Statement(int depth)
    {
        switch (depth > 2 ? 0 : Pick(7)) {
        case 1:
            return "if (" + Expr(1) + ") " + Statement(depth + 1);
        case 2:
            return "if (" + Expr(1) + ") " + Statement(depth + 1) + " else " + Statement(depth + 1);
        case 3:
            return "{ " + std::string(Pick(2) ? "int q; " : "") + Statement(depth + 1) + Statement(depth + 1) + "}";
        case 4:
            return Pick(2) ? "return;" : "return " + Expr(1) + ";";
        case 5:
            return ";";
        default:
            return Pick(3) ? "a = " + Expr(1) + ";" : Expr(0) + ";";
        }
    }

    std::string Function()
    {
        return std::string(Pick(2) ? "int" : "void") + " fn(" + (Pick(2) ? "int p, string q" : "") + ") { "
            + Statement(1) + Statement(1) + "}";
    }

    // Deletes, duplicates or swaps in a few tokens so that rejects are tried too.
    std::string Mutate(std::string s)
    {
        static const char* const kBits[] = { ";", "{", "}", "(", ")", "else ", "if ", ",", "=", "int " };
        const int n = Pick(4);
        for (int i = 0; i < n && !s.empty(); ++i) {
            const size_t at = static_cast<size_t>(Pick(static_cast<int>(s.size())));
            if (Pick(2))
                s.insert(at, std::string(" ") + kBits[Pick(10)] + " ");
            else
                s.erase(at, 1);
        }
        return s;
    }

    std::mt19937 m_rng;
};

std::string Outcome(GXScriptParser& parser, const std::vector<SToken>& tokens)
{
    const int nCode = parser.Parse(tokens);
    if (nCode != 0)
        return "error " + std::to_string(nCode) + " " + std::to_string(parser.ErrorLine()) + ":"
            + std::to_string(parser.ErrorCol());
    SStmtPtr root = parser.TakeRoot();
    return scripttest::DumpChain(root.get());
}

} // namespace

TEST(GXScriptParserPruning, PrunedAndLiteralRulesAgreeOnGeneratedTexts)
{
    CGenerator gen(20261209);
    int nAccepted = 0;
    for (int i = 0; i < 4000; ++i) {
        const std::string text = gen.Program();
        GXScriptLexer lexer;
        if (lexer.Tokenize(text.c_str()) != 0)
            continue;
        GXScriptParser pruned, literal;
        literal.SetPruning(false);
        const std::string a = Outcome(pruned, lexer.Tokens());
        const std::string b = Outcome(literal, lexer.Tokens());
        ASSERT_EQ(a, b) << text;
        nAccepted += a.rfind("error", 0) != 0;
    }
    EXPECT_GT(nAccepted, 500);
}
