#include "views/mainlayout.h"

#include <algorithm>
#include <cmath>

namespace {

QRect box(int left, int top, int width, int height)
{
    return QRect(left, top, std::max(width, 0), std::max(height, 0));
}

} // namespace

void MainLayout::followResize(QSize inner)
{
    // The unrounded positions are kept while nothing else moved a splitter,
    // so shrinking and growing back returns every pane to the same pixel.
    const auto follow = [](int &position, double &exact, double ratio) {
        if (position != int(std::lround(exact)))
            exact = position;
        exact *= ratio;
        position = int(std::lround(exact));
    };
    const bool resized =
        placedFor.isValid() && placedFor.width() > 0 && placedFor.height() > 0 && inner != placedFor;
    const double wide = resized ? double(inner.width()) / placedFor.width() : 1.0;
    const double high = resized ? double(inner.height()) / placedFor.height() : 1.0;
    for (size_t k = 0; k < vSplitter.size(); ++k)
        follow(vSplitter[k], vExact[k], wide);
    for (size_t k = 0; k < hSplitter.size(); ++k)
        follow(hSplitter[k], hExact[k], high);
    placedFor = inner;
}

void MainLayout::sizeControls(QSize inner, int toolBarHeight, int statusBarHeight)
{
    layoutLeft = leftMargin;
    layoutRight = inner.width() - leftMargin;
    layoutTop = topMargin + std::max(toolBarHeight, 0);
    layoutBottom = inner.height() - bottomMargin - std::max(statusBarHeight, 0);

    const int w = splitterWidth;
    vSplitter[1] = std::min(vSplitter[1], layoutRight - 2 * w);
    vSplitter[0] = std::min(vSplitter[0], vSplitter[1] - 2 * w);
    hSplitter[0] = std::min(hSplitter[0], layoutBottom - 2 * w);
    // Positions left of (or above) the panes, from saved nonsense or a window
    // too small for its columns, come back to the drag minimum.
    vSplitter[0] = std::max(vSplitter[0], layoutLeft + w);
    vSplitter[1] = std::max(vSplitter[1], vSplitter[0] + 2 * w);
    hSplitter[0] = std::max(hSplitter[0], layoutTop + w);

    const int l0 = vSplitter[0];
    const int l1 = vSplitter[1];
    const int t = hSplitter[0];

    const int messagesLeft = l0 + w;
    const int monitorLeft = l1 + w;
    picDB = box(leftMargin, layoutTop, l0 - leftMargin, layoutBottom - layoutTop);
    lvListViewMessages = box(messagesLeft, layoutTop, l1 - messagesLeft, t - layoutTop);
    lvListViewID = box(monitorLeft, layoutTop, layoutRight - monitorLeft, t - layoutTop);
    pictOscilograph = box(messagesLeft, t + w, layoutRight - messagesLeft, layoutBottom - (t + w));

    for (int k = 0; k < verticalSplitters; ++k)
        imgSplitter[size_t(k)] = box(vSplitter[size_t(k)], picDB.top(), w, picDB.height());
    imgSplitterH[0] = box(pictOscilograph.left(), t, pictOscilograph.width(), w);
}

int MainLayout::dragLimit(Splitter splitter, int position) const
{
    const int w = splitterWidth;
    int lower = 0;
    int upper = 0;
    switch (splitter) {
    case Splitter::vertical0:
        lower = layoutLeft + w;
        upper = vSplitter[1] - 2 * w;
        break;
    case Splitter::vertical1:
        lower = vSplitter[0] + 2 * w;
        upper = layoutRight - 2 * w;
        break;
    case Splitter::horizontal0:
        lower = layoutTop + w;
        upper = layoutBottom - 2 * w;
        break;
    }
    if (position > upper)
        return upper;
    if (position < lower)
        return lower;
    return position;
}

int MainLayout::position(Splitter splitter) const
{
    switch (splitter) {
    case Splitter::vertical0:
        return vSplitter[0];
    case Splitter::vertical1:
        return vSplitter[1];
    case Splitter::horizontal0:
        return hSplitter[0];
    }
    return 0;
}

void MainLayout::setPosition(Splitter splitter, int position)
{
    switch (splitter) {
    case Splitter::vertical0:
        vSplitter[0] = position;
        break;
    case Splitter::vertical1:
        vSplitter[1] = position;
        break;
    case Splitter::horizontal0:
        hSplitter[0] = position;
        break;
    }
}

void MainLayout::presetVertical(int innerWidth)
{
    vSplitter[0] = int(qint64(innerWidth) * 20 / 100);
    vSplitter[1] = int(qint64(innerWidth) * 90 / 100);
}

void MainLayout::presetHorizontal(int innerHeight)
{
    hSplitter[0] = int(qint64(innerHeight) * 70 / 100);
}

int MainLayout::defaultVertical(int k, int innerWidth)
{
    return int(qint64(innerWidth) * (k + 1) / (verticalSplitters + 1));
}

int MainLayout::defaultHorizontal(int k, int innerHeight)
{
    return int(qint64(innerHeight) * (k + 1) / (horizontalSplitters + 1));
}

QRect usableGeometry(QRect saved, QSize minimum, const QList<QRect> &screens)
{
    QRect r = saved;
    if (r.width() < minimum.width())
        r.setWidth(minimum.width());
    if (r.height() < minimum.height())
        r.setHeight(minimum.height());
    if (screens.isEmpty())
        return r;

    QRect desktop;
    for (const QRect &screen : screens)
        desktop = desktop.united(screen);
    r.setWidth(std::max(std::min(r.width(), desktop.width()), std::min(minimum.width(), desktop.width())));
    r.setHeight(std::max(std::min(r.height(), desktop.height()), std::min(minimum.height(), desktop.height())));

    // The strip along the top edge is what the user grabs to move the window.
    const QRect strip(r.left(), r.top(), r.width(), std::min(r.height(), 30));
    const bool reachable = std::any_of(screens.cbegin(), screens.cend(), [&strip](const QRect &screen) {
        const QRect part = screen.intersected(strip);
        return part.width() >= std::min(strip.width(), 100) && part.height() > 0;
    });
    if (!reachable) {
        const QRect &first = screens.first();
        r.moveTopLeft(first.topLeft());
        if (r.width() <= first.width())
            r.moveLeft(first.left() + (first.width() - r.width()) / 2);
        if (r.height() <= first.height())
            r.moveTop(first.top() + (first.height() - r.height()) / 2);
    }
    return r;
}

int twipsToPixels(qint64 twips, double dpi)
{
    const double pixels = std::round(double(twips) * dpi / 1440.0);
    return int(std::clamp(pixels, -1.0e9, 1.0e9));
}

qint64 pixelsToTwips(int pixels, double dpi)
{
    if (!(dpi > 0))
        return 0;
    return qint64(std::llround(double(pixels) * 1440.0 / dpi));
}
