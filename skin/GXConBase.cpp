#include "skin/GXConBase.h"

#include "foundation/GXmpData.h"
#include "skin/GDib.h"
#include "skin/GXConOwner.h"
#include "skin/GXSubFont.h"
#include "skin/SkinFormat.h"

#include <QPainter>

#include <algorithm>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <vector>

namespace {

// The WM_COMMAND message a command notification carries.
constexpr unsigned kCommandMessage = GXMsg::kCommand;
// Error details are short texts (names, positions); longer ones are cut.
constexpr std::size_t kMaxErrorDetail = 1024;

// The Align words; the index is the alignment's number.
constexpr std::string_view kAlignNames[] = { "left", "top", "bottom", "right", "client", "center", "popup", "lefttop",
    "righttop", "rightbottom", "leftbottom", "none", "nomove" };

// A Width or Height value: atoi, and whether it ends in "%".
int ReadExtent(const std::string& value, bool* pbPercent)
{
    if (!value.empty() && value.back() == '%')
        *pbPercent = true;
    return std::atoi(value.c_str());
}

} // namespace

GXConBase::GXConBase(GXConOwner* pOwner)
    : m_pOwner(pOwner)
{
}

GXConBase::~GXConBase() = default;

bool GXConBase::Load(GDib* pBackBuffer, const GXmpData* pElement)
{
    m_pBackBuffer = pBackBuffer;
    if (pElement == nullptr)
        return true;
    std::string value;
    if (pElement->GetAttribute("Tooltip", &value))
        m_strTooltip = !value.empty() && value[0] == '$' && m_pOwner != nullptr ? m_pOwner->EvalText(value) : value;
    if (pElement->GetAttribute("InnerGaps", &value))
        ParseSkinRect(value, &m_rectInnerGaps);
    if (pElement->GetAttribute("MinSize", &value)) {
        GXPoint minSize { m_sizeMin.cx, m_sizeMin.cy };
        ParseSkinPoint(value, &minSize);
        m_sizeMin = GXSize { minSize.x, minSize.y };
    }
    if (pElement->GetAttribute("NcHitTest", &value))
        m_nHitTest = ParseHitTestName(value);
    int number = 0;
    if (pElement->GetAttributeInt("Show", &number))
        m_bShown = number != 0;
    if (pElement->GetAttributeInt("Enable", &number))
        m_bEnabled = number != 0;
    if (pElement->GetAttribute("CursorName", &value))
        m_pCursor = m_pOwner != nullptr ? m_pOwner->FindCursor(value) : nullptr;
    if (pElement->GetAttributeInt("Debug", &number))
        m_nDebug = number;
    if (pElement->GetAttribute("ControlData", &value))
        m_strControlData = value;
    return true;
}

void GXConBase::Close()
{
}

void GXConBase::SetPos(int x, int y, int cx, int cy, Redraw redraw)
{
    const bool bResized = m_rect.Width() != cx || m_rect.Height() != cy;
    m_rect = SRect { x, y, x + cx, y + cy };
    if (bResized)
        OnSize(cx, cy);
    if (redraw == Redraw::Yes)
        Draw();
}

int GXConBase::Draw()
{
    const int skinLevel = m_pOwner != nullptr ? m_pOwner->GetSkinDebugLevel() : 0;
    if ((skinLevel == 0 && m_nDebug == 0) || m_pBackBuffer == nullptr)
        return 1;
    SRect r;
    GetRect(&r);
    if (r.Width() <= 0 || r.Height() <= 0)
        return 1;
    QPainter* pDC = m_pBackBuffer->GetMemDC();
    if (pDC == nullptr)
        return 1;
    pDC->save();
    pDC->setPen(QPen(QColor(255, 0, 0), 0));
    pDC->setBrush(Qt::NoBrush);
    pDC->drawRect(r.left, r.top, r.Width() - 1, r.Height() - 1);
    if (skinLevel == 2 || m_nDebug == 2) {
        pDC->drawLine(r.left, r.top, r.right - 1, r.bottom - 1);
        pDC->drawLine(r.right - 1, r.top, r.left, r.bottom - 1);
    }
    pDC->restore();
    m_pBackBuffer->ReleaseMemDC();
    return 1;
}

void GXConBase::GetRect(SRect* pRect) const
{
    *pRect = m_rect;
}

void GXConBase::GetScreenRect(SRect* pRect) const
{
    if (m_pOwner == nullptr) {
        *pRect = m_rect;
        return;
    }
    const GXPoint topLeft = m_pOwner->ClientToScreen(GXPoint { m_rect.left, m_rect.top });
    const GXPoint bottomRight = m_pOwner->ClientToScreen(GXPoint { m_rect.right, m_rect.bottom });
    *pRect = SRect { topLeft.x, topLeft.y, bottomRight.x, bottomRight.y };
}

void GXConBase::GetSize(GXSize* pSize) const
{
    *pSize = GXSize { m_rect.Width(), m_rect.Height() };
}

bool GXConBase::ReadAlign(const GXmpData* pElement, SGxAlign* pAlign, int* pnError)
{
    std::string value;
    if (!pElement->GetAttribute("Align", &value)) {
        *pnError = 1;
        return false;
    }
    int type = -1;
    for (std::size_t i = 0; i < std::size(kAlignNames); ++i) {
        if (value == kAlignNames[i])
            type = static_cast<int>(i);
    }
    if (type < 0) {
        *pnError = 2;
        return false;
    }
    pAlign->nType = type;
    int number = 0;
    if (pElement->GetAttributeInt("Left", &number))
        pAlign->rect.left = number;
    if (pElement->GetAttributeInt("Top", &number))
        pAlign->rect.top = number;
    if (pElement->GetAttributeInt("Right", &number))
        pAlign->rect.right = number;
    if (pElement->GetAttributeInt("Bottom", &number))
        pAlign->rect.bottom = number;
    if (pElement->GetAttribute("Rect", &value))
        ParseSkinRect(value, &pAlign->rect);
    // Right and bottom of "none" follow from the size in 64 bits, so a
    // skin's huge Width cannot wrap the rectangle around.
    const auto farEdge = [](int near, int extent) {
        const long long edge = static_cast<long long>(near) + extent;
        return static_cast<int>(std::clamp<long long>(edge, INT_MIN, INT_MAX));
    };
    if (pElement->GetAttribute("Width", &value)) {
        pAlign->nWidth = ReadExtent(value, &pAlign->bPercent);
        if (type == SGxAlign::kNone)
            pAlign->rect.right = farEdge(pAlign->rect.left, pAlign->nWidth);
    }
    if (pElement->GetAttribute("Height", &value)) {
        pAlign->nHeight = ReadExtent(value, &pAlign->bPercent);
        if (type == SGxAlign::kNone)
            pAlign->rect.bottom = farEdge(pAlign->rect.top, pAlign->nHeight);
    }
    if (pElement->GetAttribute("Gaps", &value)) {
        ParseSkinRect(value, &m_rectGaps);
        pAlign->nGapLeft = m_rectGaps.left;
        pAlign->nGapTop = m_rectGaps.top;
        pAlign->nGapRight = m_rectGaps.right;
        pAlign->nGapBottom = m_rectGaps.bottom;
    }
    return true;
}

void GXConBase::OnSize(int, int)
{
}

void GXConBase::SetText(const std::string& text, int nIndex)
{
    if (nIndex < 0 || nIndex >= kTextCount)
        return;
    m_strText[static_cast<std::size_t>(nIndex)] = text;
    Invalidate();
}

void GXConBase::SetTextColor(COLORREF color)
{
    m_crText = color;
}

void GXConBase::Refresh()
{
}

int GXConBase::ApplyColorTheme(const SColorTheme&)
{
    return 0;
}

const QCursor* GXConBase::GetCursor(int, int) const
{
    return m_bEnabled ? m_pCursor : nullptr;
}

bool GXConBase::OnMouseMove(int, int, Captured, bool*)
{
    return false;
}

bool GXConBase::OnMouseLeave()
{
    return false;
}

bool GXConBase::OnButtonDown(int, int, int, bool*)
{
    return false;
}

bool GXConBase::OnButtonUp(int, int, int, Captured)
{
    return false;
}

bool GXConBase::OnMouseWheel(int, int, int, int)
{
    return false;
}

bool GXConBase::HitTest(int x, int y) const
{
    return x >= 0 && x < m_rect.Width() && y >= 0 && y < m_rect.Height();
}

void GXConBase::OnTimer(int)
{
}

bool GXConBase::OnKeyDown(int, int, int)
{
    return false;
}

bool GXConBase::OnKeyUp(int, int, int)
{
    return false;
}

bool GXConBase::SetImageNum(int)
{
    return false;
}

int GXConBase::GetImageNum() const
{
    return -1;
}

bool GXConBase::WantsKeyboardFocus() const
{
    return false;
}

bool GXConBase::Navigate(const std::string&)
{
    return false;
}

void GXConBase::SetEnable(bool bEnable)
{
    if (m_bEnabled == bEnable)
        return;
    m_bEnabled = bEnable;
    Invalidate();
}

void GXConBase::SetShow(bool bShow)
{
    m_bShown = bShow;
    RequestRefresh();
}

const std::string& GXConBase::GetText(int nIndex) const
{
    static const std::string kEmpty;
    return nIndex >= 0 && nIndex < kTextCount ? m_strText[static_cast<std::size_t>(nIndex)] : kEmpty;
}

void GXConBase::SetTooltip(const std::string& text, int nTooltipOnPress)
{
    m_strTooltip = text;
    m_nTooltipOnPress = nTooltipOnPress;
}

void GXConBase::GetBottomLeftScreenPoint(GXPoint* pPoint) const
{
    const GXPoint corner { m_rect.left, m_rect.bottom };
    *pPoint = m_pOwner != nullptr ? m_pOwner->ClientToScreen(corner) : corner;
}

void GXConBase::SetIds(int nControlId, int nControlId2, int nCommandId, int nRCommandId)
{
    m_nControlId = nControlId;
    m_nControlId2 = nControlId2;
    m_nCommandId = nCommandId;
    m_nRCommandId = nRCommandId;
}

bool GXConBase::IsTooSmall() const
{
    if (m_rect.IsEmpty())
        return true;
    return (m_sizeMin.cx > 0 && m_rect.Width() < m_sizeMin.cx) || (m_sizeMin.cy > 0 && m_rect.Height() < m_sizeMin.cy);
}

void GXConBase::Invalidate()
{
    if (m_pOwner != nullptr)
        m_pOwner->InvalidateControl(*this);
}

void GXConBase::RequestRefresh()
{
    if (m_pOwner != nullptr)
        m_pOwner->RequestRefresh(*this);
}

void GXConBase::Notify(unsigned nMessage, std::uintptr_t wParam, std::intptr_t lParam)
{
    if (m_pOwner == nullptr)
        return;
    const SGxNotifyRecord record { nMessage, wParam, lParam, SGxNotifyRecord::Delivery::Send };
    m_pOwner->OnControlNotify(record);
}

void GXConBase::NotifyCommand(unsigned nId)
{
    if (m_pOwner == nullptr)
        return;
    const SGxNotifyRecord record { kCommandMessage, nId, 0, SGxNotifyRecord::Delivery::Post };
    m_pOwner->OnControlNotify(record);
}

std::intptr_t GXConBase::NotifyOwner(int nCode, std::intptr_t lParam)
{
    return m_pOwner != nullptr ? m_pOwner->NotifyOwner(nCode, lParam) : 0;
}

void GXConBase::SetControlTimer(int nLocalId, int nElapseMs)
{
    if (m_pOwner != nullptr)
        m_pOwner->SetTimer(*this, nLocalId, nElapseMs);
}

void GXConBase::KillControlTimer(int nLocalId)
{
    if (m_pOwner != nullptr)
        m_pOwner->KillTimer(*this, nLocalId);
}

GDib* GXConBase::FindImage(const std::string& name) const
{
    return m_pOwner != nullptr ? m_pOwner->FindImage(name) : nullptr;
}

void GXConBase::SetError(int nCode, const char* pszFormat, ...)
{
    m_nErrorCode = nCode;
    m_strErrorDetail.clear();
    if (pszFormat == nullptr)
        return;
    std::vector<char> buffer(kMaxErrorDetail + 1);
    va_list args;
    va_start(args, pszFormat);
    const int n = std::vsnprintf(buffer.data(), buffer.size(), pszFormat, args);
    va_end(args);
    if (n > 0)
        m_strErrorDetail.assign(buffer.data());
}

void GXConBase::ToLocal(int* px, int* py) const
{
    *px -= m_rect.left;
    *py -= m_rect.top;
}

void GXConBase::DrawText(int nIndex)
{
    if (nIndex < 0 || nIndex >= kTextCount || m_pBackBuffer == nullptr)
        return;
    const std::string& text = m_strText[static_cast<std::size_t>(nIndex)];
    if (text.empty())
        return;
    const SRect box { m_rect.left + m_rectInnerGaps.left, m_rect.top + m_rectInnerGaps.top,
        m_rect.right - m_rectInnerGaps.right, m_rect.bottom - m_rectInnerGaps.bottom };
    if (m_bTextHidden)
        return;
    QPainter* pDC = m_pBackBuffer->GetMemDC();
    if (pDC == nullptr)
        return;
    // Without a skin font the painter's own font draws, through the same
    // flag handling as a skin's system font.
    GXSubFont fallback;
    GXSubFont* pFont = m_pFont;
    if (pFont == nullptr) {
        fallback.SetFont(pDC->font());
        pFont = &fallback;
    }
    pFont->Select(pDC);
    if (m_crShadow != kNoShadow) {
        const SRect shadow { box.left + 1, box.top + 1, box.right + 1, box.bottom + 1 };
        pFont->DrawText(shadow, pDC, m_pBackBuffer, text, m_nTextFormat, m_crShadow);
    }
    pFont->DrawText(box, pDC, m_pBackBuffer, text, m_nTextFormat, m_crText);
    pFont->Deselect(pDC);
    m_pBackBuffer->ReleaseMemDC();
}

bool GXConBase::LoadFont(const GXmpData* pElement)
{
    std::string name;
    if (!pElement->GetAttribute("FontName", &name))
        return true;
    m_pFont = m_pOwner != nullptr ? m_pOwner->FindControlFont(name) : nullptr;
    if (m_pFont == nullptr) {
        SetError(6, "%s", name.c_str());
        return false;
    }
    return true;
}

void GXConBase::LoadTexts(const GXmpData* pElement, int nCount, EvalTexts eval)
{
    std::string value;
    for (int i = 0; i < std::min(nCount, kTextCount); ++i) {
        const std::string attribute = i == 0 ? std::string("Text") : "Text" + std::to_string(i + 1);
        if (pElement->GetAttribute(attribute, &value))
            m_strText[static_cast<std::size_t>(i)] = eval == EvalTexts::Yes ? Evaluate(value) : value;
    }
}

void GXConBase::LoadTextColors(const GXmpData* pElement, ShadowNeedsColor rule)
{
    std::string value;
    const bool bColor = pElement->GetAttribute("FontColor", &value);
    if (bColor)
        m_crText = ParseSkinColor(value);
    if ((bColor || rule == ShadowNeedsColor::No) && pElement->GetAttribute("FontShadowColor", &value))
        m_crShadow = ParseSkinColor(value);
}

std::string GXConBase::Evaluate(const std::string& value) const
{
    return !value.empty() && value[0] == '$' && m_pOwner != nullptr ? m_pOwner->EvalText(value) : value;
}
