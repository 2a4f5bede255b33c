#pragma once

#include <QRect>
#include <QSize>
#include <QList>

#include <array>

// The main window's panes in numbers: three columns (data base panel,
// message list, monitor list) and, below the two lists, the time line,
// divided by two vertical and one horizontal splitter. Units are the
// caller's (the window works in pixels; the stored settings are twips).
//
// Example: a window 10000 wide with the "20/70/10" preset puts the
// vertical splitters at 2000 and 9000.
class MainLayout
{
  public:
    static constexpr int verticalSplitters = 2;
    static constexpr int horizontalSplitters = 1;

    enum class Splitter { vertical0, vertical1, horizontal0 };

    // Set once at start-up.
    int splitterWidth = 4;
    int leftMargin = 4;   // also the right margin
    int topMargin = 4;    // below the tool bar
    int bottomMargin = 4; // above the status bar

    // Splitter positions: left edges of the vertical bars, top of the
    // horizontal bar, in the window's inner coordinates.
    std::array<int, verticalSplitters> vSplitter{};
    std::array<int, horizontalSplitters> hSplitter{};

    // Usable area, recomputed by sizeControls.
    int layoutLeft = 0;
    int layoutTop = 0;
    int layoutRight = 0;
    int layoutBottom = 0;

    // Pane rectangles from the last sizeControls (no size below 0).
    QRect picDB;
    QRect lvListViewMessages;
    QRect lvListViewID;
    QRect pictOscilograph;
    std::array<QRect, verticalSplitters> imgSplitter;
    std::array<QRect, horizontalSplitters> imgSplitterH;

    // The inner size the splitter positions were last placed for; invalid
    // after positions were set for a size not yet laid out (restored ones).
    QSize placedFor;
    // Keeps the panes' proportions: when `inner` differs from placedFor,
    // each splitter is moved by the ratio of the new width (height) to the
    // old one. Then placedFor := inner. Example: vertical splitters at 200
    // and 900 of 1000 become 300 and 1350 at 1500.
    void followResize(QSize inner);
    std::array<double, verticalSplitters> vExact{};
    std::array<double, horizontalSplitters> hExact{};

    // Places every pane for a window of `inner` size; a hidden bar has height 0.
    // Splitters are first pulled in so that each column and the lists keep two
    // splitter widths (the right one first, then the left one), then pushed out
    // to their drag minimum, so even saved nonsense gives visible panes.
    void sizeControls(QSize inner, int toolBarHeight, int statusBarHeight);

    // Where a dragged splitter may go: the position is lowered to the upper
    // limit when above it, else raised to the lower limit when below it.
    //   vertical 0:   layoutLeft + w            .. vSplitter[1] - 2w
    //   vertical 1:   vSplitter[0] + 2w         .. layoutRight - 2w
    //   horizontal 0: layoutTop + w             .. layoutBottom - 2w
    [[nodiscard]] int dragLimit(Splitter splitter, int position) const;
    [[nodiscard]] int position(Splitter splitter) const;
    void setPosition(Splitter splitter, int position);

    // View presets (then sizeControls): vertical splitters at 20 % and 90 % of
    // the inner width; the horizontal one at 70 % of the inner height.
    void presetVertical(int innerWidth);
    void presetHorizontal(int innerHeight);

    // First-start positions: splitter k at size * (k + 1) / (count + 1).
    [[nodiscard]] static int defaultVertical(int k, int innerWidth);
    [[nodiscard]] static int defaultHorizontal(int k, int innerHeight);
};

// Window placement from saved settings, made usable: sizes below the minimum
// (also negative ones) become the minimum, sizes beyond the screens' combined
// area shrink to it, and a window whose title strip would be on no screen is
// moved onto the first one. `screens` are the available areas; the result is
// unchanged when the list is empty.
[[nodiscard]] QRect usableGeometry(QRect saved, QSize minimum, const QList<QRect> &screens);

// Twips (1/1440 inch) and pixels at a logical resolution of `dpi`, rounded.
[[nodiscard]] int twipsToPixels(qint64 twips, double dpi);
[[nodiscard]] qint64 pixelsToTwips(int pixels, double dpi);
