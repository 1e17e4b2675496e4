#include "skin/controls/GXConWindow.h"

#include "skin/GXConOwner.h"

#include <QRect>
#include <QRegion>
#include <QVariant>
#include <QWidget>

namespace {

// Where a widget placed in a nested skin window came from, kept on the
// widget while it is away, and the window it was placed in.
struct SHome {
    QPointer<QWidget> pParent;
    QRect geometry;
    bool bVisible = false;
    QPointer<QWidget> pHost;
};

constexpr const char* kHomeProperty = "tavdjSkinHome";

} // namespace

GXConWindow::GXConWindow(GXConOwner* pOwner)
    : GXConBase(pOwner)
{
}

GXConWindow::~GXConWindow()
{
    GiveBack();
}

void GXConWindow::Close()
{
    GiveBack();
    GXConBase::Close();
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

void GXConWindow::Place(QWidget* pWidget, QWidget* pHost)
{
    GiveBack();
    if (pWidget != nullptr && pHost != nullptr && pWidget->parentWidget() != pHost) {
        const QVariant stored = pWidget->property(kHomeProperty);
        // Taken over from a skin that still waits to be deleted: the widget
        // still goes back to where it came from first.
        SHome home = stored.isValid() ? stored.value<SHome>() : SHome {};
        if (!stored.isValid()) {
            home.pParent = pWidget->parentWidget();
            home.geometry = pWidget->geometry();
            home.bVisible = !pWidget->isHidden();
        }
        home.pHost = pHost;
        pWidget->setProperty(kHomeProperty, QVariant::fromValue(home));
        m_pMoved = pWidget;
        pWidget->setParent(pHost);
        // A new parent hides a widget. The skin window that takes it in
        // shows it, whatever its home made of it there (a panel not chosen
        // hides the title field in the main window); home gets it back as
        // it was.
        pWidget->setVisible(true);
        m_pHost = pHost;
    }
    Attach(pWidget);
}

void GXConWindow::GiveBack()
{
    QWidget* pWidget = m_pMoved.data();
    QWidget* pHost = m_pHost.data();
    m_pMoved = nullptr;
    m_pHost = nullptr;
    if (pWidget == nullptr)
        return;
    if (GetAttachedWindow() == pWidget)
        SetAttachedWindow(nullptr);
    const QVariant stored = pWidget->property(kHomeProperty);
    const SHome home = stored.isValid() ? stored.value<SHome>() : SHome {};
    // A later skin that placed it already gives it back itself.
    if (!stored.isValid() || home.pHost != pHost || pWidget->parentWidget() != pHost)
        return;
    pWidget->setProperty(kHomeProperty, QVariant());
    // A home that is gone leaves the widget to the skin's window.
    if (home.pParent == nullptr)
        return;
    pWidget->setParent(home.pParent);
    pWidget->setGeometry(home.geometry);
    pWidget->setVisible(home.bVisible);
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
