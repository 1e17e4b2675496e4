// Reads arbitrary bytes as a BMP file in memory, the way skin images from a
// zip arrive, then converts and draws what loaded. The loader must stay
// inside the data and the image whatever the headers claim.
#include "skin/GDib.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    GDib image;
    if (!image.LoadBmpMemory(data, size)) {
        if (!image.IsEmpty())
            std::abort();
        return 0;
    }
    if (image.GetWidth() <= 0 || image.GetHeight() <= 0 || image.GetWidth() > GDib::kMaxSide
        || image.GetHeight() > GDib::kMaxSide)
        std::abort();
    if (!image.ConvertTo24() || image.GetBitCount() != 24)
        std::abort();
    // Touch the far corner and draw a corner of it into a small image.
    volatile std::uint8_t corner = image.GetPixelAddress(image.GetWidth() - 1, image.GetHeight() - 1)[2];
    (void)corner;
    GDib dest;
    if (!dest.Create24(8, 8))
        std::abort();
    image.CopyTransparentTo(&dest, -1, -1);
    image.AlphaBlendTo(&dest, 100, 2, 2);
    return 0;
}
