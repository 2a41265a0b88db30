#pragma once

#include <QEventLoop>
#include <QTimer>

/**
 * Runs a plain event loop for `milliseconds`: unlike waitUntil it never wakes by itself, so the time the
 * program spends in it is its own.
 */
inline void idleFor(int milliseconds)
{
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}
