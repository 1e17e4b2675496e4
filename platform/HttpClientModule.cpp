// HttpGet through the download module, loaded on first use.
#include "platform/HttpClient.h"
#include "platform/HttpModuleEntry.h"

#include <dlfcn.h>

#include <cstdio>
#include <map>
#include <mutex>
#include <utility>

namespace platform {

namespace {

struct Modules {
    std::mutex lock;
    std::string path;
    // The entries of the modules loaded so far, null where loading failed.
    std::map<std::string, HttpModuleGet> entries;
};

Modules& TheModules()
{
    static Modules modules;
    return modules;
}

// The caller holds the lock. A module stays loaded: transfers on other
// threads may be running in it, and libcurl keeps global state.
HttpModuleGet Load(Modules& modules)
{
    const auto [it, added] = modules.entries.try_emplace(modules.path, nullptr);
    if (!added)
        return it->second;
    if (modules.path.empty()) {
        std::fprintf(stderr, "TavDJ: downloads cannot run: no download module was named\n");
        return nullptr;
    }
    void* library = dlopen(modules.path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        std::fprintf(stderr, "TavDJ: downloads cannot run: %s\n", dlerror());
        return nullptr;
    }
    it->second = reinterpret_cast<HttpModuleGet>(dlsym(library, kHttpModuleEntry));
    if (it->second == nullptr)
        std::fprintf(stderr, "TavDJ: downloads cannot run: %s has no %s\n", modules.path.c_str(), kHttpModuleEntry);
    return it->second;
}

} // namespace

void SetHttpModule(std::string path)
{
    Modules& modules = TheModules();
    const std::lock_guard lock(modules.lock);
    modules.path = std::move(path);
}

HttpGetResult HttpGet(const HttpGetRequest& request, HttpGetSink& sink, std::stop_token stop)
{
    HttpModuleGet get = nullptr;
    {
        Modules& modules = TheModules();
        const std::lock_guard lock(modules.lock);
        get = Load(modules);
    }
    if (get == nullptr)
        return HttpGetResult::Failed;
    switch (const int result = get(&request, &sink, &stop); result) {
    case int(HttpGetResult::Completed):
    case int(HttpGetResult::Stopped):
        return HttpGetResult(result);
    default:
        return HttpGetResult::Failed;
    }
}

} // namespace platform
