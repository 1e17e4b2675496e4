#include "skin/host/CFlashMouseHookMan.h"

#include "skin/GXConBase.h"
#include "skin/controls/GXConFlash.h"

#include <QMouseEvent>
#include <QWidget>

#include <algorithm>

namespace {

CFlashMouseHookMan* g_pHookMan = nullptr;

int ButtonNumber(Qt::MouseButton button)
{
    switch (button) {
    case Qt::LeftButton:
        return GXConBase::kButtonLeft;
    case Qt::RightButton:
        return GXConBase::kButtonRight;
    case Qt::MiddleButton:
        return GXConBase::kButtonMiddle;
    default:
        return 0;
    }
}

} // namespace

void CFlashMouseHookMan::AddRef()
{
    if (g_pHookMan == nullptr)
        g_pHookMan = new CFlashMouseHookMan();
    ++g_pHookMan->m_nRef;
}

void CFlashMouseHookMan::Release()
{
    if (g_pHookMan == nullptr)
        return;
    if (--g_pHookMan->m_nRef <= 0) {
        delete g_pHookMan;
        g_pHookMan = nullptr;
    }
}

CFlashMouseHookMan* CFlashMouseHookMan::Get()
{
    return g_pHookMan;
}

void CFlashMouseHookMan::Register(GXConFlash& control, QWidget* pInner)
{
    if (pInner == nullptr)
        return;
    Unregister(control);
    m_records.push_back(FlashConInfo { &control, pInner });
    pInner->installEventFilter(this);
}

void CFlashMouseHookMan::Unregister(GXConFlash& control)
{
    auto it = std::find_if(
        m_records.begin(), m_records.end(), [&](const FlashConInfo& info) { return info.pControl == &control; });
    if (it == m_records.end())
        return;
    if (it->pInner != nullptr)
        it->pInner->removeEventFilter(this);
    m_records.erase(it);
}

// Moves and everything but button presses and releases pass on. Qt reports
// every second press in quick succession as a double click; for the right
// and middle buttons it is handed back as the press it is, or the skin
// would miss every other context-menu click.
bool CFlashMouseHookMan::eventFilter(QObject* pWatched, QEvent* pEvent)
{
    const QEvent::Type type = pEvent->type();
    if (type != QEvent::MouseButtonPress && type != QEvent::MouseButtonRelease && type != QEvent::MouseButtonDblClick)
        return false;
    const auto it = std::find_if(
        m_records.begin(), m_records.end(), [&](const FlashConInfo& info) { return info.pInner == pWatched; });
    if (it == m_records.end())
        return false;
    const auto* pMouse = static_cast<QMouseEvent*>(pEvent);
    const int nButton = ButtonNumber(pMouse->button());
    if (nButton == 0)
        return false;
    const QPoint local = pMouse->position().toPoint();
    const QPoint client = it->pInner->mapToParent(local);
    const GXConOwner::ButtonAction action
        = type == QEvent::MouseButtonRelease ? GXConOwner::ButtonAction::Up : GXConOwner::ButtonAction::Down;
    if (nButton == GXConBase::kButtonLeft) {
        if (it->pControl->PassesToMovie(local.x(), local.y()))
            return false;
        if (type == QEvent::MouseButtonDblClick)
            return true;
    }
    it->pControl->HandToSkin(nButton, action, GXPoint { client.x(), client.y() });
    return true;
}
