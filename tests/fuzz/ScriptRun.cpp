// Feeds arbitrary bytes to GXScriptHost::Run. NUL bytes split the input into
// successive runs on one host, so state carried between runs is covered too.
// Natives include ones that re-enter the host, as skin built-ins may.
#include <cstddef>
#include <cstdint>
#include <string>

#include "script/GXScriptHost.h"

namespace {

void RegisterStubs(GXScriptHost& host, std::string& scratch)
{
    (void)host.RegisterApi("Log", "Vs", [](GXWindowMain*, std::span<const GXSApiValue>) { return GXSApiValue {}; });
    (void)host.RegisterApi("Add1", "Ii", [](GXWindowMain*, std::span<const GXSApiValue> a) {
        return GXSApiValue { static_cast<int32_t>(static_cast<uint32_t>(a[0].nInt) + 1u), 0.0, nullptr };
    });
    (void)host.RegisterApi("Half", "Dd", [](GXWindowMain*, std::span<const GXSApiValue> a) {
        return GXSApiValue { 0, a[0].dbl / 2, nullptr };
    });
    (void)host.RegisterApi("Cat", "Sss", [&scratch](GXWindowMain*, std::span<const GXSApiValue> a) {
        scratch = std::string(a[0].pszText) + a[1].pszText;
        if (scratch.size() > 4096)
            scratch.resize(4096);
        return GXSApiValue { 0, 0.0, scratch.c_str() };
    });
    (void)host.RegisterApi("Null", "S", [](GXWindowMain*, std::span<const GXSApiValue>) { return GXSApiValue {}; });
    (void)host.RegisterApi("Bad", "Qi", [](GXWindowMain*, std::span<const GXSApiValue>) { return GXSApiValue {}; });
    (void)host.RegisterApi("Ten", "Iiiiiiiiiii", [](GXWindowMain*, std::span<const GXSApiValue>) {
        return GXSApiValue { 10, 0.0, nullptr };
    });
    (void)host.RegisterApi("Eval", "Is", [&host](GXWindowMain*, std::span<const GXSApiValue> a) {
        GXSVal result;
        int nCode = 0;
        (void)host.Run(a[0].pszText, &result, &nCode);
        return GXSApiValue { nCode, 0.0, nullptr };
    });
    (void)host.RegisterApi("Wipe", "V", [&host](GXWindowMain*, std::span<const GXSApiValue>) {
        host.Reset();
        return GXSApiValue {};
    });
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string scratch;
    GXScriptHost host;
    host.SetStepLimit(100000); // keeps every input well inside the time budget
    RegisterStubs(host, scratch);
    const std::string input(reinterpret_cast<const char*>(data), size);
    size_t start = 0;
    for (int nRun = 0; nRun < 4 && start <= input.size(); ++nRun) {
        size_t end = input.find('\0', start);
        if (end == std::string::npos)
            end = input.size();
        const std::string text = input.substr(start, end - start);
        GXSVal result;
        int nCode = 0;
        if (host.Run(text.c_str(), &result, &nCode) == 0) {
            std::string errorText;
            host.GetErrorText(errorText);
            (void)GXScriptHost::ErrorString(nCode);
        }
        start = end + 1;
    }
    return 0;
}
