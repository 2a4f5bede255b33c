#pragma once

#include <QRgb>

// Legible text on any identifier colour, by the relative-luminance contrast
// ratio: (L1 + 0.05) / (L2 + 0.05) with L from linearised sRGB channels
// (0.2126 R + 0.7152 G + 0.0722 B). 4.5:1 is the least for body text.
// Example: the identifier colour F0F0F0 on white has 1.14:1; as text it
// becomes 767676 (4.54:1).
namespace contrast {

inline constexpr double minimumRatio = 4.5;

// 0 (black) to 1 (white).
[[nodiscard]] double relativeLuminance(QRgb colour);
// 1 to 21, whichever colour is lighter.
[[nodiscard]] double ratio(QRgb a, QRgb b);

// `colour` itself when it already reaches `minimum` against `background`;
// otherwise the colour scaled towards black (towards white on a dark
// background) just far enough to reach it, so its hue stays recognisable.
// Opaque result.
[[nodiscard]] QRgb readableOn(QRgb colour, QRgb background, double minimum = minimumRatio);

// Black or white, whichever reads better on `swatch`.
[[nodiscard]] QRgb textOn(QRgb swatch);

} // namespace contrast
