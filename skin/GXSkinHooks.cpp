#include "skin/GXSkinHooks.h"

#include "foundation/OpenUrl.h"

#include <utility>

namespace {

constexpr int kIdOk = 1;

GXSkinHooks::MessageBoxFunc& MessageBoxHook()
{
    static GXSkinHooks::MessageBoxFunc fn;
    return fn;
}

GXSkinHooks::OpenUrlFunc& OpenUrlHook()
{
    static GXSkinHooks::OpenUrlFunc fn;
    return fn;
}

} // namespace

GXSkinHooks::MessageBoxFunc GXSkinHooks::SetMessageBox(MessageBoxFunc fn)
{
    return std::exchange(MessageBoxHook(), std::move(fn));
}

GXSkinHooks::OpenUrlFunc GXSkinHooks::SetOpenUrl(OpenUrlFunc fn)
{
    return std::exchange(OpenUrlHook(), std::move(fn));
}

int GXSkinHooks::MessageBox(GXWindowMain* pOwner, const std::string& text, const std::string& caption, int nType)
{
    // A copy: the box may run a loop in which the hook is replaced.
    const MessageBoxFunc fn = MessageBoxHook();
    return fn ? fn(pOwner, text, caption, nType) : kIdOk;
}

bool GXSkinHooks::OpenUrl(const std::string& url)
{
    const OpenUrlFunc fn = OpenUrlHook();
    return fn ? fn(url) : ::OpenUrl(url.c_str());
}
