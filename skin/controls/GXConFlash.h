#pragma once

#include "skin/GXConBase.h"
#include "skin/GXConOwner.h"
#include "skin/host/CFlashWnd.h"

#include <string>
#include <vector>

// Thread: user-interface thread of its skin window.
// "FlashControl": a Flash movie's stage over the control's rectangle. No
// player exists here, so the stage shows the background colour and the
// movie is remembered, not played; skins with a Flash control load and lay
// out as they would with one. Right and middle clicks on the stage (and
// left clicks the pass-through test gives to the skin) reach the skin
// window through CFlashMouseHookMan.
class GXConFlash : public GXConBase {
public:
    // Which left clicks the movie keeps. Skins cannot set this; every Flash
    // control of the program keeps kAll.
    enum class PassMode { kAll = 0, kNearEdge = 1, kInRects = 2 };
    // The edge kNearEdge measures from.
    enum class Edge { kLeft = 0, kTop = 1, kBottom = 2, kRight = 3, kNone = 11 };

    explicit GXConFlash(GXConOwner* pOwner);
    ~GXConFlash() override;

    // Makes the stage, then URL and OffURL (taken as written, "./" a skin
    // file), BkgndColor and OfflineHide, which starts the control hidden.
    // Fails only when the common attributes fail.
    bool Load(GDib* pBackBuffer, const GXmpData* pElement) override;
    void SetPos(int x, int y, int cx, int cy, Redraw redraw) override;
    void OnSize(int cx, int cy) override;

    void SetPassThrough(PassMode mode, Edge edge, int nDistance, std::vector<GXRect> rects);
    // Whether a left click at (x, y) of the stage stays with the movie.
    [[nodiscard]] bool PassesToMovie(int x, int y) const;
    // A button handed back from the stage, at a point of the window's
    // client area.
    void HandToSkin(int nButton, GXConOwner::ButtonAction action, GXPoint point);

    [[nodiscard]] const CFlashWnd& GetHost() const { return m_host; }

private:
    CFlashWnd m_host;
    PassMode m_passMode = PassMode::kAll;
    Edge m_passEdge = Edge::kNone;
    int m_nPassDistance = 0;
    bool m_bOfflineHide = false;
    std::vector<GXRect> m_passRects;
};
