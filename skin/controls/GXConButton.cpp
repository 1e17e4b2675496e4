#include "skin/controls/GXConButton.h"

#include "foundation/GXmpData.h"
#include "platform/MessageRegistry.h"
#include "skin/GXConOwner.h"
#include "skin/GXSkinIds.h"
#include "skin/SkinFormat.h"
#include "skin/SkinFrame.h"
#include "skin/controls/GXStaticPicture.h"

#include <cstdlib>

namespace {

constexpr int kErrorMissing = 4;
constexpr int kErrorImage = 5;
constexpr int kErrorValue = 7;
constexpr int kButtonTexts = 4;

// Frames shown for disabled, normal, hot and pressed, by Split.
struct SSplitFrames {
    int nSplit;
    int frames[4];
};
constexpr SSplitFrames kSplitFrames[] = {
    { 1, { 0, 0, 0, 0 } },
    { 2, { 0, 0, 0, 1 } },
    { 3, { 0, 0, 0, 1 } },
    { 4, { 3, 0, 1, 2 } },
    { 5, { 3, 0, 1, 2 } },
    { -3, { 0, 0, 1, 2 } },
};

} // namespace

GXConButton::GXConButton(GXConOwner* pOwner)
    : GXConBase(pOwner)
{
    m_nTextFormat = kButtonTextFormat;
}

int GXConButton::FrameFor(int nSplit, State state, bool bEnabled)
{
    for (const SSplitFrames& row : kSplitFrames) {
        if (row.nSplit == nSplit)
            return row.frames[bEnabled ? static_cast<int>(state) + 1 : 0];
    }
    return 0;
}

int GXConButton::GetFrameIndex() const
{
    return FrameFor(m_nSplit, m_state, IsEnabled());
}

bool GXConButton::Load(GDib* pBackBuffer, const GXmpData* pElement)
{
    if (!LoadType(pElement) || !LoadFont(pElement))
        return false;
    LoadTexts(pElement, kButtonTexts, EvalTexts::Yes);
    LoadTextColors(pElement, ShadowNeedsColor::No);
    std::string value;
    if (pElement->GetAttribute("TextAlign", &value))
        ParseTextFormat(value, &m_nTextFormat);
    (void)pElement->GetAttribute("OnEvent", &m_strEvent);
    int number = 0;
    if (pElement->GetAttributeInt("DefaultImageNum", &number))
        SetImageNum(number);
    return GXConBase::Load(pBackBuffer, pElement);
}

bool GXConButton::LoadType(const GXmpData* pElement)
{
    std::string type;
    if (!pElement->GetAttribute("ButtonControlType", &type)) {
        SetError(kErrorMissing, "ButtonControlType");
        return false;
    }
    std::string split;
    m_nSplit = 4;
    if (pElement->GetAttribute("Split", &split)) {
        const bool bKnown
            = split == "1" || split == "2" || split == "3" || split == "4" || split == "5" || split == "-3";
        if (!bKnown) {
            SetError(kErrorValue, "%s=%s", "Split", split.c_str());
            return false;
        }
        m_nSplit = std::atoi(split.c_str());
    }
    if (type == "bitmap" || type == "framebitmap" || type == "fillframe") {
        std::string name;
        if (!pElement->GetAttribute("Image", &name)) {
            SetError(kErrorMissing, "Image");
            return false;
        }
        for (int i = 0; i < kImageSlots; ++i) {
            const std::string attribute = i == 0 ? std::string("Image") : "Image" + std::to_string(i + 1);
            if (!pElement->GetAttribute(attribute, &name))
                continue;
            name = Evaluate(name);
            GDib* pImage = FindImage(name);
            if (pImage == nullptr) {
                SetError(kErrorImage, "%s", name.c_str());
                return false;
            }
            m_images[static_cast<std::size_t>(i)] = pImage;
        }
        m_type = Type::Image;
        m_pImage = m_images[static_cast<std::size_t>(m_nImageIndex)];
        if (m_pImage != nullptr)
            m_sizeDefault = GXSize { m_pImage->GetWidth() / std::abs(m_nSplit), m_pImage->GetHeight() };
        m_bFrameMode = type != "bitmap";
    } else if (type == "transparent") {
        m_type = Type::Transparent;
    } else if (type == "color") {
        m_type = Type::Color;
        std::string color;
        if (pElement->GetAttribute("ControlColor", &color))
            m_crControl = ParseSkinColor(color);
    } else {
        SetError(kErrorValue, "%s=%s", "ButtonControlType", type.c_str());
        return false;
    }
    return true;
}

int GXConButton::Draw()
{
    if (m_rect.Width() <= 0 || m_rect.Height() <= 0)
        return 1;
    GDib* pBack = GetBackBuffer();
    if (IsTooSmall() || pBack == nullptr)
        return GXConBase::Draw();
    const int k = GetFrameIndex();
    if (m_type == Type::Image && m_pImage != nullptr) {
        const int frames = std::abs(m_nSplit);
        if (m_bFrameMode) {
            const int fw = m_pImage->GetWidth() / frames;
            const GXRect source { k * fw, 0, (k + 1) * fw, m_pImage->GetHeight() };
            DrawFrameImage(m_pImage, pBack, source, m_rect, FillCentre::Yes);
        } else {
            m_pImage->DrawFrameTo(pBack, m_rect.left, m_rect.top, frames, k, GDib::Transparent::Yes);
        }
    } else if (m_type == Type::Color && !m_colorBuffer.IsEmpty()) {
        m_colorBuffer.CopyTo(pBack, m_rect.left, m_rect.top, 0, 0, m_rect.Width(), m_rect.Height());
    }
    const int textIndex = static_cast<int>(m_state);
    if (IsEnabled() && !GetText(textIndex).empty())
        DrawText(textIndex);
    else if (!GetText(0).empty())
        DrawText(0);
    return GXConBase::Draw();
}

bool GXConButton::ReadAlign(const GXmpData* pElement, SGxAlign* pAlign, int* pnError)
{
    if (!GXConBase::ReadAlign(pElement, pAlign, pnError))
        return false;
    if (m_pImage != nullptr)
        GXStaticPicture::AutoSize(pElement, pAlign, m_rectGaps, &m_sizeMin, m_sizeDefault);
    return true;
}

void GXConButton::OnSize(int cx, int cy)
{
    if (m_type != Type::Color || cx <= 0 || cy <= 0)
        return;
    if (m_colorBuffer.GetWidth() < cx || m_colorBuffer.GetHeight() < cy) {
        if (m_colorBuffer.Create(cx, cy, 24))
            m_colorBuffer.Fill(m_crControl);
    }
}

void GXConButton::GetRect(SRect* pRect) const
{
    *pRect = m_rect;
    if (m_rect.IsEmpty())
        *pRect = SRect { m_rect.left, m_rect.top, m_rect.left + m_sizeDefault.cx, m_rect.top + m_sizeDefault.cy };
}

bool GXConButton::OnMouseMove(int x, int y, Captured, bool* pbWantLeave)
{
    if (m_state != State::Normal || !GXConBase::HitTest(x, y))
        return false;
    m_state = State::Hot;
    if (!HasHotFrame())
        return false;
    *pbWantLeave = true;
    return true;
}

bool GXConButton::OnMouseLeave()
{
    if (m_state != State::Hot)
        return false;
    m_state = State::Normal;
    if (!HasHotFrame())
        return false;
    Invalidate();
    return true;
}

bool GXConButton::OnButtonDown(int nButton, int, int, bool* pbCapture)
{
    if (!IsEnabled() || m_nHeldButton != 0 || IsTooSmall() || nButton == kButtonMiddle)
        return false;
    if (nButton == kButtonRight && GetRCommandId() == 0 && GetControlId2() == 0)
        return false;
    m_state = State::Pressed;
    m_nHeldButton = nButton;
    *pbCapture = true;
    return true;
}

bool GXConButton::OnButtonUp(int nButton, int x, int y, Captured)
{
    if (m_state != State::Pressed || nButton != m_nHeldButton)
        return false;
    const bool bInside = GXConBase::HitTest(x, y);
    m_state = bInside ? State::Hot : State::Normal;
    m_nHeldButton = 0;
    RequestRefresh();
    // The notification comes last: a script it runs may unload the skin
    // and this button with it.
    if (!bInside)
        return true;
    if (nButton == kButtonLeft || nButton == kButtonDoubleClick) {
        if (!m_strEvent.empty())
            Notify(
                platform::RegisterMessage(GXMsgName::kStrCmd), reinterpret_cast<std::uintptr_t>(m_strEvent.c_str()), 0);
        else
            NotifyCommand(static_cast<unsigned>(GetCommandId() != 0 ? GetCommandId() : GetControlId()));
    } else if (nButton == kButtonRight) {
        NotifyCommand(static_cast<unsigned>(GetRCommandId() != 0 ? GetRCommandId() : GetControlId2()));
    }
    return true;
}

bool GXConButton::SetImageNum(int nIndex)
{
    if (nIndex < 0 || nIndex >= kImageSlots || m_images[static_cast<std::size_t>(nIndex)] == nullptr)
        return false;
    m_nImageIndex = nIndex;
    m_pImage = m_images[static_cast<std::size_t>(nIndex)];
    m_state = State::Normal;
    Invalidate();
    return true;
}
