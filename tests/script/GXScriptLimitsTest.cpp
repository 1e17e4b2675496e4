// Long and deeply nested texts: bounded nesting, iterative lists and chain
// deletion, so nothing a skin's script holds can exhaust the stack.
#include "script/GXScriptHost.h"

#include <gtest/gtest.h>

#include <string>

namespace {

int RunCode(GXScriptHost& host, const std::string& text, GXSVal* pResult = nullptr)
{
    GXSVal scratch;
    int nCode = -1;
    (void)host.Run(text.c_str(), pResult ? pResult : &scratch, &nCode);
    return nCode;
}

std::string Repeat(const std::string& s, int n)
{
    std::string out;
    for (int i = 0; i < n; ++i)
        out += s;
    return out;
}

} // namespace

TEST(GXScriptLimits, ParenthesesNestUpToTheCapAndFailWith200AtTheLastTokenBeyond)
{
    GXScriptHost host;
    GXSVal result;
    EXPECT_EQ(RunCode(host, "x = " + Repeat("(", 200) + "7" + Repeat(")", 200) + ";", &result), 0);
    EXPECT_EQ(result.m_num.n, 7);
    const std::string deep = "x = 1;\ny = " + Repeat("(", 300) + "7" + Repeat(")", 300) + ";";
    EXPECT_EQ(RunCode(host, deep), GXS_ERR_EOF);
    EXPECT_EQ(host.ErrorLine(), 1);
    EXPECT_EQ(host.ErrorCol(), static_cast<int>(deep.size() - deep.find('\n') - 2));
}

TEST(GXScriptLimits, UnaryChainsAndNestedBlocksAreCapped)
{
    GXScriptHost host;
    GXSVal result;
    EXPECT_EQ(RunCode(host, "x = " + Repeat("- ", 200) + "3;", &result), 0);
    EXPECT_EQ(result.m_num.n, 3);
    EXPECT_EQ(RunCode(host, "x = " + Repeat("!", 100000) + "3;"), GXS_ERR_EOF);
    EXPECT_EQ(RunCode(host, Repeat("{", 200) + "z = 1;" + Repeat("}", 200)), 0);
    EXPECT_EQ(RunCode(host, Repeat("{", 100000) + Repeat("}", 100000)), GXS_ERR_EOF);
    EXPECT_EQ(RunCode(host, Repeat("if (1) ", 100000) + "x = 1;"), GXS_ERR_EOF);
}

TEST(GXScriptLimits, LongStatementListsParseRunAndFreeWithoutRecursion)
{
    GXScriptHost host;
    GXSVal result;
    EXPECT_EQ(RunCode(host, "n = 0;" + Repeat("n = n + 1;", 50000), &result), 0);
    EXPECT_EQ(result.m_num.n, 50000);

    std::string body;
    for (int i = 0; i < 3000; ++i)
        body += "n = n + 1; if (n == 0) x = 1; else { y = 2; }";
    EXPECT_EQ(RunCode(host, "int f() {" + body + " return n; } n = 0; f();", &result), 0);
    EXPECT_EQ(result.m_num.n, 3000);

    std::string args;
    for (int i = 0; i < 5000; ++i)
        args += (i ? ", " : "") + std::to_string(i);
    EXPECT_EQ(RunCode(host, "nope(" + args + ");"), GXS_ERR_UNDECLARED_FUNC); // parsed; then not found
}

TEST(GXScriptLimits, HostileTextsEndPromptlyWithACode)
{
    GXScriptHost host;
    // Each a pattern that made the plain rules retry ranges over and over.
    EXPECT_EQ(RunCode(host, Repeat("if (a) ", 2000) + Repeat("{ x; } else ", 2000) + "y;"), GXS_ERR_EOF);
    const std::string badIfs = Repeat("if ((a) +) x = 1;", 3000);
    EXPECT_EQ(RunCode(host, "{" + badIfs + "}"), GXS_ERR_SYNTAX);
    const std::string ifs = Repeat("if ((a)) x = 1;", 3000);
    EXPECT_EQ(RunCode(host, "a = 0; {" + ifs + "}"), 0);
    EXPECT_EQ(RunCode(host, "x = f(" + Repeat("a - (b, ", 3000) + "c" + Repeat(")", 3000) + ");"), GXS_ERR_EOF);
}

TEST(GXScriptLimits, CallDepthIsBoundedAndTheStoreIsRestored)
{
    GXScriptHost host;
    GXSVal result;
    ASSERT_EQ(RunCode(host, "int down(int n) { int local; if (n == 0) return 0; return down(n - 1) + 1; }"), 0);
    EXPECT_EQ(RunCode(host, "down(250);", &result), 0);
    EXPECT_EQ(result.m_num.n, 250);
    EXPECT_EQ(RunCode(host, "down(100000);"), GXS_ERR_CALL_DEPTH);
    // The failed run unwound every frame: nothing of it is left to collide with.
    EXPECT_EQ(RunCode(host, "int local; down(3);", &result), 0);
    EXPECT_EQ(result.m_num.n, 3);
}

TEST(GXScriptLimits, StepLimitStopsExponentialRecursion)
{
    GXScriptHost host;
    host.SetStepLimit(100000);
    EXPECT_EQ(
        RunCode(host, "int f(int n) { if (n == 0) return 0; f(n - 1); return f(n - 1); } f(30);"), GXS_ERR_STEP_LIMIT);
    GXSVal result;
    EXPECT_EQ(RunCode(host, "f(5);", &result), 0); // the budget is per run
}
