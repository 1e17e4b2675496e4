#pragma once

#include "skin/controls/GXConButton.h"

#include <memory>

class QAction;
class QMenu;
class QPoint;
struct SGxMenuItem;

// What the owner is told around a pop-up menu (NotifyOwner codes
// GXSkinNotify::kMenuOpening and kMenuChosen); both live on the button's stack
// and are valid only during the call.
struct SGxMenuOpen {
    const SGxMenuItem* pMenu = nullptr;
    QMenu* pPopup = nullptr;
    int nMenuId = 0;
    int nSubMenu = 0;
};
struct SGxMenuClosed {
    int nMenuId = 0;
    int nCommand = 0;
};

// Thread: user-interface thread of its skin window; the menu runs a modal
// loop inside OnButtonUp.
// "PopupMenuButtonControl": a button that, clicked, opens pop-up SubMenu of
// the program's menu MenuID below (or above) itself and sends the chosen
// entry's command. Without MenuID and SubMenu it is a plain button.
class GXConPopupMenuButton : public GXConButton {
public:
    enum class Position { Up = 0, Down = 1 };

    // Where the menu goes: its top edge at y, or its bottom edge at y when
    // bBottomEdge. Opening down flips up when the menu would leave the
    // work area's bottom, and the other way round.
    struct SPlace {
        int x = 0;
        int y = 0;
        bool bBottomEdge = false;
        friend bool operator==(const SPlace&, const SPlace&) = default;
    };
    [[nodiscard]] static SPlace PlaceMenu(
        const SRect& button, const SRect& workArea, int nMenuHeight, Position position);

    // A menu's pop-up as a QMenu whose actions carry their command ids;
    // nesting deeper than a few levels is cut off.
    [[nodiscard]] static std::unique_ptr<QMenu> BuildMenu(const SGxMenuItem& popup);
    // The command an action carries; 0 for none (the menu was dismissed).
    [[nodiscard]] static int ChosenCommand(const QAction* pAction);

    explicit GXConPopupMenuButton(GXConOwner* pOwner);
    ~GXConPopupMenuButton() override;

    bool Load(GDib* pBackBuffer, const GXmpData* pElement) override;
    bool OnButtonUp(int nButton, int x, int y, Captured captured) override;

    [[nodiscard]] bool HasMenu() const { return m_nMenuId != 0; }
    [[nodiscard]] bool IsMenuOpen() const { return m_bMenuOpen; }

protected:
    // Runs the menu modally at a screen point; the chosen action or null.
    virtual QAction* ExecMenu(QMenu& menu, const QPoint& at);
    [[nodiscard]] virtual GXPoint CursorPos() const;
    [[nodiscard]] virtual SRect WorkAreaAt(GXPoint point) const;

private:
    int m_nMenuId = 0;
    int m_nSubMenu = 0;
    Position m_position = Position::Down;
    bool m_bMenuOpen = false;
    // Cleared by the destructor. The menu's modal loop dispatches other
    // events, and one of them may unload the skin and this button with it.
    std::shared_ptr<bool> m_pAlive = std::make_shared<bool>(true);
};
