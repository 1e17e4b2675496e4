#pragma once

#include "skin/GXConBase.h"
#include "skin/controls/GXStaticClick.h"
#include "skin/controls/GXStaticPicture.h"

#include <string>

// Thread: user-interface thread of its skin window.
// "StaticControl": a picture (one of six images in one of nine modes, or an
// animated strip), a colour or nothing, with text 0 on top; optionally
// clickable. A plain static is transparent to the mouse.
class GXConStatic : public GXConBase {
public:
    // The animation timer's local id; every id advances the animation.
    static constexpr int kAnimationTimer = 0;

    explicit GXConStatic(GXConOwner* pOwner);

    bool Load(GDib* pBackBuffer, const GXmpData* pElement) override;
    int Draw() override;
    bool ReadAlign(const GXmpData* pElement, SGxAlign* pAlign, int* pnError) override;
    void OnSize(int cx, int cy) override;
    void SetText(const std::string& text, int nIndex) override;
    void Refresh() override;
    bool OnButtonDown(int nButton, int x, int y, bool* pbCapture) override;
    bool OnButtonUp(int nButton, int x, int y, Captured captured) override;
    [[nodiscard]] bool HitTest(int x, int y) const override;
    void OnTimer(int nLocalId) override;
    // Slots 0..5 that hold an image; false and no change otherwise.
    bool SetImageNum(int nIndex) override;
    [[nodiscard]] int GetImageNum() const override;

    [[nodiscard]] int GetCurrentFrame() const { return m_picture.GetFrame(); }

private:
    GXStaticPicture m_picture;
    GXStaticClick m_click;
    std::string m_strEvent;
};
