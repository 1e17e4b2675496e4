#pragma once

#include <QCoreApplication>
#include <QMouseEvent>
#include <QPoint>
#include <QWidget>

namespace testutil {

// Presses on a skin window's background, moves by travel and lets go: the
// drag a user makes to move the window.
inline void DragSkinBy(QWidget* pSkin, QPoint travel)
{
    const QPoint at(20, 300);
    for (const auto type : { QEvent::MouseButtonPress, QEvent::MouseMove, QEvent::MouseButtonRelease }) {
        const QPoint to = type == QEvent::MouseButtonPress ? at : at + travel;
        QMouseEvent event(type, QPointF(to), QPointF(pSkin->mapToGlobal(at) + (to - at)),
            type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton,
            type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(pSkin, &event);
    }
}

} // namespace testutil
