// Costs of the shared utilities that callers use in loops: a settings read
// (the file is read anew each call, as the settings loader does dozens of
// times at start-up), the digests of one short text, and a registry read.
#include "foundation/AppRegistry.h"
#include "foundation/Blowfish.h"
#include "foundation/Ini.h"
#include "foundation/Md5.h"

#include "support/TempHome.h"

#include <benchmark/benchmark.h>

static void IniGetStringFromTypicalSettings(benchmark::State& state)
{
    TempHome home;
    for (int s = 0; s < 8; ++s) {
        for (int k = 0; k < 25; ++k)
            IniWriteString("Section" + std::to_string(s), ("Key" + std::to_string(k)).c_str(), "some value", "set.ini");
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(IniGetString("Section7", "Key24", "set.ini", ""));
}
BENCHMARK(IniGetStringFromTypicalSettings);

static void Md5HexOfAUserKey(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(Md5Hex(std::string_view("user-key-0123456789ABCDEF")));
}
BENCHMARK(Md5HexOfAUserKey);

static void BlowfishHexStringOfABoardKey(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(BlowfishHexString("board-key-0123456789"));
}
BENCHMARK(BlowfishHexStringOfABoardKey);

static void RegReadDwordFromTheStore(benchmark::State& state)
{
    TempHome home;
    for (int i = 0; i < 50; ++i)
        RegWriteDword("Value" + std::to_string(i), "Software\\VANDREL\\TavDJ", static_cast<uint32_t>(i));
    uint32_t out = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(RegReadDword("Value49", "Software\\VANDREL\\TavDJ", &out, 0));
}
BENCHMARK(RegReadDwordFromTheStore);
