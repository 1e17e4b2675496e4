#pragma once

#include "skin/controls/GXConStatic.h"

// Thread: user-interface thread of its skin window.
// "SplitterControl": a static that, dragged with the mouse, resizes the
// layout node of its AssociateControl and lays the whole window out again.
// The new size is the size at the start of the drag plus the pointer's
// travel, whichever side the pane is docked to: skins place their
// splitters knowing that.
class GXConSplitter : public GXConStatic {
public:
    explicit GXConSplitter(GXConOwner* pOwner);

    bool Load(GDib* pBackBuffer, const GXmpData* pElement) override;
    bool OnMouseMove(int x, int y, Captured captured, bool* pbWantLeave) override;
    bool OnMouseLeave() override;
    bool OnButtonDown(int nButton, int x, int y, bool* pbCapture) override;
    bool OnButtonUp(int nButton, int x, int y, Captured captured) override;
    [[nodiscard]] bool HitTest(int x, int y) const override;

    [[nodiscard]] bool IsDragging() const { return m_bDragging; }

private:
    [[nodiscard]] GXPoint ToScreen(int x, int y) const;

    bool m_bDragging = false;
    int m_nAssociateId = 0;
    bool m_bAssociate = false;
    GXPoint m_ptStart;
    GXSize m_sizeStart;
};
