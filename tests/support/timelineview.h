#pragma once

#include "views/timeline.h"

// A 620 x 100 picture: trace from 10 to 610, rows 15 to 85. The capture is
// 3 s long at 1 MHz, so zoom 0 shows 200 pixels/s and zoom v shows
// 200 * (0.1 v + 1). The selection is frame 2 at tick 1000, 0.2 ms long; the
// shortest frame lasts 0.5 ms.
inline timeline::View knownTimelineView(int zoom)
{
    timeline::View v;
    v.width = 620;
    v.height = 100;
    v.scaleValue = zoom;
    v.scale = timeline::scaleForCapture(2999000, 0.001, 1000000);
    v.currentCanTimer = 1000000;
    v.selectedTime = 1000;
    v.selectedDuration = 0.0002f;
    v.selectedFrame = 2;
    v.lastFrameTime = 2999000;
    v.minFrameDuration = 0.0005;
    v.labelWidth = 18;
    return v;
}
