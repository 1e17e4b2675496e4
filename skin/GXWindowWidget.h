#pragma once

#include "foundation/RectGeometry.h"

#include <QPoint>
#include <QRect>
#include <QWidget>

class GSnap;
class GXWindowMain;

// Thread: user-interface thread only.
// The Qt face of a skin window: turns Qt's events into the window's
// handlers and copies the window's back buffer to the screen when asked to
// paint. It also runs the skin's own caption drag and border resize, with
// window snapping, since a frameless skin has no title bar for the window
// manager to drag, and the close, minimise and maximise areas a skin marks
// act on release inside the same area.
class GXWindowWidget : public QWidget {
public:
    // The resize band along a ResizeBorder skin's edges.
    static constexpr int kFrameWidth = 4;

    GXWindowWidget(GXWindowMain& window, QWidget* pParent, bool bPopup);
    ~GXWindowWidget() override;

    // A skin that asks for double clicks turns them on for every skin
    // window of the program; until then a second press is a press.
    static void EnableDoubleClicks(bool bEnable);

    // Qt's key code as the skin's controls know keys (GXKey); 0 for none.
    [[nodiscard]] static int ToVirtualKey(int nQtKey);

protected:
    void paintEvent(QPaintEvent* pEvent) override;
    void resizeEvent(QResizeEvent* pEvent) override;
    void moveEvent(QMoveEvent* pEvent) override;
    void mousePressEvent(QMouseEvent* pEvent) override;
    void mouseReleaseEvent(QMouseEvent* pEvent) override;
    void mouseDoubleClickEvent(QMouseEvent* pEvent) override;
    void mouseMoveEvent(QMouseEvent* pEvent) override;
    void leaveEvent(QEvent* pEvent) override;
    void wheelEvent(QWheelEvent* pEvent) override;
    void keyPressEvent(QKeyEvent* pEvent) override;
    void keyReleaseEvent(QKeyEvent* pEvent) override;
    void closeEvent(QCloseEvent* pEvent) override;
    void contextMenuEvent(QContextMenuEvent* pEvent) override;
    void focusOutEvent(QFocusEvent* pEvent) override;

private:
    void Press(QMouseEvent* pEvent);
    void BeginDrag(int nHitCode, const QPoint& globalPos);
    void Drag(const QPoint& globalPos);
    void EndDrag();

    GXWindowMain& m_window;
    // The drag under way: the hit code it started on (0 for none), where the
    // cursor and the moved window were then, and the snapper consulted.
    int m_nDragCode = 0;
    QPoint m_dragStartCursor;
    QRect m_dragStartRect;
    GSnap* m_pSnap = nullptr;
    // A close, minimise or maximise area pressed; it acts on release there.
    int m_nPendingSystemArea = 0;
};
