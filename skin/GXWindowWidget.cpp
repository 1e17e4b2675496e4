#include "skin/GXWindowWidget.h"

#include "skin/GSnap.h"
#include "skin/GXSkinIds.h"
#include "skin/GXWindowMain.h"
#include "skin/RectConversion.h"

#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>

#include <algorithm>

namespace {

bool g_bDoubleClicks = false;

// The smallest a border resize makes a window; below it the edges would
// cross.
constexpr int kMinDragSize = 8;

int ButtonNumber(Qt::MouseButton button)
{
    switch (button) {
    case Qt::RightButton:
        return GXButton::kRight;
    case Qt::MiddleButton:
        return GXButton::kMiddle;
    default:
        return GXButton::kLeft;
    }
}

GXPoint ToPoint(const QPointF& p)
{
    return GXPoint { static_cast<int>(p.x()), static_cast<int>(p.y()) };
}

bool IsSizing(int nCode)
{
    return nCode >= GXHitTest::kLeft && nCode <= GXHitTest::kBottomRight;
}

bool IsSystemArea(int nCode)
{
    return nCode == GXHitTest::kClose || nCode == GXHitTest::kMinButton || nCode == GXHitTest::kMaxButton;
}

bool MovesLeftEdge(int nCode)
{
    return nCode == GXHitTest::kLeft || nCode == GXHitTest::kTopLeft || nCode == GXHitTest::kBottomLeft;
}

bool MovesRightEdge(int nCode)
{
    return nCode == GXHitTest::kRight || nCode == GXHitTest::kTopRight || nCode == GXHitTest::kBottomRight;
}

bool MovesTopEdge(int nCode)
{
    return nCode == GXHitTest::kTop || nCode == GXHitTest::kTopLeft || nCode == GXHitTest::kTopRight;
}

bool MovesBottomEdge(int nCode)
{
    return nCode == GXHitTest::kBottom || nCode == GXHitTest::kBottomLeft || nCode == GXHitTest::kBottomRight;
}

// A skin's MinMaxSize is not trusted beyond what a window system can hold.
constexpr int kMaxDragSize = 32767;

// One side of a resized window kept within [nMin, nMax] (nMax -1: none) by
// moving the edge the drag moves, so the opposite edge stays put.
void LimitSide(int* pnLow, int* pnHigh, bool bLowMoves, int nMin, int nMax)
{
    const int nSize = *pnHigh - *pnLow + 1;
    nMin = std::min(nMin, kMaxDragSize);
    if (nMax == -1 || nMax > kMaxDragSize)
        nMax = kMaxDragSize;
    int nWanted = std::max(nSize, nMin);
    nWanted = std::min(nWanted, std::max(nMax, nMin));
    if (nWanted == nSize)
        return;
    if (bLowMoves)
        *pnLow = *pnHigh - nWanted + 1;
    else
        *pnHigh = *pnLow + nWanted - 1;
}

// A border resize's rectangle within the window's size limits.
QRect LimitSize(const QRect& rect, int nCode, const SGxMinMaxInfo& info)
{
    int left = rect.left();
    int right = rect.right();
    int top = rect.top();
    int bottom = rect.bottom();
    if (MovesLeftEdge(nCode) || MovesRightEdge(nCode))
        LimitSide(
            &left, &right, MovesLeftEdge(nCode), std::max(info.minTrackSize.cx, kMinDragSize), info.maxTrackSize.cx);
    if (MovesTopEdge(nCode) || MovesBottomEdge(nCode))
        LimitSide(
            &top, &bottom, MovesTopEdge(nCode), std::max(info.minTrackSize.cy, kMinDragSize), info.maxTrackSize.cy);
    return QRect(QPoint(left, top), QPoint(right, bottom));
}

// The cursor a window manager shows over a sizing border.
Qt::CursorShape SizingCursor(int nCode)
{
    switch (nCode) {
    case GXHitTest::kLeft:
    case GXHitTest::kRight:
        return Qt::SizeHorCursor;
    case GXHitTest::kTop:
    case GXHitTest::kBottom:
        return Qt::SizeVerCursor;
    case GXHitTest::kTopLeft:
    case GXHitTest::kBottomRight:
        return Qt::SizeFDiagCursor;
    default:
        return Qt::SizeBDiagCursor;
    }
}

GSnapSizing SizingOf(int nCode)
{
    switch (nCode) {
    case GXHitTest::kLeft:
        return GSnapSizing::kLeft;
    case GXHitTest::kRight:
        return GSnapSizing::kRight;
    case GXHitTest::kTop:
        return GSnapSizing::kTop;
    case GXHitTest::kTopLeft:
        return GSnapSizing::kTopLeft;
    case GXHitTest::kTopRight:
        return GSnapSizing::kTopRight;
    case GXHitTest::kBottom:
        return GSnapSizing::kBottom;
    case GXHitTest::kBottomLeft:
        return GSnapSizing::kBottomLeft;
    case GXHitTest::kBottomRight:
        return GSnapSizing::kBottomRight;
    default:
        return GSnapSizing::kMove;
    }
}

// The low word of a key message's lParam is its repeat count, the high word
// its flags; Qt reports no scan codes we could put there.
std::intptr_t KeyLParam(const QKeyEvent& event, bool bRelease)
{
    const std::intptr_t nFlags = (event.isAutoRepeat() ? 0x4000 : 0) | (bRelease ? 0xC000 : 0);
    return 1 | nFlags << 16;
}

} // namespace

GXWindowWidget::GXWindowWidget(GXWindowMain& window, QWidget* pParent, bool bPopup)
    : QWidget(pParent, bPopup ? Qt::Tool | Qt::FramelessWindowHint : (pParent ? Qt::Widget : Qt::FramelessWindowHint))
    , m_window(window)
{
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

GXWindowWidget::~GXWindowWidget() = default;

void GXWindowWidget::EnableDoubleClicks(bool bEnable)
{
    if (bEnable)
        g_bDoubleClicks = true;
}

int GXWindowWidget::ToVirtualKey(int nQtKey)
{
    if ((nQtKey >= Qt::Key_A && nQtKey <= Qt::Key_Z) || (nQtKey >= Qt::Key_0 && nQtKey <= Qt::Key_9))
        return nQtKey;
    if (nQtKey >= Qt::Key_F1 && nQtKey <= Qt::Key_F12)
        return GXKey::kF1 + (nQtKey - Qt::Key_F1);
    switch (nQtKey) {
    case Qt::Key_Backspace:
        return GXKey::kBack;
    case Qt::Key_Tab:
        return GXKey::kTab;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return GXKey::kReturn;
    case Qt::Key_Shift:
        return GXKey::kShift;
    case Qt::Key_Control:
        return GXKey::kControl;
    case Qt::Key_Alt:
        return GXKey::kMenu;
    case Qt::Key_Escape:
        return GXKey::kEscape;
    case Qt::Key_Space:
        return GXKey::kSpace;
    case Qt::Key_PageUp:
        return GXKey::kPrior;
    case Qt::Key_PageDown:
        return GXKey::kNext;
    case Qt::Key_End:
        return GXKey::kEnd;
    case Qt::Key_Home:
        return GXKey::kHome;
    case Qt::Key_Left:
        return GXKey::kLeft;
    case Qt::Key_Up:
        return GXKey::kUp;
    case Qt::Key_Right:
        return GXKey::kRight;
    case Qt::Key_Down:
        return GXKey::kDown;
    case Qt::Key_Insert:
        return GXKey::kInsert;
    case Qt::Key_Delete:
        return GXKey::kDelete;
    default:
        return 0;
    }
}

void GXWindowWidget::paintEvent(QPaintEvent* pEvent)
{
    QPainter painter(this);
    const QImage& image = m_window.GetBackBuffer().GetImage();
    if (image.isNull()) {
        painter.fillRect(pEvent->rect(), Qt::black);
        return;
    }
    // Nothing is drawn here: the back buffer already holds the picture.
    const QRect area = pEvent->rect();
    painter.drawImage(area, image, area);
}

void GXWindowWidget::resizeEvent(QResizeEvent*)
{
    const Qt::WindowStates state = window()->windowState();
    const int nType = (state & Qt::WindowMinimized) != 0
        ? GXSizeType::kMinimized
        : ((state & Qt::WindowMaximized) != 0 ? GXSizeType::kMaximized : GXSizeType::kRestored);
    m_window.HandleSize(nType, width(), height());
}

void GXWindowWidget::moveEvent(QMoveEvent*)
{
    m_window.HandleMove();
}

void GXWindowWidget::mousePressEvent(QMouseEvent* pEvent)
{
    Press(pEvent);
}

void GXWindowWidget::Press(QMouseEvent* pEvent)
{
    const GXPoint point = ToPoint(pEvent->position());
    const int nButton = ButtonNumber(pEvent->button());
    const QPoint global = pEvent->globalPosition().toPoint();
    const int nCode = m_window.HandleNcHitTest(point);
    if (nCode == GXHitTest::kCaption || IsSizing(nCode) || IsSystemArea(nCode)) {
        const unsigned message = nButton == GXButton::kRight ? GXMsg::kNcRButtonDown : GXMsg::kNcLButtonDown;
        m_window.HandleNcButtonDown(message, nCode, point);
        if (nButton != GXButton::kLeft)
            return;
        if (IsSystemArea(nCode))
            m_nPendingSystemArea = nCode;
        else
            BeginDrag(nCode, global);
        return;
    }
    if (nCode == GXHitTest::kTransparent) {
        m_window.SendButtonToOwner(nButton == GXButton::kRight ? GXMsg::kRButtonDown : GXMsg::kLButtonDown, point);
        return;
    }
    if (m_window.HandleButtonDown(nButton, point) == GXWindowMain::PressResult::StartDrag) {
        // A drag by the skin's background is a caption drag: the owner hears
        // of it as one, as of a press on a caption area.
        m_window.HandleNcButtonDown(GXMsg::kNcLButtonDown, GXHitTest::kCaption, point);
        BeginDrag(GXHitTest::kCaption, global);
    }
}

void GXWindowWidget::mouseReleaseEvent(QMouseEvent* pEvent)
{
    const GXPoint point = ToPoint(pEvent->position());
    if (m_nDragCode != 0) {
        EndDrag();
        return;
    }
    if (m_nPendingSystemArea != 0) {
        const int nPressed = std::exchange(m_nPendingSystemArea, 0);
        if (m_window.HandleNcHitTest(point) == nPressed)
            m_window.HandleSystemArea(nPressed);
        return;
    }
    m_window.HandleButtonUp(ButtonNumber(pEvent->button()), point);
}

void GXWindowWidget::mouseDoubleClickEvent(QMouseEvent* pEvent)
{
    if (!g_bDoubleClicks) {
        Press(pEvent);
        return;
    }
    m_window.HandleDoubleClick(ButtonNumber(pEvent->button()), ToPoint(pEvent->position()));
}

void GXWindowWidget::mouseMoveEvent(QMouseEvent* pEvent)
{
    if (m_nDragCode != 0) {
        Drag(pEvent->globalPosition().toPoint());
        return;
    }
    const GXPoint point = ToPoint(pEvent->position());
    m_window.HandleMouseMove(point);
    const int nCode = m_window.HandleNcHitTest(point);
    if (IsSizing(nCode)) {
        setCursor(SizingCursor(nCode));
        return;
    }
    const QCursor* pCursor = m_window.HandleSetCursor(nCode, point);
    if (pCursor != nullptr)
        setCursor(*pCursor);
    else
        unsetCursor();
}

void GXWindowWidget::leaveEvent(QEvent*)
{
    m_window.HandleMouseLeave();
}

void GXWindowWidget::wheelEvent(QWheelEvent* pEvent)
{
    const int nKeyState = static_cast<int>(pEvent->buttons().toInt() & 0xFFFF);
    m_window.HandleWheel(nKeyState, pEvent->angleDelta().y(), ToPoint(pEvent->position()));
}

void GXWindowWidget::keyPressEvent(QKeyEvent* pEvent)
{
    const int nKey = ToVirtualKey(pEvent->key());
    if (nKey != 0)
        m_window.HandleKey(GXMsg::kKeyDown, nKey, KeyLParam(*pEvent, false));
    const QString text = pEvent->text();
    if (!text.isEmpty() && text[0].isPrint())
        m_window.HandleKey(GXMsg::kChar, text[0].unicode(), KeyLParam(*pEvent, false));
}

void GXWindowWidget::keyReleaseEvent(QKeyEvent* pEvent)
{
    const int nKey = ToVirtualKey(pEvent->key());
    if (nKey != 0)
        m_window.HandleKey(GXMsg::kKeyUp, nKey, KeyLParam(*pEvent, true));
}

void GXWindowWidget::closeEvent(QCloseEvent* pEvent)
{
    // The owner decides whether the skin goes away.
    pEvent->ignore();
    m_window.HandleClose();
}

void GXWindowWidget::contextMenuEvent(QContextMenuEvent* pEvent)
{
    m_window.HandleContextMenu(GXPoint { pEvent->globalPos().x(), pEvent->globalPos().y() });
}

void GXWindowWidget::focusOutEvent(QFocusEvent*)
{
    m_window.HandleKillFocus();
}

// ---- caption drag and border resize ----

void GXWindowWidget::BeginDrag(int nHitCode, const QPoint& globalPos)
{
    m_nDragCode = nHitCode;
    m_dragStartCursor = globalPos;
    m_dragStartRect = window()->geometry();
    m_pSnap = m_window.GetSnapper();
    if (m_pSnap != nullptr)
        m_pSnap->BeginMoveSize();
}

void GXWindowWidget::Drag(const QPoint& globalPos)
{
    const QPoint travel = globalPos - m_dragStartCursor;
    QRect rect = m_dragStartRect;
    if (m_nDragCode == GXHitTest::kCaption) {
        rect.translate(travel);
        if (m_pSnap != nullptr)
            rect = ToQRect(m_pSnap->SnapMove(ToSRect(rect)));
        window()->setGeometry(rect);
        return;
    }
    const int code = m_nDragCode;
    if (MovesLeftEdge(code))
        rect.setLeft(rect.left() + travel.x());
    if (MovesRightEdge(code))
        rect.setRight(rect.right() + travel.x());
    if (MovesTopEdge(code))
        rect.setTop(rect.top() + travel.y());
    if (MovesBottomEdge(code))
        rect.setBottom(rect.bottom() + travel.y());
    // The skin's MinMaxSize bounds its own window; a skin laid over its
    // owner's window resizes that window, whose own limits Qt keeps.
    SGxMinMaxInfo limits;
    if (window() == this)
        m_window.HandleGetMinMaxInfo(&limits);
    rect = LimitSize(rect, code, limits);
    // Snapping pulls an edge to a neighbour, but never past the limits.
    if (m_pSnap != nullptr)
        rect = LimitSize(ToQRect(m_pSnap->SnapSize(ToSRect(rect), SizingOf(code))), code, limits);
    window()->setGeometry(rect);
}

void GXWindowWidget::EndDrag()
{
    m_nDragCode = 0;
    if (m_pSnap != nullptr)
        m_pSnap->EndMoveSize();
    m_pSnap = nullptr;
}
