#include "views/contrast.h"

#include <QColor>

#include <cmath>

namespace contrast {

namespace {

double linear(int channel)
{
    const double c = channel / 255.0;
    return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

// The colour moved a fraction `t` (0 to 1) of the way to `target`.
QRgb mix(QRgb colour, QRgb target, double t)
{
    const auto channel = [t](int from, int to) { return int(std::lround(from + (to - from) * t)); };
    return qRgb(channel(qRed(colour), qRed(target)), channel(qGreen(colour), qGreen(target)),
                channel(qBlue(colour), qBlue(target)));
}

} // namespace

double relativeLuminance(QRgb colour)
{
    return 0.2126 * linear(qRed(colour)) + 0.7152 * linear(qGreen(colour)) + 0.0722 * linear(qBlue(colour));
}

double ratio(QRgb a, QRgb b)
{
    const double la = relativeLuminance(a);
    const double lb = relativeLuminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QRgb readableOn(QRgb colour, QRgb background, double minimum)
{
    colour = qRgb(qRed(colour), qGreen(colour), qBlue(colour));
    if (ratio(colour, background) >= minimum)
        return colour;
    // Towards whichever end of the scale lies farther from the background.
    const QRgb target = ratio(qRgb(0, 0, 0), background) >= ratio(qRgb(255, 255, 255), background)
                            ? qRgb(0, 0, 0)
                            : qRgb(255, 255, 255);
    if (ratio(target, background) < minimum)
        return target; // nothing reaches it: the best there is
    // The ratio grows steadily on the way to the target: bisect the least
    // step that reaches the minimum (to well below one channel unit).
    double low = 0;
    double high = 1;
    for (int i = 0; i < 24; ++i) {
        const double mid = (low + high) / 2;
        if (ratio(mix(colour, target, mid), background) >= minimum)
            high = mid;
        else
            low = mid;
    }
    return mix(colour, target, high);
}

QRgb textOn(QRgb swatch)
{
    const QRgb black = qRgb(0, 0, 0);
    const QRgb white = qRgb(255, 255, 255);
    return ratio(black, swatch) >= ratio(white, swatch) ? black : white;
}

} // namespace contrast
