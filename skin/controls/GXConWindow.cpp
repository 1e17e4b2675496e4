#include "skin/controls/GXConWindow.h"

#include "skin/GXConOwner.h"

#include <QRegion>
#include <QWidget>

GXConWindow::GXConWindow(GXConOwner* pOwner)
    : GXConBase(pOwner)
{
}

void GXConWindow::SetPos(int x, int y, int cx, int cy, Redraw redraw)
{
    GXConBase::SetPos(x, y, cx, cy, redraw);
    PlaceAttached();
}

int GXConWindow::Draw()
{
    return 1;
}

void GXConWindow::Attach(QWidget* pWidget)
{
    SetAttachedWindow(pWidget);
    PlaceAttached();
}

void GXConWindow::SetRegionMode(RegionMode mode)
{
    if (m_regionMode == mode)
        return;
    m_regionMode = mode;
    if (mode == RegionMode::No && GetAttachedWindow() != nullptr)
        GetAttachedWindow()->clearMask();
    PlaceAttached();
}

void GXConWindow::PlaceAttached()
{
    QWidget* pWidget = GetAttachedWindow();
    if (pWidget == nullptr)
        return;
    // The rectangle is in the skin window's client area; the widget lives
    // in its parent's (the screen's for a top-level widget). Going through
    // the screen is exact also when the parent is the skin window itself.
    const GXPoint screen = GetOwner() != nullptr ? GetOwner()->ClientToScreen(GXPoint { m_rect.left, m_rect.top })
                                                 : GXPoint { m_rect.left, m_rect.top };
    QPoint topLeft(screen.x, screen.y);
    if (QWidget* pParent = pWidget->parentWidget())
        topLeft = pParent->mapFromGlobal(topLeft);
    const QRect target(topLeft, QSize(m_rect.Width(), m_rect.Height()));
    if (m_regionMode == RegionMode::Yes) {
        // The mask is in the widget's own coordinates.
        const QRegion mask(target.translated(-pWidget->geometry().topLeft()));
        if (pWidget->mask() != mask)
            pWidget->setMask(mask);
    } else if (pWidget->geometry() != target) {
        pWidget->setGeometry(target);
    }
}
