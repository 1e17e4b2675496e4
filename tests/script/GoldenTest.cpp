// Runs every case of tests/script/golden/*.gxs (format in GoldenCases.h) as
// its own test, named after its file and case, so a failure names its script.
// Expectations: int N | double X | string TEXT | void | undefined | untouched
//   | error CODE LINE:COL ERRORTEXT | tree SEXPR | parseerror CODE LINE:COL
//   | tokens K[:value] ... | tokpos K@LINE:COL ... | lexerror CODE LINE:COL | log TEXT
// Trailing blanks of an outcome are dropped; an empty tree reads <empty>.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "script/GXScriptHost.h"
#include "script/GoldenCases.h"
#include "script/ScriptTreeDump.h"

namespace {

using scripttest::SGoldenCase;
using SRun = scripttest::SGoldenRun;

std::string DumpTokens(const std::vector<SToken>& tokens)
{
    std::string s;
    for (const SToken& t : tokens) {
        if (!s.empty())
            s += " ";
        s += std::to_string(t.nKind);
        if (t.nKind == TK_INTEGER)
            s += ":" + std::to_string(t.num.n);
        else if (t.nKind == TK_REAL)
            s += ":" + scripttest::FormatDouble(t.num.dbl);
        else if (t.nKind == TK_IDENT || t.nKind == TK_STRING_LIT)
            s += ":" + t.strText;
    }
    return s;
}

std::string DescribeValue(const GXSVal& v)
{
    switch (v.m_nType) {
    case GXSV_INT:
        return "int " + std::to_string(v.m_num.n);
    case GXSV_DOUBLE:
        return "double " + scripttest::FormatDouble(v.m_num.dbl);
    case GXSV_STRING:
        return "string " + v.m_strText;
    case GXSV_VOID:
        return "void";
    default:
        return "undefined";
    }
}

// Stub natives: they log what they receive so cases can check order and values.
struct CStubs {
    std::string strLog;
    int nCounter = 0;
    std::string strReturned;

    void Register(GXScriptHost& host)
    {
        auto log = [this](const std::string& s) { strLog += (strLog.empty() ? "" : ",") + s; };
        (void)host.RegisterApi("Log", "Vs", [log](GXWindowMain*, std::span<const GXSApiValue> a) {
            log(a[0].pszText);
            return GXSApiValue {};
        });
        (void)host.RegisterApi("LogInt", "Vi", [log](GXWindowMain*, std::span<const GXSApiValue> a) {
            log(std::to_string(a[0].nInt));
            return GXSApiValue {};
        });
        (void)host.RegisterApi("Vsi", "Vsi", [log](GXWindowMain*, std::span<const GXSApiValue> a) {
            log(std::string(a[0].pszText) + ":" + std::to_string(a[1].nInt));
            return GXSApiValue {};
        });
        (void)host.RegisterApi("Add1", "Ii", [](GXWindowMain*, std::span<const GXSApiValue> a) {
            return GXSApiValue { a[0].nInt + 1, 0.0, nullptr };
        });
        (void)host.RegisterApi("Half", "Dd", [](GXWindowMain*, std::span<const GXSApiValue> a) {
            return GXSApiValue { 0, a[0].dbl / 2, nullptr };
        });
        (void)host.RegisterApi("Cat", "Sss", [this](GXWindowMain*, std::span<const GXSApiValue> a) {
            strReturned = std::string(a[0].pszText) + a[1].pszText;
            return GXSApiValue { 0, 0.0, strReturned.c_str() };
        });
        (void)host.RegisterApi("Null", "S", [](GXWindowMain*, std::span<const GXSApiValue>) { return GXSApiValue {}; });
        (void)host.RegisterApi("Next", "I", [this, log](GXWindowMain*, std::span<const GXSApiValue>) {
            ++nCounter;
            log("next" + std::to_string(nCounter));
            return GXSApiValue { nCounter, 0.0, nullptr };
        });
        (void)host.RegisterApi("Bad", "Qi", [](GXWindowMain*, std::span<const GXSApiValue>) { return GXSApiValue {}; });
        (void)host.RegisterApi("Odd", "Vx", [](GXWindowMain*, std::span<const GXSApiValue>) { return GXSApiValue {}; });
        (void)host.RegisterApi("Ten", "Iiiiiiiiiii", [](GXWindowMain*, std::span<const GXSApiValue> a) {
            int n = 0;
            for (const auto& v : a)
                n += v.nInt;
            return GXSApiValue { n, 0.0, nullptr };
        });
    }
};

std::string Outcome(const SRun& run, GXScriptHost& host, CStubs& stubs);

std::string TrimmedOutcome(const SRun& run, GXScriptHost& host, CStubs& stubs)
{
    std::string s = Outcome(run, host, stubs);
    while (!s.empty() && s.back() == ' ')
        s.pop_back();
    return s;
}

std::string Outcome(const SRun& run, GXScriptHost& host, CStubs& stubs)
{
    const std::string& expect = run.strExpect;
    const std::string kind = expect.substr(0, expect.find(' '));
    if (kind == "tokens" || kind == "lexerror" || kind == "tokpos") {
        GXScriptLexer lexer;
        const int nErr = lexer.Tokenize(run.strText.c_str());
        if (kind == "tokpos") {
            std::string s = "tokpos";
            for (const SToken& t : lexer.Tokens())
                s.append(" ").append(
                    std::to_string(t.nKind) + "@" + std::to_string(t.nLine) + ":" + std::to_string(t.nCol));
            return s;
        }
        if (nErr != 0)
            return "lexerror " + std::to_string(nErr) + " " + std::to_string(lexer.Line()) + ":"
                + std::to_string(lexer.Col());
        return "tokens " + DumpTokens(lexer.Tokens());
    }
    if (kind == "tree" || kind == "parseerror") {
        GXScriptLexer lexer;
        if (lexer.Tokenize(run.strText.c_str()) != 0)
            return "lexerror";
        GXScriptParser parser;
        const int nErr = parser.Parse(lexer.Tokens());
        if (nErr != 0)
            return "parseerror " + std::to_string(nErr) + " " + std::to_string(parser.ErrorLine()) + ":"
                + std::to_string(parser.ErrorCol());
        SStmtPtr root = parser.TakeRoot();
        const std::string tree = scripttest::DumpChain(root.get());
        return "tree " + (tree.empty() ? std::string("<empty>") : tree);
    }
    if (kind == "log") {
        GXSVal result;
        int nCode = 0;
        (void)host.Run(run.strText.c_str(), &result, &nCode);
        std::string s = "log " + stubs.strLog;
        stubs.strLog.clear();
        return s;
    }
    GXSVal result = GXSVal::String("<untouched>");
    int nCode = -1;
    const int nOk = host.Run(run.strText.c_str(), &result, &nCode);
    if (nOk != (nCode == 0 ? 1 : 0))
        return "inconsistent return";
    if (nCode != 0) {
        std::string text;
        host.GetErrorText(text);
        return "error " + std::to_string(nCode) + " " + std::to_string(host.ErrorLine()) + ":"
            + std::to_string(host.ErrorCol()) + " " + text;
    }
    if (result.m_nType == GXSV_STRING && result.m_strText == "<untouched>")
        return "untouched";
    return DescribeValue(result);
}

// "parser_comparisons_do_not_chain": letters and digits of file and case
// (gtest refuses a name twice, so two cases of a file need different names).
std::string TestName(const testing::TestParamInfo<SGoldenCase>& info)
{
    std::string s = info.param.strFile + "_";
    for (char c : info.param.strName) {
        const bool bWord = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        if (bWord)
            s += c;
        else if (s.back() != '_')
            s += '_';
    }
    while (s.back() == '_')
        s.pop_back();
    return s;
}

class ScriptGolden : public testing::TestWithParam<SGoldenCase> { };

} // namespace

TEST_P(ScriptGolden, Matches)
{
    const SGoldenCase& c = GetParam();
    GXScriptHost host;
    CStubs stubs;
    stubs.Register(host);
    for (const SRun& run : c.runs) {
        const std::string got = TrimmedOutcome(run, host, stubs);
        EXPECT_EQ(got, run.strExpect) << c.strFile << ".gxs:" << run.nLine;
    }
}

INSTANTIATE_TEST_SUITE_P(Files, ScriptGolden, testing::ValuesIn(scripttest::LoadGoldenCases()), TestName);

TEST(ScriptGoldenFiles, HoldTheCases)
{
    EXPECT_GT(scripttest::LoadGoldenCases().size(), 50u);
}
