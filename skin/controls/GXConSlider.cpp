#include "skin/controls/GXConSlider.h"

#include "foundation/GXmpData.h"
#include "platform/MessageRegistry.h"
#include "skin/GXSkinIds.h"
#include "skin/SkinFormat.h"
#include "skin/controls/GXConSliderParent.h"
#include "skin/controls/GXStaticPicture.h"

#include <algorithm>
#include <cstdint>

namespace {

constexpr int kErrorImage = 5;
constexpr int kErrorValue = 7;

// a × b / c rounded to nearest, half away from zero, in 64 bits: ranges may
// span the whole int range. -1 for a zero divisor.
long long MulDiv64(long long a, long long b, long long c)
{
    if (c == 0)
        return -1;
    const long long product = a * b;
    const bool bNegative = (product < 0) != (c < 0);
    const long long q = (std::llabs(product) + std::llabs(c) / 2) / std::llabs(c);
    return bNegative ? -q : q;
}

int ToInt(long long value)
{
    return static_cast<int>(std::clamp<long long>(value, INT32_MIN, INT32_MAX));
}

} // namespace

GXConSlider::GXConSlider(GXConOwner* pOwner)
    : GXConBase(pOwner)
{
}

bool GXConSlider::Load(GDib* pBackBuffer, const GXmpData* pElement)
{
    const std::pair<const char*, GDib**> images[]
        = { { "Image", &m_pTrack }, { "ImageKnob", &m_pKnob }, { "ImageKnobHot", &m_pKnobHot },
              { "ImageRange", &m_pRange }, { "ImageFill", &m_pFill }, { "ImageEmpty", &m_pEmpty } };
    std::string value;
    for (const auto& [attribute, ppImage] : images) {
        if (!pElement->GetAttribute(attribute, &value))
            continue;
        *ppImage = FindImage(value);
        if (*ppImage == nullptr) {
            SetError(kErrorImage, "%s", value.c_str());
            return false;
        }
    }
    if (pElement->GetAttribute("ImageEdge", &value)) {
        GXPoint edges;
        ParseSkinPoint(value, &edges);
        // A negative edge would move the knob off its own track; no edge is
        // longer than an image can be.
        m_nStartEdge = std::clamp(edges.x, 0, GDib::kMaxSide);
        m_nEndEdge = std::clamp(edges.y, 0, GDib::kMaxSide);
    }
    m_nKnobLength = ToInt(static_cast<long long>(m_nStartEdge) + m_nEndEdge);
    if (pElement->GetAttribute("SliderType", &value)) {
        if (value != "fillempty" && value != "knobonly") {
            SetError(kErrorValue, "%s", value.c_str());
            return false;
        }
        m_bFillEmpty = value == "fillempty";
    }
    int number = 0;
    if (pElement->GetAttributeInt("ScrollBar", &number))
        m_bScrollBar = number != 0;
    if (pElement->GetAttribute("KnobType", &value)) {
        if (value != "fixed" && value != "variable") {
            SetError(kErrorValue, "%s", value.c_str());
            return false;
        }
        m_bVariableKnob = value == "variable";
    }
    if (pElement->GetAttribute("Orientation", &value)) {
        if (value != "vertical" && value != "horizontal") {
            SetError(kErrorValue, "%s=%s", "Orientation", value.c_str());
            return false;
        }
        m_bVertical = value == "vertical";
    }
    return GXConBase::Load(pBackBuffer, pElement);
}

int GXConSlider::Draw()
{
    if (IsTooSmall() || m_composite.IsEmpty() || GetBackBuffer() == nullptr)
        return 1;
    m_composite.CopyTransparentTo(GetBackBuffer(), m_rect.left, m_rect.top, 0, 0, m_rect.Width(), m_rect.Height());
    return GXConBase::Draw();
}

bool GXConSlider::ReadAlign(const GXmpData* pElement, SGxAlign* pAlign, int* pnError)
{
    if (!GXConBase::ReadAlign(pElement, pAlign, pnError))
        return false;
    GXSize largest;
    for (const GDib* pImage : { m_pTrack, m_pKnob, m_pRange, m_pFill }) {
        if (pImage != nullptr)
            largest = GXSize { std::max(largest.cx, pImage->GetWidth()), std::max(largest.cy, pImage->GetHeight()) };
    }
    // The slider keeps its MinSize; only the autosize part applies.
    GXSize unchanged { -1, -1 };
    GXStaticPicture::AutoSize(pElement, pAlign, m_rectGaps, &unchanged, largest);
    return true;
}

void GXConSlider::OnSize(int cx, int cy)
{
    if (cx < 0 || cy < 0)
        return;
    m_nWidth = cx;
    m_nHeight = cy;
    if (m_background.GetWidth() < cx || m_background.GetHeight() < cy) {
        m_background.Destroy();
        m_composite.Destroy();
        if (!m_background.Create24(cx, cy) || !m_composite.Create24(cx, cy)) {
            m_background.Destroy();
            m_composite.Destroy();
        }
    }
    BuildBackground();
    BuildComposite(Force::Yes);
}

void GXConSlider::Refresh()
{
    BuildBackground();
    BuildComposite(Force::Yes);
}

void GXConSlider::SetRange(int nFrom, int nTo, Redraw redraw)
{
    const int kept = GetPos();
    m_nMin = std::min(nFrom, nTo);
    m_nMax = std::max(nFrom, nTo);
    m_bReversed = nFrom > nTo;
    m_nPage = -1;
    // A list box that refills itself while its scroll bar is dragged must
    // not throw the knob out from under the pointer.
    if (m_bDragging)
        SetInternalPos(m_bReversed ? ToInt(static_cast<long long>(m_nMin) + m_nMax - kept) : kept);
    else
        m_nPos = nFrom;
    BuildComposite(Force::Yes);
    if (redraw == Redraw::Yes)
        Invalidate();
}

void GXConSlider::SetPos(int nPos, Force force)
{
    if (m_bDragging && force == Force::No)
        return;
    SetInternalPos(m_bReversed ? ToInt(static_cast<long long>(m_nMin) + m_nMax - nPos) : nPos);
    Invalidate();
}

int GXConSlider::GetPos() const
{
    return m_bReversed ? ToInt(static_cast<long long>(m_nMin) + m_nMax - m_nPos) : m_nPos;
}

void GXConSlider::SetPage(int nPage)
{
    m_nPage = nPage < 0 ? -1 : nPage;
    BuildComposite(Force::Yes);
}

void GXConSlider::SetInternalPos(int nPos)
{
    m_nPos = std::clamp(nPos, m_nMin, m_nMax);
    BuildComposite(Force::No);
}

int GXConSlider::ValueAt(int nCoordinate) const
{
    const long long track = static_cast<long long>(Length()) - m_nKnobLength;
    // A knob that fills the whole control leaves no track to map: every
    // point means the start of the range.
    if (track <= 0)
        return m_nMin;
    long long p = static_cast<long long>(nCoordinate) - (m_bScrollBar ? m_nKnobLength / 2 : m_nStartEdge);
    p = std::clamp<long long>(p, 0, track);
    return ToInt(m_nMin + MulDiv64(p, static_cast<long long>(m_nMax) - m_nMin, track));
}

int GXConSlider::KnobOffset() const
{
    const long long span = static_cast<long long>(m_nMax) - m_nMin;
    if (span <= 0)
        return 0;
    const long long travel = static_cast<long long>(Length()) - m_nStartEdge - m_nEndEdge;
    return ToInt(MulDiv64(travel, static_cast<long long>(m_nPos) - m_nMin, span));
}

bool GXConSlider::OnButtonDown(int nButton, int x, int y, bool* pbCapture)
{
    if (m_nMin == m_nMax || !IsEnabled() || nButton != kButtonLeft)
        return false;
    const int value = ValueAt(m_bVertical ? y : x);
    m_bDragging = true;
    *pbCapture = true;
    m_ptDragStart = GXPoint { x, y };
    SetInternalPos(value);
    Invalidate();
    ReportChange(Report::Change, GetPos());
    return true;
}

bool GXConSlider::OnMouseMove(int x, int y, Captured, bool* pbWantLeave)
{
    if (m_nMin == m_nMax)
        return false;
    if (!m_bDragging)
        *pbWantLeave = true;
    const int value = ValueAt(m_bVertical ? y : x);
    const bool bHot = m_pKnobHot != nullptr;
    if (bHot)
        *pbWantLeave = true;
    if (m_bDragging || bHot != m_bHot) {
        if (value == m_nPos && bHot == m_bHot)
            return false;
        const bool bHotChanged = bHot != m_bHot;
        m_bHot = bHot;
        if (m_bDragging) {
            if (bHotChanged)
                BuildComposite(Force::Yes);
            SetInternalPos(value);
            Invalidate();
            ReportChange(Report::Change, GetPos());
        } else {
            BuildComposite(Force::Yes);
            Invalidate();
        }
    }
    if (value != m_nLastScanned) {
        m_nLastScanned = value;
        if (m_pParent != nullptr)
            m_pParent->PosScanning(value, GetControlId());
        else
            Notify(platform::RegisterMessage(GXMsgName::kSliderPosScanning),
                static_cast<std::uintptr_t>(static_cast<std::intptr_t>(value)), GetControlId());
    }
    return false;
}

bool GXConSlider::OnButtonUp(int, int, int, Captured)
{
    if (!m_bDragging)
        return false;
    // A range that collapsed during the drag still ends it, silently.
    m_bDragging = false;
    if (m_nMin == m_nMax)
        return false;
    ReportChange(Report::End, GetPos());
    return true;
}

bool GXConSlider::OnMouseLeave()
{
    if (m_bHot) {
        m_bHot = false;
        BuildComposite(Force::Yes);
        Invalidate();
    }
    return false;
}

void GXConSlider::ReportChange(Report report, int nPos)
{
    if (m_pParent != nullptr) {
        if (report == Report::End)
            m_pParent->PosChangeEnd(nPos, GetControlId());
        else
            m_pParent->PosChange(nPos, GetControlId());
        return;
    }
    const unsigned message = platform::RegisterMessage(
        report == Report::End ? GXMsgName::kSliderPosChangeEnd : GXMsgName::kSliderPosChange);
    Notify(message, static_cast<std::uintptr_t>(static_cast<std::intptr_t>(nPos)), GetControlId());
}

void GXConSlider::BuildBackground()
{
    if (m_background.IsEmpty())
        return;
    m_background.Fill(kGxColorKey);
    const int length = Length();
    const GXRect whole { 0, 0, m_nWidth, m_nHeight };
    if (m_bFillEmpty && m_pEmpty != nullptr)
        m_pEmpty->TileTo(-1, -1, &m_background, whole, GDib::Transparent::Yes);
    if (m_pTrack == nullptr)
        return;
    const int trackW = m_pTrack->GetWidth();
    const int trackH = m_pTrack->GetHeight();
    if (!m_bFillEmpty) {
        if (m_bVertical)
            m_pTrack->TileTo(trackW, trackH - m_nStartEdge - m_nEndEdge, &m_background, GXRect { 0, 0, trackW, length },
                GDib::Transparent::No, 0, m_nStartEdge);
        else
            m_pTrack->TileTo(trackW - m_nStartEdge - m_nEndEdge, trackH, &m_background, GXRect { 0, 0, length, trackH },
                GDib::Transparent::No, m_nStartEdge, 0);
    }
    if (m_bVertical) {
        m_pTrack->CopyTo(&m_background, 0, 0, 0, 0, trackW, m_nStartEdge);
        m_pTrack->CopyTo(&m_background, 0, length - m_nEndEdge, 0, trackH - m_nEndEdge, trackW, m_nEndEdge);
    } else {
        m_pTrack->CopyTo(&m_background, 0, 0, 0, 0, m_nStartEdge, trackH);
        m_pTrack->CopyTo(&m_background, length - m_nEndEdge, 0, trackW - m_nEndEdge, 0, m_nEndEdge, trackH);
    }
}

void GXConSlider::BuildComposite(Force force)
{
    if (m_composite.IsEmpty() || m_background.IsEmpty())
        return;
    if (m_nMin == m_nMax) {
        m_background.CopyTo(&m_composite, 0, 0);
        return;
    }
    const int k = KnobOffset();
    if (k == m_nLastKnob && force == Force::No)
        return;
    m_nLastKnob = k;
    m_background.CopyTo(&m_composite, 0, 0);
    const long long filled = static_cast<long long>(m_nStartEdge) + k;
    if (m_bFillEmpty && m_pFill != nullptr && filled > 0) {
        const int end = ToInt(filled);
        const GXRect area = m_bVertical ? GXRect { 0, 0, m_nWidth, end }
                                        : GXRect { 0, 0, end, std::min(m_nHeight, m_pFill->GetHeight()) };
        m_pFill->TileTo(-1, -1, &m_composite, area, GDib::Transparent::Yes);
    }
    DrawKnob(m_bHot && m_pKnobHot != nullptr ? m_pKnobHot : m_pKnob, k);
}

void GXConSlider::DrawKnob(const GDib* pKnob, int k)
{
    if (pKnob == nullptr || pKnob->IsEmpty())
        return;
    const int knobLen = m_bVertical ? pKnob->GetHeight() : pKnob->GetWidth();
    if (!m_bVariableKnob) {
        const int centre = ToInt(static_cast<long long>(m_nStartEdge) + k - knobLen / 2);
        pKnob->CopyTransparentTo(&m_composite, m_bVertical ? 0 : centre, m_bVertical ? centre : 0);
        return;
    }
    const long long span = static_cast<long long>(m_nMax) - m_nMin;
    if (m_nPage != -1)
        m_nKnobLength = ToInt(std::max<long long>(knobLen, MulDiv64(Length(), m_nPage, m_nPage + span)));
    const int v = ToInt((static_cast<long long>(m_nPos) - m_nMin) * (Length() - m_nKnobLength) / span);
    const int end = ToInt(static_cast<long long>(v) + m_nKnobLength);
    const int middle = knobLen - m_nStartEdge - m_nEndEdge;
    if (m_bVertical) {
        const int w = pKnob->GetWidth();
        if (middle > 0)
            pKnob->TileTo(w, middle, &m_composite, GXRect { 0, v + m_nStartEdge, w, end - m_nEndEdge },
                GDib::Transparent::Yes, 0, m_nStartEdge);
        pKnob->CopyTransparentTo(&m_composite, 0, v, 0, 0, w, m_nStartEdge);
        pKnob->CopyTransparentTo(&m_composite, 0, end - m_nEndEdge, 0, knobLen - m_nEndEdge, w, m_nEndEdge);
    } else {
        const int h = pKnob->GetHeight();
        if (middle > 0)
            pKnob->TileTo(middle, h, &m_composite, GXRect { v + m_nStartEdge, 0, end - m_nEndEdge, h },
                GDib::Transparent::Yes, m_nStartEdge, 0);
        pKnob->CopyTransparentTo(&m_composite, v, 0, 0, 0, m_nStartEdge, h);
        pKnob->CopyTransparentTo(&m_composite, end - m_nEndEdge, 0, knobLen - m_nEndEdge, 0, m_nEndEdge, h);
    }
}
