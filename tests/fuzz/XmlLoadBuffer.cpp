// Skins come from strangers: any bytes given to GXmp::LoadBuffer must load or
// fail cleanly, and whatever tree is left must be safe to walk.
#include "foundation/GXmp.h"

#include <climits>
#include <cstddef>
#include <cstdint>
#include <string>

namespace {

size_t Walk(const GXmpData* pNode)
{
    size_t n = pNode->GetName().size() + pNode->GetText().size() + pNode->GetBody().size();
    int value = 0;
    std::string text;
    n += pNode->GetAttributeInt("id", &value) ? 1 : 0;
    n += pNode->GetAttribute("name", &text) ? text.size() : 0;
    n += pNode->FindChild("a", true) != nullptr;
    n += pNode->FindChildInstruction("Script", false) != nullptr;
    GXmpData::Position pos = pNode->GetFirstChildPosition();
    while (const GXmpData* pChild = pNode->GetNextChild(pos))
        n += Walk(pChild);
    return n;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > INT_MAX)
        return 0;
    GXmp xmp;
    // An odd first byte (as in either byte-order mark) loads under the Korean
    // code page, so the conversions into it are exercised too.
    if (size > 0 && (data[0] & 1))
        xmp.SetCodePage(949);
    (void)xmp.LoadBuffer(reinterpret_cast<const char*>(data), static_cast<int>(size));
    volatile size_t sink = xmp.GetErrorMessage().size();
    int line = 0, column = 0;
    xmp.GetErrorPosition(&line, &column);
    if (const GXmpData* pRoot = xmp.GetRoot())
        sink = sink + Walk(pRoot);
    (void)sink;
    return 0;
}
