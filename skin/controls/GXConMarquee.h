#pragma once

#include "skin/GDib.h"
#include "skin/GXConBase.h"
#include "skin/controls/GXStaticClick.h"

// Thread: user-interface thread of its skin window.
// "MarqueeControl": text 0 as a moving strip (the title on the air), either
// scrolling through the control or bouncing between its edges. The text is
// rendered into the strip once per change; a tick only moves the offset of
// the window the control shows into the strip.
class GXConMarquee : public GXConBase {
public:
    enum class Behaviour { Scroll = 0, Alternate = 1 };
    enum class Direction { Left = 0, Right = 1, Up = 2, Down = 3 };
    enum class Rotation { None = 0, Left = 1, Right = 2 };
    static constexpr int kScrollTimer = 1000;
    // Ticks the text rests at each end of a bounce.
    static constexpr int kPauseTicks = 30;

    explicit GXConMarquee(GXConOwner* pOwner);

    bool Load(GDib* pBackBuffer, const GXmpData* pElement) override;
    int Draw() override;
    void SetText(const std::string& text, int nIndex) override;
    void OnTimer(int nLocalId) override;
    [[nodiscard]] bool HitTest(int x, int y) const override;
    bool OnButtonDown(int nButton, int x, int y, bool* pbCapture) override;
    bool OnButtonUp(int nButton, int x, int y, Captured captured) override;

    [[nodiscard]] GXPoint GetOffset() const { return GXPoint { m_nOffsetX, m_nOffsetY }; }
    [[nodiscard]] const GDib& GetStrip() const { return m_strip; }
    [[nodiscard]] int GetPause() const { return m_nPause; }
    // Off: the text rests where a new text starts (a notice that must be
    // read); on: it moves again. On after loading.
    void SetScrolling(bool bScroll);
    [[nodiscard]] bool IsScrolling() const { return m_bScrolling; }

private:
    void BuildStrip();
    void StepScroll(int w, int h, bool bFits);
    void StepAlternate(int w, int h, bool bFits);

    GDib m_strip;
    int m_nScrollDelay = 100;
    bool m_bScrolling = true;
    int m_nScrollAmount = 1;
    Behaviour m_behaviour = Behaviour::Scroll;
    Direction m_direction = Direction::Left;
    int m_nOffsetX = 0;
    int m_nOffsetY = 0;
    int m_nStripWidth = 0;
    int m_nStripHeight = 0;
    int m_nSign = 1;
    bool m_bAlternateWhenLarge = false;
    bool m_bScrollWhenLarge = false;
    bool m_bSettled = false;
    GXStaticClick m_click;
    int m_nPause = -1;
    bool m_bFirstDrawPending = true;
    Rotation m_rotation = Rotation::None;
};
