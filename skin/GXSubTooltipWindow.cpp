#include "skin/GXSubTooltipWindow.h"

#include <QApplication>
#include <QCursor>
#include <QFontMetrics>
#include <QPainter>
#include <QScreen>

#include <algorithm>

namespace {

constexpr int kBelowCursor = 20;
constexpr int kAboveCursor = 5;
// Three pixels of paper around the text on each side.
constexpr int kPadding = 6;
constexpr int kTextInset = 3;
// A tooltip is never larger than a screen; a skin's endless text is cut
// here rather than allocating an image for all of it.
constexpr int kMaxSide = 4096;
// Tooltip texts are written with "&&" for an ampersand (a list box doubles
// the ones in its cells), so they are measured and drawn as a label is.
constexpr int kTextFlags = Qt::TextShowMnemonic;

// The program's one tooltip, owned by the count of skin windows holding it.
// Not a static unique_ptr: a widget must be destroyed while the application
// object lives, and static destructors run after it is gone.
GXSubTooltipWindow* g_pShared = nullptr;
int g_nSharedUsers = 0;

SRect ToRect(const QRect& r)
{
    return SRect { r.x(), r.y(), r.x() + r.width(), r.y() + r.height() };
}

bool Contains(const SRect& r, GXPoint p)
{
    return p.x >= r.left && p.x < r.right && p.y >= r.top && p.y < r.bottom;
}

SRect Fit(const SRect& rect, const SRect& area)
{
    SRect out;
    FitRectToWorkArea(&rect, &area, &out);
    return out;
}

// Squared distance from a point to a rectangle, 0 inside.
long long DistanceSquared(const QRect& r, const QPoint& p)
{
    const long long dx = p.x() < r.left() ? r.left() - p.x() : (p.x() > r.right() ? p.x() - r.right() : 0);
    const long long dy = p.y() < r.top() ? r.top() - p.y() : (p.y() > r.bottom() ? p.y() - r.bottom() : 0);
    return dx * dx + dy * dy;
}

// A line as drawing it with kTextFlags shows it: each "&" gives way to the
// character after it, so "&&" is one "&" and a last "&" nothing.
QString WithoutMarks(const QString& line)
{
    QString out;
    out.reserve(line.size());
    for (qsizetype i = 0; i < line.size(); ++i) {
        if (line[i] == QLatin1Char('&') && ++i == line.size())
            break;
        out += line[i];
    }
    return out;
}

} // namespace

GXSubTooltipWindow::GXSubTooltipWindow(platform::Clock& clock)
    : QWidget(nullptr, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus)
    , m_clock(clock)
{
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFocusPolicy(Qt::NoFocus);
    setMouseTracking(true);
    setCursor(Qt::ArrowCursor);
    m_timeout.setSingleShot(true);
    QObject::connect(&m_timeout, &QTimer::timeout, this, [this] { Hide(); });
}

GXSubTooltipWindow::~GXSubTooltipWindow()
{
    if (g_pShared == this)
        g_pShared = nullptr;
}

GXSubTooltipWindow* GXSubTooltipWindow::Acquire()
{
    if (g_pShared == nullptr)
        g_pShared = new GXSubTooltipWindow();
    ++g_nSharedUsers;
    return g_pShared;
}

void GXSubTooltipWindow::Release()
{
    if (g_nSharedUsers == 0 || --g_nSharedUsers > 0)
        return;
    GXSubTooltipWindow* pTooltip = g_pShared;
    g_pShared = nullptr;
    delete pTooltip;
}

GXSubTooltipWindow* GXSubTooltipWindow::Shared()
{
    return g_pShared;
}

bool GXSubTooltipWindow::Show(
    const GXConBase* pOwner, const std::string& text, const GXPoint* pPosition, int nTimeoutMs)
{
    if (pPosition == nullptr && pOwner == m_pOwner && text == m_strText
        && m_clock.NowMs() - m_nStampMs < static_cast<std::uint64_t>(kRepeatMs))
        return false;
    if (text.empty()) {
        Hide();
        return false;
    }
    m_nStampMs = m_clock.NowMs();
    m_pOwner = pOwner;
    m_timeout.start(std::max(nTimeoutMs, 0));
    m_strText = text;

    const QString qText = QString::fromStdString(text);
    const QFontMetrics metrics(font());
    const QStringList lines = qText.split(QLatin1Char('\n'));
    int widest = 0;
    for (const QString& line : lines)
        widest = std::max(widest, metrics.horizontalAdvance(WithoutMarks(line)));
    const long long height = static_cast<long long>(lines.size()) * metrics.height() + kPadding;
    const GXSize size { std::min(widest + kPadding, kMaxSide),
        static_cast<int>(std::min<long long>(height, kMaxSide)) };

    SRect place;
    if (pPosition != nullptr) {
        place = SRect { pPosition->x, pPosition->y, pPosition->x + size.cx, pPosition->y + size.cy };
    } else {
        const QPoint cursor = QCursor::pos();
        const GXPoint at { cursor.x(), cursor.y() };
        place = PlaceNearCursor(at, size, WorkAreaFromPoint(at));
    }
    Render(qText, size);
    setGeometry(place.left, place.top, place.Width(), place.Height());
    show();
    raise();
    update();
    return true;
}

void GXSubTooltipWindow::Hide()
{
    m_timeout.stop();
    hide();
    m_pOwner = nullptr;
    m_nStampMs = m_clock.NowMs();
}

SRect GXSubTooltipWindow::PlaceNearCursor(GXPoint cursor, GXSize size, const SRect& workArea)
{
    const SRect below { cursor.x, cursor.y + kBelowCursor, cursor.x + size.cx, cursor.y + kBelowCursor + size.cy };
    const SRect fitted = Fit(below, workArea);
    if (!Contains(fitted, cursor))
        return fitted;
    const SRect above { cursor.x, cursor.y - kAboveCursor - size.cy, cursor.x + size.cx, cursor.y - kAboveCursor };
    return Fit(above, workArea);
}

SRect GXSubTooltipWindow::WorkAreaFromPoint(GXPoint point)
{
    const QPoint p(point.x, point.y);
    const QScreen* pBest = nullptr;
    long long bestDistance = 0;
    for (const QScreen* pScreen : QGuiApplication::screens()) {
        const long long d = DistanceSquared(pScreen->geometry(), p);
        if (pBest == nullptr || d < bestDistance) {
            pBest = pScreen;
            bestDistance = d;
        }
    }
    return pBest != nullptr ? ToRect(pBest->availableGeometry()) : SRect {};
}

void GXSubTooltipWindow::Render(const QString& text, GXSize size)
{
    if (m_image.width() < size.cx || m_image.height() < size.cy)
        m_image = QImage(std::max(m_image.width(), size.cx), std::max(m_image.height(), size.cy), QImage::Format_RGB32);
    m_image.fill(QColor(GxRed(kBackground), GxGreen(kBackground), GxBlue(kBackground)));
    QPainter painter(&m_image);
    painter.setFont(font());
    painter.setPen(Qt::black);
    painter.drawText(QRect(kTextInset, kTextInset, size.cx - kTextInset, size.cy - kTextInset),
        Qt::AlignLeft | Qt::AlignTop | kTextFlags, text);
    painter.drawRect(0, 0, size.cx - 1, size.cy - 1);
}

void GXSubTooltipWindow::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.drawImage(QPoint(0, 0), m_image, rect());
}

void GXSubTooltipWindow::mouseMoveEvent(QMouseEvent*)
{
    Hide();
}
