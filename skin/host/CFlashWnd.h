#pragma once

#include "skin/GXTypes.h"

#include <QPointer>
#include <QWidget>

#include <string>

// Thread: user-interface thread only.
// The stage of a Flash control: a child widget of the skin window over the
// control's rectangle. No Flash player exists for this platform, so the
// stage plays nothing; it keeps the movie it was asked for and paints the
// movie's background colour (or lets the skin show through when there is
// none), and it is the widget whose mouse buttons CFlashMouseHookMan hands
// back to the skin.
class CFlashWnd {
public:
    CFlashWnd() = default;
    CFlashWnd(const CFlashWnd&) = delete;
    CFlashWnd& operator=(const CFlashWnd&) = delete;
    ~CFlashWnd();

    // Makes the stage (shown) as a child of pParent at rect; once only.
    // Without a parent there is nothing to draw into: the host is created
    // without a stage, so a skin still loads where no window is shown.
    bool Create(QWidget* pParent, const GXRect& rect);
    [[nodiscard]] bool IsCreated() const { return m_bCreated; }
    // Whether a player can play movies here; never on this platform.
    [[nodiscard]] static bool IsPlayerAvailable() { return false; }
    // Keeps the movie and reports it unplayed: false.
    bool LoadMovie(const std::string& url);
    [[nodiscard]] const std::string& GetMovie() const { return m_strMovie; }
    void SetBackgroundColor(COLORREF color);
    // x, y, width, height in the parent's coordinates.
    void Move(int x, int y, int cx, int cy);
    void Show();
    void Hide();
    void Enable();
    // Also gives the keyboard focus back to the skin window when it was on
    // the stage.
    void Disable();
    void Destroy();
    // The widget mouse input arrives at; null without a stage.
    [[nodiscard]] QWidget* GetInnerWindow() const { return m_pStage.data(); }

private:
    // The parent deletes its children, so the stage may be gone before us.
    QPointer<QWidget> m_pStage;
    std::string m_strMovie;
    bool m_bCreated = false;
};
