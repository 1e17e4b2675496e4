#pragma once

#include "skin/GDib.h"
#include "skin/GXConBase.h"

class GXConSliderParent;

// Thread: user-interface thread of its skin window; reports are sent while
// the mouse event is handled.
// "SliderControl": a track, an optional fill up to the knob, and a knob
// (with a hot variant) that the user drags or clicks to a position. The
// application sees positions in the order it gave SetRange (a range given
// high to low runs backwards); the slider keeps them low to high inside.
// The picture is composed off screen only when the knob moves, so a draw
// is one keyed copy.
class GXConSlider : public GXConBase {
public:
    enum class Force { No, Yes };

    explicit GXConSlider(GXConOwner* pOwner);

    bool Load(GDib* pBackBuffer, const GXmpData* pElement) override;
    int Draw() override;
    bool ReadAlign(const GXmpData* pElement, SGxAlign* pAlign, int* pnError) override;
    void OnSize(int cx, int cy) override;
    void Refresh() override;
    bool OnMouseMove(int x, int y, Captured captured, bool* pbWantLeave) override;
    bool OnMouseLeave() override;
    bool OnButtonDown(int nButton, int x, int y, bool* pbCapture) override;
    bool OnButtonUp(int nButton, int x, int y, Captured captured) override;

    // The layout's SetPos, beside the slider's own.
    using GXConBase::SetPos;
    // The range, from the start of the track to its end; from > to runs
    // backwards. The knob goes to from, except during a drag, where it
    // keeps the user's position inside the new range.
    void SetRange(int nFrom, int nTo, Redraw redraw);
    // Ignored while the user drags unless forced; clamped to the range.
    void SetPos(int nPos, Force force);
    [[nodiscard]] int GetPos() const;
    // The part of the range one view shows, for a knob that grows with it
    // (list boxes); -1 for none. SetRange clears it.
    void SetPage(int nPage);
    void SetParent(GXConSliderParent* pParent) { m_pParent = pParent; }

    [[nodiscard]] bool IsDragging() const { return m_bDragging; }
    [[nodiscard]] bool IsHotShown() const { return m_bHot; }
    [[nodiscard]] int GetInternalPos() const { return m_nPos; }
    // The value under a control coordinate along the slider's axis.
    [[nodiscard]] int ValueAt(int nCoordinate) const;
    // The knob's offset from the start edge as the composite draws it.
    [[nodiscard]] int KnobOffset() const;
    [[nodiscard]] const GDib& GetComposite() const { return m_composite; }

private:
    [[nodiscard]] int Length() const { return m_bVertical ? m_nHeight : m_nWidth; }
    void SetInternalPos(int nPos);
    void BuildBackground();
    void BuildComposite(Force force);
    void DrawKnob(const GDib* pKnob, int k);
    enum class Report { Change, End };
    void ReportChange(Report report, int nPos);

    bool m_bDragging = false;
    int m_nWidth = 0;
    int m_nHeight = 0;
    GDib m_composite;
    GDib m_background;
    GXPoint m_ptDragStart;
    GXConSliderParent* m_pParent = nullptr;
    bool m_bHot = false;
    GDib* m_pTrack = nullptr;
    GDib* m_pKnob = nullptr;
    GDib* m_pKnobHot = nullptr;
    // Accepted for skins that name it; no caller shows a sub-range.
    GDib* m_pRange = nullptr;
    GDib* m_pFill = nullptr;
    GDib* m_pEmpty = nullptr;
    int m_nMax = -1;
    int m_nMin = -1;
    int m_nPos = 0;
    int m_nLastScanned = 0;
    bool m_bReversed = false;
    int m_nPage = -1;
    int m_nLastKnob = -1;
    int m_nStartEdge = 0;
    int m_nEndEdge = 0;
    bool m_bFillEmpty = false;
    bool m_bVariableKnob = false;
    bool m_bVertical = false;
    int m_nKnobLength = 0;
    bool m_bScrollBar = false;
};
