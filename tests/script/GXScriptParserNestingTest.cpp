// The splitting scans look only at operators and commas outside brackets, and
// an `if` condition ends at its matching ")". That lets more texts parse and
// must change nothing else: every text that parsed while the scans ignored
// brackets (CFlatSplitParser) keeps its tree, node for node and position for
// position. Checked over every stored script and over generated expressions.
#include "script/GXScriptParser.h"

#include <dirent.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "script/FlatSplitParser.h"
#include "script/GoldenCases.h"
#include "script/ScriptTreeDump.h"

namespace {

std::string Outcome(const std::vector<SToken>& tokens, bool bPrune)
{
    GXScriptParser parser;
    parser.SetPruning(bPrune);
    if (const int nCode = parser.Parse(tokens); nCode != 0)
        return "error " + std::to_string(nCode) + " " + std::to_string(parser.ErrorLine()) + ":"
            + std::to_string(parser.ErrorCol());
    SStmtPtr root = parser.TakeRoot();
    return scripttest::DumpChain(root.get(), true);
}

// An `if` whose condition's first token is a bracket: the one place where
// the flat rule ended a condition elsewhere than at its matching ")".
bool HasBracketAfterIf(const std::vector<SToken>& tokens)
{
    for (size_t i = 0; i + 2 < tokens.size(); ++i) {
        const int k = tokens[i + 2].nKind;
        if (tokens[i].nKind == TK_IF && tokens[i + 1].nKind == TK_LPAREN && (k == TK_LPAREN || k == TK_RPAREN))
            return true;
    }
    return false;
}

struct SCounts {
    int nTexts = 0;
    int nFlatParsed = 0; // and the same tree now
    int nNewlyParsed = 0;
    int nBothFail = 0;
    int nSameError = 0;

    void Print(const char* pszWhat) const
    {
        std::printf("%s: %d texts; %d parsed before, all with the same tree now; %d parse only now; "
                    "%d fail both ways, %d of them with the same error\n",
            pszWhat, nTexts, nFlatParsed, nNewlyParsed, nBothFail, nSameError);
    }
};

// Where the flat rule parses, the tree must be the same; the pruned and the
// literal parser must agree everywhere.
void Compare(const std::string& text, SCounts& counts)
{
    GXScriptLexer lexer;
    if (lexer.Tokenize(text.c_str()) != 0)
        return;
    CFlatSplitParser flatParser;
    const std::string flat = flatParser.Parse(lexer.Tokens());
    const std::string now = Outcome(lexer.Tokens(), true);
    ASSERT_NE(flat, "gave up") << text;
    ASSERT_EQ(now, Outcome(lexer.Tokens(), false)) << text;
    ++counts.nTexts;
    const bool bFlatFails = flat.rfind("error ", 0) == 0;
    const bool bNowFails = now.rfind("error ", 0) == 0;
    if (!bFlatFails) {
        ASSERT_EQ(now, flat) << text;
        ++counts.nFlatParsed;
    } else if (!bNowFails) {
        ++counts.nNewlyParsed;
    } else {
        ++counts.nBothFail;
        counts.nSameError += now == flat;
        // A 200 stays where it was. A 201 may give way where the condition
        // now parses and the text fails further on; an empty "if ()" the
        // flat rule left to fail at the end is now 201 at its `if`.
        const bool bExplained = now == flat || flat.rfind("error 201 ", 0) == 0 || HasBracketAfterIf(lexer.Tokens());
        ASSERT_TRUE(bExplained) << text << "\n" << flat << "\n" << now;
    }
}

// Every golden run and every fuzz seed; a seed's NUL bytes split it into runs
// as the fuzz target does.
std::vector<std::string> StoredScripts()
{
    std::vector<std::string> texts;
    for (const scripttest::SGoldenCase& c : scripttest::LoadGoldenCases()) {
        for (const scripttest::SGoldenRun& run : c.runs)
            texts.push_back(run.strText);
    }
    const std::string seeds = std::string(TAVDJ_SOURCE_DIR) + "/tests/fuzz/corpus/ScriptRun";
    std::vector<std::string> names;
    if (DIR* d = opendir(seeds.c_str())) {
        while (dirent* e = readdir(d)) {
            if (e->d_name[0] != '.')
                names.push_back(e->d_name);
        }
        closedir(d);
    }
    EXPECT_GE(names.size(), 7u);
    for (const std::string& name : names) {
        std::ifstream in(seeds + "/" + name);
        const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        for (size_t start = 0; start <= bytes.size();) {
            const size_t end = std::min(bytes.find('\0', start), bytes.size());
            texts.push_back(bytes.substr(start, end - start));
            start = end + 1;
        }
    }
    return texts;
}

// Expressions heavy in brackets, calls, indexes, unary operators and every
// binary operator, set in the statements that hold expressions; a few tokens
// are then dropped or doubled so that near misses are compared too.
class CExpressionGenerator {
public:
    explicit CExpressionGenerator(uint32_t seed)
        : m_rng(seed)
    {
    }

    std::string Text()
    {
        const std::string e = Expr(0);
        std::string s;
        switch (Pick(7)) {
        case 0:
            s = e + ";";
            break;
        case 1:
            s = "x = " + e + ";";
            break;
        case 2:
            s = "if (" + e + ") y = 1; else y = " + Expr(1) + ";";
            break;
        case 3:
            s = "int f(int a) { return " + e + "; } f(" + Expr(2) + ");";
            break;
        case 4:
            s = "while ((" + e + ")) { y = 1; }";
            break;
        case 5:
            s = "{ int q[" + Expr(2) + "]; q = " + e + "; }";
            break;
        default:
            s = "h(" + e + ", " + Expr(1) + ");";
            break;
        }
        return Pick(4) == 0 ? Mutate(s) : s;
    }

private:
    int Pick(int n) { return static_cast<int>(m_rng() % static_cast<uint32_t>(n)); }

    std::string Expr(int depth)
    {
        static const char* const kAtoms[] = { "a", "b", "1", "2.5", "\"s\"", "f()" };
        static const char* const kOps[]
            = { " + ", " - ", " * ", " / ", " % ", " == ", " != ", " < ", " <= ", " > ", " >= " };
        if (depth > 3)
            return kAtoms[Pick(6)];
        // Each draw in its own statement, so every compiler draws in one order.
        const int nChoice = Pick(10);
        const std::string first = nChoice <= 7 ? Expr(depth + 1) : "";
        switch (nChoice) {
        case 0:
        case 1:
        case 2: {
            const std::string op = kOps[Pick(11)];
            return first + op + Expr(depth + 1);
        }
        case 3:
        case 4:
            return "(" + first + ")";
        case 5:
            return (Pick(2) ? "-" : "!") + first;
        case 6:
            return "g(" + first + (Pick(2) ? ", " + Expr(depth + 1) : "") + ")";
        case 7:
            return "v[" + first + "]";
        case 8:
            return Pick(4) ? kAtoms[Pick(6)] : "(b = " + Expr(depth + 1) + ")";
        default:
            return kAtoms[Pick(6)];
        }
    }

    std::string Mutate(std::string s)
    {
        static const char* const kBits[] = { "(", ")", "[", "]", ",", "-", "+", "<", "=", ";" };
        for (int i = 0, n = 1 + Pick(2); i < n; ++i) {
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

} // namespace

TEST(GXScriptParserNesting, StoredScriptsThatParsedKeepTheirTrees)
{
    SCounts counts;
    for (const std::string& text : StoredScripts()) {
        Compare(text, counts);
        if (HasFatalFailure())
            return;
    }
    counts.Print("stored scripts");
    EXPECT_GT(counts.nFlatParsed, 150);
    EXPECT_GT(counts.nNewlyParsed, 0);
}

TEST(GXScriptParserNesting, GeneratedExpressionsThatParsedKeepTheirTrees)
{
    CExpressionGenerator gen(20261209);
    SCounts counts;
    for (int i = 0; i < 20000; ++i) {
        Compare(gen.Text(), counts);
        if (HasFatalFailure())
            return;
    }
    counts.Print("generated expressions");
    EXPECT_GT(counts.nFlatParsed, 2000);
    EXPECT_GT(counts.nNewlyParsed, 2000);
}
