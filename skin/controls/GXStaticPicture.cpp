#include "skin/controls/GXStaticPicture.h"

#include "foundation/GXmpData.h"
#include "skin/GXConOwner.h"
#include "skin/SkinFormat.h"
#include "skin/SkinFrame.h"

#include <algorithm>
#include <climits>
#include <string_view>

namespace {

constexpr int kErrorMissing = 4;
constexpr int kErrorImage = 5;
constexpr int kErrorValue = 7;

// The ImageType words in the order of GXStaticPicture::Mode; any other
// word draws the image once, unscaled.
constexpr std::string_view kModeNames[]
    = { "tile", "stretch", "frame", "fillframe", "hframe", "vframe", "animation", "tileanimation" };

// Sums of skin numbers, kept inside int.
int Sum(long long a, long long b, long long c)
{
    return static_cast<int>(std::clamp<long long>(a + b + c, INT_MIN, INT_MAX));
}

std::string EvalName(GXConOwner* pOwner, const std::string& value)
{
    return !value.empty() && value[0] == '$' && pOwner != nullptr ? pOwner->EvalText(value) : value;
}

} // namespace

bool GXStaticPicture::Load(
    const GXmpData* pElement, GXConOwner* pOwner, const std::string& typeAttribute, SLoadError* pError)
{
    const std::string type = pElement->GetAttributeString(typeAttribute, "transparent");
    if (type == "bitmap") {
        if (!LoadImages(pElement, pOwner, pError))
            return false;
        m_kind = Kind::Bitmap;
        std::string mode;
        m_mode = Mode::Tile;
        if (pElement->GetAttribute("ImageType", &mode)) {
            m_mode = Mode::None;
            for (std::size_t i = 0; i < std::size(kModeNames); ++i) {
                if (mode == kModeNames[i])
                    m_mode = static_cast<Mode>(i);
            }
        }
        if (IsAnimated()) {
            int number = 1;
            (void)pElement->GetAttributeInt("AniSplit", &number);
            m_nFrames = std::max(1, number);
            m_nFrame = 0;
            if (pElement->GetAttributeInt("AnimDelay", &number))
                m_nAnimDelay = number;
            if (pElement->GetAttributeInt("AniDelay", &number))
                m_nAnimDelay = number;
        }
    } else if (type == "transparent") {
        m_kind = Kind::Transparent;
    } else if (type == "color") {
        m_kind = Kind::Color;
        std::string color;
        if (pElement->GetAttribute("ControlColor", &color))
            m_crControl = ParseSkinColor(color);
    } else {
        *pError = SLoadError { kErrorValue, typeAttribute + "=" + type };
        return false;
    }
    return true;
}

bool GXStaticPicture::LoadImages(const GXmpData* pElement, GXConOwner* pOwner, SLoadError* pError)
{
    std::string name;
    if (!pElement->GetAttribute("Image", &name)) {
        *pError = SLoadError { kErrorMissing, "Image" };
        return false;
    }
    for (int i = 0; i < kImageSlots; ++i) {
        const std::string attribute = i == 0 ? std::string("Image") : "Image" + std::to_string(i + 1);
        if (!pElement->GetAttribute(attribute, &name))
            continue;
        name = EvalName(pOwner, name);
        GDib* pImage = pOwner != nullptr ? pOwner->FindImage(name) : nullptr;
        if (pImage == nullptr) {
            *pError = SLoadError { kErrorImage, name };
            return false;
        }
        m_images[static_cast<std::size_t>(i)] = pImage;
    }
    m_pImage = m_images[static_cast<std::size_t>(m_nIndex)];
    return true;
}

bool GXStaticPicture::SelectImage(int nIndex)
{
    if (nIndex < 0 || nIndex >= kImageSlots || m_images[static_cast<std::size_t>(nIndex)] == nullptr)
        return false;
    m_nIndex = nIndex;
    m_pImage = m_images[static_cast<std::size_t>(nIndex)];
    return true;
}

void GXStaticPicture::Draw(GDib* pBack, const GXRect& rect, const GDib* pImage, int nFrame, int nFrames)
{
    const int w = rect.Width();
    const int h = rect.Height();
    if (m_kind == Kind::Color) {
        if (!m_colorBuffer.IsEmpty())
            m_colorBuffer.CopyTo(pBack, rect.left, rect.top, 0, 0, w, h);
        return;
    }
    if (m_kind != Kind::Bitmap || pImage == nullptr || pImage->IsEmpty())
        return;
    const GXRect whole { 0, 0, pImage->GetWidth(), pImage->GetHeight() };
    nFrames = std::max(1, nFrames);
    switch (m_mode) {
    case Mode::Tile:
        pImage->TileTo(-1, -1, pBack, rect, GDib::Transparent::Yes);
        break;
    case Mode::Stretch:
        // The cache only grows, so redrawing at one size never allocates.
        if (m_stretchCache.GetWidth() < w || m_stretchCache.GetHeight() < h)
            (void)m_stretchCache.Create24(
                std::max(w, m_stretchCache.GetWidth()), std::max(h, m_stretchCache.GetHeight()));
        pImage->StretchTo(&m_stretchCache, w, h);
        m_stretchCache.CopyTo(pBack, rect.left, rect.top, 0, 0, w, h);
        break;
    case Mode::Frame:
    case Mode::FillFrame:
        DrawFrameImage(pImage, pBack, whole, rect, m_mode == Mode::FillFrame ? FillCentre::Yes : FillCentre::No);
        break;
    case Mode::HFrame:
        DrawHFrameImage(pImage, pBack, whole, rect);
        break;
    case Mode::VFrame:
        DrawVFrameImage(pImage, pBack, whole, rect);
        break;
    case Mode::Animation:
        pImage->DrawFrameTo(pBack, rect.left, rect.top, nFrames, nFrame, GDib::Transparent::Yes);
        break;
    case Mode::TileAnimation: {
        const int frameWidth = pImage->GetWidth() / nFrames;
        // Cleared to the key each time: a see-through pixel of this frame
        // must not show the previous frame's pixel.
        if (m_frameBuffer.GetWidth() != frameWidth || m_frameBuffer.GetHeight() != pImage->GetHeight()) {
            if (!m_frameBuffer.Create24(frameWidth, pImage->GetHeight()))
                break;
        } else {
            m_frameBuffer.Fill(kGxColorKey);
        }
        pImage->DrawFrameTo(&m_frameBuffer, 0, 0, nFrames, nFrame, GDib::Transparent::Yes);
        m_frameBuffer.TileTo(-1, -1, pBack, rect, GDib::Transparent::Yes);
        break;
    }
    case Mode::None:
        pImage->CopyTransparentTo(
            pBack, rect.left, rect.top, 0, 0, std::min(w, pImage->GetWidth()), std::min(h, pImage->GetHeight()));
        break;
    }
}

void GXStaticPicture::OnSize(int cx, int cy)
{
    if (m_kind != Kind::Color || cx <= 0 || cy <= 0)
        return;
    if (m_colorBuffer.GetWidth() < cx || m_colorBuffer.GetHeight() < cy) {
        if (m_colorBuffer.Create(cx, cy, 24))
            m_colorBuffer.Fill(m_crControl);
    }
}

void GXStaticPicture::RefillColor()
{
    if (m_kind == Kind::Color && !m_colorBuffer.IsEmpty())
        m_colorBuffer.Fill(m_crControl);
}

void GXStaticPicture::ReadAlign(const GXmpData* pElement, SGxAlign* pAlign, const GXRect& gaps, GXSize* pMinSize) const
{
    if (m_pImage == nullptr)
        return;
    const int width = IsAnimated() ? m_pImage->GetWidth() / m_nFrames : m_pImage->GetWidth();
    AutoSize(pElement, pAlign, gaps, pMinSize, GXSize { width, m_pImage->GetHeight() });
}

void GXStaticPicture::AutoSize(
    const GXmpData* pElement, SGxAlign* pAlign, const GXRect& gaps, GXSize* pMinSize, GXSize picture)
{
    std::string value;
    if (pElement->GetAttribute("Width", &value) && value == "autosize") {
        pAlign->nWidth = Sum(picture.cx, gaps.left, gaps.right);
        if (pAlign->nType == SGxAlign::kNone)
            pAlign->rect.right = Sum(pAlign->rect.left, pAlign->nWidth, 0);
    }
    if (pElement->GetAttribute("Height", &value) && value == "autosize") {
        pAlign->nHeight = Sum(picture.cy, gaps.top, gaps.bottom);
        if (pAlign->nType == SGxAlign::kNone)
            pAlign->rect.bottom = Sum(pAlign->rect.top, pAlign->nHeight, 0);
    }
    if (pMinSize->cx == 0)
        pMinSize->cx = picture.cx;
    if (pMinSize->cy == 0)
        pMinSize->cy = picture.cy;
}
