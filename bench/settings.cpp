// Costs of the broadcast settings: they are loaded at start-up and saved at
// shutdown and after every change in the settings dialog, each key through
// the ini layer, which reads the file anew and replaces it on every write.
#include "engine/stream/CDJDataMan.h"
#include "engine/stream/CSysSoundOff2.h"

#include "support/EditSettings.h"
#include "support/TempHome.h"

#include <benchmark/benchmark.h>

static void LoadSettingsFromASavedFile(benchmark::State& state)
{
    TempHome home;
    CDJDataMan dm(home.Path("SETTING.ini"));
    EditSettings(dm, [](DJSettings& s) { s.m_nSystemSoundOff = 0; });
    dm.SaveSettings();
    for (auto _ : state)
        dm.LoadSettings("TavDJ");
    RestoreSystemSounds();
}
BENCHMARK(LoadSettingsFromASavedFile)->Unit(benchmark::kMillisecond);

static void SaveSettings(benchmark::State& state)
{
    TempHome home;
    CDJDataMan dm(home.Path("SETTING.ini"));
    for (auto _ : state)
        benchmark::DoNotOptimize(dm.SaveSettings());
}
BENCHMARK(SaveSettings)->Unit(benchmark::kMillisecond);
