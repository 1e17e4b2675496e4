#include "skin/controls/GXConStatic.h"

#include "foundation/GXmpData.h"
#include "platform/MessageRegistry.h"
#include "skin/GDib.h"
#include "skin/GXSkinIds.h"
#include "skin/SkinFormat.h"

GXConStatic::GXConStatic(GXConOwner* pOwner)
    : GXConBase(pOwner)
{
}

bool GXConStatic::Load(GDib* pBackBuffer, const GXmpData* pElement)
{
    GXStaticPicture::SLoadError error;
    if (!m_picture.Load(pElement, GetOwner(), "StaticControlType", &error)) {
        SetError(error.nCode, "%s", error.detail.c_str());
        return false;
    }
    if (m_picture.IsAnimated())
        SetControlTimer(kAnimationTimer, m_picture.GetAnimDelay());
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

int GXConStatic::Draw()
{
    if (m_rect.Width() <= 0 || m_rect.Height() <= 0)
        return 1;
    if (!IsTooSmall() && GetBackBuffer() != nullptr) {
        m_picture.Draw(GetBackBuffer(), m_rect, m_picture.GetImage(), m_picture.GetFrame(), m_picture.GetFrameCount());
        DrawText(0);
    }
    return GXConBase::Draw();
}

bool GXConStatic::ReadAlign(const GXmpData* pElement, SGxAlign* pAlign, int* pnError)
{
    if (!GXConBase::ReadAlign(pElement, pAlign, pnError))
        return false;
    m_picture.ReadAlign(pElement, pAlign, m_rectGaps, &m_sizeMin);
    return true;
}

void GXConStatic::OnSize(int cx, int cy)
{
    m_picture.OnSize(cx, cy);
}

void GXConStatic::SetText(const std::string& text, int nIndex)
{
    GXConBase::SetText(text, nIndex);
    if (!IsTooSmall())
        Invalidate();
}

void GXConStatic::Refresh()
{
    m_picture.RefillColor();
    Draw();
}

bool GXConStatic::OnButtonDown(int nButton, int, int, bool* pbCapture)
{
    // A press that may become a click is ours until the button goes up,
    // wherever that happens, so the window neither drags nor forwards it.
    const bool bHandled = m_click.GetMode() == GXStaticClick::Mode::Click && nButton == kButtonLeft && IsEnabled();
    *pbCapture = bHandled;
    if (m_click.ButtonDown(nButton, IsEnabled()) == GXStaticClick::Action::Command)
        NotifyCommand(static_cast<unsigned>(GetCommandId() != 0 ? GetCommandId() : GetControlId()));
    return bHandled;
}

bool GXConStatic::OnButtonUp(int, int x, int y, Captured)
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

bool GXConStatic::HitTest(int x, int y) const
{
    if (GetNcHitTest() >= 0 || !GetTooltip().empty())
        return true;
    return m_click.WantsMouse() && IsShown() && IsEnabled() && GXConBase::HitTest(x, y);
}

void GXConStatic::OnTimer(int)
{
    SRect rect;
    GetRect(&rect);
    if (rect.IsEmpty())
        return;
    m_picture.NextFrame();
    Invalidate();
}

bool GXConStatic::SetImageNum(int nIndex)
{
    if (!m_picture.SelectImage(nIndex))
        return false;
    Invalidate();
    return true;
}

int GXConStatic::GetImageNum() const
{
    return m_picture.GetImageIndex();
}
