#pragma once

#include "views/plotseries.h"

#include <QMap>
#include <QObject>
#include <QString>

#include <vector>

class CaptureStore;
class IdIndex;
class RedrawThrottle;

// The signal plot without its widget: which signals are plotted, their
// points, the cursor and the live growth during a capture. The plot dock
// draws what this holds and forwards the user's clicks.
//
// Points are added only from frames stored since the last extension, so a
// capture costs one pass over its new frames per redraw, and frames arriving
// at full rate are gathered into at most four extensions a second
// (RedrawThrottle; tests call refreshThrottle()->timer_Timer()).
class PlotModel final : public QObject
{
    Q_OBJECT
public:
    struct Curve
    {
        plotseries::Source source;
        QString name;       // "Speed"
        QString identifier; // "123", or the extended hex with a trailing "x"
        QString unit;
        // The field's value texts at their physical values: the curve is drawn
        // as steps, its axis labelled with these.
        QMap<double, QString> valueTexts;
        plotseries::Series series;
        qsizetype drawn = 0; // points the widget already holds

        [[nodiscard]] bool steps() const { return !valueTexts.isEmpty(); }
        // "Speed (123)".
        [[nodiscard]] QString label() const;
    };

    explicit PlotModel(const CaptureStore &store, QObject *parent = nullptr);

    // The data base that holds the fields; nullptr: no fields anywhere.
    void setIdIndex(const IdIndex *index);
    void setTicksPerSecond(double ticksPerSecond);

    // ---- the plotted signals ----
    // Plots field `field` of identifier `keyNumber`. Returns why it cannot be
    // ("" when it was added, or was already plotted).
    QString addSignal(qint32 keyNumber, int field);
    void removeSignal(int index);
    [[nodiscard]] const std::vector<Curve> &curves() const { return plotted; }
    // Distinct units of the curves in the order they were first plotted; a
    // curve without a unit counts as the unit "".
    [[nodiscard]] QStringList units() const;
    // The smallest and largest value of curve `index` (0 and 1 when it has
    // no points; an equal pair is widened by 1 so normalising never divides by 0).
    [[nodiscard]] std::pair<double, double> valueRange(int index) const;
    // The widget took every point of curve `index`.
    void markDrawn(int index);

    // ---- what changed in the capture ----
    // Frames were stored: the curves grow, at most four times a second.
    void framesAdded();
    // The store was emptied: every curve loses its points, stays plotted.
    void storeCleared();
    // A file was loaded or the data fields changed: every curve is extracted
    // again; a curve whose field is gone is dropped.
    void reload();
    [[nodiscard]] RedrawThrottle *refreshThrottle() const { return throttle; }

    // ---- cursor ----
    // The message list's current row moved to stored frame `frameIndex`.
    void setCursorFrame(qsizetype frameIndex);
    [[nodiscard]] double cursorSeconds() const { return cursor; }
    [[nodiscard]] bool hasCursor() const { return cursorShown; }
    // The stored frame nearest to `seconds` among every curve's points, -1
    // when there are none; the cursor's own frame is not asked for.
    [[nodiscard]] qsizetype frameNear(double seconds) const;

    // ---- export ----
    // Every point as comma-separated text: a header line, then one line per
    // point ordered by time (then by curve), numbers with full precision.
    //   Time (s),Identifier,Signal,Value,Unit,Description
    //   0.5,123,Speed,100,km/h,
    [[nodiscard]] QByteArray csv() const;
    // Writes csv() to `fileName` as a whole or not at all; the error text
    // names the file when it fails.
    [[nodiscard]] QString saveCsv(const QString &fileName) const;

signals:
    // Curves were added, removed or extracted again: redraw everything.
    void curvesChanged();
    // Curves grew: append the points from Curve::drawn on.
    void curvesGrown();
    void cursorMoved(double seconds);

private:
    void extendAll();
    [[nodiscard]] plotseries::Source sourceFor(qint32 keyNumber, int field) const;

    const CaptureStore &store;
    const IdIndex *idIndex = nullptr;
    double ticks = 1e6;
    std::vector<Curve> plotted;
    RedrawThrottle *throttle = nullptr;
    double cursor = 0;
    bool cursorShown = false;
};
