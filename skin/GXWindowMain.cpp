#include "skin/GXWindowMain.h"

#include "foundation/DebugTrace.h"
#include "foundation/GXmp.h"
#include "platform/MessageRegistry.h"
#include "script/GXScriptHost.h"
#include "skin/GXManAlign.h"
#include "skin/GXManTimer.h"
#include "skin/GXRefreshQueue.h"
#include "skin/GXSkinBuiltins.h"
#include "skin/GXSkinIds.h"
#include "skin/GXSkinSource.h"
#include "skin/GXSubFont.h"
#include "skin/GXSubTooltipWindow.h"
#include "skin/GXWindowOwner.h"
#include "skin/GXWindowWidget.h"
#include "skin/SkinErrorText.h"
#include "skin/controls/GXConRgn.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QRegion>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <vector>

namespace {

// Skin windows alive in the process: counted from construction to
// destruction, so a window that never got a widget still lets the shared
// tooltip go when it is deleted.
int g_nLiveWindows = 0;

// A script run that fails because its window is going away.
constexpr std::int64_t kNoMoreStatements = 0;

// The outline the region controls give the window, in list order; nothing
// when there are none or none was rebuilt or moved since the last outline,
// so an unchanged mask is not sent to the window system again.
std::optional<QRegion> RegionOutline(const std::list<std::unique_ptr<GXConBase>>& regions)
{
    std::vector<GXConRgn*> shapes;
    for (const std::unique_ptr<GXConBase>& pControl : regions) {
        if (auto* pShape = dynamic_cast<GXConRgn*>(pControl.get()))
            shapes.push_back(pShape);
    }
    return shapes.empty() ? std::nullopt : GXConRgn::CombineChanged(shapes);
}

std::string FormatScriptResult(const GXSVal& value)
{
    char buffer[64];
    switch (value.m_nType) {
    case GXSV_DOUBLE:
        std::snprintf(buffer, sizeof buffer, "%f", value.m_num.dbl);
        return buffer;
    case GXSV_INT:
        std::snprintf(buffer, sizeof buffer, "%d", value.m_num.n);
        return buffer;
    case GXSV_STRING:
        return value.m_strText;
    default:
        return {};
    }
}

} // namespace

GXWindowMain::DispatchScope::DispatchScope(GXWindowMain& window)
    : m_top(*window.GetTopWindow())
{
    ++m_top.m_nDispatchDepth;
}

GXWindowMain::DispatchScope::~DispatchScope()
{
    if (--m_top.m_nDispatchDepth > 0 || !m_top.m_bDying || m_top.m_bDeleteQueued)
        return;
    m_top.m_bDeleteQueued = true;
    // The handler that asked for the deletion may still be on the stack
    // below a Qt event or a timer callback of this window; the deletion
    // waits for the event loop, where nothing of the window is in use.
    GXWindowMain* pTop = &m_top;
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [pTop] { delete pTop; }, Qt::QueuedConnection);
}

GXWindowMain::GXWindowMain(GXWindowMain* pParent)
    : GXConBase(pParent)
    , m_pParentWindow(pParent)
    , m_pTimers(std::make_unique<GXManTimer>())
    , m_pRefresh(std::make_unique<GXRefreshQueue>(
          [this](GXConBase& control) { RefreshControl(control); }, [this] { FinishRefresh(); }))
{
    ++g_nLiveWindows;
    GXSubTooltipWindow::Acquire();
    if (pParent != nullptr)
        m_pScript = pParent->m_pScript;
    else
        InitScript();
}

GXWindowMain::~GXWindowMain()
{
    UnloadSkin();
    m_pWidget.reset();
    m_pTimers.reset();
    m_pRefresh.reset();
    m_pScript = nullptr;
    m_pOwnScript.reset();
    --g_nLiveWindows;
    GXSubTooltipWindow::Release();
}

void GXWindowMain::Destroy(GXWindowMain* pWindow)
{
    if (pWindow == nullptr)
        return;
    GXWindowMain* pTop = pWindow->GetTopWindow();
    if (pTop->m_nDispatchDepth == 0 || pWindow != pTop) {
        delete pWindow;
        return;
    }
    if (pTop->m_bDying)
        return;
    // Busy: nothing may reach the application or the screen any more, and
    // the script in progress stops at its next statement.
    pTop->m_bDying = true;
    pTop->m_pOwnerWindow = nullptr;
    if (pTop->m_pWidget != nullptr)
        pTop->m_pWidget->hide();
    pTop->m_pTimers->KillAll();
    pTop->m_pRefresh->Clear();
    if (pTop->m_pScript != nullptr)
        pTop->m_pScript->SetStepLimit(kNoMoreStatements);
    pTop->HideTooltip();
}

int GXWindowMain::GetLiveCount()
{
    return g_nLiveWindows;
}

GXWindowMain* GXWindowMain::GetTopWindow()
{
    GXWindowMain* pWindow = this;
    while (pWindow->m_pParentWindow != nullptr)
        pWindow = pWindow->m_pParentWindow;
    return pWindow;
}

const GXWindowMain* GXWindowMain::GetTopWindow() const
{
    return const_cast<GXWindowMain*>(this)->GetTopWindow();
}

bool GXWindowMain::Create(GXWindowOwner* pOwner, const GXRect& rect)
{
    if (m_pWidget != nullptr)
        return false;
    m_pOwnerWindow = pOwner;
    QWidget* pParent = pOwner != nullptr ? pOwner->GetOwnerWidget() : nullptr;
    return CreateWidget(pParent, false, rect);
}

bool GXWindowMain::CreateWidget(QWidget* pParent, bool bPopup, const GXRect& rect)
{
    if (m_pWidget != nullptr)
        return false;
    m_pWidget = std::make_unique<GXWindowWidget>(*this, pParent, bPopup);
    m_pWidget->setGeometry(rect.left, rect.top, std::max(rect.Width(), 1), std::max(rect.Height(), 1));
    return true;
}

QWidget* GXWindowMain::GetWidget() const
{
    return m_pWidget.get();
}

void GXWindowMain::Close()
{
    if (m_pWidget != nullptr)
        m_pWidget->hide();
}

GXConBase* GXWindowMain::FindControl(int nId) const
{
    if (const auto it = m_idMap.find(nId); it != m_idMap.end())
        return it->second;
    for (const auto& pControl : m_controls) {
        const auto* pWindow = dynamic_cast<const GXWindowMain*>(pControl.get());
        if (pWindow == nullptr)
            continue;
        if (const auto it = pWindow->m_idMap.find(nId); it != pWindow->m_idMap.end())
            return it->second;
    }
    return nullptr;
}

GXWindowMain* GXWindowMain::FindChildWindow(int nId) const
{
    const auto it = m_idMap.find(nId);
    return it != m_idMap.end() ? dynamic_cast<GXWindowMain*>(it->second) : nullptr;
}

void GXWindowMain::ShowWindow(int nCmdShow)
{
    if (nCmdShow == GXShow::kShow)
        SetShow(true);
    else if (nCmdShow == GXShow::kHide)
        SetShow(false);
    if (m_pWidget == nullptr || m_bDying)
        return;
    if (nCmdShow == GXShow::kHide)
        m_pWidget->hide();
    else if (nCmdShow == GXShow::kMinimize || nCmdShow == GXShow::kShowMinimized)
        m_pWidget->showMinimized();
    else if (nCmdShow == GXShow::kShowMaximized)
        m_pWidget->showMaximized();
    else
        m_pWidget->show();
}

std::string GXWindowMain::GetErrorText() const
{
    return FormatSkinError(GetErrorCode(), GetErrorDetail());
}

// ---- notifications ----

std::intptr_t GXWindowMain::SendToOwner(unsigned nMessage, std::uintptr_t wParam, std::intptr_t lParam)
{
    return GetOwnerWindow() != nullptr ? GetOwnerWindow()->SendToOwner(nMessage, wParam, lParam) : 0;
}

void GXWindowMain::OnControlNotify(const SGxNotifyRecord& record)
{
    DispatchScope scope(*this);
    if (m_pParentWindow != nullptr) {
        m_pParentWindow->OnControlNotify(record);
        return;
    }
    static const unsigned kStrCmd = platform::RegisterMessage(GXMsgName::kStrCmd);
    if (record.message == kStrCmd) {
        RunStrCmd(reinterpret_cast<const char*>(record.wParam));
        return;
    }
    if (GetOwnerWindow() == nullptr)
        return;
    if (record.delivery == SGxNotifyRecord::Delivery::Post)
        GetOwnerWindow()->PostToOwner(record.message, record.wParam, record.lParam);
    else
        (void)GetOwnerWindow()->SendToOwner(record.message, record.wParam, record.lParam);
}

void GXWindowMain::RunStrCmd(const char* pszScript)
{
    if (pszScript == nullptr || m_pScript == nullptr)
        return;
    // Scripts are written into attributes, where single quotes are easier.
    std::string text(pszScript);
    std::replace(text.begin(), text.end(), '\'', '"');
    GXSVal result;
    if (m_pScript->Run(text.c_str(), &result, &m_nLastScriptError) != 0) {
        const std::string shown = FormatScriptResult(result);
        if (!shown.empty())
            DebugTrace("GXSCRIPT RESULT : %s", shown.c_str());
        return;
    }
    SetScriptError();
    NotifyOwner(GXSkinNotify::kScriptFailed, 0);
}

void GXWindowMain::SetScriptError()
{
    if (m_pScript == nullptr)
        return;
    std::string where;
    m_pScript->GetErrorText(where);
    SetError(
        GXSkinError::kScript, "EXP:%s CODE:%s", where.c_str(), GXScriptHost::ErrorString(m_nLastScriptError).c_str());
}

std::intptr_t GXWindowMain::NotifyOwner(int nCode, std::intptr_t lParam)
{
    GXWindowMain* pTop = GetTopWindow();
    if (pTop->m_pOwnerWindow == nullptr)
        return 0;
    static const unsigned kSkinNotify = platform::RegisterMessage(GXMsgName::kSkinNotify);
    DispatchScope scope(*this);
    return pTop->m_pOwnerWindow->SendToOwner(kSkinNotify, static_cast<std::uintptr_t>(nCode), lParam);
}

void GXWindowMain::HandleCommand(std::uintptr_t wParam, std::intptr_t lParam)
{
    if (GetOwnerWindow() != nullptr)
        GetOwnerWindow()->PostToOwner(GXMsg::kCommand, wParam, lParam);
}

// ---- timers and refreshes ----

void GXWindowMain::SetTimer(GXConBase& control, int nLocalId, int nElapseMs)
{
    if (!m_bDying)
        m_pTimers->SetTimer(&control, nLocalId, nElapseMs);
}

void GXWindowMain::KillTimer(GXConBase& control, int nLocalId)
{
    m_pTimers->KillTimer(&control, nLocalId);
}

void GXWindowMain::InvalidateControl(GXConBase& control)
{
    DispatchScope scope(*this);
    RedrawControl(&control);
    Update();
}

void GXWindowMain::RequestRefresh(GXConBase& control)
{
    if (!m_bDying)
        m_pRefresh->Request(control);
}

void GXWindowMain::RefreshControl(GXConBase& control)
{
    DispatchScope scope(*this);
    if (m_pControlRoot != nullptr) {
        m_pControlRoot->SetRedraw(Redraw::No);
        m_pControlRoot->Layout(m_sizeClient.cx, m_sizeClient.cy);
        m_pControlRoot->SetRedraw(Redraw::Yes);
    }
    control.Refresh();
    RedrawControl(&control);
}

void GXWindowMain::FinishRefresh()
{
    // The controls of one flush are drawn together: a start or a panel
    // switch refreshes dozens, each of which would redraw its part alone.
    DispatchScope scope(*this);
    Update();
}

void GXWindowMain::RefreshAll()
{
    DispatchScope scope(*this);
    for (const auto& pControl : m_controls)
        pControl->Refresh();
    if (m_pControlRoot != nullptr) {
        m_pControlRoot->SetRedraw(Redraw::Yes);
        m_pControlRoot->Layout(m_sizeClient.cx, m_sizeClient.cy);
    }
    RedrawControl(nullptr);
    Update();
}

// ---- drawing ----

void GXWindowMain::RedrawControl(const GXConBase* pControl)
{
    GXRect rect { 0, 0, m_sizeClient.cx, m_sizeClient.cy };
    if (pControl != nullptr)
        pControl->GetRect(&rect);
    if (rect.IsEmpty())
        return;
    if (m_bDirtyOnly) {
        m_rcDirty = GXRect { std::min(m_rcDirty.left, rect.left), std::min(m_rcDirty.top, rect.top),
            std::max(m_rcDirty.right, rect.right), std::max(m_rcDirty.bottom, rect.bottom) };
    } else {
        m_rcDirty = rect;
        m_bDirtyOnly = true;
    }
}

void GXWindowMain::RedrawBackBuffer()
{
    if (m_backBuffer.IsEmpty())
        return;
    m_backBuffer.SetClipRect(m_bDirtyOnly ? &m_rcDirty : nullptr);
    const GXRect whole { 0, 0, m_backBuffer.GetWidth(), m_backBuffer.GetHeight() };
    if (m_pBkgndImage != nullptr && !m_pBkgndImage->IsEmpty()) {
        if (m_bkgndMode == Background::Tile)
            m_pBkgndImage->TileTo(
                m_pBkgndImage->GetWidth(), m_pBkgndImage->GetHeight(), &m_backBuffer, whole, GDib::Transparent::No);
        else if (m_bkgndMode == Background::None)
            m_pBkgndImage->CopyTo(&m_backBuffer, 0, 0);
    } else if (m_bkgndMode == Background::Color) {
        m_backBuffer.FillClip(m_crBkgnd);
    }
    for (const auto& pControl : m_controls) {
        if (!pControl->IsShown())
            continue;
        GXRect rect;
        pControl->GetRect(&rect);
        if (m_bDirtyOnly && !RectsIntersect(rect, m_rcDirty))
            continue;
        pControl->Draw();
    }
    m_backBuffer.ReleaseMemDC();
}

void GXWindowMain::Update()
{
    if (m_backBuffer.IsEmpty())
        return;
    RedrawBackBuffer();
    if (m_pWidget != nullptr && !m_bDying) {
        if (m_bDirtyOnly)
            m_pWidget->update(m_rcDirty.left, m_rcDirty.top, m_rcDirty.Width(), m_rcDirty.Height());
        else
            m_pWidget->update();
    }
    m_backBuffer.SetClipRect(nullptr);
    m_rcDirty = GXRect {};
    m_bDirtyOnly = false;
}

void GXWindowMain::HandleSize(int nSizeType, int nWidth, int nHeight)
{
    DispatchScope scope(*this);
    LeaveHot();
    m_sizeClient = GXSize { nWidth, nHeight };
    // A nested window of its own that has not been shown is only laid out:
    // the toolkit gives it its size again as it first shows, and it is drawn
    // then.
    const bool bUnshown = m_bChild && m_pWidget != nullptr && m_pWidget->isWindow() && m_pWidget->isHidden();
    if (!bUnshown && nWidth > 0 && nHeight > 0
        && (m_backBuffer.IsEmpty() || m_backBuffer.GetWidth() < nWidth || m_backBuffer.GetHeight() < nHeight)) {
        GDib grown;
        const int cx = std::max(nWidth, m_backBuffer.GetWidth());
        const int cy = std::max(nHeight, m_backBuffer.GetHeight());
        if (grown.Create(cx, cy, 24))
            m_backBuffer = grown;
    }
    // Every control is drawn once below, over the whole back buffer, so
    // placing them draws nothing.
    if (m_pControlRoot != nullptr) {
        const Redraw redraw = m_pControlRoot->GetRedraw();
        m_pControlRoot->SetRedraw(Redraw::No);
        m_pControlRoot->Relayout(nSizeType, nWidth, nHeight);
        m_pControlRoot->SetRedraw(redraw);
    }
    if (m_pRegionRoot != nullptr && nSizeType != GXSizeType::kMinimized) {
        m_pRegionRoot->Relayout(nSizeType, nWidth, nHeight);
        const std::optional<QRegion> outline = nWidth > 0 || nHeight > 0 ? RegionOutline(m_regions) : std::nullopt;
        if (outline)
            SetWindowRegion(&*outline);
    }
    HandleMove();
    if (bUnshown)
        return;
    RedrawControl(nullptr);
    m_bDirtyOnly = false;
    Update();
}

void GXWindowMain::HandleMove()
{
    if (!m_flags.bMoveParent || m_pWidget == nullptr || GetOwnerWindow() == nullptr)
        return;
    QWidget* pOwner = GetOwnerWindow()->GetOwnerWidget();
    if (pOwner != nullptr && pOwner != m_pWidget->window())
        pOwner->setGeometry(m_pWidget->frameGeometry());
}

GXPoint GXWindowMain::ClientToScreen(GXPoint point) const
{
    if (m_pWidget == nullptr)
        return point;
    const QPoint global = m_pWidget->mapToGlobal(QPoint(point.x, point.y));
    return GXPoint { global.x(), global.y() };
}

int GXWindowMain::GetSkinDebugLevel() const
{
    return GetTopWindow()->m_nSkinDebug;
}

QWidget* GXWindowMain::GetHostWidget()
{
    return GetWidget();
}

void GXWindowMain::OnForwardedButton(int nButton, ButtonAction action, GXPoint point)
{
    if (action == ButtonAction::Down)
        HandleButtonDown(nButton, point);
    else
        HandleButtonUp(nButton, point);
}

void GXWindowMain::SetSkinDebugLevel(int nLevel)
{
    m_nSkinDebug = nLevel;
}

// ---- script ----

void GXWindowMain::InitScript()
{
    if (m_pScript != nullptr)
        return;
    m_pOwnScript = std::make_unique<GXScriptHost>();
    m_pScript = m_pOwnScript.get();
    RegisterSkinBuiltins(*m_pScript, this);
    // The interpreter's error reports ("@@r...") join the program's own
    // trace while that is on; otherwise they are not even formatted.
    if (std::getenv(kDebugTraceEnv) != nullptr)
        m_pScript->SetTrace([](const std::string& text) { DebugTrace("%s", text.c_str()); });
}

bool GXWindowMain::RunScript(const std::string& text)
{
    if (m_pScript == nullptr)
        return false;
    DispatchScope scope(*this);
    GXSVal result;
    return m_pScript->Run(text.c_str(), &result, &m_nLastScriptError) != 0;
}

bool GXWindowMain::HasScriptFunction(const std::string& name) const
{
    return m_pScript != nullptr && m_pScript->HasFunction(name);
}

std::string GXWindowMain::EvalText(const std::string& text)
{
    if (text.empty() || text[0] != '$' || m_pScript == nullptr)
        return text;
    DispatchScope scope(*this);
    const std::string expression = text.substr(1) + ";";
    GXSVal result;
    int nError = 0;
    if (m_pScript->Run(expression.c_str(), &result, &nError) != 0 && result.m_nType == GXSV_STRING)
        return result.m_strText;
    return text;
}
