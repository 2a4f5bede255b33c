#pragma once

#include "core/values.h"

#include <QColor>

// An identifier colour (0x00BBGGRR, see values.h) as a QColor for painting.
[[nodiscard]] inline QColor toQColor(quint32 colour)
{
    return QColor::fromRgb(rgbFromColour(colour));
}
