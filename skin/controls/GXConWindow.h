#pragma once

#include "skin/GXConBase.h"

// Thread: user-interface thread of its skin window.
// "WindowControl": a place in the skin for a native widget (the main
// window's title field). The widget attached to the control follows the
// control's layout rectangle: it is moved there, or, in region mode, left
// where it is and masked to that rectangle. Without a widget the control
// only records its rectangle. The widget is not owned.
class GXConWindow : public GXConBase {
public:
    enum class RegionMode { No, Yes };

    explicit GXConWindow(GXConOwner* pOwner);

    void SetPos(int x, int y, int cx, int cy, Redraw redraw) override;
    int Draw() override;

    // Attaches a widget (null detaches) and puts it in step at once.
    void Attach(QWidget* pWidget);
    // Turning region mode off takes the mask away again.
    void SetRegionMode(RegionMode mode);
    [[nodiscard]] RegionMode GetRegionMode() const { return m_regionMode; }

private:
    void PlaceAttached();

    RegionMode m_regionMode = RegionMode::No;
};
