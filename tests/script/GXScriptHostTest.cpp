#include "script/GXScriptHost.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

GXSApiValue NoOp(GXWindowMain*, std::span<const GXSApiValue>)
{
    return GXSApiValue {};
}

int RunCode(GXScriptHost& host, const std::string& text, GXSVal* pResult = nullptr)
{
    GXSVal scratch;
    int nCode = -1;
    (void)host.Run(text.c_str(), pResult ? pResult : &scratch, &nCode);
    return nCode;
}

} // namespace

TEST(GXScriptHost, EmptyOrCommentOnlyTextSucceedsAndLeavesResultUntouched)
{
    GXScriptHost host;
    for (const char* text : { "", "  \n\t", "/* c */ // d", static_cast<const char*>(nullptr) }) {
        GXSVal result = GXSVal::Int(42);
        int nCode = -1;
        EXPECT_EQ(host.Run(text, &result, &nCode), 1);
        EXPECT_EQ(nCode, 0);
        EXPECT_EQ(result.m_nType, GXSV_INT);
        EXPECT_EQ(result.m_num.n, 42);
    }
}

TEST(GXScriptHost, ResetDropsVariablesAndFunctionsButKeepsNatives)
{
    GXScriptHost host;
    int nCalls = 0;
    ASSERT_EQ(host.RegisterApi("Tick", "V",
                  [&](GXWindowMain*, std::span<const GXSApiValue>) {
                      ++nCalls;
                      return GXSApiValue {};
                  }),
        1);
    ASSERT_EQ(RunCode(host, "x = 1; int f() { return 2; }"), 0);
    EXPECT_TRUE(host.HasFunction("f"));
    host.Reset();
    EXPECT_FALSE(host.HasFunction("f"));
    EXPECT_EQ(RunCode(host, "int x; int f() { return 3; } Tick();"), 0); // no 304 or 305 now
    EXPECT_EQ(nCalls, 1);
    GXSVal result;
    EXPECT_EQ(RunCode(host, "f();", &result), 0);
    EXPECT_EQ(result.m_num.n, 3);
}

TEST(GXScriptHost, RegistrationRefusesBadNamesSignaturesAndDuplicates)
{
    GXScriptHost host;
    EXPECT_EQ(host.RegisterApi("", "V", NoOp), 0);
    EXPECT_EQ(host.RegisterApi("A", "", NoOp), 0);
    EXPECT_EQ(host.RegisterApi("A", nullptr, NoOp), 0);
    EXPECT_EQ(host.RegisterApi("A", "Viiiiiiiiiii", NoOp), 0); // 12 letters
    EXPECT_EQ(host.RegisterApi("A", "V", GXSApiFunc()), 0);
    EXPECT_EQ(host.RegisterApi("A", "Viiiiiiiiii", NoOp), 1); // 11 letters
    EXPECT_EQ(host.RegisterApi("A", "V", NoOp), 0); // the first one stays
    EXPECT_EQ(host.RegisterApi("B", "Zq", NoOp), 1); // letters are not looked at
    EXPECT_EQ(RunCode(host, "A(1, 2, 3, 4, 5, 6, 7, 8, 9, 10);"), 0);
    EXPECT_EQ(RunCode(host, "A(1);"), GXS_ERR_PARAM_COUNT);
}

TEST(GXScriptHost, WindowNativesReceiveTheirWindow)
{
    GXScriptHost host;
    auto* pWindow = reinterpret_cast<GXWindowMain*>(0x1234);
    std::vector<GXWindowMain*> seen;
    auto record = [&](GXWindowMain* w, std::span<const GXSApiValue>) {
        seen.push_back(w);
        return GXSApiValue {};
    };
    ASSERT_EQ(host.RegisterWindowApi("W", "V", record, pWindow), 1);
    ASSERT_EQ(host.RegisterApi("N", "V", record), 1);
    EXPECT_EQ(RunCode(host, "W(); N();"), 0);
    EXPECT_EQ(seen, (std::vector<GXWindowMain*> { pWindow, nullptr }));
}

TEST(GXScriptHost, StringArgumentsStayValidDuringTheCall)
{
    GXScriptHost host;
    std::string got;
    ASSERT_EQ(host.RegisterApi("Take", "Vss",
                  [&](GXWindowMain*, std::span<const GXSApiValue> a) {
                      got = std::string(a[0].pszText) + "|" + a[1].pszText;
                      return GXSApiValue {};
                  }),
        1);
    EXPECT_EQ(RunCode(host, "s = \"long enough to leave the small buffer\"; Take(s + \"!\", \"가나\");"), 0);
    EXPECT_EQ(got, "long enough to leave the small buffer!|가나");
}

TEST(GXScriptHost, ErrorStringCoversTheTableAndUnknownCodes)
{
    EXPECT_EQ(GXScriptHost::ErrorString(0), "no error");
    EXPECT_EQ(GXScriptHost::ErrorString(110), "err at ctoi()");
    EXPECT_EQ(GXScriptHost::ErrorString(111), "invalid DBCS");
    EXPECT_EQ(GXScriptHost::ErrorString(117), "unexpected eof comment");
    EXPECT_EQ(GXScriptHost::ErrorString(200), "unexpected eof");
    EXPECT_EQ(GXScriptHost::ErrorString(201), "syntax error");
    EXPECT_EQ(GXScriptHost::ErrorString(300), "internal error(vm)");
    EXPECT_EQ(GXScriptHost::ErrorString(310), "invalid api parameter count");
    EXPECT_EQ(GXScriptHost::ErrorString(312), "assign failed (undefined type)");
    EXPECT_EQ(GXScriptHost::ErrorString(999), "GXScript err(code:999)");
    EXPECT_EQ(GXScriptHost::ErrorString(-5), "GXScript err(code:-5)");
}

TEST(GXScriptHost, GetSourceLineTrimsAndDropsCarriageReturns)
{
    std::string out = "stale";
    GetSourceLine("a\r\n  b c \r\n", out, 1);
    EXPECT_EQ(out, "b c");
    GetSourceLine("a\nb", out, 2);
    EXPECT_EQ(out, "");
    GetSourceLine("a\nb", out, -1);
    EXPECT_EQ(out, "");
    GetSourceLine("\tx\r", out, 0);
    EXPECT_EQ(out, "x");
}

TEST(GXScriptHost, UtfSequenceCutOffAtTheEndIs111)
{
    GXScriptHost host;
    EXPECT_EQ(RunCode(host, "ab\xEA\xB0"), GXS_ERR_DBCS);
    EXPECT_EQ(host.ErrorLine(), 0);
    EXPECT_EQ(RunCode(host, "x\xC3"), GXS_ERR_DBCS);
    GXSVal result;
    EXPECT_EQ(RunCode(host, "변수\xEA\xB0\x80 = 3; 변수\xEA\xB0\x80;", &result), GXS_ERR_TOKEN); // must start ASCII
    EXPECT_EQ(RunCode(host, "v\xEA\xB0\x80 = 3; v\xEA\xB0\x80;", &result), 0);
    EXPECT_EQ(result.m_num.n, 3);
}

TEST(GXScriptHost, TraceHookReceivesParserAndInterpreterReports)
{
    GXScriptHost host;
    std::vector<std::string> lines;
    EXPECT_EQ(RunCode(host, "x = ;"), GXS_ERR_EOF); // no hook: nothing traced, nothing breaks
    host.SetTrace([&](const std::string& s) { lines.push_back(s); });
    EXPECT_EQ(RunCode(host, "\n x = ;"), GXS_ERR_EOF);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], "@@rGXScriptParser::Error(err:200 line:1 col:5)");
    lines.clear();
    EXPECT_EQ(RunCode(host, "int f() { { return 1 / 0; } } f();"), GXS_ERR_DIV_ZERO);
    EXPECT_EQ(lines,
        (std::vector<std::string> { "@@rGXScriptVM::Error - 303", "@@r GXScriptVM Call stack - [0], []",
            "@@r GXScriptVM Call stack - [1], [f]", "@@r GXScriptVM Call stack - [2], []" }));
}

TEST(GXScriptHost, FailedRunsKeepWhatTheyDidBeforeTheError)
{
    GXScriptHost host;
    GXSVal result;
    int nCode = 0;
    EXPECT_EQ(host.Run("a = 1; int f() { return 2; } b = 1 / 0; c = 3;", &result, &nCode), 0);
    EXPECT_EQ(nCode, GXS_ERR_DIV_ZERO);
    EXPECT_EQ(result.m_num.n, 1); // the last value written before the error
    EXPECT_TRUE(host.HasFunction("f"));
    EXPECT_EQ(RunCode(host, "a + f();", &result), 0);
    EXPECT_EQ(result.m_num.n, 3);
}
