#include "skin/controls/GXConPopupMenuButton.h"

#include "foundation/GXmpData.h"
#include "platform/MessageRegistry.h"
#include "skin/GXConOwner.h"
#include "skin/GXSkinIds.h"
#include "skin/controls/SGxMenuItem.h"

#include <QAction>
#include <QCursor>
#include <QGuiApplication>
#include <QMenu>
#include <QScreen>

#include <cstdlib>

namespace {

constexpr int kErrorValue = 7;
constexpr int kErrorMenuId = 47;
// Menus are short tables of our own; deeper nesting is a mistake.
constexpr int kMaxMenuDepth = 8;

void AddItems(QMenu* pMenu, const SGxMenuItem& popup, int nDepth)
{
    for (const SGxMenuItem& item : popup.children) {
        const QString text = QString::fromStdString(item.text);
        if (!item.children.empty()) {
            if (nDepth < kMaxMenuDepth)
                AddItems(pMenu->addMenu(text), item, nDepth + 1);
        } else if (item.text.empty()) {
            pMenu->addSeparator();
        } else {
            pMenu->addAction(text)->setData(item.nCommandId);
        }
    }
}

} // namespace

GXConPopupMenuButton::GXConPopupMenuButton(GXConOwner* pOwner)
    : GXConButton(pOwner)
{
}

GXConPopupMenuButton::~GXConPopupMenuButton()
{
    *m_pAlive = false;
}

GXConPopupMenuButton::SPlace GXConPopupMenuButton::PlaceMenu(
    const SRect& button, const SRect& workArea, int nMenuHeight, Position position)
{
    const long long height = nMenuHeight;
    if (position == Position::Down) {
        if (button.bottom + height > workArea.bottom)
            return SPlace { button.left, button.top, true };
        return SPlace { button.left, button.bottom, false };
    }
    if (button.top - height <= workArea.top)
        return SPlace { button.left, button.bottom, false };
    return SPlace { button.left, button.top, true };
}

std::unique_ptr<QMenu> GXConPopupMenuButton::BuildMenu(const SGxMenuItem& popup)
{
    auto pMenu = std::make_unique<QMenu>();
    AddItems(pMenu.get(), popup, 1);
    return pMenu;
}

int GXConPopupMenuButton::ChosenCommand(const QAction* pAction)
{
    return pAction != nullptr ? pAction->data().toInt() : 0;
}

bool GXConPopupMenuButton::Load(GDib* pBackBuffer, const GXmpData* pElement)
{
    if (!GXConButton::Load(pBackBuffer, pElement))
        return false;
    std::string menu;
    std::string subMenu;
    if (!pElement->GetAttribute("MenuID", &menu) || !pElement->GetAttribute("SubMenu", &subMenu))
        return true;
    if (GetOwner() == nullptr || !GetOwner()->LookupIdName(menu, &m_nMenuId)) {
        m_nMenuId = 0;
        SetError(kErrorMenuId, "%s", menu.c_str());
        return false;
    }
    m_nSubMenu = std::atoi(subMenu.c_str());
    std::string position;
    if (pElement->GetAttribute("MenuPosition", &position)) {
        if (position == "up") {
            m_position = Position::Up;
        } else if (position == "down") {
            m_position = Position::Down;
        } else {
            SetError(kErrorValue, "%s=%s", "MenuPosition", position.c_str());
            return false;
        }
    }
    return true;
}

bool GXConPopupMenuButton::OnButtonUp(int nButton, int x, int y, Captured captured)
{
    if (!GXConButton::OnButtonUp(nButton, x, y, captured))
        return false;
    if (!GXConBase::HitTest(x, y))
        return true;
    if (!HasMenu()) {
        SetState(State::Normal);
        return true;
    }
    // The click that closed our own menu must not open it again.
    if (m_bMenuOpen) {
        m_bMenuOpen = false;
        return true;
    }
    const SGxMenuItem* pMenu = GetOwner() != nullptr ? GetOwner()->FindMenu(m_nMenuId) : nullptr;
    if (pMenu == nullptr)
        return true;
    static const SGxMenuItem kEmpty;
    const bool bHasPopup = m_nSubMenu >= 0 && static_cast<std::size_t>(m_nSubMenu) < pMenu->children.size();
    const std::unique_ptr<QMenu> pPopup
        = BuildMenu(bHasPopup ? pMenu->children[static_cast<std::size_t>(m_nSubMenu)] : kEmpty);

    SRect screen;
    GetScreenRect(&screen);
    const int height = pPopup->sizeHint().height();
    const SPlace place = PlaceMenu(screen, WorkAreaAt(CursorPos()), height, m_position);
    const QPoint at(place.x, place.bBottomEdge ? place.y - height : place.y);

    const SGxMenuOpen open { pMenu, pPopup.get(), m_nMenuId, m_nSubMenu };
    NotifyOwner(GXSkinNotify::kMenuOpening, reinterpret_cast<std::intptr_t>(&open));
    SetState(State::Pressed);
    m_bMenuOpen = true;
    const std::shared_ptr<bool> pAlive = m_pAlive;
    const int command = ChosenCommand(ExecMenu(*pPopup, at));
    if (!*pAlive)
        return true;
    SetState(State::Normal);
    Invalidate();
    const SGxMenuClosed closed { m_nMenuId, command };
    if (NotifyOwner(GXSkinNotify::kMenuChosen, reinterpret_cast<std::intptr_t>(&closed)) == 0 && command != 0)
        NotifyCommand(static_cast<unsigned>(command));
    const GXPoint cursor = CursorPos();
    const bool bCursorInside
        = cursor.x >= screen.left && cursor.x < screen.right && cursor.y >= screen.top && cursor.y < screen.bottom;
    m_bMenuOpen = bCursorInside && command == 0;
    return true;
}

QAction* GXConPopupMenuButton::ExecMenu(QMenu& menu, const QPoint& at)
{
    return menu.exec(at);
}

GXPoint GXConPopupMenuButton::CursorPos() const
{
    const QPoint pos = QCursor::pos();
    return GXPoint { pos.x(), pos.y() };
}

SRect GXConPopupMenuButton::WorkAreaAt(GXPoint point) const
{
    QScreen* pScreen = QGuiApplication::screenAt(QPoint(point.x, point.y));
    if (pScreen == nullptr)
        pScreen = QGuiApplication::primaryScreen();
    if (pScreen == nullptr)
        return SRect { 0, 0, 0, 0 };
    const QRect area = pScreen->availableGeometry();
    return SRect { area.left(), area.top(), area.left() + area.width(), area.top() + area.height() };
}
