#pragma once

#include "skin/GDib.h"
#include "skin/GXConBase.h"
#include "skin/controls/GXStaticClick.h"
#include "skin/controls/GXStaticPicture.h"

#include <string>

// Thread: user-interface thread of its skin window.
// "StaticFadeControl": a static whose animation cross-fades from one frame
// of its strip to the next. The fades are blended into a private copy of the
// image (skin images are shared by every control that names them), each
// step onto the result of the last, so the picture approaches the new frame
// faster than linearly and the last step lands on it exactly. With
// "tileanimation" it fades once, to the second frame, and stays there.
class GXConStaticFade : public GXConBase {
public:
    static constexpr int kFadeTimer = 1000;
    static constexpr int kFrameTimer = 1010;
    static constexpr int kFullWeight = 255;

    explicit GXConStaticFade(GXConOwner* pOwner);

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
    bool SetImageNum(int nIndex) override;
    [[nodiscard]] int GetImageNum() const override;

    [[nodiscard]] int GetFadeLevel() const { return m_nFadeLevel; }
    [[nodiscard]] int GetCurrentFrame() const { return m_picture.GetFrame(); }
    [[nodiscard]] const GDib& GetDisplayImage() const { return m_display; }

private:
    void TakeImage();
    void NextFrame();
    void FadeStep();

    GXStaticPicture m_picture;
    GXStaticClick m_click;
    std::string m_strEvent;
    GDib m_display;
    GDib m_stripCopy;
    GDib m_nextFrame;
    bool m_bFading = false;
    int m_nFadeLevel = 0;
    int m_nFadeAmount = 1;
    int m_nFadeDelay = 100;
};
