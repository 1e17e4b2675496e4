// The script language against Lua 5.4 on the same work:
//   Click: Run("OnClick();") with a 10-statement handler calling three no-op
//          natives, against luaL_loadstring + call of the same.
//   Fib:   fib(20) written with temporaries, each compiled once.
//   Load:  one Run of a 300-statement function declaration, against
//          luaL_loadstring of the same function.
//   Nest:  one Run of an assignment whose value is nested N brackets deep,
//          on the left "x = ((1 + 1) + 1) + 1;" or on the right
//          "x = 1 + (1 + (1 + 1));", against luaL_loadstring of the same;
//          the time per level must stay flat as N grows.
// Goals: Click within 3x of Lua, Fib within 10x, Load under 5 ms.
// Each case checks what the work produced (the handler's value and its
// native calls, fib's value, the loaded function's value when called)
// before its figure counts.
#include <benchmark/benchmark.h>

#include <lua.hpp>

#include <string>

#include "script/GXScriptHost.h"

namespace {

// Calls of the natives, so a case can tell that its script reached them.
int64_t g_nNativeCalls = 0;

GXSApiValue NoOp(GXWindowMain*, std::span<const GXSApiValue>)
{
    ++g_nNativeCalls;
    return GXSApiValue {};
}
int LuaNoOp(lua_State*)
{
    ++g_nNativeCalls;
    return 0;
}

// What OnClick returns: a = 1, b = 3, c = 9, d = 8, e = 8, f = 9.
constexpr int kClickResult = 9;
constexpr int kClickNatives = 3;

const char kClickScript[] = "int OnClick() {\n"
                            "  int a; int b; int c; int d; int e; int f;\n"
                            "  a = 1;\n"
                            "  b = a + 2;\n"
                            "  NopA();\n"
                            "  c = b * 3;\n"
                            "  NopB(a);\n"
                            "  d = c - a;\n"
                            "  if (d > 2) e = d; else e = 0;\n"
                            "  NopC(\"x\");\n"
                            "  f = e + 1;\n"
                            "  return f;\n"
                            "}\n";

const char kClickLua[] = "function OnClick()\n"
                         "  local a, b, c, d, e, f\n"
                         "  a = 1\n"
                         "  b = a + 2\n"
                         "  NopA()\n"
                         "  c = b * 3\n"
                         "  NopB(a)\n"
                         "  d = c - a\n"
                         "  if d > 2 then e = d else e = 0 end\n"
                         "  NopC(\"x\")\n"
                         "  f = e + 1\n"
                         "  return f\n"
                         "end\n";

const char kFibScript[]
    = "int fib(int n) { int a; int b; if (n < 2) return n; a = fib(n - 1); b = fib(n - 2); return a + b; }";

const char kFibLua[]
    = "function fib(n) local a, b if n < 2 then return n end a = fib(n - 1) b = fib(n - 2) return a + b end";

// The same 300-statement function in either language; each template's "#"
// stands for the statement's number.
std::string LoadText(const char* pszHead, const char* const (&templates)[4], const char* pszTail)
{
    std::string s = pszHead;
    for (int i = 1; i < 300; ++i) {
        std::string line = templates[i % 4];
        line.replace(line.find('#'), 1, std::to_string(i));
        s += line;
    }
    return s + pszTail;
}

std::string LoadScript()
{
    static const char* const kLines[4] = { "  b = a * # + 1;\n", "  if (b > #) c = b - a; else c = a;\n",
        "  Nop(\"step\", #);\n", "  a = c % 7 + #;\n" };
    return LoadText("int Load(int p) {\n  int a; int b; int c;\n  a = p;\n", kLines, "  return a + b + c;\n}\n");
}

std::string LoadLua()
{
    static const char* const kLines[4] = { "  b = a * # + 1\n", "  if b > # then c = b - a else c = a end\n",
        "  Nop(\"step\", #)\n", "  a = c % 7 + #\n" };
    return LoadText("function Load(p)\n  local a, b, c\n  a = p\n", kLines, "  return a + b + c\nend\n");
}

// What Load(p) returns, worked out here the same way (its ints start at 0).
int64_t LoadResult(int64_t p)
{
    int64_t a = p, b = 0, c = 0;
    for (int64_t i = 1; i < 300; ++i) {
        switch (i % 4) {
        case 0:
            b = a * i + 1;
            break;
        case 1:
            c = b > i ? b - a : a;
            break;
        case 3:
            a = c % 7 + i;
            break;
        default:
            break;
        }
    }
    return a + b + c;
}

void ClickScript(benchmark::State& state)
{
    GXScriptHost host;
    (void)host.RegisterApi("NopA", "V", NoOp);
    (void)host.RegisterApi("NopB", "Vi", NoOp);
    (void)host.RegisterApi("NopC", "Vs", NoOp);
    int nCode = 0;
    GXSVal result;
    if (!host.Run(kClickScript, &result, &nCode))
        state.SkipWithError("handler did not load");
    g_nNativeCalls = 0;
    for (auto _ : state) {
        if (!host.Run("OnClick();", &result, &nCode) || result.m_nType != GXSV_INT || result.m_num.n != kClickResult)
            state.SkipWithError("click failed");
        benchmark::DoNotOptimize(result);
    }
    if (g_nNativeCalls != kClickNatives * static_cast<int64_t>(state.iterations()))
        state.SkipWithError("the handler did not call its natives");
}
BENCHMARK(ClickScript)->Iterations(100000);

void ClickLua(benchmark::State& state)
{
    lua_State* L = luaL_newstate();
    luaL_openlibs(L);
    lua_register(L, "NopA", LuaNoOp);
    lua_register(L, "NopB", LuaNoOp);
    lua_register(L, "NopC", LuaNoOp);
    if (luaL_dostring(L, kClickLua) != LUA_OK)
        state.SkipWithError("handler did not load");
    g_nNativeCalls = 0;
    for (auto _ : state) {
        if (luaL_loadstring(L, "return OnClick()") != LUA_OK || lua_pcall(L, 0, 1, 0) != LUA_OK
            || lua_tointeger(L, -1) != kClickResult)
            state.SkipWithError("click failed");
        lua_pop(L, 1);
    }
    lua_close(L);
    if (g_nNativeCalls != kClickNatives * static_cast<int64_t>(state.iterations()))
        state.SkipWithError("the handler did not call its natives");
}
BENCHMARK(ClickLua)->Iterations(100000);

void FibScript(benchmark::State& state)
{
    GXScriptHost host;
    int nCode = 0;
    GXSVal result;
    if (!host.Run(kFibScript, &result, &nCode))
        state.SkipWithError("fib did not load");
    for (auto _ : state) {
        if (!host.Run("fib(20);", &result, &nCode) || result.m_num.n != 6765)
            state.SkipWithError("fib failed");
    }
}
BENCHMARK(FibScript)->Unit(benchmark::kMillisecond);

void FibLua(benchmark::State& state)
{
    lua_State* L = luaL_newstate();
    luaL_openlibs(L);
    if (luaL_dostring(L, kFibLua) != LUA_OK)
        state.SkipWithError("fib did not load");
    for (auto _ : state) {
        lua_getglobal(L, "fib");
        lua_pushinteger(L, 20);
        if (lua_pcall(L, 1, 1, 0) != LUA_OK || lua_tointeger(L, -1) != 6765)
            state.SkipWithError("fib failed");
        lua_pop(L, 1);
    }
    lua_close(L);
}
BENCHMARK(FibLua)->Unit(benchmark::kMillisecond);

void LoadScriptRun(benchmark::State& state)
{
    const std::string text = LoadScript();
    GXScriptHost host;
    (void)host.RegisterApi("Nop", "Vsi", NoOp);
    int nCode = 0;
    GXSVal result;
    for (auto _ : state) {
        host.Reset();
        if (!host.Run(text.c_str(), &result, &nCode))
            state.SkipWithError("load failed");
    }
    // The last load's function, called once outside the timing.
    if (!host.Run("Load(5);", &result, &nCode) || result.m_nType != GXSV_INT || result.m_num.n != LoadResult(5))
        state.SkipWithError("the loaded function did not work");
}
BENCHMARK(LoadScriptRun)->Unit(benchmark::kMillisecond);

void LoadLuaCompile(benchmark::State& state)
{
    const std::string text = LoadLua();
    lua_State* L = luaL_newstate();
    for (auto _ : state) {
        if (luaL_loadstring(L, text.c_str()) != LUA_OK)
            state.SkipWithError("load failed");
        lua_pop(L, 1);
    }
    lua_close(L);
}
BENCHMARK(LoadLuaCompile)->Unit(benchmark::kMillisecond);

// nLevels brackets, each level adding one; nRight 0 nests on the left.
std::string NestText(int nLevels, int nRight)
{
    std::string s = "x = ";
    for (int i = 0; i < nLevels; ++i)
        s += nRight ? "1 + (" : "(";
    s += nRight ? "1 + 1" : "1";
    for (int i = 0; i < nLevels; ++i)
        s += nRight ? ")" : " + 1)";
    return s + (nRight ? ";" : " + 1;");
}

void NestScript(benchmark::State& state)
{
    const int nLevels = static_cast<int>(state.range(0));
    const std::string text = NestText(nLevels, static_cast<int>(state.range(1)));
    GXScriptHost host;
    int nCode = 0;
    GXSVal result;
    for (auto _ : state) {
        if (!host.Run(text.c_str(), &result, &nCode) || result.m_num.n != nLevels + 2)
            state.SkipWithError("nested expression failed");
    }
    state.SetItemsProcessed(state.iterations() * nLevels);
}
BENCHMARK(NestScript)->ArgsProduct({ { 25, 50, 90 }, { 0, 1 } })->ArgNames({ "levels", "right" });

void NestLua(benchmark::State& state)
{
    const std::string text = NestText(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    lua_State* L = luaL_newstate();
    for (auto _ : state) {
        if (luaL_loadstring(L, text.c_str()) != LUA_OK)
            state.SkipWithError("load failed");
        lua_pop(L, 1);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
    lua_close(L);
}
BENCHMARK(NestLua)->ArgsProduct({ { 25, 50, 90 }, { 0, 1 } })->ArgNames({ "levels", "right" });

} // namespace
