#pragma once

#include "foundation/RectGeometry.h"
#include "platform/Clock.h"
#include "skin/GXTypes.h"

#include <QImage>
#include <QTimer>
#include <QWidget>

#include <cstdint>
#include <string>

class GXConBase;

// Thread: user-interface thread only.
// The skin's tooltip: one small top-most window, shared by every skin
// window of the program, that shows the Tooltip text of the control under
// the mouse near the cursor and inside the work area of the cursor's
// screen. It never takes the focus; it hides after its time-out, when the
// mouse moves over it, and when a skin window sees a button press.
class GXSubTooltipWindow : public QWidget {
public:
    // How long a skin window shows a tooltip, and how long the same text for
    // the same control is not shown again while the mouse moves over it.
    static constexpr int kTimeoutMs = 2000;
    static constexpr int kRepeatMs = 2000;
    static constexpr COLORREF kBackground = GxRgb(255, 255, 200);

    explicit GXSubTooltipWindow(platform::Clock& clock = platform::Clock::System());
    ~GXSubTooltipWindow() override;

    // The one tooltip of the program: the first skin window creates it and
    // the last one to release it destroys it.
    static GXSubTooltipWindow* Acquire();
    static void Release();
    // The shared tooltip, or null while no skin window holds it.
    static GXSubTooltipWindow* Shared();

    // Shows text for the control: at pPosition (top-left corner) when given,
    // else near the cursor. False when nothing was shown: an empty text
    // (which hides the tooltip), or the same control and text again within
    // kRepeatMs of the last show or hide while the mouse just moves on.
    // The text reads as a label's does: "&&" shows one "&", and a single
    // "&" underlines the character after it.
    bool Show(const GXConBase* pOwner, const std::string& text, const GXPoint* pPosition, int nTimeoutMs);
    void Hide();

    [[nodiscard]] const GXConBase* GetOwner() const { return m_pOwner; }
    [[nodiscard]] const std::string& GetText() const { return m_strText; }

    // Where a tooltip of this size goes for the cursor: its left edge at the
    // cursor, its top 20 pixels below, moved into the work area; when the
    // cursor would then be covered (near the bottom), 5 pixels above the
    // cursor instead, moved into the work area again.
    [[nodiscard]] static SRect PlaceNearCursor(GXPoint cursor, GXSize size, const SRect& workArea);
    // The work area of the screen that holds the point, else of the nearest.
    [[nodiscard]] static SRect WorkAreaFromPoint(GXPoint point);

protected:
    void paintEvent(QPaintEvent* pEvent) override;
    void mouseMoveEvent(QMouseEvent* pEvent) override;

private:
    void Render(const QString& text, GXSize size);

    platform::Clock& m_clock;
    QImage m_image;
    const GXConBase* m_pOwner = nullptr;
    std::string m_strText;
    std::uint64_t m_nStampMs = 0;
    QTimer m_timeout;
};
