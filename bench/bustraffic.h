#pragma once

#include "core/clsframe.h"

#include <vector>

// Bus traffic of 40 identifiers (a few extended), 0 to 8 data bytes, about
// 60 % bus load at 500 kbit/s, with a lost-frame record now and then.
inline std::vector<clsFrame> busTraffic(int frameCount, double bitRate)
{
    std::vector<clsFrame> frames;
    frames.reserve(frameCount);
    quint32 stamp = 0x12345678;
    quint32 seed = 1;
    const auto next = [&seed] { return seed = seed * 1103515245u + 12345u; };
    for (int i = 0; i < frameCount; ++i) {
        clsFrame f;
        const quint32 r = next() >> 8;
        f.TimeStamp = stamp;
        if (r % 5000 == 0) {
            f.isLost = true;
            f.ID.ExtPart = int(r % 7) + 1;
        } else {
            f.ID.StdPart = int(0x100 + (r % 40) * 0x11);
            if (r % 9 == 0) {
                f.setIDE(1);
                f.ID.ExtPart = int(0x1000 * (r % 8) + 0x55); // a few extended identifiers
            }
            f.DLC = quint8((r >> 4) % 9);
            for (int b = 0; b < f.dataLength(); ++b)
                f.setDataB(b, quint8(next() >> 16));
            f.computeDuration(bitRate);
        }
        frames.push_back(f);
        stamp += 150 + (r % 200); // ticks of 1 us; the counter wraps on the way
    }
    return frames;
}
