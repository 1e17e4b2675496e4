#pragma once

#include "foundation/RectGeometry.h"

#include <QRect>

// Between Qt's rectangles (origin and size) and ours (edges, right and
// bottom outside).
[[nodiscard]] inline SRect ToSRect(const QRect& r)
{
    return SRect { r.x(), r.y(), r.x() + r.width(), r.y() + r.height() };
}

[[nodiscard]] inline QRect ToQRect(const SRect& r)
{
    return QRect(r.left, r.top, r.Width(), r.Height());
}
