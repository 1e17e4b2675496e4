#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>

#include <functional>

// Runs the Qt event loop until the condition holds; false after ten
// seconds, a bound that only a broken test reaches.
inline bool RunEventsUntil(const std::function<bool()>& condition)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > 10000)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}
