#include "skin/controls/GXConMarquee.h"

#include "foundation/GXmpData.h"
#include "skin/GXSubFont.h"

#include <QGuiApplication>
#include <QPainter>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int kErrorValue = 7;
constexpr int kMarqueeTexts = 5;
// Horizontally centred, "&" drawn as it is.
constexpr unsigned kStripFormat = 0x801;

// A quarter turn of a 24-bit image: counter-clockwise turns the text to
// read upward, clockwise to read downward.
GDib Turn(GDib& source, bool bClockwise)
{
    GDib turned;
    const int w = source.GetWidth();
    const int h = source.GetHeight();
    if (!turned.Create(h, w, 24))
        return turned;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const int tx = bClockwise ? h - 1 - y : y;
            const int ty = bClockwise ? x : w - 1 - x;
            std::memcpy(turned.GetPixelAddress(tx, ty), source.GetPixelAddress(x, y), 4);
        }
    }
    return turned;
}

} // namespace

GXConMarquee::GXConMarquee(GXConOwner* pOwner)
    : GXConBase(pOwner)
{
}

bool GXConMarquee::Load(GDib* pBackBuffer, const GXmpData* pElement)
{
    LoadTexts(pElement, kMarqueeTexts, EvalTexts::No);
    std::string value;
    if (pElement->GetAttribute("Behavior", &value)) {
        if (value != "scroll" && value != "alternate") {
            SetError(kErrorValue, "%s=%s", "Behavior", value.c_str());
            return false;
        }
        m_behaviour = value == "scroll" ? Behaviour::Scroll : Behaviour::Alternate;
    }
    if (pElement->GetAttribute("Direction", &value)) {
        if (value == "left") {
            m_direction = Direction::Left;
        } else if (value == "up") {
            m_direction = Direction::Up;
        } else if (value == "right") {
            m_direction = Direction::Right;
        } else if (value == "down") {
            m_direction = Direction::Down;
        } else {
            SetError(kErrorValue, "%s=%s", "Direction", value.c_str());
            return false;
        }
    }
    (void)pElement->GetAttributeInt("ScrollDelay", &m_nScrollDelay);
    // A step longer than any image only wraps; bounding it keeps the
    // offset arithmetic inside int.
    if (pElement->GetAttributeInt("ScrollAmount", &m_nScrollAmount))
        m_nScrollAmount = std::clamp(m_nScrollAmount, -GDib::kMaxSide, GDib::kMaxSide);
    int number = 0;
    if (pElement->GetAttributeInt("AlternateWhenLargeText", &number))
        m_bAlternateWhenLarge = number != 0;
    if (pElement->GetAttributeInt("ScrollWhenLargeText", &number))
        m_bScrollWhenLarge = number != 0;
    if (pElement->GetAttribute("Vertical", &value)) {
        if (GXmpData::EqualsIgnoreCase(value, "left"))
            m_rotation = Rotation::Left;
        else if (GXmpData::EqualsIgnoreCase(value, "right"))
            m_rotation = Rotation::Right;
    }
    m_click.Load(pElement);
    SetControlTimer(kScrollTimer, m_nScrollDelay);
    if (!LoadFont(pElement))
        return false;
    LoadTextColors(pElement, ShadowNeedsColor::Yes);
    return GXConBase::Load(pBackBuffer, pElement);
}

void GXConMarquee::BuildStrip()
{
    m_strip.Destroy();
    m_nStripWidth = 0;
    m_nStripHeight = 0;
    const std::string& text = GetText(0);
    GXSubFont fallback;
    GXSubFont* pFont = m_pFont;
    if (pFont == nullptr) {
        fallback.SetFont(QGuiApplication::font());
        pFont = &fallback;
    }
    GXSize size;
    // A text too long for an image (GDib::kMaxSide) gets no strip.
    if (text.empty() || !pFont->MeasureText(text, &size) || size.cx <= 0 || size.cy <= 0
        || !m_strip.Create24(size.cx, size.cy))
        return;
    QPainter* pDC = m_strip.GetMemDC();
    if (pDC != nullptr) {
        pFont->Select(pDC);
        // The strip is drawn with the colour key as its see-through part.
        pFont->DrawText(
            GXRect { 0, 0, size.cx, size.cy }, pDC, &m_strip, text, kStripFormat, m_crText, GXSubFont::Edges::Hard);
        pFont->Deselect(pDC);
        m_strip.ReleaseMemDC();
    }
    if (m_rotation != Rotation::None)
        m_strip = Turn(m_strip, m_rotation == Rotation::Right);
    m_nOffsetX = 0;
    m_nOffsetY = 0;
    m_nStripWidth = m_strip.GetWidth();
    m_nStripHeight = m_strip.GetHeight();
}

int GXConMarquee::Draw()
{
    if (m_rect.Width() <= 0 || m_rect.Height() <= 0 || IsTooSmall())
        return 1;
    GDib* pBack = GetBackBuffer();
    if (pBack != nullptr && !m_strip.IsEmpty()) {
        // The window into the strip; what lies outside the strip stays as
        // the background drew it.
        long long sx = m_nOffsetX, sy = m_nOffsetY, dx = m_rect.left, dy = m_rect.top;
        long long w = m_rect.Width(), h = m_rect.Height();
        if (sx < 0) {
            dx -= sx;
            w += sx;
            sx = 0;
        }
        if (sy < 0) {
            dy -= sy;
            h += sy;
            sy = 0;
        }
        w = std::min<long long>(w, m_nStripWidth - sx);
        h = std::min<long long>(h, m_nStripHeight - sy);
        if (w > 0 && h > 0)
            m_strip.CopyTransparentTo(pBack, static_cast<int>(dx), static_cast<int>(dy), static_cast<int>(sx),
                static_cast<int>(sy), static_cast<int>(w), static_cast<int>(h));
    }
    return GXConBase::Draw();
}

void GXConMarquee::SetText(const std::string& text, int nIndex)
{
    GXConBase::SetText(text, nIndex);
    if (IsTooSmall()) {
        m_strip.Destroy();
        m_nStripWidth = 0;
        m_nStripHeight = 0;
        return;
    }
    BuildStrip();
    Invalidate();
}

void GXConMarquee::SetScrolling(bool bScroll)
{
    if (bScroll == m_bScrolling)
        return;
    m_bScrolling = bScroll;
    if (bScroll)
        SetControlTimer(kScrollTimer, m_nScrollDelay);
    else
        KillControlTimer(kScrollTimer);
}

void GXConMarquee::OnTimer(int)
{
    if (!GetText(0).empty() && m_strip.IsEmpty())
        BuildStrip();
    if (IsTooSmall())
        return;
    const int w = m_rect.Width();
    const int h = m_rect.Height();
    const bool bHorizontal = m_direction == Direction::Left || m_direction == Direction::Right;
    const bool bFits = bHorizontal ? m_nStripWidth < w : m_nStripHeight < h;
    if (m_behaviour == Behaviour::Scroll)
        StepScroll(w, h, bFits);
    else
        StepAlternate(w, h, bFits);
}

void GXConMarquee::StepScroll(int w, int h, bool bFits)
{
    const int amount = m_nScrollAmount;
    if (m_bScrollWhenLarge && bFits) {
        if (m_nOffsetX == 0 && m_nOffsetY == 0) {
            if (m_bFirstDrawPending)
                Invalidate();
            m_bFirstDrawPending = false;
            return;
        }
        if (std::abs(m_nOffsetX) <= std::abs(amount) && std::abs(m_nOffsetY) <= std::abs(amount)) {
            m_nOffsetX = 0;
            m_nOffsetY = 0;
            Invalidate();
            return;
        }
    }
    switch (m_direction) {
    case Direction::Left:
        m_nOffsetX += amount;
        if (m_nOffsetX > m_nStripWidth)
            m_nOffsetX = -w;
        break;
    case Direction::Right:
        m_nOffsetX -= amount;
        if (m_nOffsetX < -m_nStripWidth)
            m_nOffsetX = w;
        break;
    case Direction::Up:
        m_nOffsetY += amount;
        if (m_nOffsetY > m_nStripHeight)
            m_nOffsetY = -h;
        break;
    case Direction::Down:
        m_nOffsetY -= amount;
        if (m_nOffsetY < -m_nStripHeight)
            m_nOffsetY = h;
        break;
    }
    Invalidate();
}

void GXConMarquee::StepAlternate(int w, int h, bool bFits)
{
    const bool bHorizontal = m_direction == Direction::Left || m_direction == Direction::Right;
    const int length = bHorizontal ? m_nStripWidth - w : m_nStripHeight - h;
    if (std::abs(length) < 2)
        return;
    if (m_bAlternateWhenLarge && bFits) {
        if (m_nOffsetX == 0 && m_nOffsetY == 0 && m_bSettled)
            return;
        m_nOffsetX = 0;
        m_nOffsetY = 0;
        m_bSettled = true;
        Invalidate();
        return;
    }
    m_bSettled = false;
    if (m_nPause < 0) {
        m_nPause = kPauseTicks;
        Invalidate();
    }
    if (m_nPause > 0) {
        --m_nPause;
        return;
    }
    int& offset = bHorizontal ? m_nOffsetX : m_nOffsetY;
    offset += m_nSign * m_nScrollAmount;
    bool bBounce = false;
    if (length < 0) {
        // The text is shorter than the control and travels inside it.
        bBounce = (offset < length && m_nSign < 0) || (offset > 0 && m_nSign > 0);
        if (offset > 0 && m_nSign < 0) {
            Invalidate();
            return;
        }
    } else {
        // The control is a window travelling over the longer text.
        bBounce = (offset < 0 && m_nSign < 0) || (offset > length && m_nSign > 0);
    }
    if (bBounce) {
        m_nSign = -m_nSign;
        offset += m_nSign * m_nScrollAmount;
        m_nPause = kPauseTicks;
    }
    Invalidate();
}

bool GXConMarquee::HitTest(int x, int y) const
{
    if (IsTooSmall())
        return false;
    if (GetNcHitTest() >= 0 || !GetTooltip().empty())
        return true;
    return m_click.WantsMouse() && IsShown() && IsEnabled() && GXConBase::HitTest(x, y);
}

bool GXConMarquee::OnButtonDown(int nButton, int, int, bool* pbCapture)
{
    // A press that may become a click is ours until the button goes up,
    // wherever that happens, so the window neither drags nor forwards it.
    const bool bHandled = m_click.GetMode() == GXStaticClick::Mode::Click && nButton == kButtonLeft && IsEnabled();
    *pbCapture = bHandled;
    if (m_click.ButtonDown(nButton, IsEnabled()) == GXStaticClick::Action::Command)
        NotifyCommand(static_cast<unsigned>(GetCommandId() != 0 ? GetCommandId() : GetControlId()));
    return bHandled;
}

bool GXConMarquee::OnButtonUp(int, int x, int y, Captured)
{
    // Decided before notifying: a script the notification runs may unload
    // the skin and this control with it.
    const bool bHandled = m_click.GetMode() == GXStaticClick::Mode::Click;
    if (m_click.ButtonUp(GXConBase::HitTest(x, y)) == GXStaticClick::Action::Command)
        NotifyCommand(static_cast<unsigned>(GetCommandId() != 0 ? GetCommandId() : GetControlId()));
    return bHandled;
}
