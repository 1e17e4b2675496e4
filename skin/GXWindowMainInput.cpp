// GXWindowMain: mouse and keyboard routing. Every handler finds the control
// concerned by hit testing first and hands the event over in control
// coordinates; what no control takes goes on to the owner.
#include "skin/GSnap.h"
#include "skin/GXSkinIds.h"
#include "skin/GXSubTooltipWindow.h"
#include "skin/GXWindowMain.h"
#include "skin/GXWindowOwner.h"
#include "skin/GXWindowWidget.h"

#include <QCursor>

namespace {

// Resize corners reach this far along each edge.
constexpr int kCornerLength = 16;

// A point as the owner's mouse messages carry it: x in the low word, y in
// the high word, both signed 16-bit.
std::intptr_t PackPoint(GXPoint point)
{
    return static_cast<std::intptr_t>(
        static_cast<std::uint32_t>(point.x & 0xFFFF) | static_cast<std::uint32_t>(point.y & 0xFFFF) << 16);
}

unsigned ButtonDownMessage(int nButton)
{
    switch (nButton) {
    case GXButton::kRight:
        return GXMsg::kRButtonDown;
    case GXButton::kMiddle:
        return GXMsg::kMButtonDown;
    default:
        return GXMsg::kLButtonDown;
    }
}

unsigned ButtonUpMessage(int nButton)
{
    switch (nButton) {
    case GXButton::kRight:
        return GXMsg::kRButtonUp;
    case GXButton::kMiddle:
        return GXMsg::kMButtonUp;
    default:
        return GXMsg::kLButtonUp;
    }
}

bool Contains(const GXRect& r, GXPoint p)
{
    return p.x >= r.left && p.x < r.right && p.y >= r.top && p.y < r.bottom;
}

} // namespace

GXConBase* GXWindowMain::HitTestControls(GXPoint point) const
{
    for (auto it = m_controls.rbegin(); it != m_controls.rend(); ++it) {
        GXConBase* pControl = it->get();
        if (!pControl->IsShown())
            continue;
        GXRect rect;
        pControl->GetRect(&rect);
        if (Contains(rect, point) && pControl->HitTest(point.x - rect.left, point.y - rect.top))
            return pControl;
    }
    return nullptr;
}

void GXWindowMain::SendButtonToOwner(unsigned nMessage, GXPoint point)
{
    (void)SendToOwner(nMessage, 0, PackPoint(point));
}

void GXWindowMain::ShowTooltip(const GXConBase& control)
{
    if (GXSubTooltipWindow* pTooltip = GXSubTooltipWindow::Shared(); pTooltip != nullptr && !m_bDying)
        pTooltip->Show(&control, control.GetTooltip(), nullptr, GXSubTooltipWindow::kTimeoutMs);
}

void GXWindowMain::HideTooltip()
{
    if (GXSubTooltipWindow* pTooltip = GXSubTooltipWindow::Shared())
        pTooltip->Hide();
}

void GXWindowMain::LeaveHot()
{
    GXConBase* pHot = m_pHot;
    if (pHot == nullptr)
        return;
    m_pHot = nullptr;
    pHot->OnMouseLeave();
    RedrawControl(pHot);
}

void GXWindowMain::ReleaseCapture()
{
    m_pCaptured = nullptr;
    m_nCaptureButton = 0;
    m_nCaptureReleaseButton = 0;
    m_lastMouse = GXPoint { -1, -1 };
}

GXWindowMain::PressResult GXWindowMain::HandleButtonDown(int nButton, GXPoint point)
{
    DispatchScope scope(*this);
    HideTooltip();
    GXConBase* pControl = HitTestControls(point);
    if (pControl != nullptr) {
        if (pControl->GetTooltipOnPress() != 0)
            ShowTooltip(*pControl);
        GXRect rect;
        pControl->GetRect(&rect);
        bool bCapture = false;
        if (pControl->OnButtonDown(nButton, point.x - rect.left, point.y - rect.top, &bCapture)) {
            if (bCapture) {
                if (m_pCaptured != nullptr && m_pCaptured != pControl)
                    ReleaseCapture();
                m_pCaptured = pControl;
                m_nCaptureButton = nButton;
                m_nCaptureReleaseButton = nButton;
            }
            // The control's handler may have unloaded the skin.
            if (IsKnownControl(pControl)) {
                RedrawControl(pControl);
                Update();
                if (pControl->WantsKeyboardFocus())
                    m_pFocus = pControl;
            }
            return PressResult::Handled;
        }
    }
    const bool bDrag = m_flags.bDraggable && nButton == GXButton::kLeft;
    if (!m_flags.bPopupWindow)
        SendButtonToOwner(ButtonDownMessage(nButton), point);
    return bDrag ? PressResult::StartDrag : PressResult::NotHandled;
}

bool GXWindowMain::HandleButtonUp(int nButton, GXPoint point)
{
    DispatchScope scope(*this);
    GXConBase* pUnder = HitTestControls(point);
    if (m_pHot != nullptr && m_pHot != pUnder)
        LeaveHot();
    bool bHandled = false;
    // Only the button that took the capture ends it: letting go of another
    // one meanwhile (left held, right pressed and released) must neither
    // click the captured control nor end its press.
    if (GXConBase* pCaptured = m_pCaptured; pCaptured != nullptr && nButton == m_nCaptureReleaseButton) {
        GXRect rect;
        pCaptured->GetRect(&rect);
        const int nCapturedWith = m_nCaptureButton;
        ReleaseCapture();
        if (pCaptured->OnButtonUp(nCapturedWith, point.x - rect.left, point.y - rect.top, Captured::Yes)) {
            bHandled = true;
            if (IsKnownControl(pCaptured)) {
                RedrawControl(pCaptured);
                Update();
            }
        }
    }
    if (!bHandled && pUnder != nullptr && IsKnownControl(pUnder)) {
        GXRect rect;
        pUnder->GetRect(&rect);
        bHandled = pUnder->OnButtonUp(nButton, point.x - rect.left, point.y - rect.top, Captured::No);
    }
    if (pUnder != nullptr && IsKnownControl(pUnder))
        RedrawControl(pUnder);
    if (!bHandled)
        SendButtonToOwner(ButtonUpMessage(nButton), point);
    else
        Update();
    return bHandled;
}

bool GXWindowMain::HandleDoubleClick(int nButton, GXPoint point)
{
    DispatchScope scope(*this);
    GXConBase* pControl = HitTestControls(point);
    HideTooltip();
    if (pControl != nullptr) {
        if (pControl->GetTooltipOnPress() != 0)
            ShowTooltip(*pControl);
        GXRect rect;
        pControl->GetRect(&rect);
        const int x = point.x - rect.left;
        const int y = point.y - rect.top;
        bool bCapture = false;
        if (pControl->OnButtonDown(GXButton::kDoubleClick, x, y, &bCapture)) {
            if (bCapture) {
                m_pCaptured = pControl;
                m_nCaptureButton = GXButton::kDoubleClick;
                m_nCaptureReleaseButton = nButton;
            }
            if (IsKnownControl(pControl)) {
                RedrawControl(pControl);
                Update();
            }
            return true;
        }
        // A control that takes no double clicks sees the second press as a
        // plain one: the left button as left, the others as right.
        if (pControl->GetNcHitTest() != GXHitTest::kCaption && pControl->HitTest(x, y))
            return HandleButtonDown(nButton == GXButton::kLeft ? GXButton::kLeft : GXButton::kRight, point)
                == PressResult::Handled;
    }
    if (!m_bChild) {
        const unsigned message = nButton == GXButton::kRight
            ? GXMsg::kRButtonDblClk
            : (nButton == GXButton::kMiddle ? GXMsg::kMButtonDblClk : GXMsg::kLButtonDblClk);
        SendButtonToOwner(message, point);
    }
    return false;
}

bool GXWindowMain::HandleWheel(int nKeyState, int nDelta, GXPoint point)
{
    DispatchScope scope(*this);
    GXConBase* pControl = HitTestControls(point);
    HideTooltip();
    if (pControl != nullptr) {
        if (pControl->GetTooltipOnPress() != 0)
            ShowTooltip(*pControl);
        GXRect rect;
        pControl->GetRect(&rect);
        if (pControl->OnMouseWheel(nKeyState, nDelta, point.x - rect.left, point.y - rect.top))
            return true;
    }
    const std::uintptr_t wParam
        = static_cast<std::uint32_t>(nKeyState & 0xFFFF) | static_cast<std::uint32_t>(nDelta & 0xFFFF) << 16;
    (void)SendToOwner(GXMsg::kMouseWheel, wParam, PackPoint(ClientToScreen(point)));
    return false;
}

bool GXWindowMain::HandleMouseMove(GXPoint point)
{
    if (point == m_lastMouse)
        return true;
    DispatchScope scope(*this);
    m_lastMouse = point;
    GXConBase* pTarget = m_pCaptured != nullptr ? m_pCaptured : HitTestControls(point);
    bool bLeft = false;
    if (m_pHot != nullptr && m_pHot != pTarget) {
        LeaveHot();
        bLeft = true;
    }
    bool bHandled = false;
    if (pTarget != nullptr) {
        if (pTarget != m_pLastUnder)
            NotifyOwner(GXSkinNotify::kHoverChanged, reinterpret_cast<std::intptr_t>(pTarget));
        if (m_pCaptured == nullptr && !pTarget->IsTooSmall())
            ShowTooltip(*pTarget);
        GXRect rect;
        pTarget->GetRect(&rect);
        bool bWantLeave = false;
        const Captured captured = m_pCaptured != nullptr ? Captured::Yes : Captured::No;
        if (pTarget->OnMouseMove(point.x - rect.left, point.y - rect.top, captured, &bWantLeave)
            && IsKnownControl(pTarget)) {
            RedrawControl(pTarget);
            bHandled = true;
        }
        if (bWantLeave && IsKnownControl(pTarget))
            m_pHot = pTarget;
        if (pTarget->GetTooltipOnPress() != 0)
            ShowTooltip(*pTarget);
    } else {
        HideTooltip();
    }
    m_pLastUnder = IsKnownControl(pTarget) ? pTarget : nullptr;
    if (bHandled || bLeft)
        Update();
    if (!bHandled && !bLeft && !m_bChild)
        (void)SendToOwner(GXMsg::kMouseMove, 0, PackPoint(point));
    return bHandled;
}

void GXWindowMain::HandleMouseLeave()
{
    DispatchScope scope(*this);
    LeaveHot();
    Update();
    if (!m_bChild)
        HideTooltip();
}

std::intptr_t GXWindowMain::HandleKey(unsigned nMessage, int nKey, std::intptr_t lParam)
{
    DispatchScope scope(*this);
    if (nMessage == GXMsg::kKeyDown || nMessage == GXMsg::kKeyUp) {
        if (GXConBase* pFocus = m_pFocus) {
            const int nRepeat = static_cast<int>(lParam & 0xFFFF);
            const int nFlags = static_cast<int>((lParam >> 16) & 0xFFFF);
            const bool bTaken = nMessage == GXMsg::kKeyDown ? pFocus->OnKeyDown(nKey, nRepeat, nFlags)
                                                            : pFocus->OnKeyUp(nKey, nRepeat, nFlags);
            if (bTaken)
                return 0;
        }
        return SendToOwner(nMessage, static_cast<std::uintptr_t>(nKey), lParam);
    }
    (void)SendToOwner(nMessage, static_cast<std::uintptr_t>(nKey), lParam);
    return 0;
}

int GXWindowMain::HandleNcHitTest(GXPoint point) const
{
    const int x = point.x;
    const int y = point.y;
    const int w = m_sizeClient.cx;
    const int h = m_sizeClient.cy;
    if (m_flags.bResizeBorder) {
        const int fx = GXWindowWidget::kFrameWidth;
        const int fy = GXWindowWidget::kFrameWidth;
        const int c = kCornerLength;
        if ((x <= fx && y <= c) || (x <= c && y <= fy))
            return GXHitTest::kTopLeft;
        if ((x >= w - fx && y <= c) || (x >= w - c && y <= fy))
            return GXHitTest::kTopRight;
        if ((x >= w - fx && y >= h - c) || (x >= w - c && y >= h - fy))
            return GXHitTest::kBottomRight;
        if ((x <= fx && y >= h - c) || (x <= c && y >= h - fy))
            return GXHitTest::kBottomLeft;
        if (y <= fy)
            return GXHitTest::kTop;
        if (y >= h - fy)
            return GXHitTest::kBottom;
        if (x <= fx)
            return GXHitTest::kLeft;
        if (x >= w - fx)
            return GXHitTest::kRight;
    }
    const GXConBase* pControl = HitTestControls(point);
    if (pControl == nullptr)
        return m_flags.bClientCaption ? GXHitTest::kCaption : GXHitTest::kClient;
    return pControl->GetNcHitTest() < 0 ? GXHitTest::kClient : pControl->GetNcHitTest();
}

bool GXWindowMain::HandleNcButtonDown(unsigned nMessage, int nHitCode, GXPoint point)
{
    if (m_flags.bPopupWindow)
        return true;
    DispatchScope scope(*this);
    (void)SendToOwner(nMessage, static_cast<std::uintptr_t>(nHitCode), PackPoint(ClientToScreen(point)));
    return false;
}

void GXWindowMain::HandleClose()
{
    DispatchScope scope(*this);
    if (m_flags.bPopupWindow) {
        if (GetOwnerWindow() != nullptr)
            GetOwnerWindow()->PostToOwner(GXMsg::kClose, 0, 0);
        return;
    }
    if (m_bChild)
        return;
    (void)SendToOwner(GXMsg::kClose, 0, 0);
}

void GXWindowMain::HandleContextMenu(GXPoint screenPoint)
{
    DispatchScope scope(*this);
    (void)SendToOwner(GXMsg::kContextMenu, 0, PackPoint(screenPoint));
}

void GXWindowMain::HandleKillFocus()
{
    if (m_pParentWindow == nullptr)
        NotifyOwner(GXSkinNotify::kFocusLost, 0);
}

void GXWindowMain::HandleGetMinMaxInfo(SGxMinMaxInfo* pInfo) const
{
    const auto& m = m_flags.minMaxSize;
    if (m[2] != -1) {
        pInfo->maxSize.cx = m[2];
        pInfo->maxTrackSize.cx = m[2];
    }
    if (m[3] != -1) {
        pInfo->maxSize.cy = m[3];
        pInfo->maxTrackSize.cy = m[3];
    }
    if (m[0] != -1)
        pInfo->minTrackSize.cx = m[0];
    if (m[1] != -1)
        pInfo->minTrackSize.cy = m[1];
}

int GXWindowMain::HandleGetDlgCode() const
{
    return m_flags.nActAsControl != 0 ? GXDlgCode::kButtonDefPush : GXDlgCode::kWantTabAndAllKeys;
}

const QCursor* GXWindowMain::HandleSetCursor(int nHitCode, GXPoint point) const
{
    if (nHitCode != GXHitTest::kClient || m_cursors.empty())
        return nullptr;
    for (auto it = m_controls.rbegin(); it != m_controls.rend(); ++it) {
        const GXConBase* pControl = it->get();
        GXRect rect;
        pControl->GetRect(&rect);
        if (!pControl->IsShown() || !Contains(rect, point) || pControl->IsTooSmall())
            continue;
        if (const QCursor* pCursor = pControl->GetCursor(point.x - rect.left, point.y - rect.top))
            return pCursor;
    }
    return nullptr;
}

GSnap* GXWindowMain::GetSnapper()
{
    return m_pWidget != nullptr ? GSnap::Of(m_pWidget->window()) : nullptr;
}

bool GXWindowMain::IsKnownControl(const GXConBase* pControl) const
{
    if (pControl == nullptr)
        return false;
    for (const auto& p : m_controls) {
        if (p.get() == pControl)
            return true;
    }
    return false;
}

void GXWindowMain::HandleSystemArea(int nHitCode)
{
    if (m_pWidget == nullptr)
        return;
    DispatchScope scope(*this);
    QWidget* pTop = m_pWidget->window();
    if (nHitCode == GXHitTest::kClose)
        pTop->close();
    else if (nHitCode == GXHitTest::kMinButton)
        pTop->showMinimized();
    else if (nHitCode == GXHitTest::kMaxButton)
        pTop->isMaximized() ? pTop->showNormal() : pTop->showMaximized();
}
