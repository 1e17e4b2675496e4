#include "skin/controls/GXConStaticFade.h"

#include "foundation/GXmpData.h"
#include "platform/MessageRegistry.h"
#include "skin/GXSkinIds.h"
#include "skin/SkinFormat.h"

#include <algorithm>

GXConStaticFade::GXConStaticFade(GXConOwner* pOwner)
    : GXConBase(pOwner)
{
}

bool GXConStaticFade::Load(GDib* pBackBuffer, const GXmpData* pElement)
{
    (void)pElement->GetAttributeInt("FadeDelay", &m_nFadeDelay);
    // A step of 0 or less would never reach the next frame and keep the
    // fade timer running for ever.
    if (pElement->GetAttributeInt("FadeAmount", &m_nFadeAmount))
        m_nFadeAmount = std::max(1, m_nFadeAmount);
    GXStaticPicture::SLoadError error;
    if (!m_picture.Load(pElement, GetOwner(), "StaticFadeControlType", &error)) {
        SetError(error.nCode, "%s", error.detail.c_str());
        return false;
    }
    TakeImage();
    if (m_picture.IsAnimated())
        SetControlTimer(kFrameTimer, m_picture.GetAnimDelay());
    if (!LoadFont(pElement))
        return false;
    LoadTexts(pElement, kTextCount, EvalTexts::Yes);
    LoadTextColors(pElement, ShadowNeedsColor::Yes);
    std::string value;
    if (pElement->GetAttribute("TextAlign", &value))
        ParseTextFormat(value, &m_nTextFormat);
    (void)pElement->GetAttribute("OnEvent", &m_strEvent);
    int number = 0;
    if (pElement->GetAttributeInt("DefaultImageNum", &number))
        SetImageNum(number);
    m_click.Load(pElement);
    return GXConBase::Load(pBackBuffer, pElement);
}

void GXConStaticFade::TakeImage()
{
    const GDib* pImage = m_picture.GetImage();
    if (pImage == nullptr)
        return;
    m_display = *pImage;
    m_stripCopy = *pImage;
    if (!m_picture.IsAnimated())
        return;
    // One frame, the one being faded in; it starts as the frame shown.
    const int frameWidth = pImage->GetWidth() / m_picture.GetFrameCount();
    if (m_nextFrame.Create(std::max(1, frameWidth), pImage->GetHeight(), 24))
        m_stripCopy.DrawFrameTo(
            &m_nextFrame, 0, 0, m_picture.GetFrameCount(), m_picture.GetFrame(), GDib::Transparent::No);
}

int GXConStaticFade::Draw()
{
    if (m_rect.Width() <= 0 || m_rect.Height() <= 0)
        return 1;
    if (!IsTooSmall() && GetBackBuffer() != nullptr) {
        if (m_picture.GetMode() == GXStaticPicture::Mode::TileAnimation)
            m_picture.Draw(GetBackBuffer(), m_rect, &m_nextFrame, 0, 1);
        else
            m_picture.Draw(GetBackBuffer(), m_rect, &m_display, 0, m_picture.GetFrameCount());
        DrawText(0);
    }
    return GXConBase::Draw();
}

void GXConStaticFade::OnTimer(int nLocalId)
{
    if (nLocalId == kFrameTimer)
        NextFrame();
    else if (nLocalId == kFadeTimer)
        FadeStep();
}

void GXConStaticFade::NextFrame()
{
    SRect rect;
    GetRect(&rect);
    if (rect.IsEmpty())
        return;
    m_picture.NextFrame();
    m_stripCopy.DrawFrameTo(&m_nextFrame, 0, 0, m_picture.GetFrameCount(), m_picture.GetFrame(), GDib::Transparent::No);
    m_bFading = true;
    KillControlTimer(kFrameTimer);
    SetControlTimer(kFadeTimer, m_nFadeDelay);
}

void GXConStaticFade::FadeStep()
{
    // The buffer holds the shown frame from the load on; only a frame tick
    // starts a fade.
    if (m_nextFrame.IsEmpty() || !m_bFading)
        return;
    m_nFadeLevel
        = static_cast<int>(std::min<long long>(static_cast<long long>(m_nFadeLevel) + m_nFadeAmount, kFullWeight));
    m_nextFrame.AlphaBlendTo(&m_display, m_nFadeLevel, 0, 0);
    if (m_nFadeLevel >= kFullWeight) {
        m_nFadeLevel = 0;
        m_bFading = false;
        KillControlTimer(kFadeTimer);
        if (m_picture.GetMode() == GXStaticPicture::Mode::Animation)
            SetControlTimer(kFrameTimer, m_picture.GetAnimDelay());
    }
    Invalidate();
}

bool GXConStaticFade::ReadAlign(const GXmpData* pElement, SGxAlign* pAlign, int* pnError)
{
    if (!GXConBase::ReadAlign(pElement, pAlign, pnError))
        return false;
    m_picture.ReadAlign(pElement, pAlign, m_rectGaps, &m_sizeMin);
    return true;
}

void GXConStaticFade::OnSize(int cx, int cy)
{
    m_picture.OnSize(cx, cy);
}

void GXConStaticFade::SetText(const std::string& text, int nIndex)
{
    GXConBase::SetText(text, nIndex);
    if (!IsTooSmall())
        Invalidate();
}

void GXConStaticFade::Refresh()
{
    m_picture.RefillColor();
    Draw();
}

bool GXConStaticFade::OnButtonDown(int nButton, int, int, bool* pbCapture)
{
    // A press that may become a click is ours until the button goes up,
    // wherever that happens, so the window neither drags nor forwards it.
    const bool bHandled = m_click.GetMode() == GXStaticClick::Mode::Click && nButton == kButtonLeft && IsEnabled();
    *pbCapture = bHandled;
    if (m_click.ButtonDown(nButton, IsEnabled()) == GXStaticClick::Action::Command)
        NotifyCommand(static_cast<unsigned>(GetCommandId() != 0 ? GetCommandId() : GetControlId()));
    return bHandled;
}

bool GXConStaticFade::OnButtonUp(int, int x, int y, Captured)
{
    // Decided before notifying: a script the notification runs may unload
    // the skin and this control with it.
    const bool bHandled = m_click.GetMode() == GXStaticClick::Mode::Click;
    if (m_click.ButtonUp(GXConBase::HitTest(x, y)) == GXStaticClick::Action::Command) {
        if (!m_strEvent.empty())
            Notify(
                platform::RegisterMessage(GXMsgName::kStrCmd), reinterpret_cast<std::uintptr_t>(m_strEvent.c_str()), 0);
        else
            NotifyCommand(static_cast<unsigned>(GetCommandId() != 0 ? GetCommandId() : GetControlId()));
    }
    return bHandled;
}

bool GXConStaticFade::HitTest(int x, int y) const
{
    if (GetNcHitTest() >= 0 || !GetTooltip().empty())
        return true;
    return m_click.WantsMouse() && IsShown() && IsEnabled() && GXConBase::HitTest(x, y);
}

bool GXConStaticFade::SetImageNum(int nIndex)
{
    if (!m_picture.SelectImage(nIndex))
        return false;
    // The fades run over the strip now shown, from its first frame.
    TakeImage();
    Invalidate();
    return true;
}

int GXConStaticFade::GetImageNum() const
{
    return m_picture.GetImageIndex();
}
