#pragma once

#include "skin/GXConBase.h"

#include <QPointer>
#include <QWidget>

// Thread: user-interface thread of its skin window.
// "WindowControl": a place in the skin for a native widget (the main
// window's title field). The widget attached to the control follows the
// control's layout rectangle: it is moved there, or, in region mode, left
// where it is and masked to that rectangle. Without a widget the control
// only records its rectangle.
//
// The widget belongs to the application, never to the skin. A nested skin
// window is a window of its own, so the control moves the widget into it
// (Place) and shown there; closing the control, which unloading or
// reloading the skin does, gives the widget back to the parent it came from,
// where and as visible as it was, so deleting the skin's windows never
// deletes it.
class GXConWindow : public GXConBase {
public:
    enum class RegionMode { No, Yes };

    explicit GXConWindow(GXConOwner* pOwner);
    ~GXConWindow() override;
    GXConWindow(const GXConWindow&) = delete;
    GXConWindow& operator=(const GXConWindow&) = delete;

    void SetPos(int x, int y, int cx, int cy, Redraw redraw) override;
    int Draw() override;
    // Gives a widget moved into the skin back to its own parent.
    void Close() override;

    // Attaches a widget (null detaches) and puts it in step at once.
    void Attach(QWidget* pWidget);
    // Attaches a widget after moving it into pHost, when that is not its
    // parent yet; Close moves it back. A null host leaves it where it is.
    void Place(QWidget* pWidget, QWidget* pHost);
    // Turning region mode off takes the mask away again.
    void SetRegionMode(RegionMode mode);
    [[nodiscard]] RegionMode GetRegionMode() const { return m_regionMode; }

private:
    void PlaceAttached();
    void GiveBack();

    RegionMode m_regionMode = RegionMode::No;
    // A widget moved into the skin and the window it went to; where it came
    // from is kept on the widget.
    QPointer<QWidget> m_pMoved;
    QPointer<QWidget> m_pHost;
};
