#include "views/redrawthrottle.h"

#include <QTimer>

RedrawThrottle::RedrawThrottle(std::function<void()> redraw, QObject *parent, int interval)
    : QObject(parent)
    , redraw(std::move(redraw))
{
    clock = new QTimer(this);
    clock->setSingleShot(true);
    clock->setInterval(interval);
    connect(clock, &QTimer::timeout, this, &RedrawThrottle::timer_Timer);
}

void RedrawThrottle::request()
{
    if (clock->isActive()) {
        due = true;
        return;
    }
    clock->start();
    redraw();
}

void RedrawThrottle::timer_Timer()
{
    clock->stop();
    if (!due)
        return;
    due = false;
    clock->start();
    redraw();
}

void RedrawThrottle::cancel()
{
    clock->stop();
    due = false;
}
