#pragma once

#include "core/capturestore.h"
#include "core/clsframe.h"

#include <QTest>

#include <vector>

// Failed comparisons of frames print every field.
inline char *toString(const clsFrame &frame)
{
    return QTest::toString(frame.toString());
}

// A copy of every frame of a store, in order.
inline std::vector<clsFrame> storedFrames(const CaptureStore &store)
{
    std::vector<clsFrame> out;
    out.reserve(size_t(store.count()));
    for (qsizetype i = 0; i < store.count(); ++i)
        out.push_back(store.frame(i));
    return out;
}
