#pragma once

#include <QObject>

#include <functional>

class QTimer;

// Runs a redraw at most once per interval: a request when none ran during the
// last interval redraws at once and starts the interval; requests during it
// are gathered into one redraw on the tick that ends it. So a picture follows
// a capture at full rate four times a second, and a single change shows
// without delay.
class RedrawThrottle final : public QObject
{
    Q_OBJECT
public:
    static constexpr int defaultInterval = 250; // ms

    explicit RedrawThrottle(std::function<void()> redraw, QObject *parent = nullptr, int interval = defaultInterval);

    // Something changed: redraw now, or on the tick when an interval runs.
    void request();
    // The end of an interval: the gathered redraw, if any. The single-shot
    // timer runs it; tests call it directly.
    void timer_Timer();
    // Drops a gathered redraw and ends the interval.
    void cancel();

    [[nodiscard]] bool isDue() const { return due; }
    [[nodiscard]] QTimer *timer() const { return clock; }

private:
    std::function<void()> redraw;
    QTimer *clock = nullptr;
    bool due = false;
};
