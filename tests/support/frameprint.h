#pragma once

#include "core/clsframe.h"

#include <QTest>

// Failed comparisons of frames print every field.
inline char *toString(const clsFrame &frame)
{
    return QTest::toString(frame.toString());
}
