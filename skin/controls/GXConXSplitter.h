#pragma once

#include "skin/GXConBase.h"

#include <array>

class QCursor;

// Thread: user-interface thread of its skin window.
// "XSplitterControl": a horizontal and a vertical bar crossing inside the
// control, dividing it into four panes, each another control of the skin
// that the splitter places through the window's layout tree. Dragging a bar
// moves it; dragging the crossing moves both. Each pane keeps a minimum
// size, taken from its neighbour across the bar.
class GXConXSplitter : public GXConBase {
public:
    // Parts under the pointer.
    enum Part { kNone = 0, kHorizontalBar = 1, kVerticalBar = 2, kCrossing = 3 };
    enum Pane { kLeftTop, kRightTop, kLeftBottom, kRightBottom, kPaneCount };
    // Pane sizes: the widths of the left and right panes, the heights of
    // the top and bottom ones.
    struct SPanes {
        int nLeft = 0;
        int nRight = 0;
        int nTop = 0;
        int nBottom = 0;
    };

    explicit GXConXSplitter(GXConOwner* pOwner);

    bool Load(GDib* pBackBuffer, const GXmpData* pElement) override;
    // Every move places the panes again, not only a change of size.
    void SetPos(int x, int y, int cx, int cy, Redraw redraw) override;
    int Draw() override;
    void OnSize(int cx, int cy) override;
    void Refresh() override;
    [[nodiscard]] const QCursor* GetCursor(int x, int y) const override;
    bool OnMouseMove(int x, int y, Captured captured, bool* pbWantLeave) override;
    bool OnButtonDown(int nButton, int x, int y, bool* pbCapture) override;
    bool OnButtonUp(int nButton, int x, int y, Captured captured) override;
    // True over a bar.
    [[nodiscard]] bool HitTest(int x, int y) const override;

    [[nodiscard]] SPanes ComputePanes() const;
    [[nodiscard]] Part PartAt(int x, int y) const;
    [[nodiscard]] int GetPaneWidth() const { return m_nPaneWidth; }
    [[nodiscard]] int GetPaneHeight() const { return m_nPaneHeight; }
    [[nodiscard]] bool IsDragging() const { return m_bDragging; }

private:
    void Relayout();

    std::array<int, kPaneCount> m_nPaneIds { -1, -1, -1, -1 };
    GDib* m_pHFrame = nullptr;
    GDib* m_pVFrame = nullptr;
    GDib* m_pCenter = nullptr;
    GDib* m_pHPadding = nullptr;
    GDib* m_pVPadding = nullptr;
    int m_nBarWidth = 0;
    int m_nBarHeight = 0;
    int m_nPaneWidth = 0;
    int m_nPaneHeight = 0;
    bool m_bAlignLeft = true;
    bool m_bAlignTop = true;
    const QCursor* m_pCursorH = nullptr;
    const QCursor* m_pCursorV = nullptr;
    const QCursor* m_pCursorCenter = nullptr;
    // Left width, top height, right width, bottom height.
    GXRect m_minimum;
    bool m_bDragging = false;
    Part m_dragPart = kNone;
};
